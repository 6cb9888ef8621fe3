#pragma once

#include <QString>
#include <QStringList>

// The installed printers as the spooler lists them, in its order.
QStringList PrinterNames();
// The system's default printer; empty when there is none.
QString DefaultPrinterName();

// Tests of windows install a fixed printer list here, so that they run the
// same with any spooler or none: while a list is installed, the two functions
// above answer from it and CUPS is not asked.
namespace PrinterTestSeam {
void Install(const QStringList& names, const QString& defaultName);
// Back to the spooler.
void Clear();
} // namespace PrinterTestSeam
