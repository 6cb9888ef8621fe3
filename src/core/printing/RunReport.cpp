#include "printing/RunReport.h"

#include "app/GnuGetText.h"
#include "printing/PrintEngine.h"
#include "util/FileNameBytes.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// One header for the one-off run and the watch: a record handed over says
// when, to which jobs and to which destination, and a followed one how its
// jobs ended; the others leave that empty. The document's pages come last.
constexpr char CsvHeader[] = "copy,file,result,exit_code,reason,handed_over,job_ids,recovered,destination,"
                             "job_state,job_state_reasons,pages,sheets,document_pages\r\n";

QString Count(int n)
{
    return n < 0 ? QString() : QString::number(n);
}

QString CsvField(const QString& value)
{
    if (!value.contains(u',') && !value.contains(u'"') && !value.contains(u'\n') && !value.contains(u'\r'))
        return value;
    QString quoted = value;
    quoted.replace(u"\""_s, u"\"\""_s);
    return u'"' + quoted + u'"';
}

} // namespace

TReportRecord HandedOverRecord(const TInvocation& inv, const QString& destination)
{
    TReportRecord record{
        inv.Copy,   inv.File,  TRecordResult::Printed,
        0,          QString(), QDateTime::fromMSecsSinceEpoch(inv.HandedOverMs).toUTC().toString(Qt::ISODateWithMs),
        inv.JobIds, false,     destination};
    record.DocumentPages = inv.DocumentPages;
    return record;
}

QString RecordResultName(TRecordResult result)
{
    switch (result) {
    case TRecordResult::Printed:
        return u"printed"_s;
    case TRecordResult::Failed:
        break;
    case TRecordResult::Missing:
        return u"missing"_s;
    case TRecordResult::Skipped:
        return u"skipped"_s;
    case TRecordResult::NotTried:
        return u"not-tried"_s;
    case TRecordResult::Duplicate:
        return u"duplicate"_s;
    case TRecordResult::Pending:
        return u"pending"_s;
    }
    return u"failed"_s;
}

QString TRunReport::CsvLine(const TReportRecord& r)
{
    QString line = QString::number(r.Copy) + u',' + CsvField(r.File) + u',' + RecordResultName(r.Result) + u',' +
                   QString::number(r.ExitCode) + u',' + CsvField(r.Reason);
    line += u',' + r.HandedOver + u',' + CsvField(r.JobIds.join(u' ')) + u',' +
            (r.HandedOver.isEmpty() ? QString()
             : r.Recovered          ? u"yes"_s
                                    : u"no"_s) +
            u',' + CsvField(r.Destination);
    line += u',' + r.JobState + u',' + CsvField(r.JobStateReasons.join(u' ')) + u',' + Count(r.Pages) + u',' +
            Count(r.Sheets);
    // The document's pages as the print program counted them: the last column.
    line += u',' + (r.DocumentPages >= 0 ? QString::number(r.DocumentPages) : QString());
    return line + u"\r\n"_s;
}

QString TRunReport::JsonLine(const TReportRecord& r)
{
    QJsonObject o;
    o.insert(u"copy"_s, r.Copy);
    o.insert(u"file"_s, r.File);
    o.insert(u"result"_s, RecordResultName(r.Result));
    o.insert(u"exit_code"_s, r.ExitCode);
    o.insert(u"reason"_s, r.Reason);
    if (!r.HandedOver.isEmpty()) {
        o.insert(u"handed_over"_s, r.HandedOver);
        o.insert(u"job_ids"_s, QJsonArray::fromStringList(r.JobIds));
        o.insert(u"recovered"_s, r.Recovered);
        if (!r.Destination.isEmpty())
            o.insert(u"destination"_s, r.Destination);
    }
    if (!r.JobState.isEmpty()) {
        o.insert(u"job_state"_s, r.JobState);
        o.insert(u"job_state_reasons"_s, QJsonArray::fromStringList(r.JobStateReasons));
        if (r.Pages >= 0)
            o.insert(u"pages"_s, r.Pages);
        if (r.Sheets >= 0)
            o.insert(u"sheets"_s, r.Sheets);
    }
    if (r.DocumentPages >= 0)
        o.insert(u"document_pages"_s, r.DocumentPages);
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)) + u'\n';
}

bool WriteAllToFd(int fd, const QByteArray& data, int* error)
{
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.constData() + done, static_cast<size_t>(data.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            // A write of nothing is a full device that gave no errno.
            *error = n < 0 ? errno : ENOSPC;
            return false;
        }
        done += n;
    }
    return true;
}

QString WriteErrorText(int error)
{
    if (error == ENOSPC || error == EDQUOT)
        return TrDefault("disk full");
    return QString::fromLocal8Bit(std::strerror(error));
}

TRunReport::~TRunReport()
{
    if (FAppendFd >= 0)
        ::close(FAppendFd);
}

bool TRunReport::Open(const QString& fileName, TMode mode, QString* error)
{
    FMode = mode;
    FCsv = fileName.endsWith(u".csv"_s, Qt::CaseInsensitive);
    if (mode == TMode::Append) {
        if (fileName == u"-"_s)
            return true;
        FAppendFd = ::open(FileNameToBytes(fileName).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
        struct stat st
        {
        };
        if (FAppendFd < 0 || ::fstat(FAppendFd, &st) != 0) {
            *error = WriteErrorText(errno);
            return false;
        }
        if (FCsv && st.st_size == 0)
            return Put(CsvHeader, error);
        return true;
    }
    if (FCsv)
        FBytes = CsvHeader;
    if (fileName == u"-"_s)
        return true;
    FFile = std::make_unique<QSaveFile>(fileName);
    // Unbuffered: every byte is written (and checked) before the file is put in place.
    if (!FFile->open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        *error = FFile->errorString();
        FFile.reset();
        return false;
    }
    return true;
}

bool TRunReport::Add(const TReportRecord& record, QString* error)
{
    FBytes += (FCsv ? CsvLine(record) : JsonLine(record)).toUtf8();
    if (FMode == TMode::Replace)
        return true;
    QString ignored;
    return Put(QByteArray(), error ? error : &ignored);
}

bool TRunReport::Put(const QByteArray& bytes, QString* error)
{
    // What failed before goes first, in one write with the new lines.
    const QByteArray all = FBytes + bytes;
    int failure = 0;
    if (FAppendFd < 0) {
        std::fflush(stdout);
        if (!WriteAllToFd(STDOUT_FILENO, all, &failure)) {
            FBytes = all;
            FReaderGone = failure == EPIPE;
            *error = WriteErrorText(failure);
            return false;
        }
        FBytes.clear();
        return true;
    }
    struct stat st
    {
    };
    if (::fstat(FAppendFd, &st) != 0) {
        failure = errno;
    } else if (!WriteAllToFd(FAppendFd, all, &failure)) {
        // Whole records or nothing: a part that reached the file is taken back.
        if (::ftruncate(FAppendFd, st.st_size) != 0) {
            // The file keeps a torn tail; the error below says the report failed.
        }
    }
    if (failure != 0) {
        FBytes = all;
        *error = WriteErrorText(failure);
        return false;
    }
    FBytes.clear();
    return true;
}

bool TRunReport::Finish(QString* error)
{
    if (FMode == TMode::Append)
        return FBytes.isEmpty() || Put(QByteArray(), error);
    int failure = 0;
    if (!FFile) {
        std::fflush(stdout);
        if (!WriteAllToFd(STDOUT_FILENO, FBytes, &failure)) {
            FReaderGone = failure == EPIPE;
            *error = WriteErrorText(failure);
            return false;
        }
        return true;
    }
    if (!WriteAllToFd(FFile->handle(), FBytes, &failure)) {
        FFile->cancelWriting();
        FFile.reset();
        *error = WriteErrorText(failure);
        return false;
    }
    if (!FFile->commit()) {
        *error = FFile->errorString();
        return false;
    }
    return true;
}
