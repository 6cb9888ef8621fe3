#pragma once

#include <QSaveFile>
#include <QString>

#include <memory>

// The report of a run: one record per invocation of the print program, per
// invocation a stop left out, and (with copy 0) per print list that could not
// be read, per name that found nothing and per place a duplicate was left out
// at. CSV with a header line when the file name ends in ".csv", JSON Lines
// otherwise. A file is replaced atomically when the report is finished; "-"
// is standard output.

// What became of a file, as the report's "result" names it.
enum class TRecordResult
{
    Printed,   // "printed": the print program took it
    Failed,    // "failed": the print program refused it, or a print list could not be read
    Missing,   // "missing": a name that found nothing; not handed over
    Skipped,   // "skipped": the print settings leave no page of it; no failure
    NotTried,  // "not-tried": a stop came before its turn
    Duplicate, // "duplicate": an earlier name already gave this file; printed there
};

// The report's name of a result.
QString RecordResultName(TRecordResult result);

struct TReportRecord
{
    int Copy = 0;
    QString File;
    TRecordResult Result = TRecordResult::Failed;
    int ExitCode = 0;
    QString Reason;
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
