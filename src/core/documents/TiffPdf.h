#pragma once

#include <string>

namespace DocumentType {

// The spooler's image filter prints the first page of a TIFF file only: a TIFF
// of several pages is printed as a PDF of them instead, each page one image
// (1-bit or 8-bit gray, or RGB, compressed) at the size its resolution gives.
// Writes the PDF to outFd; false with *error, a whole sentence that names the
// file, when a page cannot be decoded.
bool TiffPagesToPdf(const std::string& file, int outFd, std::string* error);

} // namespace DocumentType
