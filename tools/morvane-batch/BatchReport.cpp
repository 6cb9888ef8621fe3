#include "BatchReport.h"

#include <QJsonArray>
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

QString ResultName(const TReportRecord& r)
{
    if (r.Missing)
        return u"missing"_s;
    return r.Printed ? u"printed"_s : u"failed"_s;
}

} // namespace

QString TBatchReport::CsvLine(const TReportRecord& r)
{
    QString line = QString::number(r.Copy) + u',' + CsvField(r.File) + u',' + ResultName(r) + u',' +
                   QString::number(r.ExitCode) + u',' + CsvField(r.Reason);
    if (!r.HandedOver.isEmpty())
        line += u',' + r.HandedOver + u',' + CsvField(r.JobIds.join(u' ')) + u',' + (r.Recovered ? u"yes"_s : u"no"_s);
    return line + u"\r\n"_s;
}

QString TBatchReport::JsonLine(const TReportRecord& r)
{
    QJsonObject o;
    o.insert(u"copy"_s, r.Copy);
    o.insert(u"file"_s, r.File);
    o.insert(u"result"_s, ResultName(r));
    o.insert(u"exit_code"_s, r.ExitCode);
    o.insert(u"reason"_s, r.Reason);
    if (!r.HandedOver.isEmpty()) {
        o.insert(u"handed_over"_s, r.HandedOver);
        o.insert(u"job_ids"_s, QJsonArray::fromStringList(r.JobIds));
        o.insert(u"recovered"_s, r.Recovered);
    }
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
