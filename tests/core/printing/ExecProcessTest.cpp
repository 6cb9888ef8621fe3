#include "printing/ExecProcess.h"

#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>

#include <sys/resource.h>

using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {

// Runs `/bin/sh -c script` directly, capturing standard output.
int RunShell(const QString& script, const QString& workDir = {}, QStringList* output = nullptr,
             ProcessOptions options = poCaptureOutput)
{
    const QString cmd = QStringLiteral("/bin/sh -c \"") + QString(script).replace(u'"', QStringLiteral("\"\"")) + u'"';
    return ExecuteProcess(QString(), cmd, workDir, options, 0, false, output, 65001);
}

struct ReportLog
{
    QStringList texts;
    QStringList errors;
    ReportLog()
    {
        SetProcessReporting({[this](const QString& title, const QString& text) { texts << title << text; },
                             [this](const QString& title, const QString& msg) { errors << title << msg; }});
    }
    ~ReportLog() { SetProcessReporting({}); }
};

} // namespace

TEST(ExecProcess, SplitsCommandLinesByWindowsQuoting)
{
    const struct
    {
        const char* line;
        QStringList args;
    } cases[] = {
        {"prog a b", {u"prog"_qs, u"a"_qs, u"b"_qs}},
        {"  prog\t a  ", {u"prog"_qs, u"a"_qs}},
        {"\"/opt/my prog\" -print-to \"PDF\" \"x y.pdf\"",
         {u"/opt/my prog"_qs, u"-print-to"_qs, u"PDF"_qs, u"x y.pdf"_qs}},
        {"p \"say \"\"hi\"\"\"", {u"p"_qs, u"say \"hi\""_qs}},
        {"p \"\" x", {u"p"_qs, QString(), u"x"_qs}},
        {"p a\"b c\"d", {u"p"_qs, u"ab cd"_qs}},
        {"p \"C:\\dir\\\" \"a\\\\b\"", {u"p"_qs, u"C:\\dir\\"_qs, u"a\\\\b"_qs}},
        {"p \"unclosed arg", {u"p"_qs, u"unclosed arg"_qs}},
        {"", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SplitCommandLine(QString::fromUtf8(c.line)), c.args) << c.line;
}

TEST(ExecProcess, MapsExitCodesAndDecodesCodePages)
{
    EXPECT_EQ(ResultFromExitCode(0), 0);
    EXPECT_EQ(ResultFromExitCode(1), 0x20000001);
    EXPECT_EQ(ResultFromExitCode(0xFFFF), 0x2000FFFF);
    EXPECT_EQ(ResultFromExitCode(0x10000), 0);
    EXPECT_EQ(ResultFromExitCode(0xC0000005u), 0);

    // Bytes turned into text "using CodePage", for every page the system converts.
    const struct
    {
        QByteArray bytes;
        int codePage;
        const char* text;
    } pages[] = {
        {QByteArray("a\x81\x84\xE1\x9B\xFF\xB3", 7), 850, "a\u00FC\u00E4\u00DF\u00F8\u00A0\u2502"},
        {"\xC3\xA4", 65001, "\u00E4"},
        {"\x80\x81\xE1\xB3", 437, "\u00C7\u00FC\u00DF\u2502"},
        {"\x80\xE4\x9F", 1252, "\u20AC\u00E4\u0178"},
        {"\xA4\xE4", 28605, "\u20AC\u00E4"},
        {"\x82\xA0x\x93\xFA", 932, "\u3042x\u65E5"},
        // Bytes the page does not define, also a cut-off pair, become U+FFFD; the rest survives.
        {"a\xFF\x62\x82", 932, "a\uFFFDb\uFFFD"},
        // A page without a converter: one character per byte.
        {"\x80\xE4", 4711, "\u0080\u00E4"},
    };
    for (const auto& p : pages)
        EXPECT_EQ(DecodeConsoleOutput(p.bytes, p.codePage), QString::fromUtf8(p.text)) << p.codePage;
}

TEST(ExecProcess, ReportsHowTheProgramEnded)
{
    EXPECT_EQ(ExecuteProcessSimple(u"/bin/true"_qs, QString(), nullptr, 850), 0);
    EXPECT_EQ(ExecuteProcessSimple(u"/bin/false"_qs, QString(), nullptr, 850), 0x20000001);
    EXPECT_EQ(ExecuteProcessSimple(u"true"_qs, QString(), nullptr, 850), 0) << "bare names are searched in PATH";
    EXPECT_EQ(RunShell(u"exit 255"_qs), 0x200000FF);
    // A crash is never success: the signal number is reported above 128.
    EXPECT_EQ(RunShell(u"kill -SEGV $$"_qs), 0x20000000 | (128 + SIGSEGV));
    // The program name given apart from the command line wins over the command's first word.
    EXPECT_EQ(ExecuteProcess(u"/bin/false"_qs, u"/bin/true"_qs, QString(), 0, 0, false, nullptr, 850), 0x20000001);
}

TEST(ExecProcess, LimitedRunsEndTheProgramAndSayWhy)
{
    QTemporaryDir tmp;
    const QString pidFile = tmp.filePath(u"child.pid"_qs);
    int signalled[2];
    ASSERT_EQ(::pipe(signalled), 0);
    ASSERT_EQ(::write(signalled[1], "x", 1), 1);
    const struct
    {
        const char* script;
        TProcessLimit limit;
        int result;
        int signal;
        bool timedOut;
        bool cancelled;
    } cases[] = {
        {"exit 3", {5000, -1, 0}, 0x20000003, 0, false, false},
        // Killed: told apart from a program that ends with 137.
        {"kill -KILL $$", {}, 0x20000000 | 137, SIGKILL, false, false},
        {"exit 137", {}, 0x20000000 | 137, 0, false, false},
        {"sleep 100", {200, -1, 0}, ProcessWaitTimeout, 0, true, false},
        // SIGTERM ignored: SIGKILL follows; the group goes too, so no helper of it stays.
        {"trap '' TERM; sleep 100 & echo $! > child.pid; wait", {200, -1, 0}, ProcessWaitTimeout, 0, true, false},
        {"sleep 100", {0, signalled[0], 0}, ProcessWaitTimeout, 0, false, true},
        // Within its grace time after the request a program may still finish.
        {"exit 0", {0, signalled[0], 60000}, 0, 0, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        QFile::remove(pidFile);
        const QString cmd = u"/bin/sh -c \""_qs + QString::fromUtf8(c.script) + u'"';
        const TProcessEnd end =
            RunProcessLimited(cmd, tmp.path(), poCaptureOutput | poOwnProcessGroup, c.limit, nullptr, 65001);
        EXPECT_EQ(end.Result, c.result);
        EXPECT_EQ(end.Signal, c.signal);
        EXPECT_EQ(end.TimedOut, c.timedOut);
        EXPECT_EQ(end.Cancelled, c.cancelled);
        if (QFile::exists(pidFile)) {
            const pid_t child = QString::fromLatin1(ReadFile(pidFile)).trimmed().toInt();
            ASSERT_GT(child, 0);
            // Its parent is gone, so init reaps it; until then it may be a zombie.
            bool gone = false;
            for (int i = 0; i < 200 && !gone; ++i) {
                QFile status(u"/proc/%1/stat"_qs.arg(child));
                gone = !status.open(QIODevice::ReadOnly) || status.readAll().contains(") Z ");
                if (!gone)
                    QThread::msleep(10);
            }
            EXPECT_TRUE(gone) << "the program's helper outlived it";
        }
    }
    ::close(signalled[0]);
    ::close(signalled[1]);
}

TEST(ExecProcess, ReturnsWindowsCodesForFailedStarts)
{
    QTemporaryDir tmp;
    const QString plain = tmp.filePath(u"plain.txt"_qs);
    const QString noShebang = tmp.filePath(u"noshebang"_qs);
    ASSERT_TRUE(WriteFile(plain, "echo hi\n"));
    ASSERT_TRUE(WriteFile(noShebang, "\x7f"
                                     "ELF garbage"));
    QFile::setPermissions(noShebang, QFile::ReadOwner | QFile::ExeOwner);

    ReportLog log;
    EXPECT_EQ(ExecuteProcessSimple(tmp.filePath(u"missing"_qs), QString(), nullptr, 850), WinErrorFileNotFound);
    EXPECT_EQ(ExecuteProcessSimple(u"no-such-program-anywhere"_qs, QString(), nullptr, 850), WinErrorFileNotFound);
    EXPECT_EQ(ExecuteProcessSimple(QString(), QString(), nullptr, 850), WinErrorFileNotFound);
    EXPECT_EQ(ExecuteProcessSimple(plain, QString(), nullptr, 850), WinErrorAccessDenied);
    EXPECT_EQ(ExecuteProcessSimple(tmp.path(), QString(), nullptr, 850), WinErrorAccessDenied);
    EXPECT_EQ(ExecuteProcessSimple(noShebang, QString(), nullptr, 850), WinErrorBadExeFormat);
    EXPECT_EQ(ExecuteProcessSimple(u"/bin/true"_qs, tmp.filePath(u"nodir"_qs), nullptr, 850), WinErrorDirectory);
    EXPECT_TRUE(log.errors.isEmpty()) << "start failures show no message";
}

TEST(ExecProcess, StartsInTheWorkingDirectoryWithoutMovingTheCaller)
{
    QTemporaryDir tmp;
    const QString before = QDir::currentPath();
    QStringList out;
    EXPECT_EQ(RunShell(u"pwd"_qs, tmp.path(), &out), 0);
    EXPECT_EQ(out, QStringList{QDir(tmp.path()).canonicalPath()});
    EXPECT_EQ(QDir::currentPath(), before);
    EXPECT_EQ(RunShell(u"pwd"_qs, QString(), &out), 0);
    EXPECT_EQ(out, QStringList{QDir(before).canonicalPath()});

    // A relative program name is found from the caller's directory, not from the child's.
    QTemporaryDir other;
    ASSERT_TRUE(QDir::setCurrent(other.path()));
    ASSERT_TRUE(WriteFile(other.filePath(u"tool.sh"_qs), "#!/bin/sh\nexit 3\n"));
    QFile::setPermissions(other.filePath(u"tool.sh"_qs), QFile::ReadOwner | QFile::ExeOwner);
    EXPECT_EQ(ExecuteProcessSimple(u"./tool.sh"_qs, tmp.path(), nullptr, 850), 0x20000003);
    QDir::setCurrent(before);
}

TEST(ExecProcess, CapturesOutputAsLines)
{
    QStringList out{u"old"_qs};
    EXPECT_EQ(RunShell(u"printf 'a\\r\\nb\\nc'; echo err >&2"_qs, {}, &out), 0);
    EXPECT_EQ(out, (QStringList{u"a"_qs, u"b"_qs, u"c"_qs}));
    EXPECT_EQ(RunShell(u"echo out; echo err >&2; exit 4"_qs, {}, &out, poCaptureOutput | poCaptureStdErr), 0x20000004);
    EXPECT_EQ(out, (QStringList{u"out"_qs, u"err"_qs}));
    // Standard input is empty: a program that asks a question gets no answer instead of waiting.
    EXPECT_EQ(RunShell(u"read answer || echo none"_qs, {}, &out), 0);
    EXPECT_EQ(out, QStringList{u"none"_qs});
    // Without capture the list stays as it was.
    out = QStringList{u"kept"_qs};
    EXPECT_EQ(RunShell(u"echo x"_qs, {}, &out, 0), 0);
    EXPECT_EQ(out, QStringList{u"kept"_qs});
}

TEST(ExecProcess, ReadsLargeOutputWhileWaiting)
{
    QStringList out;
    EXPECT_EQ(RunShell(u"head -c 3000000 /dev/zero | tr '\\0' x"_qs, {}, &out), 0);
    ASSERT_EQ(out.size(), 1);
    EXPECT_EQ(out[0].size(), 3000000);
    EXPECT_EQ(out[0].count(u'x'), 3000000);
}

TEST(ExecProcess, ReturnsWhenTheChildEndsThoughAGrandchildHoldsTheOutput)
{
    QStringList out;
    EXPECT_EQ(RunShell(u"sleep 60 & echo $!"_qs, {}, &out), 0);
    ASSERT_EQ(out.size(), 1);
    const int grandchild = out[0].toInt();
    ASSERT_GT(grandchild, 0);
    ::kill(grandchild, SIGKILL);
}

TEST(ExecProcess, HandlesEventsWhileWaiting)
{
    // The child ends only after a timer of the caller has run inside the wait.
    QTemporaryDir tmp;
    bool fired = false;
    QTimer::singleShot(0, [&]() {
        fired = true;
        WriteFile(tmp.filePath(u"flag"_qs), "1");
    });
    const int result =
        RunShell(u"i=0; while [ ! -e flag ]; do i=$((i+1)); [ $i -gt 3000 ] && exit 9; sleep 0.01; done"_qs, tmp.path(),
                 nullptr, 0);
    EXPECT_TRUE(fired);
    EXPECT_EQ(result, 0);
}

TEST(ExecProcess, BoundedWaitRunsOutAndKillsItsOwnConsoleChild)
{
    QTemporaryDir tmp;
    const QString cmd = u"/bin/sh -c \"echo $$ > pid; exec sleep 60\""_qs;
    EXPECT_EQ(ExecuteProcess(QString(), cmd, tmp.path(), 0, 30, false, nullptr, 850), ProcessWaitTimeout);
    // The child outlives the wait; it writes its id when it gets to it (the
    // file exists, empty, a moment before the id is in it).
    QDeadlineTimer deadline(30000);
    while (!ReadFile(tmp.filePath(u"pid"_qs)).endsWith('\n') && !deadline.hasExpired())
        QThread::msleep(5);
    const int first = ReadFile(tmp.filePath(u"pid"_qs)).trimmed().toInt();
    ASSERT_GT(first, 0);
    ::kill(first, SIGKILL);

    // Negative timeouts count by their absolute value; the running child's code is STILL_ACTIVE.
    QFile::remove(tmp.filePath(u"pid"_qs));
    EXPECT_EQ(ExecuteProcess(QString(), cmd, tmp.path(), poCaptureOutput | poNewConsole, -300, true, nullptr, 850),
              0x20000103);
    // On a busy machine the shell may not have written its id within the wait;
    // then it was ended before it got there.
    const int second = ReadFile(tmp.filePath(u"pid"_qs)).trimmed().toInt();
    if (second > 0) {
        EXPECT_NE(::kill(second, 0), 0) << "with capture and own console the child is ended after the wait";
    }

    // A child that ends in time gives its own result.
    EXPECT_EQ(ExecuteProcess(QString(), u"/bin/false"_qs, QString(), 0, 60000, false, nullptr, 850), 0x20000001);
}

TEST(ExecProcess, ShowsCapturedTextOnlyWhenAskedAndPresent)
{
    ReportLog log;
    const ProcessOptions show = poCaptureOutput | poShowOutput;
    EXPECT_EQ(ExecuteProcess(u"/bin/sh"_qs, u"sh -c \"echo hello\""_qs, QString(), show, 0, false, nullptr, 850), 0);
    EXPECT_EQ(log.texts, (QStringList{u"/bin/sh"_qs, u"hello\n"_qs}));
    log.texts.clear();
    EXPECT_EQ(ExecuteProcess(u"/bin/true"_qs, QString(), QString(), show, 0, false, nullptr, 850), 0);
    EXPECT_TRUE(log.texts.isEmpty());
    QStringList out;
    EXPECT_EQ(ExecuteProcess(u"/bin/sh"_qs, u"sh -c \"echo x\""_qs, QString(), show, 0, false, &out, 850), 0);
    EXPECT_TRUE(log.texts.isEmpty()) << "an output list takes the text instead of the window";
}

TEST(ExecProcess, ReportsAPipeFailure)
{
    ReportLog log;
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &old), 0);
    rlimit tight = old;
    tight.rlim_cur = 1; // no new descriptor can be opened
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
    const int quiet = ExecuteProcess(QString(), u"/bin/true"_qs, QString(), poCaptureOutput, 0, false, nullptr, 850);
    const int loud =
        ExecuteProcess(QString(), u"/bin/true"_qs, QString(), poCaptureOutput | poShowErrors, 0, false, nullptr, 850);
    ::setrlimit(RLIMIT_NOFILE, &old);
    EXPECT_EQ(quiet, ProcessPipeFailed);
    EXPECT_EQ(loud, ProcessPipeFailed);
    EXPECT_EQ(log.errors, (QStringList{u"Error executing process"_qs, u"Stdout pipe creation failed"_qs}));
}
