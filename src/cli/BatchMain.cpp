// morvane-batch: prints a batch of PDF files from the command line through the
// same print engine as the main window, without any display.

#include "BatchMain.h"
#include "BatchOptions.h"
#include "BatchWatch.h"
#include "ExitCodes.h"
#include "JobFollow.h"
#include "PrinterShare.h"

#include "app/GnuGetText.h"
#include "app/InitProg.h"
#include "app/LangUtils.h"
#include "app/MainSettings.h"
#include "app/UnixSignals.h"
#include "platform/DesktopNotify.h"
#include "platform/Printers.h"
#include "printing/JobPreview.h"
#include "printing/PrintEngine.h"
#include "printing/PrintProgram.h"
#include "printing/PrintSession.h"
#include "printing/PrintSettings.h"
#include "printing/RunReport.h"
#include "util/BuildVersion.h"
#include "util/FileNameBytes.h"
#include "util/StrUtils.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <cups/cups.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr char ProgramName[] = "morvane-batch";

// With --notify: a run started from the file manager has no terminal, so a
// run that cannot start says why in a notification too.
bool NotifySetUpErrors = false;

int SetUpError(const QString& message)
{
    ErrLine(message);
    if (NotifySetUpErrors) {
        TDesktopNotification notification;
        notification.Send(Tr("Nothing was printed"), message, true, false);
    }
    return ExitSetUp;
}

// How long a run from the file manager stays to answer a click on its
// notification; a notification with failures may stay on screen that long.
constexpr int NotificationAnswerMs = 10 * 60 * 1000;

// The run's records for the window's failure list: written to the user's data
// folder (never among the user's files), then the window is started on them.
void ShowFailuresInWindow(const QList<TReportRecord>& records)
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (folder.isEmpty() || !QDir().mkpath(folder)) {
        ErrLine(Tr("the folder %s cannot be created", folder));
        return;
    }
    const QString stem = folder + u"/report-"_s + QDateTime::currentDateTime().toString(u"yyyyMMdd-HHmmss"_s);
    QString name = stem + u".jsonl"_s;
    for (int n = 2; QFileInfo::exists(name); ++n)
        name = stem + u'-' + QString::number(n) + u".jsonl"_s;
    TRunReport report;
    QString error;
    bool written = report.Open(name, TRunReport::TMode::Replace, &error);
    for (const TReportRecord& record : records) {
        if (written)
            written = report.Add(record, &error);
    }
    if (!written || !report.Finish(&error)) {
        ErrLine(Tr("the report %s cannot be written: %s", name, error));
        return;
    }
    // The window installed beside this program, else the one on PATH.
    QString window = QCoreApplication::applicationDirPath() + u"/morvane"_s;
    if (!QFileInfo(window).isExecutable())
        window = u"morvane"_s;
    qint64 pid = 0;
    if (!QProcess::startDetached(window, {u"--failures"_s, name}, QDir::homePath(), &pid))
        ErrLine(Tr("%s cannot be started; the report is %s", window, name));
    else
        Err(Tr("The failure list is shown in the window (process %s): %s", QString::number(pid), name));
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
        Add({0, QString(), TRecordResult::Failed, -1, message});
    }
    void NameMatchedNothing(const TUnmatchedName& name) override
    {
        ClearLine();
        const QString text = UnmatchedText(name);
        ErrLine(Tr("warning: %s", text));
        Unmatched << text;
        Add({0, name.Path, TRecordResult::Missing, -1, text});
    }
    void NameDuplicated(const TJobName& name) override
    {
        const QString text = DuplicateText(name);
        if (!FOptions.Quiet)
            ErrLine(Tr("left out: %s", text));
        Add({0, name.Path, TRecordResult::Duplicate, -1, text});
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
        ShowFollowerMessages();
        line += QFileInfo(inv.File).fileName();
        if (inv.Number() > 0) {
            const qint64 left = FClock.elapsed() * (inv.Total() - inv.Number()) / inv.Number() / 1000;
            line += u"  "_s + Tr("%s left", Clock(left));
        }
        if (Follower && Follower->Count() > 0)
            line += u"  "_s + FinishedText();
        const QByteArray bytes = "\r\033[K" + line.toLocal8Bit();
        std::fputs(bytes.constData(), stderr);
        std::fflush(stderr);
        FLineShown = true;
    }
    void FilePrinted(const TInvocation& inv) override
    {
        if (Follower && !inv.JobIds.isEmpty()) {
            Follower->Follow(inv.JobIds);
            Followed.push_back({FRecords.size(), inv.File});
        }
        Add(HandedOverRecord(inv, inv.Printer.isEmpty() ? Destination : inv.Printer));
    }
    void FileSkipped(const TInvocation& inv) override
    {
        ClearLine();
        const QString reason = inv.Reason();
        if (!FOptions.Quiet)
            ErrLine(Tr("%s skipped: %s", inv.File, reason));
        Skipped << inv.File + u": "_s + reason;
        Add({inv.Copy, inv.File, TRecordResult::Skipped, inv.ExitCode(), reason});
    }
    void FileNotTried(const TInvocation& inv) override
    {
        Add({inv.Copy, inv.File, TRecordResult::NotTried, -1, QString()});
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
        Add({inv.Copy, inv.File, TRecordResult::Failed, inv.ExitCode(), reason});
        return FOptions.StopOnError ? TRunStep::Stop : TRunStep::GoOn;
    }
    TRunStep Pause(unsigned long ms) override
    {
        // Waits for the time or a stop signal, whichever comes first.
        QElapsedTimer waited;
        waited.start();
        while (*StopSignals::Received() == 0 && static_cast<unsigned long>(waited.elapsed()) < ms) {
            pollfd fd{StopSignals::ReadFd(), POLLIN, 0};
            ::poll(&fd, StopSignals::ReadFd() >= 0 ? 1 : 0,
                   static_cast<int>(ms - static_cast<unsigned long>(waited.elapsed())));
        }
        return *StopSignals::Received() != 0 ? TRunStep::Stop : TRunStep::GoOn;
    }
    bool StopRequested() override { return *StopSignals::Received() != 0; }

    void ClearLine()
    {
        if (FLineShown) {
            std::fputs("\r\033[K", stderr);
            FLineShown = false;
        }
    }

    // The printer's finished jobs out of those followed, for the progress line.
    QString FinishedText() const
    {
        return Tr("finished %s/%s", QString::number(Follower->EndedCount()), QString::number(Follower->Count()));
    }
    void ShowFollowerMessages()
    {
        if (!Follower)
            return;
        for (const QString& message : Follower->TakeMessages()) {
            ClearLine();
            ErrLine(message);
        }
    }
    // The progress while the run waits for the printer: in place on a
    // terminal, else a line whenever the count changed.
    void ShowWaiting()
    {
        ShowFollowerMessages();
        if (FOptions.Quiet)
            return;
        const int ended = Follower->EndedCount();
        if (ended == FShownEnded && FLineShown)
            return;
        const QString line = Tr("Waiting for the printer: %s of %s jobs finished", QString::number(ended),
                                QString::number(Follower->Count()));
        if (!FTerminal) {
            if (ended != FShownEnded)
                Err(line);
        } else {
            const QByteArray bytes = "\r\033[K" + line.toLocal8Bit();
            std::fputs(bytes.constData(), stderr);
            std::fflush(stderr);
            FLineShown = true;
        }
        FShownEnded = ended;
    }
    // The records of the followed files as their jobs ended; adds them all to
    // the report in the run's order and counts the failed and pending ones.
    void SettleFollowed(quint32& failed, quint32& pending)
    {
        for (const auto& [index, file] : Followed) {
            TReportRecord& record = FRecords[index];
            SettleRecord(*Follower, record);
            if (record.Result == TRecordResult::Printed)
                continue;
            if (record.Result == TRecordResult::Failed) {
                ++failed;
                Failures << file + u": "_s + record.Reason;
            } else {
                ++pending;
                Pending << file + u": "_s + record.Reason;
            }
        }
        for (const TReportRecord& record : FRecords) {
            if (FReport)
                FReport->Add(record);
            Kept << record;
        }
        FRecords.clear();
    }

    QString Destination;              // the printer the files go to
    TJobFollower* Follower = nullptr; // with --wait
    // The records of files handed over with their jobs: index in FRecords, file.
    std::vector<std::pair<size_t, QString>> Followed;
    QStringList Failures;
    QStringList Unmatched;
    QStringList Skipped;
    QStringList Pending;
    // Every record of the run, in its order, for the window's failure list.
    QList<TReportRecord> Kept;

private:
    // With --wait the records wait for their jobs' end, so that the report
    // keeps the run's order.
    void Add(const TReportRecord& record)
    {
        if (Follower) {
            FRecords.push_back(record);
            return;
        }
        if (FReport)
            FReport->Add(record);
        Kept << record;
    }

    std::vector<TReportRecord> FRecords;
    int FShownEnded = -1;
    const TBatchOptions& FOptions;
    TRunReport* FReport;
    bool FTerminal;
    bool FLineShown = false;
    QElapsedTimer FClock;
};

// After the last handover: waits until the printer has ended every job the
// run created, the --wait duration has passed or a stop signal came.
void WaitForJobs(const TBatchOptions& options, TBatchClient& client)
{
    // A print program that names no jobs leaves nothing to wait for.
    if (client.Follower->Count() == 0)
        return;
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        client.ShowWaiting();
        if (client.Follower->AllEnded() || *StopSignals::Received() != 0)
            return;
        qint64 left = 250;
        if (options.WaitS >= 0) {
            left = std::min<qint64>(left, qint64{options.WaitS} * 1000 - waited.elapsed());
            if (left <= 0)
                return;
        }
        pollfd fd{StopSignals::ReadFd(), POLLIN, 0};
        ::poll(&fd, StopSignals::ReadFd() >= 0 ? 1 : 0, static_cast<int>(left));
    }
}

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

// The dry run's client: the run's own messages and records, and one
// "copy<TAB>file" line per call on standard output.
class TDryRunClient : public TBatchClient
{
public:
    using TBatchClient::TBatchClient;

    TRunStep CallPlanned(const TInvocation& inv) override
    {
        FOut += QByteArray::number(inv.Copy) + '\t' + FileNameToBytes(inv.File) + '\n';
        return FOut.size() > (1 << 16) && !Flush() ? TRunStep::Stop : TRunStep::GoOn;
    }
    // A dry run that could not write its list ends there; it tried nothing.
    void FileNotTried(const TInvocation&) override {}

    bool Flush()
    {
        if (WriteError == 0 && !WriteAllToFd(STDOUT_FILENO, FOut, &WriteError))
            return false;
        FOut.clear();
        return WriteError == 0;
    }

    int WriteError = 0;

private:
    QByteArray FOut;
};

// The dry run's page count: the files that cannot be printed on standard
// error, the figures as the last line of standard output. False when that
// line could not be written.
bool WritePageSummary(const TPrintJob& job)
{
    const TJobPreview preview = PreviewPrintJob(job);
    for (const TPreviewFile& file : preview.Files)
        if (!file.Problem.isEmpty())
            ErrLine(Tr("%s cannot be printed: %s", file.File, file.Problem));
    int error = 0;
    if (WriteAllToFd(STDOUT_FILENO, PreviewSummaryLine(preview).toUtf8() + '\n', &error))
        return true;
    if (error != EPIPE)
        ErrLine(Tr("cannot write to standard output: %s", WriteErrorText(error)));
    return false;
}

int DryRun(const TPrintJob& job, const TBatchOptions& options)
{
    std::unique_ptr<TRunReport> report;
    if (!OpenReport(options, report))
        return ExitSetUp;
    // The run's own job list and copies loop, so that the lines are exactly its calls.
    TDryRunClient client(options, report.get());
    TPrintJob dry = job;
    dry.DryRun = true;
    const TRunResult run = RunPrintJob(dry, client);
    // Named files that are missing were each reported already.
    if (run.Files == 0 && job.FileNames.isEmpty())
        ErrLine(NothingMatchedText(job));
    if (!client.Flush()) {
        // A reader that stopped reading ("| head") wanted no more: no message.
        if (client.WriteError != EPIPE)
            ErrLine(Tr("cannot write to standard output: %s", WriteErrorText(client.WriteError)));
        return ExitReportLost;
    }
    int code = run.Files == 0 ? ExitNothing : ExitPrinted;
    if (run.ListErrors > 0 || run.Unmatched > 0)
        code = ExitFailed;
    if (options.Pages && !WritePageSummary(job))
        return ExitReportLost;
    return FinishReport(options, report.get(), code);
}

// A queue of the local spooler as the run names it ("queue/instance" keeps
// its instance), or empty with *error set when the spooler has no such queue.
QString ExistingQueue(const QStringList& queues, const QString& name, QString* error)
{
    const qsizetype slash = name.indexOf(u'/');
    const QString queue = name.left(slash);
    const int index = ChoosePrinter(queues, queue, QString());
    if (queue.isEmpty() || queues[index].compare(queue, Qt::CaseInsensitive) != 0) {
        *error = Tr("the printer %s does not exist", name);
        return {};
    }
    return queues[index] + (slash < 0 ? QString() : name.mid(slash));
}

// A job of several documents blocks a cups-pdf queue (its backend writes the
// first document only): refused before anything is spooled. Empty when fine.
QString OneJobProblem(const QString& printer)
{
    if (IsPrinterUri(printer))
        return {};
    cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, printer.section(u'/', 0, 0).toUtf8().constData(), nullptr);
    if (!dest)
        return {};
    const char* uri = cupsGetOption("device-uri", dest->num_options, dest->options);
    const bool cupsPdf = uri && qstrnicmp(uri, "cups-pdf:", 9) == 0;
    cupsFreeDests(1, dest);
    return cupsPdf ? Tr("%s cannot print a job of several documents: its cups-pdf backend writes only the first; "
                        "print without --one-job",
                        printer)
                   : QString();
}

int Run(const TBatchOptions& options)
{
    NotifySetUpErrors = options.Notify;
    TPrintJob job;
    job.SourceDir = ResolveSourceDir(options.Directory);
    job.FileField = options.Files;
    // With --files no directory is given: the current folder, from which relative names are taken.
    job.FileNames = options.FileNames;
    job.IncludeSubDirs = options.SubDirectories;
    job.Copies = options.Copies;
    job.PrintSettings = options.PrintSettings;
    job.JobName = options.JobName;
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
    const QString iniName = IniName(GetAppPath(AppSubDir, false), u"morvane"_s);
    QString settingsError;
    const TMainSettings settings = ReadMainSettings(iniName, TMainSettings(), &settingsError);
    if (!settingsError.isEmpty())
        ErrLine(Tr("the settings file cannot be read, defaults are used: %s", settingsError));

    // A selection from the file manager prints as the window would.
    if (options.FileOperands && job.PrintSettings.isEmpty() && !settings.PrintSettings.isEmpty()) {
        PrintSettings::Settings parsed;
        std::string problem;
        if (!PrintSettings::Parse(settings.PrintSettings.toStdString(), &parsed, &problem))
            return SetUpError(
                Tr("the print settings saved by the window are refused: %s", QString::fromStdString(problem)));
        job.PrintSettings = settings.PrintSettings;
    }
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

    // Only the own print program knows -one-job; another one would take the list for one file name.
    if (options.OneJob && QFileInfo(job.Program).fileName() != QLatin1String(PrintProgramName))
        return SetUpError(
            Tr("--one-job needs %s as print program, not %s", QString::fromLatin1(PrintProgramName), job.Program));

    // Our print program takes the PDFs of a conversion done once for the whole
    // list; a one-job run takes PDF files only.
    job.ConvertOfficeFirst =
        !options.OneJob && QFileInfo(job.Program).fileName() == QString::fromLatin1(PrintProgramName);

    // Our own print program takes the files one after the other in one
    // process (the watch keeps it across files); a job of several documents
    // is one call per copy anyway.
    if (!options.OneJob && !options.StartPerFile &&
        QFileInfo(job.Program).fileName() == QString::fromLatin1(PrintProgramName))
        job.Session = std::make_shared<TPrintSession>(job.Program);

    std::shared_ptr<TPrinterShare> share;
    if (options.Printers.size() > 1) {
        // Shared printers: each one must exist now; which one takes a file is decided per file.
        const bool anyQueue = std::any_of(options.Printers.begin(), options.Printers.end(),
                                          [](const QString& p) { return !IsPrinterUri(p); });
        const QStringList queues = anyQueue ? QueueNames(nullptr) : QStringList();
        if (anyQueue && queues.isEmpty() && !SpoolerReachable())
            return SetUpError(Tr("cannot reach the print spooler at %s", QString::fromUtf8(cupsServer())));
        QStringList printers;
        for (const QString& name : options.Printers) {
            QString error;
            printers << (IsPrinterUri(name) ? name : ExistingQueue(queues, name, &error));
            if (!error.isEmpty())
                return SetUpError(error);
        }
        job.Printer = printers.first();
        share = std::make_shared<TPrinterShare>(printers);
        job.NextPrinter = [share](QString* problem) { return share->Next(problem); };
    } else if (IsPrinterUri(options.Printer)) {
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

    if (options.OneJob) {
        for (const QString& printer : options.Printers.size() > 1 ? options.Printers : QStringList{job.Printer}) {
            if (const QString problem = OneJobProblem(printer); !problem.isEmpty())
                return SetUpError(problem);
        }
        job.OneJob = true;
    }

    // Waited out; a watch that runs unattended waits as long as it takes unless told otherwise.
    job.RetryForMs = options.Watch && !options.RetryForGiven ? -1 : qint64{options.RetryForS} * 1000;
    if (options.Watch) {
        StopSignals::Install();
        job.CancelFd = StopSignals::ReadFd();
        return RunWatch(options, job, StopSignals::ReadFd(), StopSignals::Received());
    }

    std::unique_ptr<TRunReport> report;
    if (!OpenReport(options, report))
        return ExitSetUp;

    // SIGINT, SIGTERM and SIGHUP (the terminal closed) end the run like the Stop
    // button: no further file starts, and the report is written.
    StopSignals::Install();
    job.CancelFd = StopSignals::ReadFd();
    TBatchClient client(options, report.get());
    client.Destination = job.Printer;
    std::unique_ptr<TJobFollower> follower;
    if (options.Wait)
        client.Follower = (follower = std::make_unique<TJobFollower>()).get();
    TRunResult run = RunPrintJob(job, client);
    quint32 pending = 0;
    if (follower) {
        WaitForJobs(options, client);
        client.ClearLine();
        quint32 failed = 0;
        client.SettleFollowed(failed, pending);
        run.Printed -= failed + pending;
        run.Failed += failed;
    }
    client.ClearLine();

    int code = ExitPrinted;
    if (*StopSignals::Received() != 0)
        code = ExitSignal;
    else if (run.Failed > 0 || run.ListErrors > 0 || run.Unmatched > 0)
        code = ExitFailed;
    else if (pending > 0)
        code = ExitNotFinished;
    else if (run.Printed == 0)
        code = ExitNothing;

    if (run.Files == 0 && job.FileNames.isEmpty())
        ErrLine(NothingMatchedText(job));
    if (*StopSignals::Received() != 0)
        Err(Tr("Stopped by a signal; no further file was started."));
    Err(Tr("Printed: %s, failed: %s", QString::number(run.Printed), QString::number(run.Failed + run.ListErrors)));
    for (const QString& failure : std::as_const(client.Failures))
        Err(u"  "_s + failure);
    if (!client.Skipped.isEmpty()) {
        Err(Tr("Skipped: %s", QString::number(client.Skipped.size())));
        for (const QString& skipped : std::as_const(client.Skipped))
            Err(u"  "_s + skipped);
    }
    if (!client.Pending.isEmpty()) {
        Err(Tr("Handed over, not finished in time: %s", QString::number(client.Pending.size())));
        for (const QString& file : std::as_const(client.Pending))
            Err(u"  "_s + file);
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
    if (options.Notify) {
        // What failed, then what was not found; a long list is cut, the summary on stderr has it all.
        const QStringList lines = client.Failures + client.Unmatched;
        QString body = lines.mid(0, 10).join(u'\n');
        if (lines.size() > 10)
            body += u"\n…"_s;
        // A click on it opens the failure list, so the run stays until it is
        // clicked, closed or has been on screen for long.
        TDesktopNotification notification;
        const bool listed = !lines.isEmpty();
        if (notification.Send(Tr("Printed: %s, failed: %s", QString::number(run.Printed),
                                 QString::number(run.Failed + run.ListErrors)),
                              body, code != ExitPrinted, listed) &&
            notification.OffersFailures()) {
            // Someone at a terminal would otherwise take the wait for a hang.
            if (::isatty(STDERR_FILENO) == 1)
                Err(Tr("Waiting for a click on the notification (at most 10 minutes; Ctrl+C ends the wait)"));
            if (notification.WaitForAnswer(NotificationAnswerMs, StopSignals::ReadFd()))
                ShowFailuresInWindow(client.Kept);
        }
    }

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
