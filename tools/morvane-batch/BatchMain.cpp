// morvane-batch: prints a batch of PDF files from the command line through the
// same print engine as the main window, without any display.

#include "BatchOptions.h"
#include "BatchWatch.h"

#include "app/GnuGetText.h"
#include "app/InitProg.h"
#include "app/LangUtils.h"
#include "app/MainSettings.h"
#include "printing/PrintEngine.h"
#include "printing/PrintProgram.h"
#include "printing/RunReport.h"
#include "util/BuildVersion.h"
#include "util/StrUtils.h"

#include <QCoreApplication>
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
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

enum BatchExit
{
    ExitPrinted = 0,
    ExitSetUp = 1,
    ExitFailed = 2,
    ExitNothing = 3,
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
    [[maybe_unused]] const ssize_t n = ::write(g_wakeFds[1], &byte, 1);
    errno = saved;
}

// SIGINT and SIGTERM end the run like the Stop button: no further file starts.
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
}

int SetUpError(const QString& message)
{
    ErrLine(message);
    return ExitSetUp;
}

// The spooler's queues in its order and its default queue (empty when none).
QStringList CupsQueues(QString& defaultName)
{
    cups_dest_t* dests = nullptr;
    const int count = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
    QStringList names;
    for (int i = 0; i < count; ++i) {
        if (dests[i].instance)
            continue;
        names << QString::fromUtf8(dests[i].name);
        if (dests[i].is_default)
            defaultName = names.last();
    }
    cupsFreeDests(count, dests);
    return names;
}

// One line naming what a name that found nothing was, for the warning and the summary.
QString UnmatchedText(const TUnmatchedName& name)
{
    if (name.List.isEmpty())
        return Tr("\"%s\" matched no file", name.Name);
    return Tr("%s, line %s: \"%s\" names no existing file", name.List, QString::number(name.Line), name.Name);
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
            FReport->Add({0, QString(), false, -1, message});
    }
    void NameMatchedNothing(const TUnmatchedName& name) override
    {
        ClearLine();
        const QString text = UnmatchedText(name);
        ErrLine(Tr("warning: %s", text));
        Unmatched << text;
        if (FReport) {
            TReportRecord record{0, name.Path, false, -1, text};
            record.Missing = true;
            FReport->Add(record);
        }
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
            FReport->Add({inv.Copy, inv.File, true, 0, QString()});
    }
    TRunStep FileFailed(const TInvocation& inv) override
    {
        ClearLine();
        const QString reason = inv.Reason();
        ErrLine(Tr("%s could not be printed: %s", inv.File, reason));
        Failures << inv.File + u": "_s + reason;
        if (FReport)
            FReport->Add({inv.Copy, inv.File, false, inv.ExitCode(), reason});
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

    QStringList Failures;
    QStringList Unmatched;

private:
    const TBatchOptions& FOptions;
    TRunReport* FReport;
    bool FTerminal;
    bool FLineShown = false;
    QElapsedTimer FClock;
};

int DryRun(const TPrintJob& job)
{
    quint32 listErrors = 0;
    quint32 unmatched = 0;
    const QStringList jobs = BuildJobList(
        job,
        [&](const QString& message) {
            ++listErrors;
            ErrLine(message);
        },
        [&](const TUnmatchedName& name) {
            ++unmatched;
            ErrLine(Tr("warning: %s", UnmatchedText(name)));
        });
    QByteArray out;
    for (int copy = 1; copy <= job.Copies; ++copy) {
        const QByteArray prefix = QByteArray::number(copy) + '\t';
        for (const QString& file : jobs) {
            out += prefix + QFile::encodeName(file) + '\n';
            if (out.size() > (1 << 16)) {
                std::fwrite(out.constData(), 1, static_cast<size_t>(out.size()), stdout);
                out.clear();
            }
        }
    }
    std::fwrite(out.constData(), 1, static_cast<size_t>(out.size()), stdout);
    if (std::fflush(stdout) != 0)
        return SetUpError(Tr("cannot write to standard output: %s", QString::fromLocal8Bit(std::strerror(errno))));
    if (listErrors > 0 || unmatched > 0)
        return ExitFailed;
    return jobs.isEmpty() ? ExitNothing : ExitPrinted;
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

    const QFileInfo dir(job.SourceDir);
    if (!dir.exists())
        return SetUpError(Tr("the directory %s does not exist", options.Directory));
    if (!dir.isDir())
        return SetUpError(Tr("%s is not a directory", options.Directory));
    if (options.DryRun)
        return DryRun(job);

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
        const QStringList queues = CupsQueues(defaultQueue);
        if (queues.isEmpty())
            return SetUpError(TrDefault("No printer available!").replace(u"\r\n"_s, u" "_s));
        if (!options.Printer.isEmpty()) {
            // "queue/instance": the queue must exist; the instance goes to the print program as written.
            const qsizetype slash = options.Printer.indexOf(u'/');
            const QString queue = options.Printer.left(slash);
            const int index = ChoosePrinter(queues, queue, QString());
            if (queue.isEmpty() || queues[index].compare(queue, Qt::CaseInsensitive) != 0)
                return SetUpError(Tr("the printer %s does not exist", options.Printer));
            job.Printer = queues[index] + (slash < 0 ? QString() : options.Printer.mid(slash));
        } else {
            job.Printer = queues[ChoosePrinter(queues, settings.Printer, defaultQueue)];
        }
    }

    if (options.Watch) {
        InstallStopSignals();
        return RunWatch(options, job, g_wakeFds[0], &g_signal);
    }

    std::unique_ptr<TRunReport> report;
    if (!options.Report.isEmpty()) {
        report = std::make_unique<TRunReport>();
        QString error;
        if (!report->Open(options.Report, TRunReport::TMode::Replace, &error))
            return SetUpError(Tr("the report %s cannot be written: %s", options.Report, error));
    }

    InstallStopSignals();
    TBatchClient client(options, report.get());
    const TRunResult run = RunPrintJob(job, client);
    client.ClearLine();

    int code = ExitPrinted;
    if (g_signal != 0)
        code = ExitSignal;
    else if (run.Failed > 0 || run.ListErrors > 0 || run.Unmatched > 0)
        code = ExitFailed;
    else if (run.Printed == 0)
        code = ExitNothing;

    if (g_signal != 0)
        Err(Tr("Stopped by a signal; no further file was started."));
    Err(Tr("Printed: %s, failed: %s", QString::number(run.Printed), QString::number(run.Failed + run.ListErrors)));
    for (const QString& failure : std::as_const(client.Failures))
        Err(u"  "_s + failure);
    if (!client.Unmatched.isEmpty()) {
        Err(Tr("Not found: %s", QString::number(client.Unmatched.size())));
        for (const QString& name : std::as_const(client.Unmatched))
            Err(u"  "_s + name);
    }

    if (report) {
        QString error;
        if (!report->Finish(&error)) {
            ErrLine(Tr("the report %s cannot be written: %s", options.Report, error));
            if (code == ExitPrinted || code == ExitNothing)
                code = ExitSetUp;
        }
    }
    return code;
}

} // namespace

int main(int argc, char* argv[])
{
    InitProgModule();
    InitGnuGetText();
    // The window's language set-up and configuration file; the command line
    // holds no start-up options of the window.
    InitLanguage(QString(), u"morvane.cfg"_s, {}, {}, CurrentEnvironment());
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"Morvane"_s);

    TBatchOptions options;
    QString error;
    if (!ParseBatchArguments(QCoreApplication::arguments().mid(1), options, &error)) {
        ErrLine(error);
        Err(Tr("Try '%s --help' for more information.", QString::fromLatin1(ProgramName)));
        return ExitSetUp;
    }
    if (options.Help) {
        std::fputs(BatchUsage().toLocal8Bit().constData(), stdout);
        return ExitPrinted;
    }
    if (options.Version) {
        std::printf("%s %s\n", ProgramName, MORVANE_VERSION_STRING);
        return ExitPrinted;
    }
    return Run(options);
}
