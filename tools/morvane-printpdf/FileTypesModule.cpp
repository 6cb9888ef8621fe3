// The module that holds libmagic and libtiff for the print program: a PDF,
// whose type its first bytes tell, needs neither.

#include "documents/FileMagic.h"
#include "documents/TiffPdf.h"

#include <string>

extern "C" __attribute__((visibility("default"))) void morvane_magic_v1(int fd, bool describe, DocumentType::Magic* out)
{
    *out = DocumentType::AskMagic(fd, describe);
}

extern "C" __attribute__((visibility("default"))) bool morvane_tiff_pdf_v1(const std::string* file, int outFd,
                                                                           std::string* error)
{
    return DocumentType::TiffPagesToPdf(*file, outFd, error);
}
