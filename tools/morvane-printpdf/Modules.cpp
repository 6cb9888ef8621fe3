#include "Modules.h"

#include "Messages.h"

#include <climits>
#include <map>
#include <vector>

#include <dlfcn.h>
#include <unistd.h>

std::string ExecutableDir()
{
    char path[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return std::string();
    std::string dir(path, static_cast<std::size_t>(n));
    return dir.substr(0, dir.find_last_of('/') + 1);
}

namespace {

struct Loaded
{
    void* handle = nullptr;
    std::string failure;
};

Loaded Load(const std::string& module)
{
    Loaded result;
    const std::string dir = ExecutableDir();
    // Never a name relative to the working folder: that could load anyone's code.
    if (dir.empty()) {
        result.failure = FillIn(TrPrintPdf("cannot find %s: the program's own folder is unknown"), {module});
        return result;
    }
    // Only these two places: a module from anywhere else could be of another build.
    const std::vector<std::string> candidates = {dir + module, dir + MORVANE_MODULE_DIR "/" + module};
    for (const std::string& path : candidates) {
        if (::access(path.c_str(), F_OK) != 0)
            continue;
        result.handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!result.handle) {
            const char* why = ::dlerror();
            result.failure = FillIn(TrPrintPdf("cannot load %s: %s"), {path, why ? why : TrPrintPdf("unknown error")});
        }
        return result;
    }
    result.failure =
        FillIn(TrPrintPdf("%s is missing (looked for in %s and %s)"), {module, candidates[0], candidates[1]});
    return result;
}

} // namespace

void* ModuleSymbol(const char* module, const char* symbol, std::string* error)
{
    // Each module is looked for once; the program is single-threaded where it loads them.
    static std::map<std::string, Loaded> modules;
    auto it = modules.find(module);
    if (it == modules.end())
        it = modules.emplace(module, Load(module)).first;
    if (!it->second.handle) {
        *error = it->second.failure;
        return nullptr;
    }
    void* found = ::dlsym(it->second.handle, symbol);
    if (!found)
        *error = FillIn(TrPrintPdf("%s is of another version (no %s)"), {module, symbol});
    return found;
}
