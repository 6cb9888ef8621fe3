#pragma once

// What the print program makes of a file before it is spooled: its type by
// content (libmagic), the check that it is whole, its page count, and the
// document that goes to the spooler (the file itself, or a temporary PDF or
// UTF-8 text made from it). Plain C++ on POSIX, without Qt or CUPS.

#include "printing/PrintSettings.h"

#include <string>

namespace DocumentType {

enum class Kind
{
    Pdf,
    PostScript,
    Jpeg,
    Png,
    Tiff,
    Gif,
    Bmp,
    Text,
    Office, // converted to PDF by LibreOffice
};

struct Document
{
    Kind kind = Kind::Pdf;
    // The file handed to the spooler and its document-format. For a converted
    // document the file is /dev/fd/N of a temporary file already removed, so
    // that nothing is left behind however the program ends.
    std::string spoolFile;
    std::string format = "application/pdf";
    // What the file is, as a MIME type (for an office document or a TIFF of
    // several pages not the format sent).
    std::string type = "application/pdf";
    // Set for every type but PDF (whose pages the PDF check counts).
    int pages = 0;
    // The count is an estimate (text without a converter's figure): page ranges
    // are then not clipped to it.
    bool pagesEstimated = false;
    int spoolFd = -1;
    // Why the file is refused; empty when it is not.
    std::string problem;
    Document() = default;
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;
    ~Document();
};

// The exit code Prepare returns for a file it refuses; 1 for the other errors.
inline constexpr int CannotLoad = 2;

// Identifies file by its bytes and prepares it for spooling: a PDF (also under
// another name, and an office document once converted) is left to the PDF
// check, which sets its page count; every other type is checked here. A file
// named *.pdf must be a PDF. Returns 0, or an exit code after one line on
// stderr that names the file and the reason.
int Prepare(const std::string& file, Document* doc);

// What Prepare makes of a file, without converting anything or writing to
// stderr: for page figures before a run. An office document has no page
// count before LibreOffice has converted it (kind Office, pages 0); a PDF is
// left to the caller's PDF check (kind Pdf, pages 0).
struct Inspection
{
    Kind kind = Kind::Pdf;
    std::string type;
    int pages = 0;
    bool pagesEstimated = false;
    // Why the file cannot be printed, without its name; empty when it can.
    std::string problem;
};
Inspection Inspect(const std::string& file);

// The name ends in one of the office documents' extensions (.odt .docx ...).
bool HasOfficeExtension(const std::string& file);

// The page count to clip the list's page ranges to when pages is an estimate:
// at least the highest page the ranges name.
int PagesForRanges(const PrintSettings::Settings& settings, int pages);

// The types printed, for --help, lines ending in '\n'.
extern const char HelpText[];

} // namespace DocumentType
