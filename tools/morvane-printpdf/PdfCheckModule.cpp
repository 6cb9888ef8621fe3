// The module that holds the PDF library for the print program (see PdfCheck.h).

#include "PdfCheck.h"

#include <poppler/cpp/poppler-document.h>
#include <poppler/cpp/poppler-global.h>
#include <poppler/cpp/poppler-page.h>

#include <memory>
#include <string>

namespace {

void IgnorePopplerMessage(const std::string&, void*) {}

} // namespace

extern "C" __attribute__((visibility("default"))) int morvane_pdf_check_v1(const char* file, int* pages, int* badPage)
{
    *pages = 0;
    *badPage = 0;
    // Poppler writes its parser complaints to stderr; the program's single line is the message.
    poppler::set_debug_error_function(IgnorePopplerMessage, nullptr);
    std::unique_ptr<poppler::document> doc(poppler::document::load_from_file(file));
    if (!doc)
        return MorvanePdfDamaged;
    if (doc->is_locked())
        return MorvanePdfLocked;
    *pages = doc->pages();
    if (*pages < 1)
        return MorvanePdfNoPages;
    if (!doc->has_permission(poppler::perm_print))
        return MorvanePdfNoPrint;
    // The page tree must lead to every page it counts (the pages' objects,
    // not their contents): a tree that points to itself or to nothing would
    // be spooled and fail in the spooler's filters.
    for (int i = 0; i < *pages; ++i) {
        if (!std::unique_ptr<poppler::page>(doc->create_page(i))) {
            *badPage = i + 1;
            return MorvanePdfBadTree;
        }
    }
    return MorvanePdfOk;
}
