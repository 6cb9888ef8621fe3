#include "printing/OneJob.h"

#include "printing/JobList.h"
#include "printing/PrintProgramExit.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>

#include <algorithm>
#include <limits>

using namespace Qt::StringLiterals;

QString OneJobCommandLine(const QString& program, const QString& printer, const QStringList& files,
                          const QString& settings, const QString& title)
{
    QString line = QuoteArgument(program) + u" -print-to "_s + QuoteArgument(printer) + u' ';
    if (!settings.isEmpty())
        line += u"-print-settings "_s + QuoteArgument(settings) + u' ';
    if (!title.isEmpty())
        line += u"-job-name "_s + QuoteArgument(title) + u' ';
    line += u"-one-job"_s;
    for (const QString& file : files)
        line += u' ' + QuoteArgument(file);
    return line;
}

QMap<qsizetype, TOneJobFile> OneJobFiles(const QStringList& output)
{
    static const QRegularExpression sent(u"^file (\\d+): document \\d+ of request (\\S+)$"_s);
    static const QRegularExpression leftOut(u"^file (\\d+): left out \\((\\d+)\\): (.*)$"_s);
    QMap<qsizetype, TOneJobFile> files;
    for (const QString& line : output) {
        const QString text = line.trimmed();
        if (const QRegularExpressionMatch m = sent.match(text); m.hasMatch()) {
            TOneJobFile& f = files[m.captured(1).toLongLong() - 1];
            f.Sent = true;
            f.JobId = m.captured(2);
        } else if (const QRegularExpressionMatch l = leftOut.match(text); l.hasMatch()) {
            TOneJobFile& f = files[l.captured(1).toLongLong() - 1];
            f.ExitCode = l.captured(2).toInt();
            f.Message = l.captured(3);
        }
    }
    return files;
}

namespace {

// Runs the print program once for the whole list, waiting out an unavailable
// spooler as the file-by-file run does. Fills inv's printer, result and output.
void HandOver(const TPrintJob& job, const QStringList& jobs, const QString& title, TPrintRunClient& client,
              TInvocation& inv)
{
    ProcessOptions options = job.ExtraOptions;
    if (job.CaptureOutput)
        options |= poCaptureOutput | poCaptureStdErr;
    const int codePage = job.CaptureOutput ? 0 : 850;
    TSpoolerWait spoolerWait;
    for (;;) {
        inv.Output.clear();
        TProcessEnd end;
        if (ChooseNextPrinter(job, inv, end)) {
            // The whole list in one program: its time limit grows with the list.
            const int limitMs = static_cast<int>(
                std::min<qint64>(qint64{job.TimeoutPerFileS} * 1000 * jobs.size(), std::numeric_limits<int>::max()));
            end =
                RunProcessLimited(OneJobCommandLine(job.Program, inv.Printer, jobs, job.PrintSettings, title),
                                  ResolveSourceDir(job.SourceDir), options, {limitMs, job.CancelFd, job.CancelGraceMs},
                                  job.CaptureOutput ? &inv.Output : nullptr, codePage);
        }
        inv.Result = end.Result;
        inv.Signal = end.Signal;
        inv.TimedOut = end.TimedOut;
        inv.Cancelled = end.Cancelled;
        inv.TimeLimitS = job.TimeoutPerFileS;
        if (!spoolerWait.TryAgain(job, end, inv, inv.ExitCode() == 0, client))
            return;
    }
}

} // namespace

TRunResult RunOneJob(const TPrintJob& job, const QStringList& jobs, TPrintRunClient& client)
{
    TRunResult run;
    run.SourceDir = ResolveSourceDir(job.SourceDir);
    run.Files = jobs.size();
    client.JobListReady(jobs, job.Copies);
    if (jobs.isEmpty())
        return run;

    TInvocation inv;
    inv.Copies = job.Copies;
    inv.Count = jobs.size();
    bool stopped = false;
    int copy = 1;
    for (; copy <= job.Copies && !stopped; ++copy) {
        client.CopyStarts(copy);
        inv.Copy = copy;
        if (client.StopRequested()) {
            stopped = true;
            break;
        }
        if (job.DryRun) {
            for (qsizetype i = 0; i < jobs.size() && !stopped; ++i) {
                inv.Index = i;
                inv.File = jobs[i];
                stopped = client.CallPlanned(inv) == TRunStep::Stop;
            }
            continue;
        }
        inv.Index = 0;
        inv.File = jobs[0];
        client.FileStarts(inv);
        const QString title =
            job.JobName.isEmpty()
                ? QString()
                : JobTitle(job.JobName, jobs[0], QFileInfo(run.SourceDir).fileName(), copy, QDate::currentDate());
        TInvocation whole = inv;
        HandOver(job, jobs, title, client, whole);
        const qint64 handedOverMs = QDateTime::currentMSecsSinceEpoch();
        const QMap<qsizetype, TOneJobFile> files = OneJobFiles(whole.Output);
        // The program's own message when it refused the whole job, without the per-file lines.
        QStringList reason = whole.Output;
        reason.removeIf([](const QString& l) { return l.trimmed().startsWith(u"file "_s); });

        for (qsizetype i = 0; i < jobs.size(); ++i) {
            TInvocation f = whole;
            f.Index = i;
            f.File = jobs[i];
            f.JobIds.clear();
            f.HandedOverMs = 0;
            const auto it = files.constFind(i);
            if (it != files.constEnd() && it->Sent) {
                f.Result = 0;
                f.Output.clear();
                f.JobIds << it->JobId;
                f.HandedOverMs = handedOverMs;
                f.Printed = true;
                ++run.Printed;
                client.FilePrinted(f);
                continue;
            }
            f.Printed = false;
            if (it != files.constEnd()) {
                f.Result = ProcessExitCodeFlag | it->ExitCode;
                f.Signal = 0;
                f.TimedOut = f.Cancelled = false;
                // Worded as the program's own message for the file would be.
                f.Output = {QFileInfo(job.Program).fileName() + u": "_s + it->Message};
            } else {
                f.Output = reason;
            }
            f.Skipped = !job.PrintSettings.isEmpty() && f.ExitCode() == PrintProgramExit::NoPageLeft;
            if (f.Skipped) {
                ++run.Skipped;
                client.FileSkipped(f);
            } else {
                ++run.Failed;
                // The job is out already: a stop asked for here holds back the next copy only.
                if (client.FileFailed(f) == TRunStep::Stop)
                    stopped = true;
            }
        }
        if (!stopped && copy < job.Copies && client.Pause(job.PauseMs) == TRunStep::Stop)
            stopped = true;
        if (!stopped && client.StopRequested())
            stopped = true;
    }
    // The copies a stop came before, each of its files not tried.
    if (stopped && !job.DryRun) {
        const int firstNotTried = copy;
        run.Stopped = firstNotTried <= job.Copies;
        inv.Printed = inv.Skipped = false;
        inv.Result = 0;
        inv.Output.clear();
        inv.JobIds.clear();
        inv.HandedOverMs = 0;
        for (int c = firstNotTried; c <= job.Copies; ++c) {
            inv.Copy = c;
            for (qsizetype i = 0; i < jobs.size(); ++i) {
                inv.Index = i;
                inv.File = jobs[i];
                ++run.NotTried;
                client.FileNotTried(inv);
            }
        }
    }
    return run;
}
