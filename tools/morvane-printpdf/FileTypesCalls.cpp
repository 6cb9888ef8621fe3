// The print program's side of libmagic and libtiff: the calls of the
// document checks go to the module that holds them, loaded on first use.

#include "Modules.h"
#include "documents/FileMagic.h"
#include "documents/TiffPdf.h"
#include "printing/PrintPdfTexts.h"

namespace {

constexpr char Module[] = "morvane-filetypes.so";

} // namespace

namespace DocumentType {

Magic AskMagic(int fd, bool describe)
{
    using Fn = void (*)(int, bool, Magic*);
    std::string error;
    Magic result;
    if (const auto ask = reinterpret_cast<Fn>(ModuleSymbol(Module, "morvane_magic_v1", &error)))
        ask(fd, describe, &result);
    else
        result.description = FillIn(TrPrintPdf("unknown (%s)"), {error});
    return result;
}

bool TiffPagesToPdf(const std::string& file, int outFd, std::string* error)
{
    using Fn = bool (*)(const std::string*, int, std::string*);
    std::string why;
    if (const auto convert = reinterpret_cast<Fn>(ModuleSymbol(Module, "morvane_tiff_pdf_v1", &why)))
        return convert(&file, outFd, error);
    *error = FillIn(TrPrintPdf("%s is not converted: %s"), {'"' + file + '"', why});
    return false;
}

} // namespace DocumentType
