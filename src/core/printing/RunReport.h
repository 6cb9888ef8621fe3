#pragma once

#include <QSaveFile>
#include <QString>
#include <QStringList>

struct TInvocation;

#include <memory>

// The report of a run: one record per invocation of the print program, per
// invocation a stop left out, and (with copy 0) per print list that could not
// be read, per name that found nothing and per place a duplicate was left out
// at. CSV with a header line when the file name ends in ".csv", JSON Lines
// otherwise; "-" is standard output.

// What became of a file, as the report's "result" names it.
enum class TRecordResult
{
    Printed,   // "printed": the print program took it
    Failed,    // "failed": the print program refused it, or a print list could not be read
    Missing,   // "missing": a name that found nothing; not handed over
    Skipped,   // "skipped": the print settings leave no page of it; no failure
    NotTried,  // "not-tried": a stop came before its turn
    Duplicate, // "duplicate": an earlier name already gave this file; printed there
    Pending,   // "pending": handed over, but its job had not ended when the wait was over
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
    // A file handed over: when (ISO 8601, UTC), the spooler's jobs for it,
    // whether a restart of the watch found it in the spooler, and the printer.
    QString HandedOver{};
    QStringList JobIds{};
    bool Recovered = false;
    QString Destination{};
    // Where the run followed its jobs (--wait): the job's state at the end
    // ("completed", "aborted", ...), its state reasons, and the pages and
    // sheets the printer counted (-1: it counted none).
    QString JobState{};
    QStringList JobStateReasons{};
    int Pages = -1;
    int Sheets = -1;
    // The document's pages as the print program counted them (before the
    // print settings; an estimate for a text); -1 when not known.
    int DocumentPages = -1;
};

// The record of a file the print program took, for the run's destination:
// with the time it was handed over and the spooler's jobs for it.
TReportRecord HandedOverRecord(const TInvocation& invocation, const QString& destination);

class TRunReport
{
public:
    enum class TMode
    {
        // A run that ends: the records are kept and the file is replaced
        // atomically when the report is finished; a failed write leaves the
        // old file.
        Replace,
        // A run without end (the watch): each record is added to the file at
        // once, so that it holds every file handed over even when the run is
        // killed; a new CSV file gets its header. A record is written whole
        // or not at all.
        Append,
    };

    ~TRunReport();

    // Opens the report; false with *error on failure.
    bool Open(const QString& fileName, TMode mode, QString* error);
    // Replace: keeps the record. Append: writes it; false with *error when it
    // could not be written, and the record stays in Unwritten().
    bool Add(const TReportRecord& record, QString* error = nullptr);
    // Replace: writes everything and puts the file in place. Append: writes
    // the records still unwritten. False with *error on failure.
    bool Finish(QString* error);
    // The lines that a failed write could not put into the report.
    const QByteArray& Unwritten() const { return FBytes; }
    // The last failure was standard output closed by its reader (a "| head").
    bool ReaderGone() const { return FReaderGone; }

    static QString CsvLine(const TReportRecord& record);
    static QString JsonLine(const TReportRecord& record);

private:
    bool Put(const QByteArray& bytes, QString* error);

    TMode FMode = TMode::Replace;
    bool FCsv = false;
    bool FReaderGone = false;
    QByteArray FBytes;
    std::unique_ptr<QSaveFile> FFile;
    int FAppendFd = -1;
};

// Reads a report written by TRunReport back into its records: CSV when the
// file starts with the CSV header line, else JSON Lines. False with *error
// when the file cannot be read or a line is no record.
bool ReadRunReport(const QString& fileName, QList<TReportRecord>* records, QString* error);

// Writes all of data to the descriptor, retrying short writes; false with the
// errno value in *error.
bool WriteAllToFd(int fd, const QByteArray& data, int* error);

// The cause of a failed write in one phrase: "disk full" for a full disk or
// quota, else the system's text.
QString WriteErrorText(int error);
