#pragma once

#include <QString>
#include <QStringList>

// Several printers sharing one run (-p given more than once): each file goes
// to the printer with the fewest jobs waiting, as the spooler counts them at
// that moment; a stopped printer or one that rejects jobs is passed over while
// it stays so. Printers with as few jobs take turns, so that a batch into idle
// printers is shared instead of going to the first.
class TPrinterShare
{
public:
    // Queue names (QUEUE or QUEUE/INSTANCE) of the local spooler and IPP URIs.
    explicit TPrinterShare(const QStringList& printers) : FPrinters(printers) {}

    // The printer for the next file, or empty with *problem set when none takes jobs.
    QString Next(QString* problem);

    // What the spooler says about one printer; false when it could not be asked.
    struct TState
    {
        bool Takes = false; // neither stopped nor rejecting jobs
        int Waiting = 0;    // queued-job-count: pending, held and printing jobs
    };
    static bool Ask(const QString& printer, TState* state);

private:
    QStringList FPrinters;
    qsizetype FTurn = 0; // where the next comparison starts
};
