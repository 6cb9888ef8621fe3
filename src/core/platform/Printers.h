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

// What a destination says it can do, as its IPP attributes (from its PPD for
// a local queue) name it. An empty list means the spooler did not say: every
// value is offered then.
struct TPrinterCapabilities
{
    QStringList Sides;        // sides-supported: one-sided, two-sided-long-edge, ...
    QStringList Media;        // media-supported: PWG size names
    QStringList ColorModes;   // print-color-mode-supported: color, monochrome, ...
    QStringList Sources;      // media-source-supported: tray keywords
    QStringList Scaling;      // print-scaling-supported: auto, fit, none, ...
    QStringList Orientations; // orientation-requested-supported: 3, 4, ...
    bool operator==(const TPrinterCapabilities&) const = default;
};

// One round trip to the spooler (the destination's info); empty lists when
// the destination or the spooler cannot be reached.
TPrinterCapabilities PrinterCapabilities(const QString& name);

// Tests of windows install a fixed printer list here, so that they run the
// same with any spooler or none: while a list is installed, the functions
// above answer from it and CUPS is not asked.
namespace PrinterTestSeam {
void Install(const QStringList& names, const QString& defaultName);
// What PrinterCapabilities answers for a printer of the fixed list; a printer
// without an entry says nothing.
void InstallCapabilities(const QString& name, const TPrinterCapabilities& capabilities);
// Back to the spooler.
void Clear();
} // namespace PrinterTestSeam
