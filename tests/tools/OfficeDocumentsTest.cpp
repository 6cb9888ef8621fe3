// Office documents through LibreOffice and the real spooler: a mixed folder
// printed by morvane-batch with every file in the report and every page in the
// cups-pdf output, and the reasons when LibreOffice cannot help.

#include "support/BatchProcess.h"
#include "support/CupsPdf.h"
#include "support/CupsServer.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace testing_support;
using namespace batch_test;

namespace {

class OfficeDocuments : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const QString problem = CupsProblem();
        ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
        ASSERT_FALSE(QStandardPaths::findExecutable(u"soffice"_qs).isEmpty())
            << "LibreOffice is needed: source scripts/common.sh; install_office_dependencies";
        m_in = m_tmp.filePath(u"in"_qs);
        ASSERT_TRUE(QDir().mkpath(m_in));
    }

    // LibreOffice writes `target` (an extension) from a text file, as a user's program would.
    QString make(const QString& stem, const QByteArray& text, const char* from, const char* target)
    {
        const QString source = m_tmp.filePath(stem + QString::fromUtf8(from));
        EXPECT_TRUE(WriteFile(source, text));
        QProcess p;
        p.start(u"soffice"_qs, {u"-env:UserInstallation=file://"_qs + m_tmp.filePath(u"profile"_qs), u"--headless"_qs,
                                u"--convert-to"_qs, QString::fromUtf8(target), u"--outdir"_qs, m_in, source});
        EXPECT_TRUE(p.waitForFinished(180000)) << target;
        const QString made = m_in + u'/' + stem + u'.' + QString::fromUtf8(target);
        EXPECT_TRUE(QFile::exists(made)) << p.readAllStandardError().data();
        return made;
    }

    // The pages of LibreOffice's own PDF of a document: what the printout must have.
    int ownPdfPages(const QString& document)
    {
        const QString out = m_tmp.filePath(u"own"_qs);
        QProcess p;
        p.start(u"soffice"_qs, {u"-env:UserInstallation=file://"_qs + m_tmp.filePath(u"profile"_qs), u"--headless"_qs,
                                u"--convert-to"_qs, u"pdf"_qs, u"--outdir"_qs, out, document});
        p.waitForFinished(180000);
        return PdfPageCount(out + u'/' + QFileInfo(document).completeBaseName() + u".pdf"_qs);
    }

    QTemporaryDir m_tmp;
    QString m_in;
};

} // namespace

TEST_F(OfficeDocuments, AMixedFolderPrintsInOneRunWithEveryFileInTheReport)
{
    QByteArray longText;
    for (int i = 1; i <= 150; ++i)
        longText += "Line " + QByteArray::number(i) + " of the delivery note\n";
    const QString letter = UniqueJobStem(u"letter"_qs), memo = UniqueJobStem(u"memo"_qs);
    const QString prices = UniqueJobStem(u"prices"_qs), note = UniqueJobStem(u"note"_qs);
    const QString odt = make(letter, longText, ".txt", "odt");
    make(memo, "Memo\nto everyone\n", ".txt", "docx");
    make(prices, "Item,Price\nPaper,4.50\nToner,59.00\n", ".csv", "xlsx");
    const int letterPages = ownPdfPages(odt);
    ASSERT_GT(letterPages, 1);
    ASSERT_TRUE(WriteFile(m_in + u'/' + note + u".txt"_qs, "Delivered: 3 boxes\n"));
    // A Word document cut short, as a copy that broke off leaves it.
    const QByteArray docx = ReadFile(m_in + u'/' + memo + u".docx"_qs);
    ASSERT_TRUE(WriteFile(m_in + u"/broken.docx"_qs, docx.left(docx.size() / 3)));

    // A temporary folder of the run's own, to see that the conversions leave nothing in it.
    const QString tmp = m_tmp.filePath(u"tmp"_qs);
    ASSERT_TRUE(QDir().mkpath(tmp));
    // soffice in PATH counts its starts: the batch converts all four office documents with one.
    const QString bin = m_tmp.filePath(u"bin"_qs), starts = m_tmp.filePath(u"starts"_qs);
    ASSERT_TRUE(WriteFile(bin + u"/soffice"_qs, "#!/bin/sh\necho started >> '" + starts.toUtf8() + "'\nexec '" +
                                                    QStandardPaths::findExecutable(u"soffice"_qs).toUtf8() +
                                                    "' \"$@\"\n"));
    ASSERT_TRUE(QFile::setPermissions(bin + u"/soffice"_qs, QFile::ReadOwner | QFile::ExeOwner));
    const TBatchResult r = RunBatch({u"-p"_qs, TestPrinterName(), u"--pause"_qs, u"0"_qs, u"--report"_qs,
                                     m_tmp.filePath(u"run.csv"_qs), m_in, u"*.*"_qs},
                                    m_tmp.path(), m_tmp.path(),
                                    {u"TMPDIR="_qs + tmp, u"PATH="_qs + bin + u':' + qEnvironmentVariable("PATH")});
    EXPECT_EQ(ReadFile(starts), "started\n");
    EXPECT_EQ(r.Exit, 2) << r.Err.toStdString(); // one file failed
    const QStringList report = QString::fromUtf8(ReadFile(m_tmp.filePath(u"run.csv"_qs))).split(u"\r\n"_qs);
    const struct
    {
        QString stem, ext;
        int pages;
    } printed[] = {
        {letter, u".odt"_qs, letterPages}, {memo, u".docx"_qs, 1}, {prices, u".xlsx"_qs, 1}, {note, u".txt"_qs, 1}};
    for (const auto& p : printed) {
        // The last column: the pages the print program counted (for the text its estimate).
        const QStringList line = report.filter(p.stem + p.ext + u",printed,0,"_qs);
        ASSERT_EQ(line.size(), 1) << report.join(u'\n').toStdString();
        EXPECT_TRUE(line[0].endsWith(u',' + QString::number(p.pages))) << line[0].toStdString();
        const QStringList out = WaitForCupsPdfOutput(p.stem, 1);
        ASSERT_EQ(out.size(), 1) << p.stem.toStdString();
        EXPECT_EQ(PdfPageCount(out[0]), p.pages) << p.stem.toStdString();
        QFile::remove(out[0]);
    }
    const QStringList broken = report.filter(u"broken.docx,failed,2,"_qs);
    ASSERT_EQ(broken.size(), 1) << report.join(u'\n').toStdString();
    EXPECT_TRUE(broken[0].contains(u"LibreOffice cannot open"_qs)) << broken[0].toStdString();
    EXPECT_TRUE(QDir(tmp).isEmpty())
        << QDir(tmp).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).join(u' ').toStdString();
}

TEST_F(OfficeDocuments, TwoConversionsAtOnceAndTheReasonsWithoutLibreOfficeOrInTime)
{
    const QString docx = make(u"memo"_qs, "Memo\n", ".txt", "docx");
    const QString odt = make(u"letter"_qs, "Letter\n", ".txt", "odt");
    // Side by side, as two runs on one machine: each LibreOffice has its own profile.
    QProcess first, second;
    first.start(BuiltPrintProgram(), {u"-check"_qs, docx});
    second.start(BuiltPrintProgram(), {u"-check"_qs, odt});
    ASSERT_TRUE(first.waitForFinished(180000) && second.waitForFinished(180000));
    EXPECT_EQ(QString::fromUtf8(first.readAllStandardOutput()),
              u"\""_qs + docx +
                  u"\": application/vnd.openxmlformats-officedocument.wordprocessingml.document, 1 page\n"_qs);
    EXPECT_EQ(QString::fromUtf8(second.readAllStandardOutput()),
              u"\""_qs + odt + u"\": application/vnd.oasis.opendocument.text, 1 page\n"_qs);

    const PrintResult missing =
        RunPrintProgram({u"-print-to"_qs, TestPrinterName(), docx}, {{u"PATH"_qs, u"/nonexistent"_qs}});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_TRUE(missing.errors.contains(u"LibreOffice is needed to print \""_qs + docx))
        << missing.errors.toStdString();
    const PrintResult slow =
        RunPrintProgram({u"-print-to"_qs, TestPrinterName(), docx}, {{u"MORVANE_OFFICE_TIMEOUT"_qs, u"1"_qs}});
    EXPECT_EQ(slow.exitCode, 2);
    EXPECT_TRUE(slow.errors.contains(u"LibreOffice did not convert it within 1 s"_qs)) << slow.errors.toStdString();
    EXPECT_TRUE(missing.jobIds.isEmpty() && slow.jobIds.isEmpty());
}
