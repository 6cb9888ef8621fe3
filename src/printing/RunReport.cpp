#include "printing/RunReport.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <cstdio>
#include <cstring>

using namespace Qt::StringLiterals;

namespace {

constexpr char CsvHeader[] = "copy,file,result,exit_code,reason\r\n";

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

QString TRunReport::CsvLine(const TReportRecord& r)
{
    return QString::number(r.Copy) + u',' + CsvField(r.File) + u',' + ResultName(r) + u',' +
           QString::number(r.ExitCode) + u',' + CsvField(r.Reason) + u"\r\n"_s;
}

QString TRunReport::JsonLine(const TReportRecord& r)
{
    QJsonObject o;
    o.insert(u"copy"_s, r.Copy);
    o.insert(u"file"_s, r.File);
    o.insert(u"result"_s, ResultName(r));
    o.insert(u"exit_code"_s, r.ExitCode);
    o.insert(u"reason"_s, r.Reason);
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)) + u'\n';
}

bool TRunReport::Open(const QString& fileName, TMode mode, QString* error)
{
    FFileName = fileName;
    FMode = mode;
    FCsv = fileName.endsWith(u".csv"_s, Qt::CaseInsensitive);
    if (mode == TMode::Append) {
        if (fileName == u"-"_s)
            return true;
        FAppendFile.setFileName(fileName);
        if (!FAppendFile.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
            *error = FAppendFile.errorString();
            return false;
        }
        if (FCsv && FAppendFile.size() == 0)
            return Put(CsvHeader, error);
        return true;
    }
    if (FCsv)
        FBytes = CsvHeader;
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

bool TRunReport::Add(const TReportRecord& record, QString* error)
{
    const QByteArray line = (FCsv ? CsvLine(record) : JsonLine(record)).toUtf8();
    if (FMode == TMode::Append) {
        QString ignored;
        return Put(line, error ? error : &ignored);
    }
    FBytes += line;
    return true;
}

bool TRunReport::Put(const QByteArray& bytes, QString* error)
{
    if (!FAppendFile.isOpen()) {
        std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
        if (std::fflush(stdout) == 0)
            return true;
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    if (FAppendFile.write(bytes) == bytes.size())
        return true;
    *error = FAppendFile.errorString();
    return false;
}

bool TRunReport::Finish(QString* error)
{
    if (FMode == TMode::Append)
        return true;
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
