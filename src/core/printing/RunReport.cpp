#include "printing/RunReport.h"

#include "app/GnuGetText.h"
#include "printing/PrintEngine.h"
#include "util/FileIO.h"
#include "util/FileNameBytes.h"
#include "util/SafeFormat.h"
#include "util/Translate.h"

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

bool ResultFromName(const QString& name, TRecordResult* result)
{
    for (TRecordResult r :
         {TRecordResult::Printed, TRecordResult::Failed, TRecordResult::Missing, TRecordResult::Skipped,
          TRecordResult::NotTried, TRecordResult::Duplicate, TRecordResult::Pending}) {
        if (RecordResultName(r) == name) {
            *result = r;
            return true;
        }
    }
    return false;
}

// The rows of a CSV text: quoted fields may hold commas, quotes (doubled) and
// line breaks; rows end at CR LF or LF outside quotes.
QList<QStringList> CsvRows(const QString& text)
{
    QList<QStringList> rows;
    QStringList row;
    QString field;
    bool quoted = false;
    bool any = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text[i + 1] == u'"') {
                field += c;
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == u'"') {
            quoted = true;
            any = true;
        } else if (c == u',') {
            row << field;
            field.clear();
        } else if (c == u'\n' || (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')) {
            if (c == u'\r')
                ++i;
            row << field;
            rows << row;
            row.clear();
            field.clear();
            any = false;
        } else {
            field += c;
            any = true;
        }
    }
    if (any || !row.isEmpty()) {
        row << field;
        rows << row;
    }
    return rows;
}

int CountField(const QString& value, bool* ok)
{
    if (value.isEmpty())
        return -1;
    return value.toInt(ok);
}

bool RecordFromCsv(const QStringList& f, TReportRecord* r)
{
    if (f.size() != 14)
        return false;
    bool ok = true;
    bool fine = true;
    r->Copy = f[0].toInt(&ok);
    fine = fine && ok;
    r->File = f[1];
    fine = fine && ResultFromName(f[2], &r->Result);
    r->ExitCode = f[3].toInt(&ok);
    fine = fine && ok;
    r->Reason = f[4];
    r->HandedOver = f[5];
    r->JobIds = f[6].split(u' ', Qt::SkipEmptyParts);
    r->Recovered = f[7] == u"yes"_s;
    r->Destination = f[8];
    r->JobState = f[9];
    r->JobStateReasons = f[10].split(u' ', Qt::SkipEmptyParts);
    r->Pages = CountField(f[11], &ok);
    fine = fine && ok;
    r->Sheets = CountField(f[12], &ok);
    fine = fine && ok;
    r->DocumentPages = CountField(f[13], &ok);
    return fine && ok;
}

bool RecordFromJson(const QByteArray& line, TReportRecord* r)
{
    QJsonParseError parseError{};
    const QJsonDocument doc = QJsonDocument::fromJson(line, &parseError);
    if (!doc.isObject())
        return false;
    const QJsonObject o = doc.object();
    if (!o.value(u"copy"_s).isDouble() || !o.value(u"file"_s).isString() ||
        !ResultFromName(o.value(u"result"_s).toString(), &r->Result))
        return false;
    r->Copy = o.value(u"copy"_s).toInt();
    r->File = o.value(u"file"_s).toString();
    r->ExitCode = o.value(u"exit_code"_s).toInt();
    r->Reason = o.value(u"reason"_s).toString();
    r->HandedOver = o.value(u"handed_over"_s).toString();
    r->JobIds = o.value(u"job_ids"_s).toVariant().toStringList();
    r->Recovered = o.value(u"recovered"_s).toBool();
    r->Destination = o.value(u"destination"_s).toString();
    r->JobState = o.value(u"job_state"_s).toString();
    r->JobStateReasons = o.value(u"job_state_reasons"_s).toVariant().toStringList();
    r->Pages = o.value(u"pages"_s).toInt(-1);
    r->Sheets = o.value(u"sheets"_s).toInt(-1);
    r->DocumentPages = o.value(u"document_pages"_s).toInt(-1);
    return true;
}

} // namespace

bool ReadRunReport(const QString& fileName, QList<TReportRecord>* records, QString* error)
{
    QByteArray bytes;
    if (!LoadFromFile(fileName, bytes, error))
        return false;
    records->clear();
    const QString bad = TrDefault("%s is no report of a run (line %s)");
    if (bytes.startsWith(CsvHeader)) {
        const QList<QStringList> rows = CsvRows(QString::fromUtf8(bytes.mid(qsizetype(sizeof CsvHeader) - 1)));
        for (qsizetype i = 0; i < rows.size(); ++i) {
            TReportRecord record;
            if (!RecordFromCsv(rows[i], &record)) {
                *error = SafeFormat(bad, {fileName, QString::number(i + 2)});
                return false;
            }
            *records << record;
        }
        return true;
    }
    const QList<QByteArray> lines = bytes.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines[i].trimmed().isEmpty())
            continue;
        TReportRecord record;
        if (!RecordFromJson(lines[i], &record)) {
            *error = SafeFormat(bad, {fileName, QString::number(i + 1)});
            return false;
        }
        *records << record;
    }
    return true;
}

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
