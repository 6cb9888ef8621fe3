#include "BatchReport.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <cstdio>
#include <cstring>

using namespace Qt::StringLiterals;

namespace {

QString CsvField(const QString& value)
{
    if (!value.contains(u',') && !value.contains(u'"') && !value.contains(u'\n') && !value.contains(u'\r'))
        return value;
    QString quoted = value;
    quoted.replace(u"\""_s, u"\"\""_s);
    return u'"' + quoted + u'"';
}

} // namespace

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
    }
    return u"failed"_s;
}

QString TBatchReport::CsvLine(const TReportRecord& r)
{
    return QString::number(r.Copy) + u',' + CsvField(r.File) + u',' + RecordResultName(r.Result) + u',' +
           QString::number(r.ExitCode) + u',' + CsvField(r.Reason) + u"\r\n"_s;
}

QString TBatchReport::JsonLine(const TReportRecord& r)
{
    QJsonObject o;
    o.insert(u"copy"_s, r.Copy);
    o.insert(u"file"_s, r.File);
    o.insert(u"result"_s, RecordResultName(r.Result));
    o.insert(u"exit_code"_s, r.ExitCode);
    o.insert(u"reason"_s, r.Reason);
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)) + u'\n';
}

bool TBatchReport::Open(const QString& fileName, QString* error)
{
    FFileName = fileName;
    FCsv = fileName.endsWith(u".csv"_s, Qt::CaseInsensitive);
    if (FCsv)
        FBytes = "copy,file,result,exit_code,reason\r\n";
    if (fileName == u"-"_s)
        return true;
    FFile = std::make_unique<QSaveFile>(fileName);
    if (!FFile->open(QIODevice::WriteOnly)) {
        *error = FFile->errorString();
        FFile.reset();
        return false;
    }
    return true;
}

void TBatchReport::Add(const TReportRecord& record)
{
    FBytes += (FCsv ? CsvLine(record) : JsonLine(record)).toUtf8();
}

bool TBatchReport::Finish(QString* error)
{
    if (!FFile) {
        std::fwrite(FBytes.constData(), 1, static_cast<size_t>(FBytes.size()), stdout);
        if (std::fflush(stdout) != 0) {
            *error = QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
        return true;
    }
    if (FFile->write(FBytes) != FBytes.size() || !FFile->commit()) {
        *error = FFile->errorString();
        return false;
    }
    return true;
}
