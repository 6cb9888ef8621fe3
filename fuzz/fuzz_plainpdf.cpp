// The print program's own reading of plain PDFs, on any bytes, against the
// PDF library: wherever it answers by itself, the library must open the same
// bytes with the same pages, without a password and with printing allowed.
// A disagreement is a file printed unchecked or counted wrong, so it aborts.
#include "morvane-printpdf/PlainPdf.h"

#include <poppler/cpp/poppler-document.h>
#include <poppler/cpp/poppler-global.h>
#include <poppler/cpp/poppler-page.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include <sys/mman.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const int fd = memfd_create("fuzz-plainpdf", MFD_CLOEXEC);
    if (fd < 0)
        return 0;
    for (size_t done = 0; done < size;) {
        const ssize_t w = write(fd, data + done, size - done);
        if (w <= 0)
            break;
        done += static_cast<size_t>(w);
    }
    int pages = 0;
    const bool plain = PlainPdfPages(fd, &pages);
    close(fd);
    if (!plain)
        return 0;
    poppler::set_debug_error_function([](const std::string&, void*) {}, nullptr);
    std::unique_ptr<poppler::document> doc(
        poppler::document::load_from_raw_data(reinterpret_cast<const char*>(data), static_cast<int>(size)));
    bool agrees = doc && !doc->is_locked() && doc->pages() == pages && doc->has_permission(poppler::perm_print);
    for (int i = 0; agrees && i < pages; ++i)
        agrees = std::unique_ptr<poppler::page>(doc->create_page(i)) != nullptr;
    if (!agrees) {
        std::fprintf(stderr, "plain check says %d pages, the PDF library disagrees\n", pages);
        std::abort();
    }
    return 0;
}
