#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// The office documents of a job list, converted to PDF before the run with
// one LibreOffice start (starting it costs seconds, converting one more file
// far less), so that the print program gets each as a PDF. The PDFs lie in a
// temporary folder that goes with this object: at the end of the run, also
// after a stop; a stop signal during the conversion ends LibreOffice, removes
// nothing the run still needs, and is passed on to the program's handler.
class TOfficeHandover
{
public:
    // Converts the files of jobs (relative to sourceDir) whose content and
    // name make them office documents; the others are left alone.
    TOfficeHandover(const QStringList& jobs, const QString& sourceDir);

    // The file the print program is given for a job file: its PDF, or itself.
    QString FileFor(const QString& file) const { return FPdfs.value(file, file); }
    bool Converted(const QString& file) const { return FPdfs.contains(file); }
    // Why LibreOffice gave no PDF of a job file; empty when it did or was not asked.
    QString ProblemFor(const QString& file) const { return FProblems.value(file); }

private:
    QTemporaryDir FFolder;
    QHash<QString, QString> FPdfs, FProblems;
};
