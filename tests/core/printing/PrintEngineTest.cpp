#include "printing/PrintEngine.h"

#include "support/JobListCases.h"
#include "support/QStringPrinter.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

using namespace testing_support;

namespace {

// Logs "printer|file|working directory" per call; files named "bad" fail
// with a reason on stderr and exit code 4.
constexpr char kFakeProgram[] = "#!/bin/sh\n"
                                "echo \"$2|$3|$(pwd)\" >> \"$0.log\"\n"
                                "case \"$3\" in *bad*) echo; echo \"  broken: $3\" >&2; exit 4 ;; esac\n"
                                "exit 0\n";

// Records what the run tells its client, and answers as told.
class Recorder : public TPrintRunClient
{
public:
    void JobListError(const QString& message) override { events << S("list error: ") + message; }
    void CopyStarts(int copy) override { events << S("copy ") + QString::number(copy); }
    void FileStarts(const TInvocation& inv) override
    {
        events << QStringLiteral("start %1/%2").arg(inv.Number() + 1).arg(inv.Total());
        if (onStart)
            onStart(inv);
    }
    void FilePrinted(const TInvocation& inv) override { events << S("printed ") + QFileInfo(inv.File).fileName(); }
    TRunStep FileFailed(const TInvocation& inv) override
    {
        events << S("failed ") + QFileInfo(inv.File).fileName() + u' ' + QString::number(inv.ExitCode()) + u' ' +
                      inv.Reason();
        return onFailure;
    }
    TRunStep Pause(unsigned long ms) override
    {
        pauses += static_cast<int>(ms);
        return pauseAnswer;
    }
    bool StopRequested() override { return stop; }

    QStringList events;
    std::function<void(const TInvocation&)> onStart;
    TRunStep onFailure = TRunStep::GoOn;
    TRunStep pauseAnswer = TRunStep::GoOn;
    bool stop = false;
    int pauses = 0;
};

class PrintEngineTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        program = root.filePath(S("bin/fake-print"));
        ASSERT_TRUE(WriteScript(program, kFakeProgram));
        for (const char* name : {"Docs/a.pdf", "Docs/bad.pdf", "Docs/sub/c.pdf", "Docs/notes.txt"})
            ASSERT_TRUE(WriteFile(root.filePath(S(name)), "%PDF-1.4\n"));
        ASSERT_TRUE(WriteFile(root.filePath(S("Docs/list.pbt")), "sub/c.pdf\na.pdf\n"));
        job.SourceDir = root.filePath(S("Docs"));
        job.Program = program;
        job.Printer = S("Queue \"1\"");
        job.CaptureOutput = true;
        job.PauseMs = 7;
    }
    QStringList Log() const
    {
        return QString::fromUtf8(ReadFile(program + S(".log"))).split(u'\n', Qt::SkipEmptyParts);
    }

    QTemporaryDir root;
    QString program;
    TPrintJob job;
    Recorder client;
};

TEST_F(PrintEngineTest, CopiesAreCollatedInJobListOrderFromARelativeDirectory)
{
    // The directory as a new user types it: relative to the current folder.
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(root.path()));
    job.SourceDir = S("Docs/");
    job.FileField = S("list.pbt;missing.pbt;a.pdf");
    job.KeepDuplicates = true; // a.pdf at both its places
    job.Copies = 2;
    const TRunResult run = RunPrintJob(job, client);
    QDir::setCurrent(before);

    const QString docs = root.filePath(S("Docs/"));
    EXPECT_EQ(run.SourceDir, docs);
    EXPECT_EQ(run.Printed, 6u);
    EXPECT_EQ(run.Failed, 0u);
    EXPECT_EQ(run.ListErrors, 1u);
    EXPECT_FALSE(run.Stopped);
    EXPECT_EQ(client.pauses, 6 * 7);
    const QStringList once{S("Queue \"1\"|") + docs + S("sub/c.pdf|") + root.filePath(S("Docs")),
                           S("Queue \"1\"|") + docs + S("a.pdf|") + root.filePath(S("Docs")),
                           S("Queue \"1\"|") + docs + S("a.pdf|") + root.filePath(S("Docs"))};
    EXPECT_EQ(Log(), once + once);
    ASSERT_EQ(client.events.size(), 1 + 2 * (1 + 3 * 2));
    EXPECT_EQ(client.events[0], S("list error: Print list: ") + docs + S("missing.pbt not found!"));
    EXPECT_EQ(client.events.mid(1, 3), (QStringList{S("copy 1"), S("start 1/6"), S("printed c.pdf")}));
    EXPECT_EQ(client.events[8], S("copy 2"));
    EXPECT_EQ(client.events.last(), S("printed a.pdf"));
}

TEST_F(PrintEngineTest, FailurePoliciesAndStopRequests)
{
    job.FileField = S("a.pdf;bad.pdf;sub/c.pdf");
    job.Copies = 2;
    struct Case
    {
        const char* name;
        TRunStep onFailure;
        TRunStep pauseAnswer;
        int stopAtStart; // the 1-based invocation during which Stop is pressed; 0 never
        int calls;
        quint32 printed;
        quint32 failed;
        bool stopped;
    };
    const Case cases[] = {
        {"go on", TRunStep::GoOn, TRunStep::GoOn, 0, 6, 4, 2, false},
        {"stop at the first failure", TRunStep::Stop, TRunStep::GoOn, 0, 2, 1, 1, true},
        {"stop pressed during the third file", TRunStep::GoOn, TRunStep::GoOn, 3, 3, 2, 1, true},
        {"stop pressed during the last file", TRunStep::GoOn, TRunStep::GoOn, 6, 6, 4, 2, false},
        {"the pause answers stop", TRunStep::GoOn, TRunStep::Stop, 0, 1, 1, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(program + S(".log"));
        Recorder r;
        r.onFailure = c.onFailure;
        r.pauseAnswer = c.pauseAnswer;
        r.onStart = [&](const TInvocation& inv) { r.stop = r.stop || inv.Number() + 1 == c.stopAtStart; };
        const TRunResult run = RunPrintJob(job, r);
        EXPECT_EQ(Log().size(), c.calls);
        EXPECT_EQ(run.Printed, c.printed);
        EXPECT_EQ(run.Failed, c.failed);
        EXPECT_EQ(run.Stopped, c.stopped);
        if (c.failed > 0) {
            EXPECT_TRUE(r.events.contains(S("failed bad.pdf 4 broken: ") + job.SourceDir + S("/bad.pdf")))
                << r.events.join(u'\n').toStdString();
        }
    }
}

TEST_F(PrintEngineTest, ReasonWithoutCapturedOutput)
{
    job.CaptureOutput = false;
    job.FileField = S("bad.pdf");
    RunPrintJob(job, client);
    EXPECT_EQ(client.events.last(), S("failed bad.pdf 4 The print program ended with exit code 4"));

    job.Program = root.filePath(S("bin/absent"));
    client.events.clear();
    RunPrintJob(job, client);
    EXPECT_EQ(client.events.last(), S("failed bad.pdf -1 The print program could not be started (error 2)"));
}

// A spooler away for a while: "busy" files are refused with the print
// program's code for that until the third call; "locked" ones always.
constexpr char kSpoolerProgram[] =
    "#!/bin/sh\n"
    "echo \"$3\" >> \"$0.log\"\n"
    "n=$(grep -c . \"$0.log\")\n"
    "case \"$3\" in *bad*) echo broken >&2; exit 2 ;; esac\n"
    "case \"$3\" in *locked*) echo \"cannot reach the print spooler\" >&2; exit 5 ;; esac\n"
    "case \"$3\" in *busy*) [ \"$n\" -lt 3 ] && { echo 'spooler restarting' >&2; exit 5; } ;; esac\n"
    "echo \"request id is Q-$n (1 file(s))\"\n"
    "echo \"request id is Q-$((n + 100)) (1 file(s))\"\n"
    "exit 0\n";

class SpoolerRecorder : public Recorder
{
public:
    void SpoolerUnavailable(const TInvocation& inv, const QString& reason) override
    {
        events << S("waiting ") + QFileInfo(inv.File).fileName() + u' ' + reason;
    }
    void SpoolerBack(const TInvocation& inv) override { events << S("back ") + QFileInfo(inv.File).fileName(); }
    TRunStep RetryWait(unsigned long ms) override
    {
        delays << static_cast<int>(ms);
        return retryAnswer;
    }
    void FilePrinted(const TInvocation& inv) override { events << S("printed ") + inv.JobIds.join(u' '); }
    QList<int> delays;
    TRunStep retryAnswer = TRunStep::GoOn;
};

TEST_F(PrintEngineTest, UnavailableSpoolerIsWaitedOutAndJobIdsAreRead)
{
    ASSERT_TRUE(WriteScript(program, kSpoolerProgram));
    ASSERT_TRUE(WriteFile(root.filePath(S("Docs/busy.pdf")), "%PDF-1.4\n"));
    ASSERT_TRUE(WriteFile(root.filePath(S("Docs/locked.pdf")), "%PDF-1.4\n"));
    struct Case
    {
        const char* name;
        const char* files;
        qint64 retryForMs;
        TRunStep retryAnswer;
        int calls;
        QStringList events;
        QList<int> delays;
    };
    const Case cases[] = {
        {"waited out with growing delays",
         "busy.pdf;a.pdf",
         -1,
         TRunStep::GoOn,
         4,
         {S("waiting busy.pdf spooler restarting"), S("back busy.pdf"), S("printed Q-3 Q-103"), S("printed Q-4 Q-104")},
         {1000, 2000}},
        {"no waiting: fails at once",
         "busy.pdf",
         0,
         TRunStep::GoOn,
         1,
         {S("failed busy.pdf 5 spooler restarting")},
         {}},
        {"the time runs out",
         "locked.pdf",
         1,
         TRunStep::GoOn,
         2,
         {S("waiting locked.pdf cannot reach the print spooler"),
          S("failed locked.pdf 5 cannot reach the print spooler")},
         {1}},
        {"a stop while waiting",
         "busy.pdf",
         -1,
         TRunStep::Stop,
         1,
         {S("waiting busy.pdf spooler restarting"), S("failed busy.pdf 5 spooler restarting")},
         {1000}},
        // Another refusal is the file's own: no waiting.
        {"a refused file", "bad.pdf", -1, TRunStep::GoOn, 1, {S("failed bad.pdf 2 broken")}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(program + S(".log"));
        SpoolerRecorder r;
        r.retryAnswer = c.retryAnswer;
        job.FileField = S(c.files);
        job.RetryForMs = c.retryForMs;
        RunPrintJob(job, r);
        EXPECT_EQ(Log().size(), c.calls);
        EXPECT_EQ(r.events.filter(QRegularExpression(S("^(waiting|back|printed|failed)"))), c.events);
        EXPECT_EQ(r.delays, c.delays);
    }
}

TEST(PrintEngineJobIds, RequestIdLinesOnly)
{
    EXPECT_EQ(JobIdsFromOutput({S("request id is PDF-12 (1 file(s))"), S("  request id is Team/draft-3 (1 file(s))  "),
                                S("request id is PDF-13"), S("warning: request id is PDF-14 (1 file(s))"),
                                S("request id is  (1 file(s))"), S("request id is PDF-15 (2 file(s))")}),
              (QStringList{S("PDF-12"), S("Team/draft-3"), S("PDF-15")}));
    EXPECT_TRUE(JobIdsFromOutput({S("no printer \"X\"")}).isEmpty());
}

// The window's side of a run: names that found nothing are not reported, so a
// print list line naming no file goes to the print program and fails there.
TEST(PrintEngineJobList, EachFileOncePerCopyAtItsFirstPlace)
{
    QTemporaryDir root;
    const QString docs = root.filePath(S("Docs/"));
    ASSERT_TRUE(job_list_cases::WriteTree(docs));
    const QString program = root.filePath(S("bin/log-print"));
    ASSERT_TRUE(WriteScript(program, job_list_cases::kLoggingProgram));
    const auto full = [&docs](const QStringList& names) {
        QStringList paths;
        for (const QString& name : names)
            paths << docs + name;
        return paths;
    };
    struct Client : Recorder
    {
        void NameDuplicated(const TJobName& name) override { leftOut << name.Path; }
        QStringList leftOut;
    };
    for (const job_list_cases::TCase& c : job_list_cases::Cases()) {
        SCOPED_TRACE(c.Field);
        QFile::remove(program + S(".log"));
        TPrintJob job;
        // Written untidily, as typed: the names handed over are clean all the same.
        job.SourceDir = root.path() + S("//Docs/./");
        job.FileField = S(c.Field);
        job.IncludeSubDirs = c.SubDirs;
        job.KeepDuplicates = c.KeepDuplicates;
        job.Copies = 2;
        job.Program = program;
        job.PauseMs = 0;
        Client client;
        const TRunResult run = RunPrintJob(job, client);
        const QStringList calls = full(c.WindowCalls.isEmpty() ? c.Calls : c.WindowCalls);
        EXPECT_EQ(QString::fromUtf8(ReadFile(program + S(".log"))).split(u'\n', Qt::SkipEmptyParts), calls + calls);
        EXPECT_EQ(client.leftOut, full(c.LeftOut));
        EXPECT_EQ(run.DuplicateFiles, c.DuplicateFiles);
        EXPECT_EQ(run.EmptyLines, c.EmptyLines);
        EXPECT_EQ(run.Files, calls.size());
        EXPECT_EQ(run.Failed, 2 * static_cast<quint32>(calls.size() - c.Calls.size()));
        EXPECT_EQ(run.Printed, 2 * static_cast<quint32>(c.Calls.size()));
        EXPECT_EQ(run.Unmatched, 0u);
    }
    // The window's result line names what was left out.
    EXPECT_EQ(PrintResultText(6) + S("; ") + DuplicatesText(3),
              S(" 6 files printed; 3 files named twice were printed once"));
    EXPECT_EQ(DuplicatesText(1), S("1 file named twice was printed once"));
    EXPECT_EQ(DuplicatesText(0), QString());
}

TEST(PrintSetUp, PrinterChoice)
{
    const QStringList queues{S("PDF"), S("Office"), S("Lab")};
    struct Case
    {
        const char* saved;
        const char* defaultName;
        int expected;
    };
    const Case cases[] = {
        {"office", "Lab", 1}, // saved, compared without case
        {"gone", "Lab", 2},   // saved one uninstalled: the default
        {"", "", 0},          // no default: the first
        {"gone", "also gone", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ChoosePrinter(queues, S(c.saved), S(c.defaultName)), c.expected) << c.saved;
    EXPECT_EQ(ChoosePrinter({}, S("PDF"), S("PDF")), -1);
}

TEST(PrintSetUp, ProgramLocationAndSourceDirectory)
{
    QTemporaryDir root;
    QProcessEnvironment env;
    env.insert(S("HOME"), root.path());
    const QString exeDir = root.filePath(S("exe/"));
    const QString saved = root.filePath(S("saved-tool"));
    ASSERT_TRUE(WriteFile(exeDir + S("morvane-printpdf"), "x"));
    ASSERT_TRUE(WriteFile(saved, "x"));
    EXPECT_EQ(LocatePrintProgram(saved, exeDir, env), saved);
    EXPECT_EQ(LocatePrintProgram(root.path(), exeDir, env), exeDir + S("morvane-printpdf")); // a folder
    EXPECT_EQ(LocatePrintProgram(QString(), root.filePath(S("none/")), env), QString());

    EXPECT_EQ(ResolveSourceDir(S("/srv/Docs")), S("/srv/Docs"));
    EXPECT_EQ(ResolveSourceDir(S("Docs/")), QDir::currentPath() + S("/Docs/"));
    EXPECT_EQ(ResolveSourceDir(QString()), QDir::currentPath() + u'/');
}

} // namespace
