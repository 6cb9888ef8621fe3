#pragma once

#include <QString>

// The page count of a PDF file, read with the same library as the print
// program reads it, so that a preview and the run agree on what prints.
struct TPdfPages
{
    int Pages = 0;   // 0 when the file cannot be printed
    QString Problem; // why not, translated; empty when it can be
};

TPdfPages CountPdfPages(const QString& fileName);
