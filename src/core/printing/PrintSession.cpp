#include "printing/PrintSession.h"

#include "util/FileNameBytes.h"
#include "util/TextLines.h"

#include <QDeadlineTimer>
#include <QDir>

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// What a program in batch mode says first; anything else is not ours.
constexpr char Greeting[] = "morvane-printpdf batch 1";
// Loading the program with its libraries, on a machine under load.
constexpr int GreetingWaitMs = 30000;
constexpr int TerminateGraceMs = 2000;
// An answer longer than this is no answer of the program's.
constexpr qsizetype MaxOutputBytes = 64 * 1024 * 1024;

// The request for one call: "call N\n", then each argument as "LEN:BYTES\n".
QByteArray CallRequest(const QStringList& args)
{
    QByteArray request = "call " + QByteArray::number(args.size()) + '\n';
    for (const QString& arg : args) {
        const QByteArray bytes = FileNameToBytes(arg);
        request += QByteArray::number(bytes.size()) + ':' + bytes + '\n';
    }
    return request;
}

bool SendAll(int fd, const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        // A program that died must not take the caller with it through SIGPIPE.
        const ssize_t n = ::send(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

// "WORD N REST": the number after the word, and the rest; false for another line.
bool ParseAnswer(const QByteArray& line, const char* word, unsigned long number, QByteArray* rest)
{
    const QByteArray head = QByteArray(word) + ' ' + QByteArray::number(static_cast<qulonglong>(number));
    if (line != head && !line.startsWith(QByteArray(head + ' ')))
        return false;
    *rest = line.mid(head.size() + 1);
    return true;
}

} // namespace

// The limits of one call, as RunProcessLimited keeps them.
struct TPrintSession::TCallWait
{
    explicit TCallWait(const TProcessLimit& limit)
        : Limit(limit),
          Deadline(limit.TimeLimitMs > 0 ? QDeadlineTimer(limit.TimeLimitMs) : QDeadlineTimer(QDeadlineTimer::Forever))
    {
    }
    const TProcessLimit& Limit;
    QDeadlineTimer Deadline;
    QDeadlineTimer Grace{QDeadlineTimer::Forever};
    bool CancelSeen = false;
};

TPrintSession::TPrintSession(const QString& program) : FProgram(program) {}

TPrintSession::~TPrintSession()
{
    Finish(false);
}

bool TPrintSession::Start(const QString& workDir, ProcessOptions options)
{
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
        return false;
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);
    // The calls come on standard input, the answers go to standard output;
    // each call's own messages travel inside its answer.
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const QByteArray dir = FileNameToBytes(workDir);
    if (!workDir.isEmpty())
        posix_spawn_file_actions_addchdir_np(&actions, dir.constData());
    sigset_t all, none;
    sigfillset(&all);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setsigmask(&attr, &none);
    short flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
    if (options & poOwnProcessGroup) {
        posix_spawnattr_setpgroup(&attr, 0);
        flags |= POSIX_SPAWN_SETPGROUP;
    }
    posix_spawnattr_setflags(&attr, flags);
    QByteArray path = FileNameToBytes(FProgram);
    if (FProgram.contains(u'/') && QDir::isRelativePath(FProgram))
        path = FileNameToBytes(QDir::current().absoluteFilePath(FProgram));
    QByteArray batch = "-batch";
    char* argv[] = {path.data(), batch.data(), nullptr};
    pid_t pid = -1;
    const int error = ::posix_spawn(&pid, path.constData(), &actions, &attr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    ::close(fds[1]);
    if (error != 0) {
        ::close(fds[0]);
        return false;
    }
    ++FStarts;
    FPid = pid;
    FReaped = false;
    FSocket = fds[0];
    ::fcntl(FSocket, F_SETFL, O_NONBLOCK);
    FPidFd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    FWorkDir = workDir;
    FOptions = options;
    FTaken = 0;
    FIn.clear();

    const TProcessLimit greetingLimit{GreetingWaitMs, -1, 0};
    TCallWait wait(greetingLimit);
    QByteArray line;
    if (Line(wait, &line) != TWaitEnd::Data || line != Greeting) {
        // An older program, or another one under the same name: it is started once per call.
        FRefused = true;
        Finish(true);
        return false;
    }
    return true;
}

void TPrintSession::Reap(bool block)
{
    if (FReaped || FPid < 0)
        return;
    int status = 0;
    pid_t r;
    do
        r = ::waitpid(FPid, &status, block ? 0 : WNOHANG);
    while (r < 0 && errno == EINTR);
    if (r == FPid || r < 0) {
        FReaped = true;
        // Reaped elsewhere (a SIGCHLD handler): its code is lost.
        FStatus = r == FPid ? status : -1;
    }
}

void TPrintSession::Finish(bool terminate)
{
    if (FPid < 0)
        return;
    if (FSocket >= 0)
        ::shutdown(FSocket, SHUT_WR); // the end of the calls: the program ends by itself
    const pid_t target = (FOptions & poOwnProcessGroup) ? -FPid : FPid;
    if (terminate)
        ::kill(target, SIGTERM);
    QDeadlineTimer grace(TerminateGraceMs);
    for (Reap(false); !FReaped && !grace.hasExpired(); Reap(false)) {
        pollfd p{FPidFd, POLLIN, 0};
        ::poll(&p, FPidFd >= 0 ? 1 : 0, FPidFd >= 0 ? static_cast<int>(grace.remainingTime()) : 10);
    }
    if (!FReaped) {
        ::kill(target, SIGKILL);
        Reap(true);
    }
    if (FSocket >= 0)
        ::close(FSocket);
    if (FPidFd >= 0)
        ::close(FPidFd);
    FSocket = FPidFd = -1;
    FPid = -1;
    FIn.clear();
}

TPrintSession::TWaitEnd TPrintSession::Fill(TCallWait& wait)
{
    for (;;) {
        char buffer[65536];
        const ssize_t n = ::read(FSocket, buffer, sizeof buffer);
        if (n > 0) {
            FIn.append(buffer, n);
            return TWaitEnd::Data;
        }
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
            return TWaitEnd::Died; // its end of the socket closed: it is ending
        if (n < 0 && errno == EINTR)
            continue;
        if (wait.Limit.CancelFd >= 0 && !wait.CancelSeen) {
            pollfd cancel{wait.Limit.CancelFd, POLLIN, 0};
            if (::poll(&cancel, 1, 0) > 0) {
                wait.CancelSeen = true;
                wait.Grace.setRemainingTime(wait.Limit.CancelGraceMs);
            }
        }
        if (wait.CancelSeen && wait.Grace.hasExpired())
            return TWaitEnd::Cancelled;
        if (wait.Deadline.hasExpired())
            return TWaitEnd::TimedOut;
        pollfd fds[3];
        nfds_t count = 0;
        fds[count++] = {FSocket, POLLIN, 0};
        if (FPidFd >= 0)
            fds[count++] = {FPidFd, POLLIN, 0};
        // Stays readable once signalled: looked at only until it is.
        if (wait.Limit.CancelFd >= 0 && !wait.CancelSeen)
            fds[count++] = {wait.Limit.CancelFd, POLLIN, 0};
        int step = 1000;
        for (const QDeadlineTimer& timer : {wait.Deadline, wait.Grace}) {
            const qint64 left = timer.remainingTime();
            if (left >= 0 && left < step)
                step = static_cast<int>(left);
        }
        ::poll(fds, count, step);
        // Ended without closing the socket (a grandchild holds it): what it wrote is read first.
        if (FPidFd >= 0 && (fds[1].revents & POLLIN) && !(fds[0].revents & POLLIN))
            return TWaitEnd::Died;
    }
}

TPrintSession::TWaitEnd TPrintSession::Line(TCallWait& wait, QByteArray* line)
{
    for (;;) {
        if (const qsizetype nl = FIn.indexOf('\n'); nl >= 0) {
            *line = FIn.left(nl);
            FIn.remove(0, nl + 1);
            return TWaitEnd::Data;
        }
        if (FIn.size() > 65536)
            return TWaitEnd::Died; // no line of the protocol is that long
        if (const TWaitEnd end = Fill(wait); end != TWaitEnd::Data)
            return end;
    }
}

TPrintSession::TWaitEnd TPrintSession::Bytes(TCallWait& wait, qsizetype n, QByteArray* bytes)
{
    while (FIn.size() < n) {
        if (const TWaitEnd end = Fill(wait); end != TWaitEnd::Data)
            return end;
    }
    *bytes = FIn.left(n);
    FIn.remove(0, n);
    return TWaitEnd::Data;
}

bool TPrintSession::Call(const QStringList& args, const QString& workDir, ProcessOptions options,
                         const TProcessLimit& limit, QStringList* output, int codePage, TProcessEnd* end)
{
    if (FRefused)
        return false;
    *end = TProcessEnd();
    if (output)
        output->clear();
    if (FPid >= 0 && (workDir != FWorkDir || options != FOptions))
        Finish(false);
    const QByteArray request = CallRequest(args);
    TCallWait wait(limit);
    // A program that died before it took the call (between two calls) is
    // started afresh and given the call once more.
    bool taken = false;
    TWaitEnd how = TWaitEnd::Died;
    for (int attempt = 0; attempt < 2 && !taken; ++attempt) {
        if (FPid < 0 && !Start(workDir, options))
            return false;
        QByteArray line, rest;
        if (!SendAll(FSocket, request)) {
            Finish(false);
            continue;
        }
        how = Line(wait, &line);
        if (how == TWaitEnd::Data && ParseAnswer(line, "taken", FTaken + 1, &rest)) {
            ++FTaken;
            taken = true;
        } else if (how == TWaitEnd::Died) {
            Finish(false);
        } else {
            break;
        }
    }

    QByteArray bytes;
    QByteArray code;
    if (taken) {
        QByteArray line, rest;
        how = Line(wait, &line);
        bool ok = how == TWaitEnd::Data && ParseAnswer(line, "output", FTaken, &rest);
        const qsizetype size = ok ? rest.toLongLong(&ok) : 0;
        ok = ok && size >= 0 && size <= MaxOutputBytes;
        if (ok && (how = Bytes(wait, size, &bytes)) == TWaitEnd::Data && (how = Line(wait, &line)) == TWaitEnd::Data &&
            ParseAnswer(line, "result", FTaken, &rest)) {
            code = rest.split(' ').constFirst();
        } else if (how == TWaitEnd::Data) {
            how = TWaitEnd::Died; // out of step: the program cannot be trusted further
        }
    }

    if (!code.isEmpty()) {
        bool ok = false;
        const uint exitCode = code.toUInt(&ok);
        end->Result = ok ? ResultFromExitCode(exitCode) : ProcessExitCodeFlag | 1;
    } else if (how == TWaitEnd::TimedOut || how == TWaitEnd::Cancelled) {
        end->TimedOut = how == TWaitEnd::TimedOut;
        end->Cancelled = how == TWaitEnd::Cancelled;
        end->Result = ProcessWaitTimeout;
        Finish(true);
    } else {
        // It died in the call, as a single start would have: its way of ending is the call's.
        Finish(how != TWaitEnd::Died);
        if (FStatus >= 0 && WIFSIGNALED(FStatus)) {
            end->Signal = WTERMSIG(FStatus);
            end->Result = ProcessExitCodeFlag | (128 + end->Signal);
        } else {
            const int exitCode = FStatus >= 0 ? WEXITSTATUS(FStatus) : 1;
            end->Result = ResultFromExitCode(static_cast<quint32>(exitCode == 0 ? 1 : exitCode));
        }
    }
    if (output && (options & poCaptureOutput))
        *output = SplitLines(DecodeConsoleOutput(bytes, codePage), TLineEnds::CrLfLfOrCr);
    return true;
}
