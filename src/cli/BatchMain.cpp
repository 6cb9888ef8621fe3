// morvane-batch: prints a batch of PDF files from the command line through the
// same print engine as the main window, without any display.

#include "BatchMain.h"
#include "BatchOptions.h"
#include "BatchWatch.h"

#include "app/GnuGetText.h"
#include "app/InitProg.h"
#include "app/LangUtils.h"
#include "app/MainSettings.h"
#include "platform/Printers.h"
#include "printing/PrintEngine.h"
#include "printing/PrintProgram.h"
#include "printing/RunReport.h"
#include "util/BuildVersion.h"
#include "util/FileNameBytes.h"
#include "util/StrUtils.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>

#include <cups/cups.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

enum BatchExit
{
    ExitPrinted = 0,
    ExitSetUp = 1,
    ExitFailed = 2,
    ExitNothing = 3,
    // The files were handed over as the summary says, but the report or the
    // list on standard output is not complete: a wrapper must not print again.
    ExitReportLost = 4,
    ExitSignal = 130,
};

constexpr char ProgramName[] = "morvane-batch";

volatile sig_atomic_t g_signal = 0;
int g_wakeFds[2] = {-1, -1};

extern "C" void OnStopSignal(int signal)
{
    const int saved = errno;
    g_signal = signal;
    const char byte = 1;
    // Unchecked on purpose: a full pipe already wakes its reader.
    [[maybe_unused]] const ssize_t n = ::write(g_wakeFds[1], &byte, 1);
    errno = saved;
}

// SIGINT, SIGTERM and SIGHUP (the terminal closed) end the run like the Stop
// button: no further file starts, and the report is written.
void InstallStopSignals()
{
    if (::pipe2(g_wakeFds, O_CLOEXEC | O_NONBLOCK) != 0)
        g_wakeFds[0] = g_wakeFds[1] = -1;
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}

int SetUpError(const QString& message)
{
    ErrLine(message);
    return ExitSetUp;
}

// One line naming what a name that found nothing was, for the warning and the summary.
QString UnmatchedText(const TUnmatchedName& name)
{
    if (name.List.isEmpty())
        return Tr("\"%s\" matched no file", name.Name);
    return Tr("%s, line %s: \"%s\" names no existing file", name.List, QString::number(name.Line), name.Name);
}

// One line naming a place a duplicate was left out at.
QString DuplicateText(const TJobName& name)
{
    if (name.List.isEmpty())
        return Tr("\"%s\" names %s again", name.Name, name.Path);
    return Tr("%s, line %s: \"%s\" is already listed", name.List, QString::number(name.Line), name.Name);
}

// What matched nothing where, so that an empty run is not a silent one.
QString NothingMatchedText(const TPrintJob& job)
{
    const QString dir = CleanJobPath(job.SourceDir);
    if (job.IncludeSubDirs)
        return Tr("no file in %s or its subdirectories matches \"%s\"", dir, job.FileField);
    return Tr("no file in %s matches \"%s\"", dir, job.FileField);
}

// Whether the CUPS server of the environment answers at all, so that an empty
// queue list can be told from a spooler that is down.
bool SpoolerReachable()
{
    http_t* http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, 5000, nullptr);
    if (!http)
        return false;
    httpClose(http);
    return true;
}

bool IsPrinterUri(const QString& printer)
{
    return printer.startsWith(u"ipp://"_s, Qt::CaseInsensitive) ||
           printer.startsWith(u"ipps://"_s, Qt::CaseInsensitive);
}

QString Clock(qint64 seconds)
{
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

// Progress on stderr, the report records and the failure list of the summary.
class TBatchClient : public TPrintRunClient
{
public:
    TBatchClient(const TBatchOptions& options, TRunReport* report)
        : FOptions(options), FReport(report), FTerminal(::isatty(STDERR_FILENO) == 1)
    {
    }

    void JobListError(const QString& message) override
    {
        ClearLine();
        ErrLine(message);
        Failures << message;
        if (FReport)
            FReport->Add({0, QString(), TRecordResult::Failed, -1, message});
    }
    void NameMatchedNothing(const TUnmatchedName& name) override
    {
        ClearLine();
        const QString text = UnmatchedText(name);
        ErrLine(Tr("warning: %s", text));
        Unmatched << text;
        if (FReport)
            FReport->Add({0, name.Path, TRecordResult::Missing, -1, text});
    }
    void NameDuplicated(const TJobName& name) override
    {
        const QString text = DuplicateText(name);
        if (!FOptions.Quiet)
            ErrLine(Tr("left out: %s", text));
        if (FReport)
            FReport->Add({0, name.Path, TRecordResult::Duplicate, -1, text});
    }
    void JobListReady(const QStringList&, int) override { FClock.start(); }
    void FileStarts(const TInvocation& inv) override
    {
        if (FOptions.Quiet)
            return;
        QString line = QStringLiteral("[%1/%2] ").arg(inv.Number() + 1).arg(inv.Total()) +
                       Tr("copy %s/%s", QString::number(inv.Copy), QString::number(inv.Copies)) + u"  "_s;
        if (!FTerminal) {
            Err(line + inv.File);
            return;
        }
        line += QFileInfo(inv.File).fileName();
        if (inv.Number() > 0) {
            const qint64 left = FClock.elapsed() * (inv.Total() - inv.Number()) / inv.Number() / 1000;
            line += u"  "_s + Tr("%s left", Clock(left));
        }
        const QByteArray bytes = "\r\033[K" + line.toLocal8Bit();
        std::fputs(bytes.constData(), stderr);
        std::fflush(stderr);
        FLineShown = true;
    }
    void FilePrinted(const TInvocation& inv) override
    {
        if (FReport)
            FReport->Add({inv.Copy, inv.File, TRecordResult::Printed, 0, QString(),
                          QDateTime::fromMSecsSinceEpoch(inv.HandedOverMs).toUTC().toString(Qt::ISODateWithMs),
                          inv.JobIds, false, Destination});
    }
    void FileSkipped(const TInvocation& inv) override
    {
        ClearLine();
        const QString reason = inv.Reason();
        if (!FOptions.Quiet)
            ErrLine(Tr("%s skipped: %s", inv.File, reason));
        Skipped << inv.File + u": "_s + reason;
        if (FReport)
            FReport->Add({inv.Copy, inv.File, TRecordResult::Skipped, inv.ExitCode(), reason});
    }
    void FileNotTried(const TInvocation& inv) override
    {
        if (FReport)
            FReport->Add({inv.Copy, inv.File, TRecordResult::NotTried, -1, QString()});
    }
    void SpoolerUnavailable(const TInvocation& inv, const QString& reason) override
    {
        ClearLine();
        ErrLine(Tr("%s: %s; waiting for the print spooler and trying again", inv.File, reason));
    }
    void SpoolerBack(const TInvocation& inv) override
    {
        ClearLine();
        ErrLine(Tr("the print spooler took %s; going on", inv.File));
    }
    TRunStep FileFailed(const TInvocation& inv) override
    {
        ClearLine();
        const QString reason = inv.Reason();
        ErrLine(Tr("%s could not be printed: %s", inv.File, reason));
        Failures << inv.File + u": "_s + reason;
        if (FReport)
            FReport->Add({inv.Copy, inv.File, TRecordResult::Failed, inv.ExitCode(), reason});
        return FOptions.StopOnError ? TRunStep::Stop : TRunStep::GoOn;
    }
    TRunStep Pause(unsigned long ms) override
    {
        // Waits for the time or a stop signal, whichever comes first.
        QElapsedTimer waited;
        waited.start();
        while (g_signal == 0 && static_cast<unsigned long>(waited.elapsed()) < ms) {
            pollfd fd{g_wakeFds[0], POLLIN, 0};
            ::poll(&fd, g_wakeFds[0] >= 0 ? 1 : 0, static_cast<int>(ms - static_cast<unsigned long>(waited.elapsed())));
        }
        return g_signal != 0 ? TRunStep::Stop : TRunStep::GoOn;
    }
    bool StopRequested() override { return g_signal != 0; }

    void ClearLine()
    {
        if (FLineShown) {
            std::fputs("\r\033[K", stderr);
            FLineShown = false;
        }
    }

    QString Destination; // the printer the files go to
    QStringList Failures;
    QStringList Unmatched;
    QStringList Skipped;

private:
    const TBatchOptions& FOptions;
    TRunReport* FReport;
    bool FTerminal;
    bool FLineShown = false;
    QElapsedTimer FClock;
};

// Opens the report when one is asked for; false after the message.
bool OpenReport(const TBatchOptions& options, std::unique_ptr<TRunReport>& report)
{
    if (options.Report.isEmpty())
        return true;
    report = std::make_unique<TRunReport>();
    QString error;
    if (report->Open(options.Report, TRunReport::TMode::Replace, &error))
        return true;
    ErrLine(Tr("the report %s cannot be written: %s", options.Report, error));
    return false;
}

// Writes the report. A report that could not be written has a code of its
// own, so that a wrapper does not take it for a set-up error and print
// everything again; a stop keeps saying that it was one.
int FinishReport(const TBatchOptions& options, TRunReport* report, int code)
{
    QString error;
    if (report && !report->Finish(&error)) {
        if (!report->ReaderGone())
            ErrLine(Tr("the report %s cannot be written: %s", options.Report, error));
        if (code != ExitSignal)
            code = ExitReportLost;
    }
    return code;
}

int DryRun(const TPrintJob& job, const TBatchOptions& options)
{
    std::unique_ptr<TRunReport> report;
    if (!OpenReport(options, report))
        return ExitSetUp;
    // The run's own job list and messages, so that the lines are exactly its calls.
    TBatchClient client(options, report.get());
    TJobListCounts counts;
    const QStringList jobs = BuildJobList(job, client, &counts);
    if (jobs.isEmpty())
        ErrLine(NothingMatchedText(job));
    QByteArray out;
    int writeError = 0;
    for (int copy = 1; copy <= job.Copies && writeError == 0; ++copy) {
        const QByteArray prefix = QByteArray::number(copy) + '\t';
        for (const QString& file : jobs) {
            out += prefix + FileNameToBytes(file) + '\n';
            if (out.size() > (1 << 16)) {
                if (!WriteAllToFd(STDOUT_FILENO, out, &writeError))
                    break;
                out.clear();
            }
        }
    }
    if (writeError == 0)
        WriteAllToFd(STDOUT_FILENO, out, &writeError);
    if (writeError != 0) {
        // A reader that stopped reading ("| head") wanted no more: no message.
        if (writeError != EPIPE)
            ErrLine(Tr("cannot write to standard output: %s", WriteErrorText(writeError)));
        return ExitReportLost;
    }
    int code = jobs.isEmpty() ? ExitNothing : ExitPrinted;
    if (counts.ListErrors > 0 || counts.Unmatched > 0)
        code = ExitFailed;
    return FinishReport(options, report.get(), code);
}

int Run(const TBatchOptions& options)
{
    TPrintJob job;
    job.SourceDir = ResolveSourceDir(options.Directory);
    job.FileField = options.Files;
    job.IncludeSubDirs = options.SubDirectories;
    job.Copies = options.Copies;
    job.PrintSettings = options.PrintSettings;
    job.PauseMs = options.PauseMs;
    job.CaptureOutput = true;
    job.ExtraOptions = poOwnProcessGroup;
    // A script must learn that a name it gave found nothing.
    job.ReportUnmatched = true;
    job.KeepDuplicates = options.KeepDuplicates;
    job.TimeoutPerFileS = options.TimeoutPerFileS;
    // A print program that hangs must not keep a stop signal from ending the run.
    job.CancelGraceMs = 5000;

    // Looked at by its bytes, so that a name that is not UTF-8 is found.
    struct stat dirStat
    {
    };
    if (::stat(FileNameToBytes(job.SourceDir).constData(), &dirStat) != 0)
        return SetUpError(Tr("the directory %s does not exist", options.Directory));
    if (!S_ISDIR(dirStat.st_mode))
        return SetUpError(Tr("%s is not a directory", options.Directory));
    if (options.DryRun)
        return DryRun(job, options);

    // The window's settings file, read only: it may be open in the window.
    const QString iniName = BuildFileName(GetAppPath(AppSubDir, false), u"morvane"_s, u"ini"_s);
    QString settingsError;
    const TMainSettings settings = ReadMainSettings(iniName, TMainSettings(), &settingsError);
    if (!settingsError.isEmpty())
        ErrLine(Tr("the settings file cannot be read, defaults are used: %s", settingsError));

    if (!options.Program.isEmpty()) {
        if (!QFileInfo(options.Program).isFile())
            return SetUpError(Tr("the print program %s does not exist", options.Program));
        job.Program = QFileInfo(options.Program).absoluteFilePath();
    } else {
        job.Program = LocatePrintProgram(settings.Sumatra, ExePath);
        if (job.Program.isEmpty())
            return SetUpError(Tr("the print program %s was not found; name it with --program",
                                 QString::fromLatin1(PrintProgramName)));
    }

    if (IsPrinterUri(options.Printer)) {
        // Printed to without a local queue: an unreachable host or a missing
        // printer is the print program's answer for each file.
        job.Printer = options.Printer;
    } else {
        QString defaultQueue;
        const QStringList queues = QueueNames(&defaultQueue);
        if (queues.isEmpty()) {
            if (!SpoolerReachable())
                return SetUpError(Tr("cannot reach the print spooler at %s", QString::fromUtf8(cupsServer())));
            return SetUpError(TrDefault("No printer available!").replace(u"\r\n"_s, u" "_s));
        }
        if (!options.Printer.isEmpty()) {
            // "queue/instance": the queue must exist; the instance goes to the print program as written.
            const qsizetype slash = options.Printer.indexOf(u'/');
            const QString queue = options.Printer.left(slash);
            const int index = ChoosePrinter(queues, queue, QString());
            if (queue.isEmpty() || queues[index].compare(queue, Qt::CaseInsensitive) != 0)
                return SetUpError(Tr("the printer %s does not exist", options.Printer));
            job.Printer = queues[index] + (slash < 0 ? QString() : options.Printer.mid(slash));
        } else if (!settings.Printer.isEmpty()) {
            // The window's printer or none: a deleted one must not send the files elsewhere.
            const qsizetype slash = settings.Printer.indexOf(u'/');
            const QString queue = settings.Printer.left(slash);
            const int index = ChoosePrinter(queues, queue, QString());
            if (queue.isEmpty() || queues[index].compare(queue, Qt::CaseInsensitive) != 0)
                return SetUpError(
                    Tr("the printer %s saved by the window no longer exists; name one with -p", settings.Printer));
            job.Printer = queues[index] + (slash < 0 ? QString() : settings.Printer.mid(slash));
        } else {
            job.Printer = queues[ChoosePrinter(queues, QString(), defaultQueue)];
        }
    }

    // Waited out in a one-off run; the watch hands a file over as before.
    job.RetryForMs = options.Watch ? 0 : qint64{options.RetryForS} * 1000;
    if (options.Watch) {
        InstallStopSignals();
        job.CancelFd = g_wakeFds[0];
        return RunWatch(options, job, g_wakeFds[0], &g_signal);
    }

    std::unique_ptr<TRunReport> report;
    if (!OpenReport(options, report))
        return ExitSetUp;

    InstallStopSignals();
    job.CancelFd = g_wakeFds[0];
    TBatchClient client(options, report.get());
    client.Destination = job.Printer;
    const TRunResult run = RunPrintJob(job, client);
    client.ClearLine();

    int code = ExitPrinted;
    if (g_signal != 0)
        code = ExitSignal;
    else if (run.Failed > 0 || run.ListErrors > 0 || run.Unmatched > 0)
        code = ExitFailed;
    else if (run.Printed == 0)
        code = ExitNothing;

    if (run.Files == 0)
        ErrLine(NothingMatchedText(job));
    if (g_signal != 0)
        Err(Tr("Stopped by a signal; no further file was started."));
    Err(Tr("Printed: %s, failed: %s", QString::number(run.Printed), QString::number(run.Failed + run.ListErrors)));
    for (const QString& failure : std::as_const(client.Failures))
        Err(u"  "_s + failure);
    if (!client.Skipped.isEmpty()) {
        Err(Tr("Skipped: %s", QString::number(client.Skipped.size())));
        for (const QString& skipped : std::as_const(client.Skipped))
            Err(u"  "_s + skipped);
    }
    if (run.NotTried > 0)
        Err(Tr("Not tried: %s", QString::number(run.NotTried)));
    if (!client.Unmatched.isEmpty()) {
        Err(Tr("Not found: %s", QString::number(client.Unmatched.size())));
        for (const QString& name : std::as_const(client.Unmatched))
            Err(u"  "_s + name);
    }
    if (run.DuplicateFiles > 0)
        Err(DuplicatesText(run.DuplicateFiles));
    if (run.EmptyLines > 0)
        Err(Tr("Empty print list lines passed over: %s", QString::number(run.EmptyLines)));

    return FinishReport(options, report.get(), code);
}

} // namespace

int BatchMain(int argc, char* argv[])
{
    InitProgModule();
    InitGnuGetText();
    // The window's language set-up and configuration file; the command line
    // holds no start-up options of the window.
    InitLanguage(QString(), u"morvane.cfg"_s, {}, {}, CurrentEnvironment());
    QCoreApplication app(argc, argv);
    // A closed standard output is an error of the write, not the end of the run.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication::setApplicationName(u"Morvane"_s);

    TBatchOptions options;
    QString error;
    // By their bytes: a folder or file name that is not UTF-8 must reach the run as it is.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << FileNameFromBytes(argv[i]);
    if (!ParseBatchArguments(arguments, options, &error)) {
        ErrLine(error);
        Err(Tr("Try '%s --help' for more information.", QString::fromLatin1(ProgramName)));
        return ExitSetUp;
    }
    if (options.Help || options.Version) {
        const QByteArray text =
            options.Help ? BatchUsage().toLocal8Bit() : QByteArray(ProgramName) + ' ' + MORVANE_VERSION_STRING + '\n';
        int writeError = 0;
        if (WriteAllToFd(STDOUT_FILENO, text, &writeError))
            return ExitPrinted;
        if (writeError != EPIPE)
            ErrLine(Tr("cannot write to standard output: %s", WriteErrorText(writeError)));
        return ExitReportLost;
    }
    return Run(options);
}
