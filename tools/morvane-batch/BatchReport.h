#pragma once

#include <QSaveFile>
#include <QString>
#include <QStringList>

#include <memory>

// The report of a run: one record per invocation of the print program (and
// one with copy 0 per print list that could not be read and per name that
// found nothing, the latter with the result "missing"). CSV with a header
// line when the file name ends in ".csv", JSON Lines otherwise. A file is
// replaced atomically when the report is finished; "-" is standard output.

struct TReportRecord
{
    int Copy = 0;
    QString File;
    bool Printed = false;
    int ExitCode = 0;
    QString Reason;
    bool Missing = false; // a name that found nothing, not an invocation
    // A watch's records: when the file was handed over (ISO 8601, UTC), the
    // spooler's jobs for it, and whether a restart found it in the spooler.
    QString HandedOver{};
    QStringList JobIds{};
    bool Recovered = false;
};

class TBatchReport
{
public:
    // Opens the report (a temporary file beside the target); false with *error on failure.
    bool Open(const QString& fileName, QString* error);
    void Add(const TReportRecord& record);
    // Writes everything and puts the file in place; false with *error on failure.
    bool Finish(QString* error);

    static QString CsvLine(const TReportRecord& record);
    static QString JsonLine(const TReportRecord& record);

private:
    QString FFileName;
    bool FCsv = false;
    QByteArray FBytes;
    std::unique_ptr<QSaveFile> FFile;
};
