// morvane-batch as a process on the way out: reports and listings that meet
// a full disk or a closed pipe, stop signals, print programs that hang or are
// killed, names that are not UTF-8, and the messages that name the cause.
// The full disk is a small tmpfs the test mounts (as root).

#include "support/BatchProcess.h"

#include "support/QStringPrinter.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

using namespace batch_test;
using namespace testing_support;

namespace {

// Logs each file; a "hang" file never returns (its shell's pid in $0.pid), a
// "killed" one dies by SIGKILL.
constexpr char kFakeProgram[] = "#!/bin/sh\n"
                                "echo \"$3\" >> \"$0.log\"\n"
                                "case \"$3\" in *hang*) echo $$ > \"$0.pid\"; exec sleep 1000 ;; esac\n"
                                "case \"$3\" in *killed*) kill -9 $$ ;; esac\n"
                                "exit 0\n";

// A file system of 64 KB, filled up to its last byte by Fill().
class TSmallDisk
{
public:
    explicit TSmallDisk(const QString& dir) : FDir(dir)
    {
        QDir().mkpath(dir);
        FMounted = ::mount("tmpfs", QFile::encodeName(dir).constData(), "tmpfs", 0, "size=64k") == 0;
    }
    ~TSmallDisk()
    {
        if (FMounted)
            ::umount2(QFile::encodeName(FDir).constData(), MNT_DETACH);
    }
    bool Mounted() const { return FMounted; }
    // Fills the free space; true once a write met a full disk.
    bool Fill() const
    {
        const int fd = ::open(QFile::encodeName(FDir + S("/filler")).constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0)
            return false;
        const QByteArray block(4096, 'x');
        bool full = false;
        for (int i = 0; i < 64 && !full; ++i)
            full = ::write(fd, block.constData(), static_cast<size_t>(block.size())) < block.size();
        ::close(fd);
        return full;
    }

private:
    QString FDir;
    bool FMounted = false;
};

class BatchOutput : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        program = root.filePath(S("bin/fake-print"));
        ASSERT_TRUE(WriteScript(program, kFakeProgram));
    }
    // Files with long names, so that their report and listing outgrow a pipe's buffer.
    QStringList MakeFiles(const QString& dir, int count) const
    {
        QStringList names;
        for (int i = 0; i < count; ++i) {
            names << QStringLiteral("%1-%2.pdf").arg(i, 4, 10, QLatin1Char('0')).arg(QString(160, u'n'));
            EXPECT_TRUE(WriteFile(dir + names.last(), "%PDF-1.4\n%%EOF\n"));
        }
        return names;
    }
    // Runs a bash command line in the root with $B the batch program and $P
    // the stand-in; the exit code of the first command of a pipeline.
    TBatchResult Shell(const QString& command)
    {
        QFile::remove(program + S(".log"));
        const QString script =
            S("B='") + BuiltBatchProgram() + S("'; P='") + program + S("'; ") + command + S("; exit ${PIPESTATUS[0]}");
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(S("HOME"), root.filePath(S("home")));
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(root.path());
        p.start(S("bash"), {S("-c"), script});
        EXPECT_TRUE(p.waitForFinished(120000));
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
                QString::fromUtf8(p.readAllStandardError())};
    }
    QStringList Log() const
    {
        return QString::fromUtf8(ReadFile(program + S(".log"))).split(u'\n', Qt::SkipEmptyParts);
    }

    QTemporaryDir root;
    QString program;
};

TEST_F(BatchOutput, ReportsAndListingsThatCannotBeWrittenEndWithTheirOwnCode)
{
    const QString docs = root.filePath(S("Docs/"));
    const QStringList names = MakeFiles(docs, 200);
    const bool asRoot = ::geteuid() == 0;
    TSmallDisk disk(root.filePath(S("full")));
    if (disk.Mounted()) {
        ASSERT_TRUE(WriteFile(root.filePath(S("full/r.csv")), "old report\n"));
        ASSERT_TRUE(disk.Fill());
    }
    const QString run = S("\"$B\" -q --pause 0 --program \"$P\" ");
    struct Case
    {
        const char* command;
        int exit;
        const char* message; // empty: it ends quietly
        int calls;
        bool needsDisk = false;
    };
    const Case cases[] = {
        // The old report stays, the summary still tells what was printed.
        {"--report full/r.csv Docs", 4, "the report full/r.csv cannot be written: disk full", 200, true},
        {"--report - Docs > /dev/full", 4, "the report - cannot be written: disk full", 200},
        {"--dry-run -n 2 Docs > /dev/full", 4, "cannot write to standard output: disk full", 0},
        // A reader that has seen enough is no error worth a message, but the code says the rest is missing.
        {"--dry-run -n 2 Docs | head -1", 4, "", 0},
        {"--report - -n 3 Docs | head -1", 4, "", 600},
        {"--help > /dev/full", 4, "cannot write to standard output: disk full", 0},
        // The same runs with room to write end well.
        {"--report r.csv Docs", 0, "", 200},
        {"--dry-run -n 2 Docs | wc -l", 0, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        if (c.needsDisk && !disk.Mounted()) {
            EXPECT_FALSE(asRoot) << "the small file system could not be mounted";
            continue;
        }
        const TBatchResult r = Shell(run + S(c.command));
        EXPECT_EQ(r.Exit, c.exit) << r.Err.toStdString();
        if (*c.message) {
            EXPECT_TRUE(r.Err.contains(S("morvane-batch: ") + S(c.message))) << r.Err.toStdString();
        } else {
            EXPECT_FALSE(r.Err.contains(S("morvane-batch:"))) << r.Err.toStdString();
        }
        EXPECT_EQ(Log().size(), c.calls);
        if (c.calls > 0) {
            EXPECT_TRUE(r.Err.contains(QStringLiteral("Printed: %1, failed: 0").arg(c.calls))) << r.Err.toStdString();
        }
    }
    if (disk.Mounted()) {
        EXPECT_EQ(ReadFile(root.filePath(S("full/r.csv"))), QByteArray("old report\n"));
    }
    const QStringList report =
        QString::fromUtf8(ReadFile(root.filePath(S("r.csv")))).split(S("\r\n"), Qt::SkipEmptyParts);
    EXPECT_EQ(report.size(), 201);
    if (!disk.Mounted())
        GTEST_SKIP() << "not root: the full-disk case was left out";
}

TEST_F(BatchOutput, WatchReportOnAFullDiskLosesNoRecordAndTearsNone)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "not root: the small file system cannot be mounted";
    TSmallDisk disk(root.filePath(S("full")));
    ASSERT_TRUE(disk.Mounted());
    const QString report = root.filePath(S("full/watch.csv"));
    ASSERT_TRUE(WriteFile(report, "copy,file,result,exit_code,reason\r\n"));
    ASSERT_TRUE(disk.Fill());

    const QString inbox = root.filePath(S("Inbox/"));
    ASSERT_TRUE(QDir().mkpath(inbox));
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(S("HOME"), root.filePath(S("home")));
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(root.path());
    p.start(BuiltBatchProgram(), {S("--watch"), S("--settle"), S("100"), S("--pause"), S("0"), S("--program"), program,
                                  S("--report"), report, S("Inbox")});
    QString err;
    ASSERT_TRUE(WaitForError(p, err, S("Watching"))) << err.toStdString();
    // Moved in whole, one after the other, until the report's last page is full.
    const QStringList names = MakeFiles(root.filePath(S("Out/")), 40);
    for (const QString& name : names) {
        if (p.state() != QProcess::Running)
            break;
        ASSERT_TRUE(QFile::rename(root.filePath(S("Out/")) + name, inbox + name));
        QThread::msleep(20);
    }
    ASSERT_TRUE(p.waitForFinished(60000)) << "the watch went on with a report it cannot write";
    err += QString::fromUtf8(p.readAllStandardError());
    EXPECT_EQ(p.exitCode(), 4) << err.toStdString();
    EXPECT_TRUE(err.contains(S("morvane-batch: the report ") + report +
                             S(" cannot be written (disk full); the watch stops handing over files")))
        << err.toStdString();

    // Whole records only, and every printed file in the report or, after the stop, on stderr.
    const QString written = QString::fromUtf8(ReadFile(report));
    const QRegularExpression record(
        S("^1,") + QRegularExpression::escape(inbox) +
        S("\\d{4}-n{160}\\.pdf,printed,0,,\\d{4}-\\d\\d-\\d\\dT[\\d:.]+Z,[^,]*,no,[^,]*,,,,,\\d*$"));
    QStringList lines = written.split(S("\r\n"));
    EXPECT_TRUE(lines.takeLast().isEmpty()) << "torn last record: " << written.right(80).toStdString();
    EXPECT_EQ(lines.takeFirst(), S("copy,file,result,exit_code,reason"));
    for (const QString& line : std::as_const(lines))
        EXPECT_TRUE(record.match(line).hasMatch()) << line.toStdString();
    const QString unwritten = err.section(S("Records not written to the report:\n"), 1);
    EXPECT_FALSE(unwritten.isEmpty()) << err.toStdString();
    const QStringList printed = Log();
    EXPECT_FALSE(printed.isEmpty());
    EXPECT_LT(printed.size(), names.size()) << "files were handed over after the report failed";
    for (const QString& file : printed) {
        // A watch's record goes on with the handover time and the job ids.
        const QString line = S("1,") + file + S(",printed,0,,");
        const auto inReport =
            std::count_if(lines.cbegin(), lines.cend(), [&](const QString& l) { return l.startsWith(line); });
        EXPECT_EQ(inReport + unwritten.count(line), 1) << file.toStdString();
    }
}

TEST_F(BatchOutput, HungPrintProgramsAndStopSignalsEndTheWait)
{
    const QString docs = root.filePath(S("Docs/"));
    for (const char* name : {"a-hang.pdf", "b.pdf"})
        ASSERT_TRUE(WriteFile(docs + S(name), "%PDF-1.4\n"));
    const auto ended = [&] {
        const pid_t pid = QString::fromLatin1(ReadFile(program + S(".pid"))).trimmed().toInt();
        return pid > 0 && ::kill(pid, 0) != 0;
    };
    const QStringList common{S("--pause"), S("0"), S("--program"), program, S("--report"), S("-"), S("Docs")};

    // The limit fails the hung file and the run goes on.
    TBatchResult r =
        RunBatch(common + QStringList{S("--timeout-per-file"), S("1")}, root.path(), root.filePath(S("home")));
    EXPECT_EQ(r.Exit, 2) << r.Err.toStdString();
    EXPECT_TRUE(r.Err.contains(S("morvane-batch: ") + docs +
                               S("a-hang.pdf could not be printed: The print program did not finish in 1 s")))
        << r.Err.toStdString();
    EXPECT_TRUE(r.Out.contains(S("\"file\":\"") + docs +
                               S("a-hang.pdf\",\"reason\":\"The print program did not "
                                 "finish in 1 s\",\"result\":\"failed\"")));
    EXPECT_TRUE(r.Out.contains(
        QRegularExpression(S("\"file\":\"") + QRegularExpression::escape(docs) +
                           S("b.pdf\",\"handed_over\":[^}]*\"reason\":\"\",[^}]*\"result\":\"printed\""))))
        << r.Out.toStdString();
    EXPECT_TRUE(ended());

    // Without a limit a stop signal ends the hung program (after its grace) and the run.
    QFile::remove(program + S(".pid"));
    QFile::remove(program + S(".log"));
    r = RunBatch(common + QStringList{S("--timeout-per-file"), S("0")}, root.path(), root.filePath(S("home")), {},
                 [&](QProcess& p, QString&) {
                     while (!QFile::exists(program + S(".pid")) && p.state() == QProcess::Running)
                         p.waitForFinished(20);
                     ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
                 });
    EXPECT_EQ(r.Exit, 130) << r.Err.toStdString();
    EXPECT_EQ(Log().size(), 1);
    EXPECT_TRUE(r.Out.contains(S("The print program was ended because the run was stopped"))) << r.Out.toStdString();
    EXPECT_TRUE(ended());
}

TEST_F(BatchOutput, MessagesNameTheRealCause)
{
    const QString docs = root.filePath(S("Docs/"));
    ASSERT_TRUE(WriteFile(docs + S("killed.pdf"), "%PDF-1.4\n"));
    ASSERT_TRUE(QDir().mkpath(root.filePath(S("Inbox"))));
    struct Case
    {
        QStringList args;
        int exit;
        const char* message;
    };
    const Case cases[] = {
        {{S("--report"), S("-"), S("Docs")},
         2,
         "killed.pdf could not be printed: The print program was killed by signal 9"},
        {{S("--watch"), S("--move-printed"), S("Inbox"), S("Inbox")},
         1,
         "the move target lies inside the watched folder"},
        {{S("--watch"), S("--move-failed"), S("./Inbox/"), S("Inbox")},
         1,
         "the move target lies inside the watched folder"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(u' ').toStdString());
        const TBatchResult r = RunBatch(QStringList{S("--pause"), S("0"), S("--program"), program} + c.args,
                                        root.path(), root.filePath(S("home")));
        EXPECT_EQ(r.Exit, c.exit) << r.Err.toStdString();
        EXPECT_TRUE(r.Err.contains(S(c.message))) << r.Err.toStdString();
        if (c.exit == 2) {
            EXPECT_TRUE(r.Out.contains(S("\"exit_code\":137"))) << r.Out.toStdString();
        }
    }
}

TEST_F(BatchOutput, ArgumentsThatAreNotUtf8KeepTheirBytes)
{
    // "Café/résumé.pdf" in Latin-1.
    const QByteArray dir = QFile::encodeName(root.path()) + "/Caf\xE9";
    ASSERT_EQ(::mkdir(dir.constData(), 0755), 0);
    const QByteArray file = dir + "/r\xE9sum\xE9.pdf";
    const int fd = ::open(file.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ::close(fd);
    const QString dirArg = S("$'Caf\\xe9'");
    struct Case
    {
        QString args;
        int exit;
        int calls;
    };
    const Case cases[] = {
        {S("--dry-run ") + dirArg + S(" > out"), 0, 0},
        {S("--dry-run ") + dirArg + S(" $'r\\xe9sum\\xe9.pdf' > out"), 0, 0},
        {S("--pause 0 --program \"$P\" ") + dirArg + S(" $'r\\xe9sum\\xe9.pdf'"), 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.toStdString());
        QFile::remove(root.filePath(S("out")));
        const TBatchResult r = Shell(S("\"$B\" ") + c.args);
        EXPECT_EQ(r.Exit, c.exit) << r.Err.toStdString();
        EXPECT_FALSE(r.Err.contains(S("does not exist")) || r.Err.contains(S("matched no file")))
            << r.Err.toStdString();
        if (c.calls == 0) {
            EXPECT_EQ(ReadFile(root.filePath(S("out"))), "1\t" + file + '\n');
        } else {
            EXPECT_EQ(ReadFile(program + S(".log")), file + '\n');
        }
    }
}

} // namespace
