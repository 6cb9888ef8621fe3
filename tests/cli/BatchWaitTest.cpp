// morvane-batch --wait through the real spooler: test backends that complete,
// fail the job, stop the printer and take their time; a job canceled and a
// queue deleted while waited for; a spooler of the test's own stopped and
// started again in the middle of a batch. Each run's report is checked
// against what the spooler recorded for its jobs.

#include "support/BatchProcess.h"

#include "support/CupsPdf.h"
#include "support/TestSupport.h"
#include "support/CupsServer.h"
#include "support/PdfWriter.h"
#include "support/QStringPrinter.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <QtCore/qtestsupport_core.h>

#include <gtest/gtest.h>

#include <csignal>

#include <sys/stat.h>

using namespace batch_test;
using namespace testing_support;

namespace {

// One script under four names; what it does is its name. The device URI
// after the scheme is a folder (done, stop) or a number of seconds (slow).
constexpr char kBackend[] =
    "#!/bin/sh\n"
    "name=\"${0##*/}\"\n"
    "[ $# -eq 0 ] && { echo \"direct $name \\\"Unknown\\\" \\\"Morvane test $name\\\"\"; exit 0; }\n"
    "arg=\"${DEVICE_URI#*:}\"\n"
    "[ -n \"$6\" ] && exec <\"$6\"\n"
    "case \"$name\" in\n"
    "m26-done) if [ -n \"$arg\" ]; then cat >\"$arg/$1.pdf\"; else cat >/dev/null; fi\n"
    "    echo 'PAGE: 1 1' >&2; echo 'PAGE: 2 1' >&2; exit 0 ;;\n"
    "m26-fail) cat >/dev/null; echo 'ERROR: paper jam' >&2; exit 1 ;;\n"
    "m26-stop) if [ -e \"$arg/stop\" ]; then rm -f \"$arg/stop\"; echo 'STATE: +media-empty-error' >&2\n"
    "        echo 'ERROR: out of paper' >&2; exit 4; fi\n"
    "    echo 'STATE: -media-empty-error' >&2; cat >/dev/null; exit 0 ;;\n"
    "m26-slow) cat >/dev/null; sleep \"${arg:-60}\"; exit 0 ;;\n"
    "esac\n"
    "exit 1\n";

// The backends, installed once per test program.
QString InstallBackends()
{
    for (const char* name : {"m26-done", "m26-fail", "m26-stop", "m26-slow"}) {
        const QString path = S("/usr/lib/cups/backend/") + QString::fromLatin1(name);
        if (ReadFile(path) == kBackend)
            continue;
        // Mode 0700: the spooler runs it as root, so that it may write the test's folders.
        if (!WriteFile(path, kBackend) || ::chmod(QFile::encodeName(path).constData(), 0700) != 0)
            return S("cannot install ") + path + S(" (the backend folder needs root)");
    }
    return {};
}

QList<QJsonObject> ReadReport(const QString& fileName)
{
    QList<QJsonObject> records;
    for (const QByteArray& line : ReadFile(fileName).split('\n')) {
        if (!line.isEmpty())
            records << QJsonDocument::fromJson(line).object();
    }
    return records;
}

// The number of a job id "DEST-N".
int JobNumber(const QString& id)
{
    return id.section(u'-', -1).toInt();
}

class BatchWait : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const QString problem = CupsProblem();
        ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
        const QString install = InstallBackends();
        ASSERT_TRUE(install.isEmpty()) << install.toStdString();
        ASSERT_TRUE(root.isValid());
        for (int i = 1; i <= 3; ++i)
            ASSERT_TRUE(WriteFile(docs + QStringLiteral("/doc%1.pdf").arg(i), MakePdf(2)));
        ASSERT_TRUE(QDir().mkpath(spool));
        ASSERT_EQ(::chmod(QFile::encodeName(spool).constData(), 0777), 0);
    }
    void TearDown() override
    {
        for (const QString& queue : std::as_const(queues))
            RunTool(S("lpadmin"), {S("-x"), queue});
    }
    void AddQueue(const QString& name, const QString& uri, const QStringList& extra = {})
    {
        QString out;
        ASSERT_TRUE(
            RunTool(S("lpadmin"), QStringList{S("-p"), name, S("-E"), S("-v"), uri, S("-m"), S("raw")} + extra, &out))
            << out.toStdString();
        queues << name;
    }
    QStringList Args(const QString& queue, const QString& wait, const QString& report) const
    {
        return {wait,         S("-p"), queue,         S("--program"), BuiltPrintProgram(),
                S("--pause"), S("0"),  S("--report"), report,         S("Docs")};
    }

    QTemporaryDir root;
    QString docs = root.filePath(S("Docs"));
    QString spool = root.filePath(S("spool"));
    QString home = root.filePath(S("home"));
    QStringList queues;
};

// One run per way a job can end; each record's state is the one the spooler
// recorded for its job, and the exit code follows the worst of them.
TEST_F(BatchWait, EachJobIsFollowedToTheStateTheSpoolerRecorded)
{
    const QString pid = QString::number(::getpid());
    const QString done = S("m26done") + pid, fail = S("m26fail") + pid, stop = S("m26stop") + pid,
                  slow = S("m26slow") + pid, gone = S("m26gone") + pid;
    AddQueue(done, S("m26-done:"));
    AddQueue(fail, S("m26-fail:"), {S("-o"), S("printer-error-policy=abort-job")});
    AddQueue(stop, S("m26-stop:") + spool);
    AddQueue(slow, S("m26-slow:60"));
    AddQueue(gone, S("m26-slow:60"));
    ASSERT_TRUE(WriteFile(spool + S("/stop"), "once"));

    using Action = std::function<void(QProcess&, QString&)>;
    struct Case
    {
        const char* name;
        QString queue;
        const char* wait;
        Action action; // while the run waits for the printer
        int exit;
        const char* result;
        const char* states; // as the spooler recorded them, "|" between; "": the spooler no longer knows the job
        const char* said;   // on standard error
    };
    const auto waiting = [](QProcess& p, QString& err) {
        ASSERT_TRUE(WaitForError(p, err, S("Waiting for the printer"))) << err.toStdString();
    };
    const std::vector<Case> cases{
        {"completed", done, "--wait", nullptr, 0, "printed", "completed", "3 of 3 jobs finished"},
        {"aborted", fail, "--wait", nullptr, 2, "failed", "aborted", "was aborted: paper jam"},
        {"not finished in time", slow, "--wait=2s", nullptr, 5, "pending", "processing|pending",
         "Handed over, not finished in time: 3"},
        {"stopped and enabled", stop, "--wait",
         [&](QProcess& p, QString& err) {
             ASSERT_TRUE(WaitForError(p, err, stop + S(" stopped: media-empty"))) << err.toStdString();
             RunTool(S("cupsenable"), {stop});
         },
         0, "printed", "completed", "goes on"},
        {"canceled", slow, "--wait",
         [&](QProcess& p, QString& err) {
             waiting(p, err);
             RunTool(S("cancel"), {S("-a"), slow});
         },
         2, "failed", "canceled", "was canceled"},
        {"queue deleted", gone, "--wait",
         [&](QProcess& p, QString& err) {
             waiting(p, err);
             RunTool(S("lpadmin"), {S("-x"), gone});
         },
         2, "failed", "canceled|", "was deleted"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString report = root.filePath(QString::fromLatin1(c.name).replace(u' ', u'-') + S(".jsonl"));
        const TBatchResult r = RunBatch(Args(c.queue, S(c.wait), report), root.path(), home, {}, c.action);
        EXPECT_EQ(r.Exit, c.exit) << r.Err.toStdString();
        EXPECT_TRUE(r.Err.contains(S(c.said))) << r.Err.toStdString();
        const QList<QJsonObject> records = ReadReport(report);
        ASSERT_EQ(records.size(), 3) << r.Err.toStdString();
        for (const QJsonObject& record : records) {
            EXPECT_EQ(record.value(S("result")).toString(), S(c.result));
            const QJsonArray ids = record.value(S("job_ids")).toArray();
            ASSERT_EQ(ids.size(), 1);
            const QMap<QString, QString> job = JobAttributes(QString(), JobNumber(ids[0].toString()));
            const QString state = job.value(S("job-state"));
            EXPECT_TRUE(S(c.states).split(u'|').contains(state)) << state.toStdString();
            if (!state.isEmpty()) {
                EXPECT_EQ(record.value(S("job_state")).toString(), state);
            }
            // Pages and sheets as the spooler counted them, where it did.
            const int sheets = job.value(S("job-media-sheets-completed")).toInt();
            EXPECT_EQ(record.value(S("sheets")).toInt(0), sheets);
            EXPECT_EQ(record.value(S("pages")).toInt(0), job.value(S("job-impressions-completed")).toInt());
            if (c.queue == done) {
                EXPECT_EQ(sheets, 2);
            }
            if (S(c.result) == S("failed")) {
                EXPECT_FALSE(record.value(S("reason")).toString().isEmpty());
            }
        }
        if (c.exit == 5)
            RunTool(S("cancel"), {S("-a"), c.queue});
    }
}

// A spooler restarted in the middle of a batch of 50 into an IPP URI: every
// file handed over once and completed, none failed, and the report says so
// as the spooler recorded it.
TEST_F(BatchWait, ASpoolerRestartInTheMiddleOfABatchPrintsEachFileOnce)
{
    CupsServer server;
    const QString started = server.start();
    if (started.startsWith(S("a test spooler")))
        GTEST_SKIP() << started.toStdString();
    ASSERT_TRUE(started.isEmpty()) << started.toStdString();
    ASSERT_TRUE(server.addQueue(S("m26restart"), S("m26-done:") + spool).isEmpty());
    QDir(docs).removeRecursively();
    for (int i = 0; i < 50; ++i)
        ASSERT_TRUE(WriteFile(docs + QStringLiteral("/f%1.pdf").arg(i, 2, 10, QLatin1Char('0')), MakePdf(1)));

    const QString uri = S("ipp://") + server.address() + S("/printers/m26restart");
    const QString report = root.filePath(S("restart.jsonl"));
    const TBatchResult r = RunBatch(Args(uri, S("--wait=5m"), report) + QStringList{S("--retry-for"), S("5m")},
                                    root.path(), home, {}, [&](QProcess& p, QString& err) {
                                        ASSERT_TRUE(WaitForError(p, err, S("[20/50]"))) << err.toStdString();
                                        server.stop();
                                        ASSERT_TRUE(WaitForError(p, err, S("waiting for the print spooler")))
                                            << err.toStdString();
                                        const QString again = server.start();
                                        ASSERT_TRUE(again.isEmpty()) << again.toStdString();
                                    });
    EXPECT_EQ(r.Exit, 0) << r.Err.toStdString();
    EXPECT_TRUE(r.Err.contains(S("Printed: 50, failed: 0"))) << r.Err.toStdString();

    // What the spooler recorded: one job per file, each completed.
    QMap<QString, int> perTitle;
    for (const QJsonObject& record : ReadReport(report)) {
        EXPECT_EQ(record.value(S("result")).toString(), S("printed"));
        const QJsonArray ids = record.value(S("job_ids")).toArray();
        ASSERT_EQ(ids.size(), 1);
        const QMap<QString, QString> job = JobAttributes(server.address(), JobNumber(ids[0].toString()));
        EXPECT_EQ(job.value(S("job-state")), S("completed")) << ids[0].toString().toStdString();
        EXPECT_EQ(record.value(S("job_state")).toString(), S("completed"));
        ++perTitle[job.value(S("job-name"))];
    }
    EXPECT_EQ(perTitle.size(), 50);
    for (auto it = perTitle.cbegin(); it != perTitle.cend(); ++it)
        EXPECT_EQ(it.value(), 1) << it.key().toStdString();
    QString out;
    RunTool(S("lpstat"), {S("-h"), server.address(), S("-W"), S("all"), S("-o")}, &out);
    EXPECT_EQ(out.count(u'\n'), 50) << out.toStdString();
    EXPECT_EQ(QDir(spool).entryList(QDir::Files).size(), 50);
}

// The watch with --wait: a file moves to the printed folder only once its job
// completed, even across a stop in the middle of the job; a file whose job is
// aborted is handed over 3 times in all, then fails. The spooler's jobs per
// file tell how often each was handed over.
TEST_F(BatchWait, AWatchMovesAFileWhenItsJobEndedAndFollowsItAcrossARestart)
{
    const QString pid = QString::number(::getpid());
    const QString slow = S("m26wslow") + pid, fail = S("m26wfail") + pid;
    AddQueue(slow, S("m26-slow:3"));
    AddQueue(fail, S("m26-fail:"), {S("-o"), S("printer-error-policy=abort-job")});
    const QString inbox = root.filePath(S("Inbox")), printed = root.filePath(S("Printed")),
                  failed = root.filePath(S("Failed"));
    QDir().mkpath(inbox);
    const auto start = [&](QProcess& p, const QString& queue) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(S("HOME"), home);
        env.remove(S("XDG_DATA_HOME"));
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(root.path());
        p.start(BuiltBatchProgram(),
                {S("--watch"), S("--wait"), S("-p"), queue, S("--program"), BuiltPrintProgram(), S("--pause"), S("0"),
                 S("--quiet-time"), S("100"), S("--move-printed"), printed, S("--move-failed"), failed, S("--report"),
                 root.filePath(S("watch.jsonl")), S("Inbox")});
    };
    const auto jobsOf = [](const QString& queue, const QString& title) {
        QString out;
        RunTool(S("lpstat"), {S("-W"), S("all"), S("-o"), queue}, &out);
        QStringList ids;
        for (const QString& line : out.split(u'\n', Qt::SkipEmptyParts)) {
            const QString id = line.section(u' ', 0, 0);
            if (JobAttributes(QString(), JobNumber(id)).value(S("job-name")) == title)
                ids << id;
        }
        return ids;
    };

    // Stopped while the job prints: the file stays; the restart follows the job and moves it.
    QString err;
    {
        QProcess watch;
        start(watch, slow);
        ASSERT_TRUE(WaitForError(watch, err, S("stop with Ctrl+C"))) << err.toStdString();
        ASSERT_TRUE(WriteFile(inbox + S("/slow.pdf"), MakePdf(1)));
        ASSERT_TRUE(WaitForError(watch, err, S("copy 1/1"))) << err.toStdString();
        ::kill(static_cast<pid_t>(watch.processId()), SIGTERM);
        ASSERT_TRUE(watch.waitForFinished(60000));
        err += QString::fromUtf8(watch.readAllStandardError());
        EXPECT_TRUE(err.contains(S("a restart goes on following them"))) << err.toStdString();
        EXPECT_TRUE(QFile::exists(inbox + S("/slow.pdf")));
    }
    {
        QProcess watch;
        start(watch, slow);
        ASSERT_TRUE(WaitForError(watch, err, S("it is not printed again"))) << err.toStdString();
        EXPECT_TRUE(QTest::qWaitFor([&] { return QFile::exists(printed + S("/slow.pdf")); }, 60000));
        ::kill(static_cast<pid_t>(watch.processId()), SIGTERM);
        ASSERT_TRUE(watch.waitForFinished(60000));
    }
    const QStringList slowJobs = jobsOf(slow, S("slow.pdf"));
    ASSERT_EQ(slowJobs.size(), 1);
    EXPECT_EQ(JobAttributes(QString(), JobNumber(slowJobs[0])).value(S("job-state")), S("completed"));

    // Aborted three times: then failed and moved aside.
    {
        QProcess watch;
        start(watch, fail);
        err.clear();
        ASSERT_TRUE(WaitForError(watch, err, S("stop with Ctrl+C"))) << err.toStdString();
        ASSERT_TRUE(WriteFile(inbox + S("/jam.pdf"), MakePdf(1)));
        EXPECT_TRUE(QTest::qWaitFor([&] { return QFile::exists(failed + S("/jam.pdf")); }, 60000));
        ::kill(static_cast<pid_t>(watch.processId()), SIGTERM);
        ASSERT_TRUE(watch.waitForFinished(60000));
    }
    const QStringList jamJobs = jobsOf(fail, S("jam.pdf"));
    EXPECT_EQ(jamJobs.size(), 3);
    // A restart does not take the aborted jobs for a print.
    {
        QProcess watch;
        start(watch, fail);
        err.clear();
        ASSERT_TRUE(WaitForError(watch, err, S("stop with Ctrl+C"))) << err.toStdString();
        ::kill(static_cast<pid_t>(watch.processId()), SIGTERM);
        ASSERT_TRUE(watch.waitForFinished(60000));
        err += QString::fromUtf8(watch.readAllStandardError());
        EXPECT_FALSE(err.contains(S("jam.pdf was handed over before the restart"))) << err.toStdString();
    }

    // One record per handover, each with the state the spooler recorded.
    QStringList seen;
    for (const QJsonObject& record : ReadReport(root.filePath(S("watch.jsonl")))) {
        const QString id = record.value(S("job_ids")).toArray().at(0).toString();
        EXPECT_EQ(record.value(S("job_state")).toString(),
                  JobAttributes(QString(), JobNumber(id)).value(S("job-state")));
        seen << QFileInfo(record.value(S("file")).toString()).fileName() + u'=' + record.value(S("result")).toString() +
                    (record.value(S("recovered")).toBool() ? S("*") : S(""));
    }
    EXPECT_EQ(seen,
              (QStringList{S("slow.pdf=printed*"), S("jam.pdf=failed"), S("jam.pdf=failed"), S("jam.pdf=failed")}));
}

// With --wait the next file is handed over before the last one's job ends;
// each file keeps the content digest of its own bytes, so a touch of either
// prints nothing again.
TEST_F(BatchWait, AWatchKeepsEachFilesOwnDigestWhileItsJobIsFollowed)
{
    const QString queue = S("m26wdig") + QString::number(::getpid());
    AddQueue(queue, S("m26-slow:1"));
    const QString inbox = root.filePath(S("Inbox"));
    QDir().mkpath(inbox);
    QProcess watch;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(S("HOME"), home);
    env.remove(S("XDG_DATA_HOME"));
    watch.setProcessEnvironment(env);
    watch.setWorkingDirectory(root.path());
    watch.start(BuiltBatchProgram(), {S("--watch"), S("--wait"), S("-p"), queue, S("--program"), BuiltPrintProgram(),
                                      S("--pause"), S("0"), S("--quiet-time"), S("100"), S("--report"),
                                      root.filePath(S("digest.jsonl")), S("Inbox")});
    QString err;
    ASSERT_TRUE(WaitForError(watch, err, S("stop with Ctrl+C"))) << err.toStdString();
    ASSERT_TRUE(WriteFile(inbox + S("/a.pdf"), MakePdf(1)));
    ASSERT_TRUE(WriteFile(inbox + S("/b.pdf"), MakePdf(2)));
    const auto printedRecords = [&] {
        int n = 0;
        for (const QJsonObject& record : ReadReport(root.filePath(S("digest.jsonl"))))
            n += record.value(S("result")).toString() == S("printed");
        return n;
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return printedRecords() == 2; }, 60000)) << err.toStdString();
    // Touched, then a new file: the watch takes arrivals in order, so a
    // reprint of a or b would come before c.
    const QDateTime later = QDateTime::currentDateTime().addSecs(5);
    for (const char* name : {"/a.pdf", "/b.pdf"}) {
        QFile f(inbox + QLatin1String(name));
        ASSERT_TRUE(f.open(QIODevice::ReadWrite) && f.setFileTime(later, QFileDevice::FileModificationTime));
    }
    ASSERT_TRUE(WriteFile(inbox + S("/c.pdf"), MakePdf(1)));
    EXPECT_TRUE(QTest::qWaitFor([&] { return printedRecords() >= 3; }, 60000));
    ::kill(static_cast<pid_t>(watch.processId()), SIGTERM);
    ASSERT_TRUE(watch.waitForFinished(60000));
    QStringList files;
    for (const QJsonObject& record : ReadReport(root.filePath(S("digest.jsonl"))))
        files << QFileInfo(record.value(S("file")).toString()).fileName();
    EXPECT_EQ(files, (QStringList{S("a.pdf"), S("b.pdf"), S("c.pdf")}));
}

} // namespace
