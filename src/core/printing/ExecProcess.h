#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

// Starts an outside program, waits for its end while the event loop keeps
// running, and reports how it ended as one signed 32-bit result.

using ProcessOptions = quint8;

// Connects the child's standard output to the runner, which collects it.
inline constexpr ProcessOptions poCaptureOutput = 0x01;
// With poCaptureOutput: standard error goes to the same place.
inline constexpr ProcessOptions poCaptureStdErr = 0x02;
// With poCaptureOutput: the child keeps the caller's own output and is
// killed right after the wait if it still runs.
inline constexpr ProcessOptions poNewConsole = 0x04;
// With poCaptureOutput and no output list: non-empty output is shown in the text window.
inline constexpr ProcessOptions poShowOutput = 0x08;
// The runner's own pipe failures are reported in an error box.
inline constexpr ProcessOptions poShowErrors = 0x10;
// The child starts in a process group of its own, so a Ctrl+C at the terminal
// reaches only the caller, which can let the child finish its work.
inline constexpr ProcessOptions poOwnProcessGroup = 0x20;

// Results besides 0 (success) and the platform error codes of a failed start.
inline constexpr int ProcessExitCodeFlag = 0x20000000;                    // or-ed with an exit code from 1 to 0xFFFF
inline constexpr int ProcessWaitTimeout = 258;                            // a bounded wait ran out
inline constexpr int ProcessStillActive = 259;                            // exit code of a child that still runs
inline constexpr int ProcessPipeFailed = 535;                             // the output pipe could not be created
inline constexpr int ProcessHandleFailed = static_cast<int>(0x80070006u); // closing the pipe failed

// Windows error codes used for failed starts.
inline constexpr int WinErrorFileNotFound = 2;
inline constexpr int WinErrorPathNotFound = 3;
inline constexpr int WinErrorAccessDenied = 5;
inline constexpr int WinErrorDirectory = 267; // the working directory is not a directory
inline constexpr int WinErrorBadExeFormat = 193;

// Runs the program and returns:
//   0                              it ended with exit code 0 (or 0x10000 and more)
//   ProcessExitCodeFlag | code     it ended with an exit code from 1 to 0xFFFF; a child killed
//                                  by a signal gives ProcessExitCodeFlag | (128 + signal)
//   ProcessWaitTimeout             a non-zero timeout ran out (with exitCodeAfterTimeout the
//                                  still-running child gives ProcessExitCodeFlag | 259)
//   a positive Windows error code  the program could not be started
//   ProcessPipeFailed, ProcessHandleFailed  the capture pipe failed
// appName empty: the program is the first argument of cmdLine (searched in PATH when it has
// no slash). cmdLine is split by the Windows rules (SplitCommandLine) and started directly,
// never through a shell; arguments reach it as the bytes FileNameToBytes gives. workDir empty: the caller's current
// directory. timeout 0 waits, handling events, until the program ends; otherwise at most |timeout| ms without handling
// events. output (may be null) receives the captured lines.
int ExecuteProcess(const QString& appName, const QString& cmdLine, const QString& workDir, ProcessOptions options,
                   int timeout, bool exitCodeAfterTimeout, QStringList* output, int codePage);

// What ends a program early in RunProcessLimited.
struct TProcessLimit
{
    int TimeLimitMs = 0;   // 0: no limit
    int CancelFd = -1;     // a descriptor that becomes readable to end the program; -1: none
    int CancelGraceMs = 0; // how long the program may still finish its work after that
};

// How a program of RunProcessLimited ended.
struct TProcessEnd
{
    int Result = 0;         // as ExecuteProcess returns it
    int Signal = 0;         // the signal that killed it, 0 when it was not killed
    bool TimedOut = false;  // the time limit ran out and the program was ended
    bool Cancelled = false; // the cancel descriptor ended it
};

// ExecuteProcess waiting until the program ends (handling events while no
// limit is set), but a program that outlives the time limit or is still
// running the grace time after the cancel descriptor became readable is ended: SIGTERM, to
// its process group with poOwnProcessGroup, and SIGKILL if it has not ended
// two seconds later. Its result is then ProcessWaitTimeout.
TProcessEnd RunProcessLimited(const QString& cmdLine, const QString& workDir, ProcessOptions options,
                              const TProcessLimit& limit, QStringList* output, int codePage);

// ExecuteProcess without program name and options, waiting until the program ends.
int ExecuteProcessSimple(const QString& cmdLine, const QString& workDir, QStringList* output, int codePage);

// Splits a command line into arguments: blanks and tabs separate, double quotes group, and a
// doubled quote inside quotes is one literal quote. Backslashes are ordinary characters, since
// they are in POSIX file names.
QStringList SplitCommandLine(const QString& cmdLine);

// The Windows error code for an errno value of a failed start.
int WindowsErrorFromErrno(int errnoValue);

// The result for a raw exit code (0 stays 0, 1..0xFFFF get ProcessExitCodeFlag, more is 0).
int ResultFromExitCode(quint32 exitCode);

// Console output bytes in a Windows code page as text: 850 by a table, 65001 as UTF-8, 0 and 1
// in the locale's encoding, any other page through the system's converter of that page
// ("CP437", "CP1252", "CP932", ..., a few under names of their own such as "ISO-8859-1" for
// 28591), a byte sequence it does not define becoming U+FFFD. A page the system has no
// converter for is read one character per byte as Latin-1, so every byte stays visible.
QString DecodeConsoleOutput(const QByteArray& bytes, int codePage);

// How the runner shows things; the UI library installs real windows (InstallProcessWindows).
// Without them output is dropped and errors go to the warning log.
struct ProcessReporting
{
    std::function<void(const QString& title, const QString& text)> showText;
    std::function<void(const QString& title, const QString& message)> showError;
};
void SetProcessReporting(ProcessReporting reporting);
