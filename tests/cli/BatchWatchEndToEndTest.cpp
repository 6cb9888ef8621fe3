// A watched folder through the built print-to program and the real spooler:
// PDF files copied in come out of the cups-pdf queue with their pages.

#include "support/BatchProcess.h"

#include "support/QStringPrinter.h"
#include "support/CupsPdf.h"
#include "support/PdfWriter.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>

using namespace batch_test;
using namespace testing_support;

namespace {

TEST(BatchWatchEndToEnd, FilesCopiedInReachTheQueue)
{
    const QString problem = CupsProblem();
    ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
    QTemporaryDir root;
    const QString inbox = root.filePath(S("Inbox/"));
    ASSERT_TRUE(QDir().mkpath(inbox));
    const QString stem = UniqueJobStem(S("watch"));

    const TBatchResult r = RunBatch({S("--watch"), S("-p"), TestPrinterName(), S("--program"), BuiltPrintProgram(),
                                     S("--pause"), S("200"), S("--report"), S("watch.jsonl"), S("Inbox")},
                                    root.path(), root.filePath(S("home")), {}, [&](QProcess& p, QString& err) {
                                        ASSERT_TRUE(WaitForError(p, err, S("Watching")));
                                        // Copied in as a user would: written elsewhere, then copied.
                                        for (int pages = 1; pages <= 3; ++pages) {
                                            const QString source =
                                                root.filePath(QStringLiteral("src/%1-%2.pdf").arg(stem).arg(pages));
                                            ASSERT_TRUE(WriteFile(source, MakePdf(pages)));
                                            ASSERT_TRUE(QFile::copy(source, inbox + QFileInfo(source).fileName()));
                                        }
                                        ASSERT_TRUE(WaitForError(p, err, S("[3]"))) << err.toStdString();
                                        ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
                                    });
    EXPECT_EQ(r.Exit, 0) << r.Err.toStdString();
    const QString report = QString::fromUtf8(ReadFile(root.filePath(S("watch.jsonl"))));
    EXPECT_EQ(report.count(S("\"result\":\"printed\"")), 3) << report.toStdString();

    const QStringList output = WaitForCupsPdfOutput(stem, 3);
    ASSERT_EQ(output.size(), 3) << "output folder: " << CupsPdfOutputDir().toStdString();
    QList<int> pages;
    for (const QString& file : output)
        pages << PdfPageCount(file);
    std::sort(pages.begin(), pages.end());
    EXPECT_EQ(pages, (QList<int>{1, 2, 3}));
    for (const QString& file : output)
        QFile::remove(file);
}

} // namespace
