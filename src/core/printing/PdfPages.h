#pragma once

#include <QString>

// The page count of a PDF file, read with the same library as the print
// program reads it, so that a preview and the run agree on what prints.
struct TPdfPages
{
    int Pages = 0;   // 0 when the file cannot be printed
    QString Problem; // why not, translated; empty when it can be
    // An office document: its pages are known only once LibreOffice has
    // converted it, which a preview does not do (seconds per file).
    bool Unknown = false;
};

TPdfPages CountPdfPages(const QString& fileName);

// The page count of any type the print program prints, told by the same
// code as there (documents/DocumentType): a PDF as above, an image, a
// PostScript file, a text (an estimate); an office document is Unknown. The
// reason a non-PDF file is refused is the print program's own (English).
TPdfPages CountDocumentPages(const QString& fileName);
