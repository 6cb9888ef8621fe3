// The whole way from morvane-batch through the built print-to program and the
// real spooler to the PDF files that the cups-pdf queue writes.

#include "support/BatchProcess.h"

#include "support/CupsPdf.h"
#include "support/CupsServer.h"
#include "support/PdfWriter.h"
#include "support/QStringPrinter.h"

#include <QDate>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>

#include <gtest/gtest.h>

#include <algorithm>

using namespace batch_test;
using namespace testing_support;

namespace {

TEST(BatchEndToEnd, PrintsThroughCupsAndReportsTheDamagedFile)
{
    const QString problem = CupsProblem();
    ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
    QTemporaryDir root;
    const QString stem = UniqueJobStem(S("batch"));
    const QString docs = root.filePath(S("Docs/"));
    ASSERT_TRUE(WriteFile(docs + stem + S("-a.pdf"), MakePdf(1)));
    ASSERT_TRUE(WriteFile(docs + S("sub/") + stem + S("-b.pdf"), MakePdf(2)));
    ASSERT_TRUE(WriteFile(docs + S("lists/") + stem + S("-cc.pdf"), MakePdf(3)));
    ASSERT_TRUE(WriteFile(docs + S("lists/") + stem + S("-broken.pdf"), MakePdf(1).left(200)));
    ASSERT_TRUE(WriteFile(docs + S("print.pbt"),
                          (S("lists/") + stem + S("-cc.pdf\nlists/") + stem + S("-broken.pdf\n")).toUtf8()));

    const TBatchResult r =
        RunBatch({S("-s"), S("-n"), S("2"), S("-p"), TestPrinterName(), S("--program"), BuiltPrintProgram(),
                  S("--pause"), S("200"), S("--report"), S("run.jsonl"), S("Docs"), stem + S("-?.pdf;print.pbt")},
                 root.path(), root.filePath(S("home")));
    // Per copy: b from the subfolder, a, then the list's c and the broken one.
    EXPECT_EQ(r.Exit, 2) << r.Err.toStdString();
    EXPECT_TRUE(r.Err.contains(S("Printed: 6, failed: 2"))) << r.Err.toStdString();

    const QStringList records =
        QString::fromUtf8(ReadFile(root.filePath(S("run.jsonl")))).split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(records.size(), 8);
    for (const int i : {3, 7}) {
        EXPECT_TRUE(records[i].contains(S("-broken.pdf\""))) << records[i].toStdString();
        EXPECT_TRUE(records[i].contains(S("\"result\":\"failed\",")) || records[i].endsWith(S("\"failed\"}")));
        EXPECT_TRUE(records[i].contains(S("\"exit_code\":2,")));
        EXPECT_TRUE(records[i].contains(S("\"reason\":\"morvane-printpdf: "))) << records[i].toStdString();
    }

    const QStringList output = WaitForCupsPdfOutput(stem, 6);
    ASSERT_EQ(output.size(), 6) << "output folder: " << CupsPdfOutputDir().toStdString();
    QList<int> pages;
    for (const QString& file : output)
        pages << PdfPageCount(file);
    std::sort(pages.begin(), pages.end());
    EXPECT_EQ(pages, (QList<int>{1, 1, 2, 2, 3, 3}));
    for (const QString& file : output)
        QFile::remove(file);
}

TEST(BatchEndToEnd, EachFileOncePerCopyThoughSeveralNamesReachIt)
{
    const QString problem = CupsProblem();
    ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
    QTemporaryDir root;
    const QString stem = UniqueJobStem(S("batchonce"));
    const QString docs = root.filePath(S("Docs/"));
    ASSERT_TRUE(WriteFile(docs + stem + S("-a.pdf"), MakePdf(1)));
    ASSERT_TRUE(WriteFile(docs + stem + S("-b.PDF"), MakePdf(3)));
    ASSERT_TRUE(WriteFile(docs + stem + S("-c.pdf"), MakePdf(2)));
    ASSERT_TRUE(WriteFile(docs + S("list.pbt"), (stem + S("-c.pdf\n\n./") + stem + S("-a.pdf\n")).toUtf8()));

    // Both masks reach all three files, the list two of them again; pages 2-3
    // leave nothing of the one-page file.
    const TBatchResult r = RunBatch({S("-n"), S("2"), S("--print-settings"), S("2-3"), S("-p"), TestPrinterName(),
                                     S("--program"), BuiltPrintProgram(), S("--pause"), S("200"), S("--report"),
                                     S("run.jsonl"), S("Docs"), S("*.pdf;*.PDF;list.pbt")},
                                    root.path(), root.filePath(S("home")));
    EXPECT_EQ(r.Exit, 0) << r.Err.toStdString();
    EXPECT_TRUE(r.Err.contains(S("Printed: 4, failed: 0\n"))) << r.Err.toStdString();
    EXPECT_TRUE(r.Err.contains(S("Skipped: 2\n"))) << r.Err.toStdString();
    EXPECT_TRUE(r.Err.contains(S("\n3 files named twice were printed once\n"))) << r.Err.toStdString();
    EXPECT_TRUE(r.Err.contains(S("\nEmpty print list lines passed over: 1\n"))) << r.Err.toStdString();
    const QString report = QString::fromUtf8(ReadFile(root.filePath(S("run.jsonl"))));
    EXPECT_EQ(report.count(S("\"result\":\"printed\"")), 4);
    EXPECT_EQ(report.count(S("\"result\":\"skipped\"")), 2);
    EXPECT_EQ(report.count(S("\"result\":\"duplicate\"")), 5);

    const QStringList output = WaitForCupsPdfOutput(stem, 4);
    ASSERT_EQ(output.size(), 4) << "output folder: " << CupsPdfOutputDir().toStdString();
    QList<int> pages;
    for (const QString& file : output)
        pages << PdfPageCount(file);
    std::sort(pages.begin(), pages.end());
    // b's pages 2 and 3, c's page 2, once per copy.
    EXPECT_EQ(pages, (QList<int>{1, 1, 2, 2}));
    for (const QString& file : output)
        QFile::remove(file);
}

TEST(BatchEndToEnd, PrintSettingsReachTheSpooler)
{
    const QString problem = CupsProblem();
    ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
    QTemporaryDir root;
    const QString stem = UniqueJobStem(S("batchset"));
    ASSERT_TRUE(WriteFile(root.filePath(S("Docs/") + stem + S(".pdf")), MakePdf(5)));

    const TBatchResult r = RunBatch({S("-q"), S("--print-settings"), S("2-3"), S("-p"), TestPrinterName(),
                                     S("--program"), BuiltPrintProgram(), S("--pause"), S("0"), S("Docs")},
                                    root.path(), root.filePath(S("home")));
    EXPECT_EQ(r.Exit, 0) << r.Err.toStdString();

    const QStringList output = WaitForCupsPdfOutput(stem, 1);
    ASSERT_EQ(output.size(), 1) << "output folder: " << CupsPdfOutputDir().toStdString();
    EXPECT_EQ(PdfPageCount(output[0]), 2);
    QFile::remove(output[0]);
}

TEST(BatchEndToEnd, CopiesInTheJobAndJobNamesFromATemplate)
{
    const QString problem = CupsProblem();
    ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
    // A queue of the test's own that takes the jobs and prints none.
    const QString queue = S("MorvaneStopped-") + UniqueJobStem(S("b")).right(12);
    QProcess admin;
    admin.start(S("lpadmin"), {S("-p"), queue, S("-E"), S("-v"), S("cups-pdf:/"), S("-m"), S("raw")});
    ASSERT_TRUE(admin.waitForFinished(60000) && admin.exitCode() == 0) << admin.readAllStandardError().toStdString();
    const auto removeQueue = qScopeGuard([&queue] { QProcess::execute(S("lpadmin"), {S("-x"), queue}); });
    ASSERT_EQ(QProcess::execute(S("cupsdisable"), {queue}), 0);

    QTemporaryDir root;
    const QString stem = UniqueJobStem(S("injob"));
    ASSERT_TRUE(WriteFile(root.filePath(S("Invoices/") + stem + S("-a.pdf")), MakePdf(1)));
    ASSERT_TRUE(WriteFile(root.filePath(S("Invoices/") + stem + S("-b.pdf")), MakePdf(2)));
    const TBatchResult r = RunBatch(
        {S("-q"), S("-n"), S("3"), S("--copies-in-job"), S("--job-name"), S("{batch} {file} {copy} {date}"), S("-p"),
         queue, S("--program"), BuiltPrintProgram(), S("--pause"), S("0"), S("--report"), S("run.csv"), S("Invoices")},
        root.path(), root.filePath(S("home")));
    EXPECT_EQ(r.Exit, 0) << r.Err.toStdString();

    // Each file handed over once, the three copies in its job.
    QProcess lpstat;
    lpstat.start(S("lpstat"), {S("-o"), queue});
    ASSERT_TRUE(lpstat.waitForFinished(60000));
    const QStringList lines = QString::fromLocal8Bit(lpstat.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2) << lines.join(u'\n').toStdString();
    QStringList names;
    for (const QString& line : lines) {
        const int id = line.section(u' ', 0, 0).section(u'-', -1).toInt();
        const QMap<QString, QString> job = JobAttributes(QString(), id);
        EXPECT_EQ(job.value(S("copies")), S("3"));
        EXPECT_EQ(job.value(S("multiple-document-handling")), S("separate-documents-collated-copies"));
        names << job.value(S("job-name"));
    }
    names.sort();
    const QString today = QDate::currentDate().toString(S("yyyy-MM-dd"));
    EXPECT_EQ(names, (QStringList{S("Invoices ") + stem + S("-a.pdf 1 ") + today,
                                  S("Invoices ") + stem + S("-b.pdf 1 ") + today}));
}

} // namespace
