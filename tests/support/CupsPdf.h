#pragma once

#include <QString>
#include <QStringList>

// End-to-end printing through the real CUPS spooler and its cups-pdf queue,
// whose output files are checked.
namespace testing_support {

// The print-to program of this build, beside the main executable.
QString BuiltPrintProgram();

// The cups-pdf queue of the test set-up: $MORVANE_PRINTER, else "PDF".
QString TestPrinterName();

// Empty when the spooler answers and the test queue exists; otherwise a
// message that says what is missing and how to start it.
QString CupsProblem();

// The folder cups-pdf writes the current user's jobs to (its "Out" setting).
QString CupsPdfOutputDir();

// A job title stem that no other test run uses; files printed as
// stem + ".pdf" come out of cups-pdf with names beginning with the stem.
QString UniqueJobStem(const QString& tag);

// Waits (polling, up to timeoutMs) until `count` complete output files whose
// names begin with stem exist; returns them (fewer when the time ran out).
QStringList WaitForCupsPdfOutput(const QString& stem, int count, int timeoutMs = 90000);

// The page count pdfinfo reports, or -1.
int PdfPageCount(const QString& fileName);

} // namespace testing_support
