#include "Messages.h"
#include "Modules.h"

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <libintl.h>

#include <sys/stat.h>
#include <unistd.h>

#include <climits>

namespace {

constexpr char Domain[] = "printpdf";

bool IsDirectory(const std::string& path)
{
    struct stat st
    {
    };
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsPlainLocale(const char* name)
{
    return !name || !*name || std::strcmp(name, "C") == 0 || std::strcmp(name, "POSIX") == 0;
}

} // namespace

void InitMessages()
{
    // Only the messages category: numbers and the encoding stay as the checks expect them.
    const char* set = std::setlocale(LC_MESSAGES, "");
    // glibc ignores LANGUAGE while the messages locale is "C"; C.UTF-8 lets it count.
    if (IsPlainLocale(set ? set : std::setlocale(LC_MESSAGES, nullptr)))
        std::setlocale(LC_MESSAGES, "C.UTF-8");
    // A locale that is not installed falls back to C: its language is still the user's choice.
    const char* language = std::getenv("LANGUAGE");
    if (!language || !*language) {
        for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
            const char* value = std::getenv(variable);
            if (!value || !*value)
                continue;
            const std::string code = std::string(value).substr(0, std::strcspn(value, ".@"));
            if (!IsPlainLocale(code.c_str()))
                ::setenv("LANGUAGE", code.c_str(), 1);
            break;
        }
    }
    const std::string dir = ExecutableDir();
    if (dir.empty())
        return; // never a folder relative to the working folder
    const std::string folder = IsDirectory(dir + "locale") ? dir + "locale" : dir + MORVANE_LOCALE_DIR;
    bindtextdomain(Domain, folder.c_str());
    bind_textdomain_codeset(Domain, "UTF-8");
}
