#pragma once

#include <QString>
#include <QStringList>

// The spooler's destinations in its order: each queue, and each instance as
// "queue/instance"; the default is the user's or the system's default
// destination, empty when there is none. Empty lists when the spooler cannot
// be reached. The window and the command line ask here, so that both see the
// same printers.
QStringList PrinterNames();
QString DefaultPrinterName();

// The queues alone (no instances) and the default among them.
QStringList QueueNames(QString* defaultName);

// Tests of windows install a fixed printer list here, so that they run the
// same with any spooler or none: while a list is installed, the functions
// above answer from it and CUPS is not asked.
namespace PrinterTestSeam {
void Install(const QStringList& names, const QString& defaultName);
// Back to the spooler.
void Clear();
} // namespace PrinterTestSeam
