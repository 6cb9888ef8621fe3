#pragma once

#include "printing/ExecProcess.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <sys/types.h>

// Morvane's own print program kept running for a whole batch (its -batch
// mode): each call goes to it on its standard input and comes back with the
// output and the exit code that one start with the same arguments gives, so
// that starting, loading and connecting are paid once per batch, not per
// file. A program that dies during a call fails that call and is started
// afresh for the next one; one that dies before it took the call is started
// afresh and given the call again. Waits without handling events: for
// clients without a window.
class TPrintSession
{
public:
    explicit TPrintSession(const QString& program);
    ~TPrintSession();
    TPrintSession(const TPrintSession&) = delete;
    TPrintSession& operator=(const TPrintSession&) = delete;

    // One call with the arguments of a single start (without the program),
    // in workDir, ended early as RunProcessLimited ends a program. *end and
    // *output are then what RunProcessLimited gives for that start. False,
    // with nothing done, when the program could not be started in its batch
    // mode: the caller starts it once for the call instead.
    bool Call(const QStringList& args, const QString& workDir, ProcessOptions options, const TProcessLimit& limit,
              QStringList* output, int codePage, TProcessEnd* end);

    // The running program's process id; -1 when none runs.
    pid_t Pid() const { return FPid; }
    // How many times the program was started.
    int Starts() const { return FStarts; }

private:
    enum class TWaitEnd
    {
        Data,
        Died,
        TimedOut,
        Cancelled
    };
    struct TCallWait;

    bool Start(const QString& workDir, ProcessOptions options);
    // Ends the running program: SIGTERM (SIGKILL two seconds later), or only
    // its input closed when it may end by itself; sets FStatus.
    void Finish(bool terminate);
    void Reap(bool block);
    TWaitEnd Fill(TCallWait& wait);
    TWaitEnd Line(TCallWait& wait, QByteArray* line);
    TWaitEnd Bytes(TCallWait& wait, qsizetype n, QByteArray* bytes);

    QString FProgram;
    QString FWorkDir;
    ProcessOptions FOptions = 0;
    pid_t FPid = -1;
    int FSocket = -1;
    int FPidFd = -1;
    int FStatus = 0;
    bool FReaped = true;
    bool FRefused = false;    // the program does not speak the batch protocol
    unsigned long FTaken = 0; // calls the running program took
    int FStarts = 0;
    QByteArray FIn;
};
