#include "printing/PdfPages.h"

#include "documents/DocumentType.h"
#include "util/FileNameBytes.h"
#include "util/Translate.h"

#include <poppler/cpp/poppler-document.h>
#include <poppler/cpp/poppler-global.h>

#include <poppler/cpp/poppler-page.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void IgnorePopplerMessage(const std::string&, void*) {}

// As the print program does: both marks in the first and the last kilobyte,
// so that a huge file that is no PDF, or one cut short, is not parsed.
bool HasPdfMarks(const QByteArray& name, off_t size)
{
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    constexpr off_t Window = 1024;
    char head[Window];
    char tail[Window];
    const ssize_t gotHead = ::pread(fd, head, static_cast<size_t>(std::min(size, Window)), 0);
    const off_t from = std::max<off_t>(0, size - Window);
    const ssize_t gotTail = ::pread(fd, tail, static_cast<size_t>(size - from), from);
    ::close(fd);
    return gotHead > 0 && memmem(head, static_cast<size_t>(gotHead), "%PDF-", 5) && gotTail > 0 &&
           memmem(tail, static_cast<size_t>(gotTail), "%%EOF", 5);
}

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
    if (!HasPdfMarks(bytes, st.st_size)) {
        result.Problem = TrDefault("not a PDF file or incomplete");
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
    // A page tree that does not lead to every page it counts fails in the
    // spooler's filters; the print program refuses such a file.
    for (int i = 0; i < result.Pages; ++i) {
        if (!std::unique_ptr<poppler::page>(doc->create_page(i))) {
            result.Pages = 0;
            result.Problem = TrDefault("damaged: a page cannot be read");
        }
    }
    return result;
}

TPdfPages CountDocumentPages(const QString& fileName)
{
    const DocumentType::Inspection seen = DocumentType::Inspect(FileNameToBytes(fileName).toStdString());
    TPdfPages result;
    if (seen.kind == DocumentType::Kind::Pdf) {
        // Also what is not found or of no printed type: the PDF check's words,
        // unless the content is known to be of a type that is not printed.
        result = CountPdfPages(fileName);
        if (!result.Problem.isEmpty() && seen.problem.starts_with("is of a type"))
            result.Problem = QString::fromStdString(seen.problem);
    } else if (!seen.problem.empty()) {
        result.Problem = QString::fromStdString(seen.problem);
    } else {
        result.Pages = seen.pages;
        result.Unknown = seen.kind == DocumentType::Kind::Office;
    }
    return result;
}
