#include "PdfCheckLoader.h"

#include <climits>
#include <cstdlib>
#include <vector>

#include <dlfcn.h>
#include <unistd.h>

namespace {

constexpr char ModuleName[] = "morvane-pdfcheck.so";

// The folder of the running executable (links resolved), with a trailing slash.
std::string ExecutableDir()
{
    char path[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return std::string();
    std::string dir(path, static_cast<std::size_t>(n));
    return dir.substr(0, dir.find_last_of('/') + 1);
}

} // namespace

MorvanePdfCheckFn LoadPdfCheck(std::string* error)
{
    static MorvanePdfCheckFn loaded = nullptr;
    static std::string failure;
    if (loaded || !failure.empty()) {
        *error = failure;
        return loaded;
    }
    const std::string dir = ExecutableDir();
    if (dir.empty()) {
        // Never a name relative to the working folder: that could load anyone's code.
        failure = std::string("cannot find ") + ModuleName + ": the program's own folder is unknown";
        *error = failure;
        return nullptr;
    }
    // Only these two places: a module from anywhere else could be of another build.
    const std::vector<std::string> candidates = {dir + ModuleName, dir + MORVANE_MODULE_DIR "/" + ModuleName};
    for (const std::string& path : candidates) {
        if (::access(path.c_str(), F_OK) != 0)
            continue;
        void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            const char* why = ::dlerror();
            failure = "cannot load " + path + ": " + (why ? why : "unknown error");
            break;
        }
        loaded = reinterpret_cast<MorvanePdfCheckFn>(::dlsym(handle, MORVANE_PDF_CHECK_SYMBOL));
        if (!loaded)
            failure = path + " is of another version (no " MORVANE_PDF_CHECK_SYMBOL ")";
        break;
    }
    if (!loaded && failure.empty())
        failure = std::string(ModuleName) + " is missing (looked for in " + candidates[0] + " and " + candidates[1] +
                  ")";
    *error = failure;
    return loaded;
}
