// The command-line client's pieces run in-process, without a spooler: the
// option table's parsing into the options, and the one report writer in both
// of its modes.

#include "BatchOptions.h"
#include "BatchWatch.h"

#include "printing/RunReport.h"
#include "support/QStringPrinter.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <QThread>

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

using namespace testing_support;

TEST(BatchInProcess, ArgumentsBecomeTheOptions)
{
    struct Case
    {
        QStringList Args;
        std::function<void(const TBatchOptions&)> Check;
    };
    const std::vector<Case> cases = {
        {{S("Docs")},
         [](const TBatchOptions& o) {
             EXPECT_EQ(o.Directory, S("Docs"));
             EXPECT_EQ(o.Files, S("*.pdf"));
             EXPECT_EQ(o.Copies, 1);
             EXPECT_FALSE(o.Watch);
         }},
        // Switches group, short options take their value glued or apart.
        {{S("-sq"), S("-n3"), S("Docs"), S("a.pdf;list.pbt")},
         [](const TBatchOptions& o) {
             EXPECT_TRUE(o.SubDirectories);
             EXPECT_TRUE(o.Quiet);
             EXPECT_EQ(o.Copies, 3);
             EXPECT_EQ(o.Files, S("a.pdf;list.pbt"));
         }},
        {{S("--copies=2"), S("--printer"), S("Office"), S("--pause"), S("0"), S("Docs")},
         [](const TBatchOptions& o) {
             EXPECT_EQ(o.Copies, 2);
             EXPECT_EQ(o.Printer, S("Office"));
             EXPECT_EQ(o.PauseMs, 0u);
         }},
        // After "--" a name that looks like an option is an operand; "-" alone is one too.
        {{S("--"), S("-odd"), S("-")},
         [](const TBatchOptions& o) {
             EXPECT_EQ(o.Directory, S("-odd"));
             EXPECT_EQ(o.Files, S("-"));
         }},
        {{S("--watch"), S("--settle"), S("500"), S("--quiet-time=0"), S("--move-printed"), S("Done"), S("In")},
         [](const TBatchOptions& o) {
             EXPECT_TRUE(o.Watch);
             EXPECT_EQ(o.SettleMs, 500);
             EXPECT_EQ(o.QuietMs, 0);
             EXPECT_EQ(o.MovePrinted, S("Done"));
         }},
        // --wait takes its duration only after "=": the word after it stays an operand.
        {{S("--wait"), S("5m")},
         [](const TBatchOptions& o) {
             EXPECT_TRUE(o.Wait);
             EXPECT_EQ(o.WaitS, -1);
             EXPECT_EQ(o.Directory, S("5m"));
         }},
        {{S("--wait=2h"), S("--retry-for"), S("0"), S("Docs")},
         [](const TBatchOptions& o) {
             EXPECT_EQ(o.WaitS, 7200);
             EXPECT_EQ(o.RetryForS, 0);
             EXPECT_TRUE(o.RetryForGiven);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Args.join(u' ').toStdString());
        TBatchOptions options;
        QString error;
        ASSERT_TRUE(ParseBatchArguments(c.Args, options, &error)) << error.toStdString();
        c.Check(options);
    }
    // A watch-only option without --watch is a usage error, named.
    TBatchOptions options;
    QString error;
    EXPECT_FALSE(ParseBatchArguments({S("--settle"), S("500"), S("Docs")}, options, &error));
    EXPECT_TRUE(error.contains(S("--settle"))) << error.toStdString();
    for (const QString& bad : {S("--wait="), S("--wait=soon")}) {
        EXPECT_FALSE(ParseBatchArguments({bad, S("Docs")}, options, &error)) << bad.toStdString();
        EXPECT_TRUE(error.contains(S("--wait")) || error.contains(S("soon"))) << error.toStdString();
    }
}

TEST(BatchInProcess, ReportReplacesWhenFinishedAndAppendsRecordByRecord)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString name = dir.filePath(S("run.csv"));
    ASSERT_TRUE(WriteFile(name, "old report\r\n"));
    const TReportRecord printed{1, S("/docs/a, b.pdf"), TRecordResult::Printed, 0, QString()};
    const TReportRecord failed{1, S("/docs/c.pdf"), TRecordResult::Failed, 2, S("\"c.pdf\" is damaged")};

    // Replace: the old file stands until the report is finished.
    {
        TRunReport report;
        QString error;
        ASSERT_TRUE(report.Open(name, TRunReport::TMode::Replace, &error)) << error.toStdString();
        ASSERT_TRUE(report.Add(printed));
        EXPECT_EQ(ReadFile(name), QByteArray("old report\r\n"));
        ASSERT_TRUE(report.Add(failed));
        ASSERT_TRUE(report.Finish(&error)) << error.toStdString();
    }
    const QByteArray whole = ReadFile(name);
    EXPECT_TRUE(whole.startsWith("copy,file,result,exit_code,reason,")) << whole.constData();
    EXPECT_EQ(whole.count("\r\n"), 3);
    EXPECT_TRUE(whole.contains("1,\"/docs/a, b.pdf\",printed,0,")) << whole.constData();
    EXPECT_TRUE(whole.contains("1,/docs/c.pdf,failed,2,\"\"\"c.pdf\"\" is damaged\"")) << whole.constData();

    // Append: each record is in the file at once; a second watch adds to it
    // without a second header.
    const QString watch = dir.filePath(S("watch.csv"));
    for (int round = 0; round < 2; ++round) {
        TRunReport report;
        QString error;
        ASSERT_TRUE(report.Open(watch, TRunReport::TMode::Append, &error)) << error.toStdString();
        ASSERT_TRUE(report.Add(printed, &error)) << error.toStdString();
        EXPECT_EQ(ReadFile(watch).count("\r\n"), 2 + round * 1) << "round " << round;
        ASSERT_TRUE(report.Finish(&error));
    }
    const QByteArray grown = ReadFile(watch);
    EXPECT_EQ(grown.count("copy,file,result"), 1);
    EXPECT_EQ(grown.count("\r\n"), 3);

    // JSON Lines carry the same fields.
    const QString json = TRunReport::JsonLine(failed);
    EXPECT_TRUE(json.endsWith(u'\n'));
    EXPECT_TRUE(json.contains(S("\"result\":\"failed\""))) << json.toStdString();
    EXPECT_TRUE(json.contains(S("\"exit_code\":2"))) << json.toStdString();
}

TEST(BatchInProcess, WatchClientPrintsEachArrivalOnceUntilStopped)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    ScopedEnv data("XDG_DATA_HOME", root.filePath(S("data")).toUtf8());
    const QString inbox = root.filePath(S("Inbox/"));
    ASSERT_TRUE(QDir().mkpath(inbox));
    const QString log = root.filePath(S("printed.log"));
    const QString program = root.filePath(S("print.sh"));
    // The print program's arguments: -print-to PRINTER FILE.
    ASSERT_TRUE(WriteScript(program, "#!/bin/sh\nprintf '%s\\n' \"$3\" >> '" + log.toUtf8() + "'\n"));

    TBatchOptions options;
    options.Watch = true;
    options.Directory = inbox;
    options.Quiet = true;
    options.QuietMs = 0;
    options.SettleMs = 100;
    // The files may come before the watch looks: those there at its start count too.
    options.IncludeExisting = true;
    TPrintJob job;
    job.Program = program;
    job.Printer = S("Office");
    job.PauseMs = 0;
    job.CaptureOutput = true;
    int wake[2];
    ASSERT_EQ(::pipe2(wake, O_CLOEXEC), 0);
    volatile sig_atomic_t stop = 0;
    int code = -1;
    QThread* watch = QThread::create([&] { code = RunWatch(options, job, wake[0], &stop); });
    watch->start();
    // PDF files that arrive whole are printed once, in order; other names are left alone.
    for (const char* name : {"a.pdf", "b.pdf", "c.txt"}) {
        ASSERT_TRUE(WriteFile(inbox + S("new-") + S(name), "%PDF-1.4\n%%EOF\n"));
        ASSERT_TRUE(QFile::rename(inbox + S("new-") + S(name), inbox + S(name)));
    }
    const auto printed = [&] { return QString::fromUtf8(ReadFile(log)).split(u'\n', Qt::SkipEmptyParts); };
    for (int i = 0; i < 1000 && printed().size() < 2; ++i)
        QThread::msleep(10);
    stop = 1;
    ASSERT_EQ(::write(wake[1], "x", 1), 1);
    ASSERT_TRUE(watch->wait(30000));
    delete watch;
    ::close(wake[0]);
    ::close(wake[1]);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(printed(), (QStringList{inbox + S("a.pdf"), inbox + S("b.pdf")}));
}
