// morvane-batch as a process with a stand-in print program: exit codes,
// reports, saved settings and the stop signals. The printer comes from CUPS.

#include "support/BatchProcess.h"
#include "support/JobListCases.h"

#include "app/MainSettings.h"
#include "support/QStringPrinter.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <csignal>

using namespace batch_test;
using namespace testing_support;

namespace {

// Logs "printer|file"; "bad" files fail with a reason and exit code 4,
// "slow" ones take a moment, "short" ones have no page a settings list asks for.
constexpr char kFakeProgram[] = "#!/bin/sh\n"
                                "echo \"$2|$3\" >> \"$0.log\"\n"
                                "for last; do :; done\n"
                                "case \"$last\" in *short*) echo \"$last: no page is left\" >&2; exit 6 ;; esac\n"
                                "case \"$last\" in *slow*) sleep 0.4 ;; esac\n"
                                "case \"$last\" in *bad*) echo \"broken, really: $last\" >&2; exit 4 ;; esac\n"
                                "exit 0\n";

class BatchRun : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        program = root.filePath(S("bin/fake-print"));
        ASSERT_TRUE(WriteScript(program, kFakeProgram));
        for (const char* name : {"a.pdf", "bad.pdf", "c.pdf", "1slow.pdf", "2slow.pdf", "3slow.pdf", "short.pdf"})
            ASSERT_TRUE(WriteFile(docs + S(name), "%PDF-1.4\n"));
    }
    TBatchResult Run(QStringList args, const std::function<void(QProcess&, QString&)>& whileRunning = nullptr)
    {
        QFile::remove(program + S(".log"));
        return RunBatch(args, root.path(), root.filePath(S("home")), {}, whileRunning);
    }
    QStringList Log() const
    {
        return QString::fromUtf8(ReadFile(program + S(".log"))).split(u'\n', Qt::SkipEmptyParts);
    }

    QTemporaryDir root;
    QString docs = root.filePath(S("Docs/"));
    QString program;
};

TEST_F(BatchRun, ExitCodesAndReports)
{
    const QStringList common{S("--pause"), S("0"), S("--program"), program, S("Docs")};
    struct Case
    {
        QStringList args;
        int exit;
        int calls;
        const char* summary;
    };
    const Case cases[] = {
        {{S("a.pdf;c.pdf"), S("-n"), S("2")}, 0, 4, "Printed: 4, failed: 0"},
        {{S("a.pdf;bad.pdf;c.pdf")}, 2, 3, "Printed: 2, failed: 1"},
        {{S("a.pdf;bad.pdf;c.pdf"), S("--stop-on-error")}, 2, 2, "Printed: 1, failed: 1"},
        // The rest of this copy and the whole next one.
        {{S("a.pdf;bad.pdf;c.pdf"), S("--stop-on-error"), S("-n2")}, 2, 2, "Not tried: 4\n"},
        // A file the page range does not reach is no failure; nothing printed at all is "nothing".
        {{S("--print-settings"), S("2-3"), S("a.pdf;short.pdf;c.pdf")}, 0, 3, "Printed: 2, failed: 0"},
        {{S("--print-settings"), S("2-3"), S("a.pdf;short.pdf;c.pdf")}, 0, 3, "Skipped: 1\n  "},
        {{S("--print-settings"), S("2-3"), S("short.pdf")}, 3, 1, "Skipped: 1\n"},
        // Without a settings list the code is only a failure of the program.
        {{S("a.pdf;short.pdf")}, 2, 2, "Printed: 1, failed: 1"},
        {{S("gone.pbt;a.pdf")}, 2, 1, "Printed: 1, failed: 1"},
        {{S("*.ps")}, 3, 0, "Printed: 0, failed: 0"},
        {{S("-p"), S("no-such-queue"), S("a.pdf")}, 1, 0, "the printer no-such-queue does not exist"},
        {{S("--report"), S("no/such/dir/r.csv"), S("a.pdf")}, 1, 0, "the report no/such/dir/r.csv cannot be written"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(u' ').toStdString());
        const TBatchResult r = Run(common + c.args);
        EXPECT_EQ(r.Exit, c.exit) << r.Err.toStdString();
        EXPECT_EQ(Log().size(), c.calls);
        EXPECT_TRUE(r.Err.contains(S(c.summary))) << r.Err.toStdString();
    }

    // Both report formats hold every invocation, the failed one with its reason.
    const TBatchResult csv = Run(common + QStringList{S("-q"), S("--report"), S("r.csv"), S("a.pdf;bad.pdf")});
    EXPECT_EQ(csv.Exit, 2);
    // A file handed over says when and to which printer; the stand-in names no jobs.
    const QString header = S("copy,file,result,exit_code,reason,handed_over,job_ids,recovered,destination,"
                             "job_state,job_state_reasons,pages,sheets,document_pages\r\n");
    EXPECT_EQ(QString::fromUtf8(ReadFile(root.filePath(S("r.csv"))))
                  .replace(QRegularExpression(S(",\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z,")), S(",TIME,")),
              header + S("1,") + docs + S("a.pdf,printed,0,,TIME,,no,PDF,,,,,\r\n1,") + docs +
                  S("bad.pdf,failed,4,\"broken, really: ") + docs + S("bad.pdf\",,,,,,,,,\r\n"));
    // Quiet: no progress lines, only the failure and the summary.
    EXPECT_FALSE(csv.Err.contains(S("[1/2]")));
    EXPECT_TRUE(csv.Err.contains(S("morvane-batch: ") + docs + S("bad.pdf could not be printed: broken, really:")));

    // Skipped and never tried, each with its record.
    const TBatchResult stopped = Run(common + QStringList{S("-q"), S("--stop-on-error"), S("--print-settings"), S("1"),
                                                          S("--report"), S("s.csv"), S("short.pdf;bad.pdf;a.pdf")});
    EXPECT_EQ(stopped.Exit, 2);
    EXPECT_EQ(QString::fromUtf8(ReadFile(root.filePath(S("s.csv")))),
              header + S("1,") + docs + S("short.pdf,skipped,6,") + docs +
                  S("short.pdf: no page is left,,,,,,,,,\r\n1,") + docs + S("bad.pdf,failed,4,\"broken, really: ") +
                  docs + S("bad.pdf\",,,,,,,,,\r\n1,") + docs + S("a.pdf,not-tried,-1,,,,,,,,,,\r\n"));

    const TBatchResult json = Run(common + QStringList{S("--report"), S("-"), S("-n2"), S("bad.pdf")});
    EXPECT_EQ(json.Exit, 2);
    const QString record = S("{\"copy\":%1,\"exit_code\":4,\"file\":\"") + docs +
                           S("bad.pdf\",\"reason\":\"broken, really: ") + docs +
                           S("bad.pdf\",\"result\":\"failed\"}\n");
    EXPECT_EQ(json.Out, record.arg(1) + record.arg(2));
    EXPECT_TRUE(json.Err.contains(S("[2/2] copy 2/2  ") + docs + S("bad.pdf\n")));
}

TEST_F(BatchRun, NamesThatFoundNothingAreWarnedSummedUpAndReported)
{
    ASSERT_TRUE(WriteFile(docs + S("%s.pbt"), "a.pdf\ngone.pdf\n"));
    const QStringList common{S("--pause"), S("0"), S("--program"), program, S("--report"), S("-"), S("Docs")};
    struct Case
    {
        QStringList args;
        int exit;
        int calls;
        QStringList warnings;
    };
    const Case cases[] = {
        {{S("a.pdf;missing.pdf")}, 2, 1, {S("\"missing.pdf\" matched no file")}},
        // Missing names outrank "nothing to print".
        {{S("missing.pdf")}, 2, 0, {S("\"missing.pdf\" matched no file")}},
        // The list's missing line is not handed over; "%s" in names stays as it is.
        {{S("%s.pbt")}, 2, 1, {docs + S("%s.pbt, line 2: \"gone.pdf\" names no existing file")}},
        // Through subdirectories, and a blank kept in front of a name.
        {{S("-s"), S("a.pdf; c.pdf")}, 2, 1, {S("\" c.pdf\" matched no file")}},
        // Masks may match nothing, and empty tokens name nothing.
        {{S("a.pdf;;x?.pdf;*.ps")}, 0, 1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(u' ').toStdString());
        const TBatchResult r = Run(common + c.args);
        EXPECT_EQ(r.Exit, c.exit) << r.Err.toStdString();
        EXPECT_EQ(Log().size(), c.calls);
        EXPECT_EQ(r.Out.count(S("\"result\":\"missing\"")), c.warnings.size()) << r.Out.toStdString();
        EXPECT_EQ(r.Err.contains(S("Not found: ")), !c.warnings.isEmpty()) << r.Err.toStdString();
        for (const QString& warning : c.warnings) {
            EXPECT_TRUE(r.Err.contains(S("morvane-batch: warning: ") + warning + u'\n')) << r.Err.toStdString();
            EXPECT_TRUE(r.Err.contains(S("Not found: 1\n  ") + warning + u'\n')) << r.Err.toStdString();
        }
    }
}

TEST_F(BatchRun, JobListRunAndDryRunMakeTheSameCallsAndRecords)
{
    const QString tree = root.filePath(S("tree/"));
    const QString docs = tree + S("Docs/");
    ASSERT_TRUE(job_list_cases::WriteTree(docs));
    const QString logger = root.filePath(S("bin/log-print"));
    ASSERT_TRUE(WriteScript(logger, job_list_cases::kLoggingProgram));
    // "result file" per record of the report, files relative to Docs/.
    const auto records = [&](const QString& report, const char* result) {
        QStringList files;
        const QStringList lines = QString::fromUtf8(ReadFile(report)).split(S("\r\n"), Qt::SkipEmptyParts);
        for (const QString& line : lines.mid(1)) {
            if (line.section(u',', 2, 2) == S(result))
                files << line.section(u',', 1, 1).remove(docs);
        }
        return files;
    };
    for (const job_list_cases::TCase& c : job_list_cases::Cases()) {
        SCOPED_TRACE(c.Field);
        QStringList args{S("--pause"), S("0"), S("--program"), logger};
        if (c.SubDirs)
            args << S("-s");
        if (c.KeepDuplicates)
            args << S("--keep-duplicates");
        const QStringList operands{S("./Docs/"), S(c.Field)};
        const int exit = !c.Missing.isEmpty() ? 2 : c.Calls.isEmpty() ? 3 : 0;

        QFile::remove(logger + S(".log"));
        const TBatchResult run =
            RunBatch(args + QStringList{S("--report"), S("run.csv")} + operands, tree, root.filePath(S("home")));
        EXPECT_EQ(run.Exit, exit) << run.Err.toStdString();
        QStringList calls;
        for (const QString& line : QString::fromUtf8(ReadFile(logger + S(".log"))).split(u'\n', Qt::SkipEmptyParts))
            calls << QString(line).remove(docs);
        EXPECT_EQ(calls, c.Calls);
        EXPECT_EQ(records(tree + S("run.csv"), "printed"), c.Calls);
        EXPECT_EQ(records(tree + S("run.csv"), "missing"), c.Missing);
        EXPECT_EQ(records(tree + S("run.csv"), "duplicate"), c.LeftOut);
        EXPECT_TRUE(records(tree + S("run.csv"), "failed").isEmpty());
        EXPECT_TRUE(run.Err.contains(S("Printed: %1, failed: 0\n").arg(c.Calls.size()))) << run.Err.toStdString();
        const QString duplicates = c.DuplicateFiles == 1
                                       ? S("1 file named twice was printed once\n")
                                       : S("%1 files named twice were printed once\n").arg(c.DuplicateFiles);
        EXPECT_EQ(run.Err.contains(duplicates), c.DuplicateFiles > 0) << run.Err.toStdString();
        EXPECT_EQ(run.Err.contains(S("Empty print list lines passed over: 1\n")), c.EmptyLines == 1);
        EXPECT_EQ(run.Err.contains(S("Not found: %1\n").arg(c.Missing.size())), !c.Missing.isEmpty());
        EXPECT_EQ(
            run.Err.contains(S("morvane-batch: no file in ") + tree + S("Docs matches \"") + S(c.Field) + S("\"\n")),
            c.Calls.isEmpty())
            << run.Err.toStdString();

        // The dry run lists those calls and writes the same records besides.
        const TBatchResult dry = RunBatch(args + QStringList{S("--dry-run"), S("--report"), S("dry.csv")} + operands,
                                          tree, root.filePath(S("home")), {S("CUPS_SERVER=/nonexistent.sock")});
        EXPECT_EQ(dry.Exit, exit) << dry.Err.toStdString();
        QString listed;
        for (const QString& call : c.Calls)
            listed += S("1\t") + docs + call + u'\n';
        EXPECT_EQ(dry.Out, listed);
        EXPECT_TRUE(records(tree + S("dry.csv"), "printed").isEmpty());
        EXPECT_EQ(records(tree + S("dry.csv"), "missing"), c.Missing);
        EXPECT_EQ(records(tree + S("dry.csv"), "duplicate"), c.LeftOut);
        EXPECT_EQ(dry.Err.count(S("morvane-batch: warning: ")), c.Missing.size()) << dry.Err.toStdString();
        EXPECT_EQ(dry.Err.count(S("morvane-batch: left out: ")), c.LeftOut.size()) << dry.Err.toStdString();
    }
}

TEST_F(BatchRun, SavedSettingsAreReadAndLeftAlone)
{
    // The window's settings file names the printer (other case) and the program.
    const QString ini = root.filePath(S("home/.config/morvane.ini"));
    TMainSettings settings;
    settings.Printer = S("morvanetest2");
    settings.Sumatra = program;
    ASSERT_TRUE(QDir().mkpath(root.filePath(S("home/.config"))));
    ASSERT_TRUE(WriteMainSettings(ini, settings));
    const QByteArray before = ReadFile(ini);
    const TBatchResult r = Run({S("--pause"), S("0"), S("Docs"), S("a.pdf")});
    EXPECT_EQ(r.Exit, 0) << r.Err.toStdString();
    EXPECT_EQ(Log(), QStringList{S("MorvaneTest2|") + docs + S("a.pdf")});
    EXPECT_EQ(ReadFile(ini), before);
}

TEST_F(BatchRun, StopSignalsFinishTheCurrentFileOnly)
{
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        const TBatchResult r = Run({S("--pause"), S("0"), S("--program"), program, S("--report"), S("-"), S("Docs"),
                                    S("1slow.pdf;2slow.pdf;3slow.pdf")},
                                   [&](QProcess& p, QString& err) {
                                       ASSERT_TRUE(WaitForError(p, err, S("[2/3]")));
                                       ::kill(static_cast<pid_t>(p.processId()), signal);
                                   });
        EXPECT_EQ(r.Exit, 130) << r.Err.toStdString();
        EXPECT_EQ(Log().size(), 2);
        EXPECT_EQ(r.Out.count(S("\"result\":\"printed\"")), 2);
        EXPECT_TRUE(r.Err.contains(S("Printed: 2, failed: 0")));
    }

    // The pause after a file waits for the signal too.
    QElapsedTimer clock;
    clock.start();
    const TBatchResult paused = Run({S("--pause"), S("100000"), S("--program"), program, S("Docs"), S("a.pdf;c.pdf")},
                                    [&](QProcess& p, QString&) {
                                        while (Log().isEmpty() && p.state() == QProcess::Running)
                                            p.waitForFinished(20);
                                        ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
                                    });
    EXPECT_EQ(paused.Exit, 130);
    EXPECT_EQ(Log().size(), 1);
    EXPECT_LT(clock.elapsed(), 60000);
}

} // namespace

TEST_F(BatchRun, PrintSettingsAndPrinterNamesReachTheProgram)
{
    // Records its whole argument list, "|"-separated, one line per call.
    const QString recorder = root.filePath(S("bin/record"));
    ASSERT_TRUE(WriteScript(recorder, "#!/bin/sh\nIFS='|'; echo \"$*\" >> \"$0.log\"\n"));
    const QString file = docs + S("a.pdf");
    const QString noCups = S("CUPS_SERVER=/nonexistent.sock");
    struct Case
    {
        QStringList args;
        int exit;
        QStringList calls; // expected argument lists, without the file
        const char* firstError = "";
        QStringList env = {};
    };
    const Case cases[] = {
        // The window's form without settings; the queue's own spelling.
        {{S("-p"), S("morvanetest2")}, 0, {S("-print-to|MorvaneTest2|")}},
        // Blanks and case kept as written: the print program reads the list itself.
        {{S("-p"), S("MorvaneTest2"), S("--print-settings"), S(" 2-3 , Duplex")},
         0,
         {S("-print-to|MorvaneTest2|-print-settings| 2-3 , Duplex|")}},
        {{S("-p"), S("morvanetest2/draft"), S("--print-settings=odd"), S("-n2")},
         0,
         {S("-print-to|MorvaneTest2/draft|-print-settings|odd|"),
          S("-print-to|MorvaneTest2/draft|-print-settings|odd|")}},
        // URIs go to the print program unchecked; no local spooler is asked.
        {{S("-p"), S("IPPS://nohost.invalid/classes/Team")},
         0,
         {S("-print-to|IPPS://nohost.invalid/classes/Team|")},
         "",
         {noCups}},
        {{S("--print-settings"), S("paper=a4,3x"), S("-p"), S("ipp://nohost.invalid:8631/printers/X")},
         0,
         {S("-print-to|ipp://nohost.invalid:8631/printers/X|-print-settings|paper=a4,3x|")},
         "",
         {noCups}},
        {{S("-p"), S("nosuch/draft")}, 1, {}, "the printer nosuch/draft does not exist"},
        // A bad list ends the run before any file, also when printer and files are fine.
        {{S("-p"), S("MorvaneTest2"), S("--print-settings"), S("1-3,dupex")}, 1, {}, "\"dupex\""},
        {{S("--print-settings"), S("odd, Even")}, 1, {}, "\"Even\" contradicts \"odd\""},
        {{S("--print-settings"), S("")}, 1, {}, "bad print settings: the print settings list is empty"},
        {{S("--print-settings"), S("dupex"), S("--dry-run")}, 1, {}, "\"dupex\""},
        {{S("--print-settings"), S("dupex")}, 1, {}, "ungültige Druckeinstellungen", {S("LANG=de_DE.UTF-8")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(u' ').toStdString());
        QFile::remove(recorder + S(".log"));
        const TBatchResult r = RunBatch(QStringList{S("--pause"), S("0"), S("--program"), recorder} + c.args +
                                            QStringList{S("Docs"), S("a.pdf")},
                                        root.path(), root.filePath(S("home")), c.env);
        EXPECT_EQ(r.Exit, c.exit) << r.Err.toStdString();
        QStringList expected;
        for (const QString& call : c.calls)
            expected << call + file;
        EXPECT_EQ(QString::fromUtf8(ReadFile(recorder + S(".log"))).split(u'\n', Qt::SkipEmptyParts), expected);
        if (c.exit != 0) {
            EXPECT_TRUE(r.Err.section(u'\n', 0, 0).startsWith(S("morvane-batch: "))) << r.Err.toStdString();
            EXPECT_TRUE(r.Err.section(u'\n', 0, 0).contains(S(c.firstError))) << r.Err.toStdString();
            EXPECT_TRUE(r.Out.isEmpty());
        }
    }

    // The dry run lists the same lines with settings as without.
    const TBatchResult dry = RunBatch({S("--dry-run"), S("--print-settings"), S("2-3"), S("Docs"), S("a.pdf")},
                                      root.path(), root.filePath(S("home")), {noCups});
    EXPECT_EQ(dry.Exit, 0);
    EXPECT_EQ(dry.Out, S("1\t") + file + u'\n');
}
