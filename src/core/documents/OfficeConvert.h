#pragma once

// Office documents become a temporary PDF through LibreOffice without a display.

#include "DocumentType.h"

#include <string>
#include <vector>

namespace DocumentType {

// soffice as found in PATH; empty when LibreOffice is not installed.
std::string SofficePath();
// The refusal of file when it is not.
std::string OfficeMissingText(const std::string& file);

// How long a conversion may take, in seconds: 120, or MORVANE_OFFICE_TIMEOUT.
int OfficeTimeoutS();

// Converts file with `soffice --headless --convert-to pdf` (soffice from PATH),
// with a profile of its own in a temporary folder, so that conversions side by
// side do not meet in one LibreOffice. On success doc holds the PDF as an open
// descriptor (its folder is already removed) for the PDF check and the spooler;
// a stop (SIGTERM, SIGINT, SIGHUP) during the conversion ends LibreOffice and
// removes the folder first. Returns 0, or an exit code after one line on stderr.
int ConvertOfficeDocument(const std::string& file, Document* doc);

// Several documents with one LibreOffice start, for a batch: converted into
// folder (made and removed by the caller), in at most OfficeTimeoutS() for
// each document. pdfs[i] is the PDF of files[i], or empty and problems[i]
// says why (a whole line, naming the file). A stop signal during the
// conversion ends LibreOffice and is returned, not acted on.
struct OfficeBatch
{
    std::vector<std::string> pdfs, problems;
    int stopSignal = 0;
};
OfficeBatch ConvertOfficeDocuments(const std::vector<std::string>& files, const std::string& folder);

} // namespace DocumentType
