#include "printing/ExecProcess.h"

#include "app/GnuGetText.h"
#include "util/FileNameBytes.h"
#include "util/TextLines.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QStringDecoder>

#include <array>
#include <cerrno>
#include <csignal>
#include <memory>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <iconv.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// Output beyond this is still read (so the child never blocks) but dropped.
constexpr qsizetype MaxCapturedBytes = 64 * 1024 * 1024;
constexpr int WaitStepMs = 100;

ProcessReporting& Reporting()
{
    static ProcessReporting reporting;
    return reporting;
}

void ReportFailure(ProcessOptions options, const char* message)
{
    if (!(options & poShowErrors))
        return;
    const QString title = TrDefault("Error executing process");
    const QString text = TrDefault(message);
    if (Reporting().showError)
        Reporting().showError(title, text);
    else
        qWarning("%s: %s", qUtf8Printable(title), qUtf8Printable(text));
}

// Code page 850, bytes 0x80 to 0xFF; the lower half is ASCII.
constexpr std::array<char16_t, 128> Cp850High = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE,
    0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6,
    0x00DC, 0x00F8, 0x00A3, 0x00D8, 0x00D7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA,
    0x00BA, 0x00BF, 0x00AE, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x00C1, 0x00C2, 0x00C0, 0x00A9, 0x2563, 0x2551, 0x2557, 0x255D, 0x00A2, 0x00A5, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x00E3, 0x00C3, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x00A4, 0x00F0, 0x00D0, 0x00CA, 0x00CB, 0x00C8, 0x0131, 0x00CD, 0x00CE, 0x00CF, 0x2518, 0x250C,
    0x2588, 0x2584, 0x00A6, 0x00CC, 0x2580, 0x00D3, 0x00DF, 0x00D4, 0x00D2, 0x00F5, 0x00D5, 0x00B5, 0x00FE,
    0x00DE, 0x00DA, 0x00DB, 0x00D9, 0x00FD, 0x00DD, 0x00AF, 0x00B4, 0x00AD, 0x00B1, 0x2017, 0x00BE, 0x00B6,
    0x00A7, 0x00F7, 0x00B8, 0x00B0, 0x00A8, 0x00B7, 0x00B9, 0x00B3, 0x00B2, 0x25A0, 0x00A0,
};

// The converter name of a Windows code page: most are "CP" and the number,
// a few have names of their own.
QByteArray IconvName(int codePage)
{
    switch (codePage) {
    case 1200:
        return "UTF-16LE";
    case 1201:
        return "UTF-16BE";
    case 12000:
        return "UTF-32LE";
    case 12001:
        return "UTF-32BE";
    case 20127:
        return "ASCII";
    case 20866:
        return "KOI8-R";
    case 21866:
        return "KOI8-U";
    case 20932:
    case 51932:
        return "EUC-JP";
    case 51949:
        return "EUC-KR";
    case 54936:
        return "GB18030";
    case 65000:
        return "UTF-7";
    default:
        if (codePage >= 28591 && codePage <= 28606)
            return "ISO-8859-" + QByteArray::number(codePage - 28590);
        return "CP" + QByteArray::number(codePage);
    }
}

// Bytes in a code page through the C library's converters; a byte sequence
// that the page does not define becomes U+FFFD. False when the system knows
// no converter for the page.
bool DecodeWithIconv(const QByteArray& bytes, int codePage, QString& text)
{
    if (codePage <= 0)
        return false;
    const iconv_t cd = ::iconv_open("UTF-8", IconvName(codePage).constData());
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    QByteArray utf8;
    std::array<char, 4096> chunk{};
    char* in = const_cast<char*>(bytes.constData());
    size_t inLeft = static_cast<size_t>(bytes.size());
    for (;;) {
        char* out = chunk.data();
        size_t outLeft = chunk.size();
        // Once every byte is read, a call without input ends a stateful page's shift state.
        const bool flushing = inLeft == 0;
        const size_t r =
            flushing ? ::iconv(cd, nullptr, nullptr, &out, &outLeft) : ::iconv(cd, &in, &inLeft, &out, &outLeft);
        const int error = errno;
        utf8.append(chunk.data(), static_cast<qsizetype>(chunk.size() - outLeft));
        if (r == static_cast<size_t>(-1) && error == E2BIG)
            continue; // the chunk was full
        if (flushing)
            break;
        if (r == static_cast<size_t>(-1)) {
            // A byte the page does not define, or a sequence cut off at the end.
            utf8.append("\xEF\xBF\xBD");
            ++in;
            --inLeft;
        }
    }
    ::iconv_close(cd);
    text = QString::fromUtf8(utf8);
    return true;
}

// Owns a file descriptor.
class Fd
{
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    void reset(int fd = -1)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }
    // Closes now and tells whether the close succeeded.
    bool close()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd < 0 || ::close(fd) == 0 || errno == EINTR;
    }

private:
    int m_fd;
};

// Collects the child's output from the non-blocking read end of the pipe.
class OutputReader
{
public:
    explicit OutputReader(int fd) : m_fd(fd) {}

    // Reads what is there now; false once the pipe is at its end.
    bool readAvailable()
    {
        if (m_fd < 0 || m_atEnd)
            return false;
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            if (n > 0) {
                const qsizetype keep = qMin<qsizetype>(n, MaxCapturedBytes - m_bytes.size());
                if (keep > 0)
                    m_bytes.append(buffer, keep);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                return true;
            m_atEnd = true;
            return false;
        }
    }
    bool active() const { return m_fd >= 0 && !m_atEnd; }
    const QByteArray& bytes() const { return m_bytes; }

private:
    int m_fd;
    bool m_atEnd = false;
    QByteArray m_bytes;
};

struct ChildState
{
    pid_t pid = -1;
    bool ended = false;
    int status = 0;

    bool tryReap()
    {
        if (ended)
            return true;
        int st = 0;
        pid_t r;
        do
            r = ::waitpid(pid, &st, WNOHANG);
        while (r < 0 && errno == EINTR);
        if (r == pid) {
            ended = true;
            status = st;
        } else if (r < 0) {
            // Someone else reaped it (a SIGCHLD handler); its code is lost, not the wait.
            ended = true;
            status = -1;
        }
        return ended;
    }
};

// Polls the exit descriptor (or steps when there is none) and the output for at most ms.
void PollStep(int pidFd, OutputReader& reader, int readFd, int ms)
{
    pollfd fds[2];
    nfds_t n = 0;
    if (pidFd >= 0)
        fds[n++] = {pidFd, POLLIN, 0};
    if (reader.active())
        fds[n++] = {readFd, POLLIN, 0};
    // Without an exit descriptor the end of the child is only seen by polling.
    const int step = pidFd >= 0 ? ms : qMin(ms, 10);
    if (n > 0)
        ::poll(fds, n, step);
    else
        ::usleep(static_cast<useconds_t>(step) * 1000);
    reader.readAvailable();
}

// Waits until the child ends while the event loop runs.
void WaitPumpingEvents(ChildState& child, int pidFd, OutputReader& reader, int readFd)
{
    if (pidFd >= 0 && QCoreApplication::instance()) {
        QEventLoop loop;
        QSocketNotifier exitNotifier(pidFd, QSocketNotifier::Read);
        QObject::connect(&exitNotifier, &QSocketNotifier::activated, &loop, [&loop]() { loop.quit(); });
        std::unique_ptr<QSocketNotifier> outputNotifier;
        if (reader.active()) {
            outputNotifier = std::make_unique<QSocketNotifier>(readFd, QSocketNotifier::Read);
            QSocketNotifier* notifier = outputNotifier.get();
            QObject::connect(notifier, &QSocketNotifier::activated, &loop, [&reader, notifier]() {
                if (!reader.readAvailable())
                    notifier->setEnabled(false); // at its end the pipe would fire forever
            });
        }
        if (!child.tryReap())
            loop.exec();
        while (!child.tryReap())
            PollStep(pidFd, reader, readFd, WaitStepMs);
        return;
    }
    while (!child.tryReap()) {
        PollStep(pidFd, reader, readFd, WaitStepMs);
        if (QCoreApplication::instance())
            QCoreApplication::processEvents(QEventLoop::AllEvents, WaitStepMs);
    }
}

// Waits at most ms without handling events; true when the child ended.
bool WaitBounded(ChildState& child, int pidFd, OutputReader& reader, int readFd, qint64 ms)
{
    QDeadlineTimer deadline(ms);
    while (!child.tryReap()) {
        const qint64 left = deadline.remainingTime();
        if (left <= 0)
            return false;
        PollStep(pidFd, reader, readFd, static_cast<int>(qMin<qint64>(left, 1000)));
    }
    return true;
}

bool IsDirectory(const QString& path)
{
    struct stat st
    {
    };
    return ::stat(FileNameToBytes(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The program file to start: relative names with a slash are taken from the caller's
// directory, since the child changes into workDir before the program is looked up.
QByteArray ProgramPath(const QString& program)
{
    if (program.contains(u'/') && QDir::isRelativePath(program))
        return FileNameToBytes(QDir::current().absoluteFilePath(program));
    return FileNameToBytes(program);
}

class SpawnSetup
{
public:
    SpawnSetup()
    {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attr);
        // The child starts with default signal handling and nothing blocked, whatever the
        // caller has set up for itself (ignored SIGPIPE, the self-pipe handlers).
        sigset_t all, none;
        sigfillset(&all);
        sigemptyset(&none);
        posix_spawnattr_setsigdefault(&attr, &all);
        posix_spawnattr_setsigmask(&attr, &none);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    }
    ~SpawnSetup()
    {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attr);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    void toNull(int fd, int flags) { posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", flags, 0); }

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
};

int ResultFromStatus(int status)
{
    if (status < 0)
        return WindowsErrorFromErrno(ECHILD); // the exit code could not be read
    if (WIFSIGNALED(status))
        return ProcessExitCodeFlag | (128 + WTERMSIG(status));
    return ResultFromExitCode(static_cast<quint32>(WEXITSTATUS(status)));
}

} // namespace

void SetProcessReporting(ProcessReporting reporting)
{
    Reporting() = std::move(reporting);
}

QStringList SplitCommandLine(const QString& cmdLine)
{
    QStringList args;
    QString current;
    bool inArgument = false;
    bool inQuotes = false;
    const qsizetype n = cmdLine.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = cmdLine[i];
        if (!inQuotes && (c == u' ' || c == u'\t')) {
            if (inArgument)
                args.append(current);
            current.clear();
            inArgument = false;
            continue;
        }
        inArgument = true;
        if (c != u'"')
            current += c;
        else if (inQuotes && i + 1 < n && cmdLine[i + 1] == u'"')
            current += cmdLine[++i];
        else
            inQuotes = !inQuotes;
    }
    if (inArgument)
        args.append(current);
    return args;
}

int WindowsErrorFromErrno(int errnoValue)
{
    switch (errnoValue) {
    case ENOENT:
        return WinErrorFileNotFound;
    case ENOTDIR:
        return WinErrorPathNotFound;
    case EACCES:
    case EPERM:
    case EISDIR:
        return WinErrorAccessDenied;
    case EMFILE:
    case ENFILE:
        return 4; // ERROR_TOO_MANY_OPEN_FILES
    case ENOMEM:
    case EAGAIN:
        return 8; // ERROR_NOT_ENOUGH_MEMORY
    case ETXTBSY:
        return 32; // ERROR_SHARING_VIOLATION
    case E2BIG:
    case EINVAL:
        return 87; // ERROR_INVALID_PARAMETER
    case ENOEXEC:
        return WinErrorBadExeFormat;
    case ENAMETOOLONG:
        return 206; // ERROR_FILENAME_EXCED_RANGE
    case ELOOP:
        return 1921; // ERROR_CANT_RESOLVE_FILENAME
    case ECHILD:
        return 6; // ERROR_INVALID_HANDLE
    default:
        return 31; // ERROR_GEN_FAILURE
    }
}

int ResultFromExitCode(quint32 exitCode)
{
    if (exitCode >= 1 && exitCode < 0x10000)
        return ProcessExitCodeFlag | static_cast<int>(exitCode);
    return 0;
}

QString DecodeConsoleOutput(const QByteArray& bytes, int codePage)
{
    switch (codePage) {
    case 850: {
        QString text(bytes.size(), Qt::Uninitialized);
        QChar* out = text.data();
        for (const char b : bytes) {
            const auto u = static_cast<unsigned char>(b);
            *out++ = QChar(u < 0x80 ? char16_t(u) : Cp850High[u - 0x80]);
        }
        return text;
    }
    case 65001:
        return QString::fromUtf8(bytes);
    case 0:
    case 1:
        return QStringDecoder(QStringDecoder::System).decode(bytes);
    default:
        break;
    }
    QString text;
    if (DecodeWithIconv(bytes, codePage, text))
        return text;
    // A page the system has no converter for: one character per byte, so nothing is lost.
    return QString::fromLatin1(bytes);
}

namespace {

// Ends the child early: SIGTERM first, so that it may clean up, then SIGKILL.
void EndChild(ChildState& child, ProcessOptions options, int pidFd, OutputReader& reader, int readFd)
{
    const pid_t target = (options & poOwnProcessGroup) ? -child.pid : child.pid;
    ::kill(target, SIGTERM);
    if (WaitBounded(child, pidFd, reader, readFd, 2000))
        return;
    ::kill(target, SIGKILL);
    while (!child.tryReap())
        PollStep(pidFd, reader, readFd, WaitStepMs);
}

// Waits until the child ends, the limit runs out or the cancel descriptor
// becomes readable; the last two end the child.
void WaitLimited(ChildState& child, ProcessOptions options, int pidFd, OutputReader& reader, int readFd,
                 const TProcessLimit& limit, TProcessEnd& end)
{
    QDeadlineTimer deadline(limit.TimeLimitMs > 0 ? QDeadlineTimer(limit.TimeLimitMs) : QDeadlineTimer::Forever);
    QDeadlineTimer grace(QDeadlineTimer::Forever);
    bool cancelSeen = false;
    while (!child.tryReap()) {
        if (limit.CancelFd >= 0 && !cancelSeen) {
            pollfd cancel{limit.CancelFd, POLLIN, 0};
            if (::poll(&cancel, 1, 0) > 0) {
                cancelSeen = true;
                grace.setRemainingTime(limit.CancelGraceMs);
            }
        }
        if (cancelSeen && grace.hasExpired()) {
            end.Cancelled = true;
            break;
        }
        if (deadline.hasExpired()) {
            end.TimedOut = true;
            break;
        }
        pollfd fds[3];
        nfds_t n = 0;
        if (pidFd >= 0)
            fds[n++] = {pidFd, POLLIN, 0};
        if (reader.active())
            fds[n++] = {readFd, POLLIN, 0};
        // Stays readable once signalled: looked at only until it is.
        if (limit.CancelFd >= 0 && !cancelSeen)
            fds[n++] = {limit.CancelFd, POLLIN, 0};
        // Without an exit descriptor the end of the child is only seen by polling.
        int step = pidFd >= 0 ? 1000 : 10;
        for (const QDeadlineTimer& timer : {deadline, grace}) {
            const qint64 left = timer.remainingTime();
            if (left >= 0 && left < step)
                step = static_cast<int>(left);
        }
        ::poll(fds, n, step);
        reader.readAvailable();
    }
    if (end.Cancelled || end.TimedOut)
        EndChild(child, options, pidFd, reader, readFd);
}

int ExecuteImpl(const QString& appName, const QString& cmdLine, const QString& workDir, ProcessOptions options,
                int timeout, bool exitCodeAfterTimeout, QStringList* output, int codePage, const TProcessLimit* limit,
                TProcessEnd* end)
{
    const bool capture = options & poCaptureOutput;
    const bool ownConsole = capture && (options & poNewConsole);

    QStringList args = SplitCommandLine(cmdLine);
    const QString program = appName.isEmpty() ? args.value(0) : appName;
    if (program.isEmpty())
        return WinErrorFileNotFound;
    if (args.isEmpty())
        args.append(program);
    if (!workDir.isEmpty() && !IsDirectory(workDir))
        return WinErrorDirectory;

    Fd readEnd, writeEnd;
    if (capture && !ownConsole) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) {
            ReportFailure(options, MarkDefault("Stdout pipe creation failed"));
            return ProcessPipeFailed;
        }
        readEnd.reset(fds[0]);
        writeEnd.reset(fds[1]);
        ::fcntl(readEnd.get(), F_SETFL, O_NONBLOCK);
    }

    // Without capture the child gets no standard handles: all three lead to /dev/null, so it
    // can neither block on a question nor write into a terminal the user does not see.
    SpawnSetup setup;
    setup.toNull(STDIN_FILENO, O_RDONLY);
    if (writeEnd.valid()) {
        posix_spawn_file_actions_adddup2(&setup.actions, writeEnd.get(), STDOUT_FILENO);
        if (options & poCaptureStdErr)
            posix_spawn_file_actions_adddup2(&setup.actions, writeEnd.get(), STDERR_FILENO);
        else
            setup.toNull(STDERR_FILENO, O_WRONLY);
    } else if (!ownConsole) {
        setup.toNull(STDOUT_FILENO, O_WRONLY);
        setup.toNull(STDERR_FILENO, O_WRONLY);
    }
    if (options & poOwnProcessGroup) {
        posix_spawnattr_setpgroup(&setup.attr, 0);
        short flags = 0;
        posix_spawnattr_getflags(&setup.attr, &flags);
        posix_spawnattr_setflags(&setup.attr, static_cast<short>(flags | POSIX_SPAWN_SETPGROUP));
    }
    const QByteArray dir = FileNameToBytes(workDir);
    if (!workDir.isEmpty())
        posix_spawn_file_actions_addchdir_np(&setup.actions, dir.constData());

    std::vector<QByteArray> argBytes;
    argBytes.reserve(static_cast<size_t>(args.size()));
    for (const QString& a : std::as_const(args))
        argBytes.push_back(FileNameToBytes(a));
    std::vector<char*> argv;
    for (QByteArray& a : argBytes)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    const QByteArray path = ProgramPath(program);
    ChildState child;
    const bool searchPath = !path.contains('/');
    const int spawnError =
        searchPath ? ::posix_spawnp(&child.pid, path.constData(), &setup.actions, &setup.attr, argv.data(), environ)
                   : ::posix_spawn(&child.pid, path.constData(), &setup.actions, &setup.attr, argv.data(), environ);
    if (spawnError != 0)
        return WindowsErrorFromErrno(spawnError);

    // Only the child may hold the write end, so the pipe ends with the child's output.
    const bool writeEndClosed = writeEnd.close();

    Fd pidFd(static_cast<int>(::syscall(SYS_pidfd_open, child.pid, 0)));
    OutputReader reader(readEnd.get());

    int result = 0;
    if (limit && (limit->TimeLimitMs > 0 || limit->CancelFd >= 0)) {
        WaitLimited(child, options, pidFd.get(), reader, readEnd.get(), *limit, *end);
        if (end->TimedOut || end->Cancelled)
            result = ProcessWaitTimeout;
    } else if (timeout == 0)
        WaitPumpingEvents(child, pidFd.get(), reader, readEnd.get());
    else if (!WaitBounded(child, pidFd.get(), reader, readEnd.get(), qAbs(static_cast<qint64>(timeout))))
        result = ProcessWaitTimeout;

    if (result == 0 || exitCodeAfterTimeout) {
        const int code = child.ended ? ResultFromStatus(child.status) : ResultFromExitCode(ProcessStillActive);
        if (code != 0)
            result = code;
    }

    if (end && result != ProcessWaitTimeout && child.ended && child.status >= 0 && WIFSIGNALED(child.status))
        end->Signal = WTERMSIG(child.status);

    if (ownConsole && !child.ended) {
        ::kill(child.pid, SIGKILL);
        while (::waitpid(child.pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        child.ended = true;
    }
    if (!child.ended) {
        // A child that outlives the wait is reaped when it ends, so it leaves no zombie.
        std::thread([pid = child.pid]() {
            while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    }

    if (!writeEndClosed) {
        ReportFailure(options, MarkDefault("Closing handle failed"));
        return ProcessHandleFailed;
    }
    // Everything the child wrote is in the pipe now; a grandchild that keeps the write end
    // open must not hold the caller, so only what is there is read.
    if (result == 0 || (result & ProcessExitCodeFlag))
        reader.readAvailable();

    if (!capture)
        return result;
    const QString text = DecodeConsoleOutput(reader.bytes(), codePage);
    if (output)
        *output = SplitLines(text, TLineEnds::CrLfLfOrCr);
    else if ((options & poShowOutput) && !text.isEmpty()) {
        if (Reporting().showText)
            Reporting().showText(appName, text);
    }
    return result;
}

} // namespace

int ExecuteProcess(const QString& appName, const QString& cmdLine, const QString& workDir, ProcessOptions options,
                   int timeout, bool exitCodeAfterTimeout, QStringList* output, int codePage)
{
    return ExecuteImpl(appName, cmdLine, workDir, options, timeout, exitCodeAfterTimeout, output, codePage, nullptr,
                       nullptr);
}

TProcessEnd RunProcessLimited(const QString& cmdLine, const QString& workDir, ProcessOptions options,
                              const TProcessLimit& limit, QStringList* output, int codePage)
{
    TProcessEnd end;
    end.Result = ExecuteImpl(QString(), cmdLine, workDir, options, 0, false, output, codePage, &limit, &end);
    return end;
}

int ExecuteProcessSimple(const QString& cmdLine, const QString& workDir, QStringList* output, int codePage)
{
    return ExecuteProcess(QString(), cmdLine, workDir, 0, 0, false, output, codePage);
}
