#include "printing/PdfPages.h"

#include "util/FileNameBytes.h"
#include "util/Translate.h"

#include <poppler/cpp/poppler-document.h>
#include <poppler/cpp/poppler-global.h>

#include <memory>

#include <sys/stat.h>

namespace {

void IgnorePopplerMessage(const std::string&, void*) {}

} // namespace

TPdfPages CountPdfPages(const QString& fileName)
{
    TPdfPages result;
    // Looked at by its bytes, so that a name that is not UTF-8 is found.
    const QByteArray bytes = FileNameToBytes(fileName);
    struct stat st
    {
    };
    if (::stat(bytes.constData(), &st) != 0) {
        result.Problem = TrDefault("not found");
        return result;
    }
    // A pipe or a device would block the reader or never end.
    if (!S_ISREG(st.st_mode)) {
        result.Problem = TrDefault("not a regular file");
        return result;
    }
    poppler::set_debug_error_function(IgnorePopplerMessage, nullptr);
    const std::unique_ptr<poppler::document> doc(poppler::document::load_from_file(bytes.toStdString()));
    if (!doc)
        result.Problem = TrDefault("not a PDF file or damaged");
    else if (doc->is_locked())
        result.Problem = TrDefault("protected by a password");
    else if (doc->pages() < 1)
        result.Problem = TrDefault("has no pages");
    else if (!doc->has_permission(poppler::perm_print))
        result.Problem = TrDefault("does not allow printing");
    else
        result.Pages = doc->pages();
    return result;
}
