#include "printing/PrintEngine.h"

#include "app/GnuGetText.h"
#include "printing/OfficeHandover.h"
#include "printing/OneJob.h"
#include "printing/PrintProgram.h"
#include "printing/PrintProgramExit.h"
#include "printing/PrintSession.h"
#include "printing/PrintSettings.h"
#include "util/SafeFormat.h"
#include "util/StrUtils.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>

#include <algorithm>
#include <memory>

using namespace Qt::StringLiterals;

int ChoosePrinter(const QStringList& printers, const QString& savedName, const QString& defaultName)
{
    if (printers.isEmpty())
        return -1;
    for (int i = 0; i < printers.size(); ++i) {
        if (printers[i].compare(savedName, Qt::CaseInsensitive) == 0)
            return i;
    }
    const int index = defaultName.isEmpty() ? -1 : static_cast<int>(printers.indexOf(defaultName));
    return index < 0 ? 0 : index;
}

QString LocatePrintProgram(const QString& savedPath, const QString& exePath, const QProcessEnvironment& env)
{
    if (!savedPath.isEmpty() && QFileInfo(savedPath).isFile())
        return savedPath;
    return FindPrintProgram(exePath, env);
}

QString ResolveSourceDir(const QString& sourceDir)
{
    if (sourceDir.isEmpty())
        return DirectoryWithDelimiter(QDir::currentPath());
    if (QDir::isAbsolutePath(sourceDir))
        return sourceDir;
    // Not cleaned: "Docs/" stays "<current>/Docs/", as typed.
    return DirectoryWithDelimiter(QDir::currentPath()) + sourceDir;
}

QStringList JobIdsFromOutput(const QStringList& lines)
{
    static const QRegularExpression requestId(u"^request id is (\\S+) \\(\\d+ file\\(s\\)\\)$"_s);
    QStringList ids;
    for (const QString& line : lines) {
        if (const QRegularExpressionMatch m = requestId.match(line.trimmed()); m.hasMatch())
            ids << m.captured(1);
    }
    return ids;
}

int DocumentPagesFromOutput(const QStringList& lines)
{
    static const QRegularExpression pages(u"^document pages: (\\d{1,9})$"_s);
    for (const QString& line : lines)
        if (const QRegularExpressionMatch m = pages.match(line.trimmed()); m.hasMatch())
            return m.captured(1).toInt();
    return -1;
}

int TInvocation::ExitCode() const
{
    if (Result == 0)
        return 0;
    if (Result & ProcessExitCodeFlag)
        return Result & 0xFFFF;
    return -1;
}

QString TInvocation::FirstOutputLine() const
{
    for (const QString& line : Output) {
        const QString trimmed = line.trimmed();
        if (!trimmed.isEmpty())
            return trimmed;
    }
    return {};
}

QString TInvocation::Reason() const
{
    if (Printed)
        return {};
    if (TimedOut)
        return FillPlaceholders(TrDefault("The print program did not finish in %s s"), {QString::number(TimeLimitS)});
    if (Cancelled)
        return TrDefault("The print program was ended because the run was stopped");
    if (Signal != 0)
        return FillPlaceholders(TrDefault("The print program was killed by signal %s"), {QString::number(Signal)});
    if (const QString line = FirstOutputLine(); !line.isEmpty())
        return line;
    if (Result & ProcessExitCodeFlag)
        return FillPlaceholders(TrDefault("The print program ended with exit code %s"), {QString::number(ExitCode())});
    return FillPlaceholders(TrDefault("The print program could not be started (error %s)"), {QString::number(Result)});
}

void TPrintRunClient::JobListError(const QString&) {}
void TPrintRunClient::NameMatchedNothing(const TUnmatchedName&) {}
void TPrintRunClient::JobListReady(const QStringList&, int) {}
void TPrintRunClient::CopyStarts(int) {}
void TPrintRunClient::FileStarts(const TInvocation&) {}
void TPrintRunClient::FilePrinted(const TInvocation&) {}
void TPrintRunClient::NameDuplicated(const TJobName&) {}
void TPrintRunClient::FileSkipped(const TInvocation&) {}
void TPrintRunClient::FileNotTried(const TInvocation&) {}
void TPrintRunClient::SpoolerUnavailable(const TInvocation&, const QString&) {}
void TPrintRunClient::SpoolerBack(const TInvocation&) {}

TRunStep TPrintRunClient::RetryWait(unsigned long ms)
{
    return Pause(ms);
}

TRunStep TPrintRunClient::CallPlanned(const TInvocation&)
{
    return TRunStep::GoOn;
}

TRunStep TPrintRunClient::Pause(unsigned long ms)
{
    // Gives the spooler time between jobs; events wait meanwhile.
    QThread::msleep(ms);
    return TRunStep::GoOn;
}

QStringList BuildJobList(const TPrintJob& job, TPrintRunClient& client, TJobListCounts* counts)
{
    TJobListOptions options;
    options.IncludeSubDirs = job.IncludeSubDirs;
    options.KeepDuplicates = job.KeepDuplicates;
    options.ReportError = [&client](const QString& message) { client.JobListError(message); };
    if (job.ReportUnmatched)
        options.ReportUnmatched = [&client](const TUnmatchedName& name) { client.NameMatchedNothing(name); };
    options.ReportDuplicate = [&client](const TJobName& name) { client.NameDuplicated(name); };
    if (!job.FileNames.isEmpty())
        return BuildJobListOfFiles(ResolveSourceDir(job.SourceDir), job.FileNames, options, counts);
    return BuildJobList(ResolveSourceDir(job.SourceDir), job.FileField, options, counts);
}

TRunResult RunPrintJob(const TPrintJob& job, TPrintRunClient& client)
{
    // Resolved once: the names in the list and the working directory must agree.
    TPrintJob resolved = job;
    resolved.SourceDir = ResolveSourceDir(job.SourceDir);
    TJobListCounts counts;
    const QStringList jobs = BuildJobList(resolved, client, &counts);
    TRunResult run = job.OneJob ? RunOneJob(resolved, jobs, client) : RunPrintFiles(resolved, jobs, client);
    run.ListErrors = counts.ListErrors;
    run.Unmatched = counts.Unmatched;
    run.DuplicateFiles = counts.DuplicateFiles;
    run.EmptyLines = counts.EmptyLines;
    return run;
}

bool ChooseNextPrinter(const TPrintJob& job, TInvocation& inv, TProcessEnd& end)
{
    if (!job.NextPrinter) {
        inv.Printer = job.Printer;
        return true;
    }
    QString problem;
    inv.Printer = job.NextPrinter(&problem);
    if (!inv.Printer.isEmpty())
        return true;
    inv.Output << problem;
    end.Result = ProcessExitCodeFlag | PrintProgramExit::SpoolerRefused;
    return false;
}

bool TSpoolerWait::TryAgain(const TPrintJob& job, const TProcessEnd& end, const TInvocation& inv, bool succeeded,
                            TPrintRunClient& client)
{
    const bool transient = job.RetryForMs != 0 && !end.TimedOut && !end.Cancelled &&
                           inv.ExitCode() == PrintProgramExit::SpoolerRefused;
    if (!transient) {
        if (FWaiting.isValid() && succeeded)
            client.SpoolerBack(inv);
        return false;
    }
    if (!FWaiting.isValid()) {
        FWaiting.start();
        client.SpoolerUnavailable(inv, inv.Reason());
    }
    if (job.RetryForMs > 0) {
        const qint64 left = job.RetryForMs - FWaiting.elapsed();
        if (left <= 0)
            return false;
        FDelayMs = std::min(FDelayMs, left);
    }
    if (client.StopRequested() || client.RetryWait(static_cast<unsigned long>(FDelayMs)) == TRunStep::Stop)
        return false;
    FDelayMs = std::min<qint64>(FDelayMs * 2, 30000);
    return true;
}

TRunResult RunPrintFiles(const TPrintJob& job, const QStringList& jobs, TPrintRunClient& client)
{
    TRunResult run;
    run.SourceDir = ResolveSourceDir(job.SourceDir);
    run.Files = jobs.size();
    client.JobListReady(jobs, job.Copies);

    ProcessOptions options = job.ExtraOptions;
    if (job.CaptureOutput)
        options |= poCaptureOutput | poCaptureStdErr;
    // Captured text comes in the locale's encoding; without capture the code page is unused.
    const int codePage = job.CaptureOutput ? 0 : 850;

    std::unique_ptr<TOfficeHandover> office;
    if (job.ConvertOfficeFirst && !job.DryRun && !jobs.isEmpty())
        office = std::make_unique<TOfficeHandover>(jobs, run.SourceDir);

    bool stopped = false;
    qsizetype started = 0;
    TInvocation inv;
    inv.Copies = job.Copies;
    inv.Count = jobs.size();
    for (int copy = 1; copy <= job.Copies && !stopped; ++copy) {
        client.CopyStarts(copy);
        inv.Copy = copy;
        for (qsizetype i = 0; i < jobs.size(); ++i) {
            if (client.StopRequested()) {
                stopped = true;
                break;
            }
            inv.Index = i;
            inv.File = jobs[i];
            inv.Result = 0;
            inv.Printed = false;
            inv.Skipped = false;
            inv.Output.clear();
            if (job.DryRun) {
                ++started;
                if (client.CallPlanned(inv) == TRunStep::Stop) {
                    stopped = true;
                    break;
                }
                continue;
            }
            inv.JobIds.clear();
            inv.HandedOverMs = 0;
            client.FileStarts(inv);
            ++started;
            // A spooler that is away for the moment (a restart) is waited out:
            // the same file again after a growing delay, up to RetryForMs.
            QString title =
                job.JobName.isEmpty()
                    ? QString()
                    : JobTitle(job.JobName, inv.File, QFileInfo(QDir::cleanPath(run.SourceDir)).fileName(), copy,
                               QDate::currentDate());
            // A converted office document goes as its PDF, named as the document.
            const QString handed = office ? office->FileFor(inv.File) : inv.File;
            if (title.isEmpty() && office && office->Converted(inv.File))
                title = QFileInfo(inv.File).fileName();
            const QString notConverted = office ? office->ProblemFor(inv.File) : QString();
            if (!notConverted.isEmpty()) {
                inv.Result = ProcessExitCodeFlag | PrintProgramExit::CannotLoad;
                inv.Signal = 0;
                inv.TimedOut = inv.Cancelled = false;
                inv.Output = QStringList{notConverted};
            }
            TSpoolerWait spoolerWait;
            while (notConverted.isEmpty()) {
                inv.Output.clear();
                TProcessEnd end;
                if (ChooseNextPrinter(job, inv, end)) {
                    const QString command =
                        PrintCommandLine(job.Program, inv.Printer, handed, job.PrintSettings, title);
                    const TProcessLimit limit{job.TimeoutPerFileS * 1000, job.CancelFd, job.CancelGraceMs};
                    QStringList* output = job.CaptureOutput ? &inv.Output : nullptr;
                    // The same arguments either way, so that the program does exactly what one start does.
                    if (!job.Session || !job.CaptureOutput ||
                        !job.Session->Call(SplitCommandLine(command).mid(1), run.SourceDir, options, limit, output,
                                           codePage, &end))
                        end = RunProcessLimited(command, run.SourceDir, options, limit, output, codePage);
                }
                inv.Result = end.Result;
                inv.Signal = end.Signal;
                inv.TimedOut = end.TimedOut;
                inv.Cancelled = end.Cancelled;
                inv.TimeLimitS = job.TimeoutPerFileS;
                if (!spoolerWait.TryAgain(job, end, inv, PrintSucceeded(inv.Result), client))
                    break;
            }
            inv.JobIds = JobIdsFromOutput(inv.Output);
            inv.DocumentPages = DocumentPagesFromOutput(inv.Output);
            inv.HandedOverMs = QDateTime::currentMSecsSinceEpoch();
            inv.Printed = PrintSucceeded(inv.Result);
            // Only the settings list can leave no page, and only morvane-printpdf's lists are handed on.
            inv.Skipped =
                !inv.Printed && !job.PrintSettings.isEmpty() && inv.ExitCode() == PrintProgramExit::NoPageLeft;
            if (inv.Skipped) {
                ++run.Skipped;
                client.FileSkipped(inv);
            } else if (inv.Printed) {
                ++run.Printed;
                client.FilePrinted(inv);
                if (client.Pause(job.PauseMs) == TRunStep::Stop)
                    stopped = true;
            } else {
                ++run.Failed;
                if (client.FileFailed(inv) == TRunStep::Stop)
                    stopped = true;
            }
            if (stopped)
                break;
        }
        if (!stopped && client.StopRequested())
            stopped = true;
    }
    // A stop after the last file ended nothing early.
    run.Stopped = stopped && started < jobs.size() * job.Copies;
    if (run.Stopped) {
        inv.Result = 0;
        inv.Printed = inv.Skipped = false;
        inv.Output.clear();
        inv.JobIds.clear();
        inv.DocumentPages = -1;
        inv.HandedOverMs = 0;
        for (qsizetype number = started; number < jobs.size() * job.Copies; ++number) {
            inv.Copy = static_cast<int>(number / jobs.size()) + 1;
            inv.Index = number % jobs.size();
            inv.File = jobs[inv.Index];
            ++run.NotTried;
            client.FileNotTried(inv);
        }
    }
    return run;
}
