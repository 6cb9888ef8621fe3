#pragma once

#include <QFile>
#include <QSaveFile>
#include <QString>

#include <memory>

// The report of a run: one record per invocation of the print program (and
// one with copy 0 per print list that could not be read and per name that
// found nothing, the latter with the result "missing"). CSV with a header
// line when the file name ends in ".csv", JSON Lines otherwise; "-" is
// standard output.

struct TReportRecord
{
    int Copy = 0;
    QString File;
    bool Printed = false;
    int ExitCode = 0;
    QString Reason;
    bool Missing = false; // a name that found nothing, not an invocation
};

class TRunReport
{
public:
    enum class TMode
    {
        // A run that ends: the records are kept and the file is replaced
        // atomically when the report is finished.
        Replace,
        // A run without end (the watch): each record is added to the file at
        // once, so that it holds every file handed over even when the run is
        // killed; a new CSV file gets its header.
        Append,
    };

    // Opens the report; false with *error on failure.
    bool Open(const QString& fileName, TMode mode, QString* error);
    // Replace: keeps the record. Append: writes it; false with *error on failure.
    bool Add(const TReportRecord& record, QString* error = nullptr);
    // Replace: writes everything and puts the file in place. False with *error on failure.
    bool Finish(QString* error);

    static QString CsvLine(const TReportRecord& record);
    static QString JsonLine(const TReportRecord& record);

private:
    bool Put(const QByteArray& bytes, QString* error);

    QString FFileName;
    TMode FMode = TMode::Replace;
    bool FCsv = false;
    QByteArray FBytes;
    std::unique_ptr<QSaveFile> FFile;
    QFile FAppendFile;
};
