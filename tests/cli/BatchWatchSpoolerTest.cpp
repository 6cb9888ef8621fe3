// A watched folder through the built print-to program and the real spooler,
// into a queue of the test's own whose backend keeps each job's document:
// every document is printed whole and exactly once, however it is written,
// however often the watch is killed, and whatever the state's disk does.

#include "support/BatchProcess.h"

#include "support/QStringPrinter.h"
#include "support/CupsPdf.h"
#include "support/TestSupport.h"
#include "support/PdfWriter.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QRandomGenerator>
#include <QThread>

#include <cups/cups.h>
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <iostream>
#include <memory>
#include <sys/mount.h>
#include <unistd.h>

using namespace batch_test;
using namespace testing_support;

namespace {

// Keeps each job's document as JOBID.pdf in the folder its device URI names;
// run as root (mode 0700), so that it may write there.
constexpr char kSinkBackend[] =
    "#!/bin/sh\n"
    "[ $# -eq 0 ] && { echo 'direct morvane-sink \"Unknown\" \"Morvane test sink\"'; exit 0; }\n"
    "dir=\"${DEVICE_URI#morvane-sink:}\"\n"
    "if [ -n \"$6\" ]; then cat \"$6\"; else cat; fi > \"$dir/$1.pdf\"\n";
constexpr char kSinkPath[] = "/usr/lib/cups/backend/morvane-sink";

class BatchWatchSpooler : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const QString problem = CupsProblem();
        ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
        ASSERT_TRUE(root.isValid());
        ASSERT_TRUE(QDir().mkpath(inbox));
        ASSERT_TRUE(QDir().mkpath(sink));
        ASSERT_EQ(::chmod(QFile::encodeName(sink).constData(), 0777), 0);
        if (ReadFile(S(kSinkPath)) != kSinkBackend) {
            ASSERT_TRUE(WriteFile(S(kSinkPath), kSinkBackend)) << "the backend folder needs root";
            ASSERT_EQ(::chmod(kSinkPath, 0700), 0);
        }
        QString out;
        ASSERT_TRUE(RunTool(S("lpadmin"),
                            {S("-p"), queue, S("-E"), S("-v"), S("morvane-sink:") + sink, S("-m"), S("raw")}, &out))
            << out.toStdString();
        queueMade = true;
    }
    void TearDown() override
    {
        if (queueMade)
            RunTool(S("lpadmin"), {S("-x"), queue});
    }

    // Starts a watch of the inbox into the queue; returns once it watches.
    void Start(QProcess& p, const QStringList& extra = {})
    {
        Launch(p, extra);
        ASSERT_TRUE(WaitFor([&] { return Err().count(S("Watching")) > watches; })) << Err().toStdString();
        watches = Err().count(S("Watching"));
    }
    // Starts it without waiting.
    void Launch(QProcess& p, const QStringList& extra = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(S("HOME"), home);
        env.remove(S("XDG_CONFIG_HOME"));
        env.remove(S("XDG_DATA_HOME"));
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(root.path());
        p.setStandardErrorFile(errFile, QIODevice::Append);
        p.start(BuiltBatchProgram(), QStringList{S("--watch"), S("-p"), queue, S("--program"), program,
                                                 S("--pause"), S("0"), S("--report"), S("watch.jsonl")} +
                                         extra + QStringList{S("Inbox")});
    }
    QString Err() const { return QString::fromUtf8(ReadFile(errFile)); }
    static int Stop(QProcess& p)
    {
        ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
        EXPECT_TRUE(p.waitForFinished(60000));
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }
    static bool WaitFor(const std::function<bool()>& done, int seconds = 90)
    {
        for (int i = 0; i < seconds * 20 && !done(); ++i)
            QThread::msleep(50);
        return done();
    }

    // The queue's jobs by title: their ids, in order.
    QMap<QString, QList<int>> Jobs() const
    {
        QMap<QString, QList<int>> jobs;
        cups_job_t* list = nullptr;
        const int n = cupsGetJobs2(CUPS_HTTP_DEFAULT, &list, queue.toUtf8().constData(), 0, CUPS_WHICHJOBS_ALL);
        for (int i = 0; i < n; ++i)
            jobs[QString::fromUtf8(list[i].title)] << list[i].id;
        cupsFreeJobs(n, list);
        return jobs;
    }
    qsizetype JobCount() const
    {
        qsizetype count = 0;
        for (const QList<int>& ids : Jobs())
            count += ids.size();
        return count;
    }
    // What the backend received for a job, once the job is done.
    QByteArray Printed(int id) const
    {
        const QString file = sink + QStringLiteral("/%1.pdf").arg(id);
        WaitFor([&] {
            cups_job_t* list = nullptr;
            const int n = cupsGetJobs2(CUPS_HTTP_DEFAULT, &list, queue.toUtf8().constData(), 0, CUPS_WHICHJOBS_ACTIVE);
            bool active = false;
            for (int i = 0; i < n; ++i)
                active |= list[i].id == id;
            cupsFreeJobs(n, list);
            return !active;
        });
        return ReadFile(file);
    }
    // The report's records by file name.
    QMap<QString, QList<QJsonObject>> Report() const
    {
        QMap<QString, QList<QJsonObject>> records;
        for (const QByteArray& line : ReadFile(root.filePath(S("watch.jsonl"))).split('\n')) {
            if (line.isEmpty())
                continue;
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            records[QFileInfo(o.value(S("file")).toString()).fileName()] << o;
        }
        return records;
    }

    QTemporaryDir root;
    QString inbox = root.filePath(S("Inbox/"));
    QString home = root.filePath(S("home"));
    QString sink = root.filePath(S("sink"));
    QString errFile = root.filePath(S("watch.err"));
    QString queue = QStringLiteral("MorvaneWatch-%1").arg(::getpid());
    QString stem = UniqueJobStem(S("w"));
    QString program = BuiltPrintProgram();
    bool queueMade = false;
    int watches = 0;
};

TEST_F(BatchWatchSpooler, KillsDuringABurstPrintEachFileExactlyOnce)
{
    // The kill moments come from a seed that a failure names, so that
    // MORVANE_KILL_SEED=N repeats them.
    const quint32 seed = qEnvironmentVariableIsSet("MORVANE_KILL_SEED")
                             ? qEnvironmentVariable("MORVANE_KILL_SEED").toUInt()
                             : QRandomGenerator::system()->generate();
    std::cout << "kill moments from MORVANE_KILL_SEED=" << seed << '\n';
    SCOPED_TRACE("MORVANE_KILL_SEED=" + std::to_string(seed));
    QRandomGenerator random(seed);

    QProcess first;
    QElapsedTimer startUp;
    startUp.start();
    // A print program kept for the burst hands files over faster than the
    // kills come: the pause keeps the burst going over all rounds.
    const QStringList options{S("--settle"), S("300"), S("--pause"), S("100")};
    Start(first, options);
    // Kills fall up to a second past a start, whatever a start takes here.
    const int killWithinMs = static_cast<int>(startUp.elapsed()) + 1000;
    QStringList names;
    for (int i = 0; i < 100; ++i) {
        names << stem + QStringLiteral("-%1.pdf").arg(i, 3, 10, QLatin1Char('0'));
        ASSERT_TRUE(WriteFile(inbox + names.last(), MakePdf(1 + i % 3)));
    }
    // 20 rounds: each watch is killed at a random moment of its life (while
    // it starts and settles what the last one left, between an intent and its
    // print program, while that program spools, before the result is saved)
    // and started again at once, while the print program it started may
    // still be running.
    QProcess* watch = &first;
    std::vector<std::unique_ptr<QProcess>> restarts;
    constexpr int kRounds = 20;
    qsizetype jobsAtLastKill = 0;
    int killsWhilePrinting = 0;
    for (int round = 0; round < kRounds; ++round) {
        // At the random moment, or sooner once a few more files are printed,
        // so that the burst lasts all rounds.
        const int killAtMs = static_cast<int>(random.bounded(0, killWithinMs));
        QElapsedTimer alive;
        alive.start();
        while (alive.elapsed() < killAtMs && JobCount() < jobsAtLastKill + 4 && watch->state() != QProcess::NotRunning)
            QThread::msleep(10);
        ASSERT_NE(watch->state(), QProcess::NotRunning) << "round " << round << ": " << Err().toStdString();
        ::kill(static_cast<pid_t>(watch->processId()), SIGKILL);
        ASSERT_TRUE(watch->waitForFinished(60000));
        const qsizetype jobs = JobCount();
        killsWhilePrinting += jobs > jobsAtLastKill && jobs < names.size() ? 1 : 0;
        jobsAtLastKill = jobs;
        restarts.push_back(std::make_unique<QProcess>());
        watch = restarts.back().get();
        watches = Err().count(S("Watching"));
        Launch(*watch, options);
    }
    ASSERT_TRUE(WaitFor([&] { return JobCount() >= names.size(); }, 300)) << JobCount() << " jobs";
    // A stop signal before the watch is set up would end it as a kill does.
    ASSERT_TRUE(WaitFor([&] { return Err().count(S("Watching")) > watches; })) << Err().toStdString();
    // The last record goes in after the last job.
    EXPECT_TRUE(WaitFor([&] { return Report().size() >= names.size(); }, 30)) << Report().size() << " records";
    EXPECT_EQ(Stop(*watch), 0);

    const QMap<QString, QList<int>> jobs = Jobs();
    const QMap<QString, QList<QJsonObject>> report = Report();
    int recovered = 0;
    for (const QString& name : std::as_const(names)) {
        SCOPED_TRACE(name.toStdString());
        ASSERT_EQ(jobs.value(name).size(), 1) << "jobs in the spooler";
        // One record per print, naming the job; a recovered one says so.
        const QList<QJsonObject> records = report.value(name);
        ASSERT_EQ(records.size(), 1) << "report records";
        EXPECT_EQ(records[0].value(S("result")).toString(), S("printed"));
        EXPECT_EQ(records[0].value(S("job_ids")).toVariant().toStringList(),
                  QStringList{queue + u'-' + QString::number(jobs.value(name)[0])});
        EXPECT_FALSE(records[0].value(S("handed_over")).toString().isEmpty());
        recovered += records[0].value(S("recovered")).toBool() ? 1 : 0;
    }
    EXPECT_EQ(JobCount(), names.size());
    // Most kills must fall into the burst, or the test proves little.
    EXPECT_GE(killsWhilePrinting, kRounds / 4);
    std::cout << kRounds << " kills, " << killsWhilePrinting << " of them between two jobs of the burst, "
              << recovered << " handovers found in the spooler after a restart\n";
}

TEST_F(BatchWatchSpooler, ARestartFindsTheJobOfAWatchKilledRightAfterItsPrint)
{
    // A print program that kills its watch once it has spooled: the job is
    // in the spooler, its result not in the state.
    const QString dying = root.filePath(S("print-and-kill"));
    ASSERT_TRUE(WriteFile(dying, "#!/bin/sh\n\"" + QFile::encodeName(BuiltPrintProgram()) + "\" \"$@\"\nkill -KILL $PPID\n"));
    ASSERT_EQ(::chmod(QFile::encodeName(dying).constData(), 0755), 0);
    // By the file's name, and by what a job name template makes of it.
    const struct
    {
        QStringList Options;
        QString Title; // %1: the file's name
    } cases[] = {{{}, S("%1")}, {{S("--job-name"), S("{batch}: {file} ({copy})")}, S("Inbox: %1 (1)")}};
    int round = 0;
    for (const auto& c : cases) {
        const QString name = stem + QStringLiteral("-killed%1.pdf").arg(++round);
        const QString later = stem + QStringLiteral("-later%1.pdf").arg(round);
        SCOPED_TRACE(c.Title.arg(name).toStdString());
        program = dying;
        QProcess killed;
        Start(killed, c.Options);
        ASSERT_TRUE(WriteFile(inbox + name, MakePdf(2)));
        ASSERT_TRUE(killed.waitForFinished(60000));
        ASSERT_EQ(killed.exitStatus(), QProcess::CrashExit) << Err().toStdString();

        program = BuiltPrintProgram();
        QProcess again;
        Start(again, c.Options);
        EXPECT_TRUE(Err().contains(inbox + name + S(" was handed over before the restart and is in the spooler")))
            << Err().toStdString();
        // A file printed again would go before one that arrives later.
        ASSERT_TRUE(WriteFile(inbox + later, MakePdf(1)));
        ASSERT_TRUE(WaitFor([&] { return Jobs().contains(c.Title.arg(later)); })) << Err().toStdString();
        EXPECT_EQ(Stop(again), 0);
        EXPECT_EQ(Jobs().value(c.Title.arg(name)).size(), 1);
        const QList<QJsonObject> records = Report().value(name);
        ASSERT_EQ(records.size(), 1);
        EXPECT_TRUE(records[0].value(S("recovered")).toBool());
    }
    EXPECT_EQ(JobCount(), 4);
}

TEST_F(BatchWatchSpooler, DocumentsWrittenInPiecesArePrintedWholeOnce)
{
    QProcess watch;
    // The default quiet and settle times: a piece is refused, and failed only
    // after it held for the quiet and the settle time, longer than 3 s.
    Start(watch, {S("--move-failed"), S("Failed")});
    const QByteArray one = MakePdf(4);
    const QByteArray three = MakePdf(6);
    const QByteArray rewritten = MakePdf(2);
    const QString oneName = stem + S("-pauses1.pdf");
    const QString threeName = stem + S("-pauses3.pdf");
    const QString rewriteName = stem + S("-rewrite.pdf");
    const QString otherName = stem + S("-other.pdf");
    // A huge file that is no PDF does not hold the folder up.
    const QString huge = inbox + S("z.pdf");
    {
        QFile f(huge);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("%PDF-1.4\n");
        ASSERT_TRUE(f.resize(2LL << 30));
    }
    ASSERT_TRUE(WriteFile(inbox + otherName, MakePdf(1)));

    const auto append = [&](const QString& name, const QByteArray& whole, int part, int parts) {
        QFile f(inbox + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Append));
        const qsizetype size = whole.size() / parts;
        f.write(whole.mid(part * size, part + 1 == parts ? -1 : size));
    };
    // On one time line: pieces with 1 s pauses, with 3 s pauses, and a
    // writer that truncates what it wrote and writes it anew.
    ASSERT_TRUE(WriteFile(inbox + rewriteName, MakePdf(5).left(400)));
    for (int second = 0; second <= 6; ++second) {
        if (second <= 3)
            append(oneName, one, second, 4);
        if (second % 3 == 0)
            append(threeName, three, second / 3, 3);
        if (second == 1) {
            ASSERT_TRUE(WriteFile(inbox + rewriteName, rewritten));
        }
        QThread::msleep(1000); // the writers' pace
    }
    // Ghostscript writing its output straight into the folder.
    const QString gsName = stem + S("-gs.pdf");
    ASSERT_TRUE(WriteFile(root.filePath(S("three.ps")), "%!PS\n/Helvetica findfont 20 scalefont setfont\n"
                                                        "1 1 3 { 72 72 moveto (page) show showpage } for\n"));
    QString gsOut;
    ASSERT_TRUE(RunTool(S("gs"),
                        {S("-q"), S("-dBATCH"), S("-dNOPAUSE"), S("-sDEVICE=pdfwrite"),
                         S("-sOutputFile=") + inbox + gsName, root.filePath(S("three.ps"))},
                        &gsOut))
        << gsOut.toStdString();

    QStringList names{oneName, threeName, rewriteName, otherName, gsName};
    QMap<QString, QByteArray> expected{{oneName, one},
                                       {threeName, three},
                                       {rewriteName, rewritten},
                                       {otherName, MakePdf(1)},
                                       {gsName, ReadFile(inbox + gsName)}};
    // A copy into the folder through a bind mount of it (as a container or a
    // file server sees it); mounting needs root.
    std::unique_ptr<QByteArray, void (*)(QByteArray*)> bound(nullptr, [](QByteArray* dir) {
        ::umount2(dir->constData(), MNT_DETACH);
        delete dir;
    });
    if (::geteuid() == 0) {
        const QByteArray bind = QFile::encodeName(root.filePath(S("bind")));
        ASSERT_TRUE(QDir().mkpath(root.filePath(S("bind"))));
        ASSERT_EQ(::mount(QFile::encodeName(inbox).constData(), bind.constData(), nullptr, MS_BIND, nullptr), 0)
            << std::strerror(errno);
        bound.reset(new QByteArray(bind));
        const QString copied = stem + S("-bind.pdf");
        ASSERT_TRUE(WriteFile(root.filePath(S("eight.pdf")), MakePdf(8)));
        QString cpOut;
        ASSERT_TRUE(RunTool(S("cp"), {root.filePath(S("eight.pdf")), root.filePath(S("bind/")) + copied}, &cpOut))
            << cpOut.toStdString();
        names << copied;
        expected.insert(copied, MakePdf(8));
    }
    ASSERT_TRUE(WaitFor([&] { return JobCount() >= names.size(); })) << JobCount() << " jobs";
    ASSERT_TRUE(WaitFor([&] { return QFile::exists(root.filePath(S("Failed/z.pdf"))); })) << Err().toStdString();
    EXPECT_EQ(Stop(watch), 0);

    const QMap<QString, QList<int>> jobs = Jobs();
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        SCOPED_TRACE(it.key().toStdString());
        ASSERT_EQ(jobs.value(it.key()).size(), 1)
            << Err().toStdString() << ReadFile(root.filePath(S("watch.jsonl"))).toStdString();
        EXPECT_EQ(Printed(jobs.value(it.key())[0]), it.value()) << "not printed whole";
    }
    EXPECT_EQ(JobCount(), names.size());
    EXPECT_EQ(QDir(root.filePath(S("Failed"))).entryList(QDir::Files), QStringList{S("z.pdf")});
    const QList<QJsonObject> z = Report().value(S("z.pdf"));
    ASSERT_FALSE(z.isEmpty());
    EXPECT_TRUE(z.last().value(S("reason")).toString().contains(S("no end-of-file mark")));
}

TEST_F(BatchWatchSpooler, SecondWatchRefusesAndAFullStateDiskPrintsNothingTwice)
{
    QProcess watch;
    Start(watch);
    // The same folder and files once more: refused, naming the running one.
    const TBatchResult second =
        RunBatch({S("--watch"), S("-p"), queue, S("--program"), BuiltPrintProgram(), S("Inbox")}, root.path(), home);
    EXPECT_EQ(second.Exit, 1);
    EXPECT_TRUE(second.Err.contains(S("(process ") + QString::number(watch.processId()) + u')'))
        << second.Err.toStdString();
    EXPECT_EQ(Stop(watch), 0);

    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting a small file system for the watch state needs root";
    // The state on a small file system that fills up while files arrive.
    const QString stateDir = home + S("/.local/share/morvane/watch");
    ASSERT_EQ(::mount("tmpfs", QFile::encodeName(stateDir).constData(), "tmpfs", 0, "size=64k"), 0)
        << std::strerror(errno);
    struct Unmount
    {
        QByteArray dir;
        ~Unmount() { ::umount2(dir.constData(), MNT_DETACH); }
    } unmount{QFile::encodeName(stateDir)};

    QStringList names;
    const auto drop = [&](int count) {
        for (int i = 0; i < count; ++i) {
            names << stem + QStringLiteral("-%1.pdf").arg(names.size(), 3, 10, QLatin1Char('0'));
            ASSERT_TRUE(WriteFile(inbox + names.last(), MakePdf(1)));
        }
    };
    QProcess full;
    Start(full);
    drop(5);
    ASSERT_TRUE(WaitFor([&] { return JobCount() >= 5; }));
    // Fill the disk: the watch says so once and hands nothing over.
    const QString filler = stateDir + S("/filler");
    {
        QFile f(filler);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        const QByteArray block(4096, 'x');
        while (f.write(block) == block.size() && f.flush()) {
        }
    }
    // What is left in the state file's last page still takes some lines.
    drop(40);
    ASSERT_TRUE(WaitFor([&] { return Err().contains(S("nothing more is printed until it can be")); }))
        << Err().toStdString();
    const qsizetype atBlock = JobCount();
    EXPECT_LT(atBlock, names.size());
    QThread::msleep(1500); // it must stay put meanwhile
    EXPECT_EQ(JobCount(), atBlock);
    // Space again: it goes on.
    ASSERT_TRUE(QFile::remove(filler));
    ASSERT_TRUE(WaitFor([&] { return Err().contains(S("printing goes on")); })) << Err().toStdString();
    EXPECT_EQ(Err().count(S("nothing more is printed until it can be")), 1);
    // Killed and started again: nothing printed a second time, the rest printed once.
    ::kill(static_cast<pid_t>(full.processId()), SIGKILL);
    ASSERT_TRUE(full.waitForFinished(60000));
    QProcess again;
    Start(again);
    drop(1);
    ASSERT_TRUE(WaitFor([&] { return JobCount() >= names.size(); })) << JobCount();
    EXPECT_EQ(Stop(again), 0);
    const QMap<QString, QList<int>> jobs = Jobs();
    for (const QString& name : std::as_const(names))
        EXPECT_EQ(jobs.value(name).size(), 1) << name.toStdString();
    EXPECT_EQ(JobCount(), names.size());
}

TEST_F(BatchWatchSpooler, AOneOffRunRefusesFragmentsWithTheReason)
{
    const QByteArray seven = MakePdf(7);
    ASSERT_TRUE(WriteFile(inbox + S("cut.pdf"), seven.mid(200)));
    ASSERT_TRUE(WriteFile(inbox + S("head.pdf"), seven.left(seven.size() - 300)));
    const TBatchResult r = RunBatch({S("-p"), queue, S("--program"), BuiltPrintProgram(), S("--pause"), S("0"),
                                     S("--report"), S("run.csv"), S("Inbox")},
                                    root.path(), home);
    EXPECT_EQ(r.Exit, 2) << r.Err.toStdString();
    const QStringList report = QString::fromUtf8(ReadFile(root.filePath(S("run.csv")))).split(S("\r\n"));
    const QStringList cut = report.filter(S("cut.pdf,failed"));
    const QStringList head = report.filter(S("head.pdf,failed"));
    ASSERT_EQ(cut.size(), 1) << report.join(u'\n').toStdString();
    ASSERT_EQ(head.size(), 1) << report.join(u'\n').toStdString();
    EXPECT_TRUE(cut[0].contains(S("is incomplete: no PDF header"))) << cut[0].toStdString();
    EXPECT_TRUE(head[0].contains(S("is incomplete: no end-of-file mark"))) << head[0].toStdString();
    EXPECT_EQ(JobCount(), 0);
}

} // namespace
