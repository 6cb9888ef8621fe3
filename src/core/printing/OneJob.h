#pragma once

#include "printing/PrintEngine.h"

#include <QMap>

// A run whose job list goes to the print program at once, as the documents
// of one job per copy (morvane-printpdf -one-job): nothing of anyone else's
// comes between its files. Each file still gets its own result from the
// program's per-file lines, so the clients report it as for a run file by file.

// The command line for the files: "program" -print-to "printer"
// [-print-settings "settings"] [-job-name "title"] -one-job "file"...
QString OneJobCommandLine(const QString& program, const QString& printer, const QStringList& files,
                          const QString& settings = QString(), const QString& title = QString());

// What the print program said about the file at index (0-based) of its command line.
struct TOneJobFile
{
    bool Sent = false;
    QString JobId;    // "DEST-N" of the job it went in, when sent
    int ExitCode = 0; // when left out: the code the file would have had alone
    QString Message;  // when left out: why
};

// The per-file lines "file N: document D of request DEST-N" and
// "file N: left out (CODE): MESSAGE", by file index; files without a line are absent.
QMap<qsizetype, TOneJobFile> OneJobFiles(const QStringList& output);

// The copies loop of RunPrintFiles with one print program call per copy for
// the whole list: the pause comes between the copies, a stop before the next
// copy; each file is reported through the client as printed, skipped or
// failed. With no line about a file (the program refused the whole job),
// every file fails with the program's reason.
TRunResult RunOneJob(const TPrintJob& job, const QStringList& jobs, TPrintRunClient& client);
