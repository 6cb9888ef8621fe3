#include "FileMagic.h"

#include <magic.h>

#include <memory>
#include <string_view>
#include <type_traits>

namespace DocumentType {

Magic AskMagic(int fd, bool describe)
{
    Magic result;
    std::unique_ptr<std::remove_pointer_t<magic_t>, void (*)(magic_t)> cookie(
        ::magic_open(MAGIC_MIME | MAGIC_NO_CHECK_COMPRESS | MAGIC_NO_CHECK_TAR | MAGIC_NO_CHECK_ELF |
                     MAGIC_NO_CHECK_APPTYPE),
        ::magic_close);
    if (!cookie || ::magic_load(cookie.get(), nullptr) != 0)
        return result;
    // The beginning tells the type; the whole of a large file is not read.
    const std::size_t bytesMax = 1 << 20;
    ::magic_setparam(cookie.get(), MAGIC_PARAM_BYTES_MAX, &bytesMax);
    if (const char* mime = ::magic_descriptor(cookie.get(), fd)) {
        const std::string_view m(mime);
        result.mime = m.substr(0, m.find(';'));
        if (const std::size_t cs = m.find("charset="); cs != std::string_view::npos)
            result.charset = m.substr(cs + 8);
    }
    if (describe && ::magic_setflags(cookie.get(), MAGIC_NONE) == 0)
        if (const char* text = ::magic_descriptor(cookie.get(), fd))
            result.description = text;
    return result;
}

} // namespace DocumentType
