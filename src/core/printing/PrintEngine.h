#pragma once

#include "platform/SysInfo.h"
#include "printing/ExecProcess.h"
#include "printing/JobList.h"

#include <QElapsedTimer>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class TPrintSession;

// The print run without a window: the job list, the copies loop, one
// invocation of the print-to program per file and copy, the pause, the stop
// requests and the count. What differs between the window and the command
// line goes through TPrintRunClient.

// ---- Set-up shared by the clients -----------------------------------------

// The printer to use from the spooler's queues: the saved name compared
// without regard to case, else the default queue, else (a spooler without a
// default) the first queue. -1 when there is no queue.
int ChoosePrinter(const QStringList& printers, const QString& savedName, const QString& defaultName);

// The print-to program: the saved value when it names an existing file (it is
// trusted, not checked further), else the search of FindPrintProgram. Empty
// when neither gives one.
QString LocatePrintProgram(const QString& savedPath, const QString& exePath,
                           const QProcessEnvironment& env = CurrentEnvironment());

// The source directory a run works in: a relative one is taken from the
// current folder, so that the file names and the print program's working
// directory agree; an empty one is the current folder; an absolute one is
// unchanged.
QString ResolveSourceDir(const QString& sourceDir);

// The jobs a print program names on its output as lp does, one line
// "request id is DEST-N (1 file(s))" per job: the "DEST-N" in their order.
// Empty when it names none.
QStringList JobIdsFromOutput(const QStringList& lines);

// The document's page count morvane-printpdf writes after handing a file
// over ("document pages: N"); -1 when the output has none.
int DocumentPagesFromOutput(const QStringList& lines);

// ---- The run --------------------------------------------------------------

struct TPrintJob
{
    QString SourceDir; // as entered; resolved by ResolveSourceDir when the run starts
    QString FileField; // names, masks and print lists separated by ";"
    // Instead of the field: files and print lists named one by one, taken as
    // they are (BuildJobListOfFiles); relative ones from SourceDir.
    QStringList FileNames;
    bool IncludeSubDirs = false;
    int Copies = 1; // collated: the whole list per copy
    QString Program;
    QString Printer;
    // The print program's settings list (-print-settings), checked by the
    // client beforehand; empty: none, as in the window.
    QString PrintSettings;
    // Collects the print program's standard output and error per invocation
    // (TInvocation::Output); without it both lead nowhere.
    bool CaptureOutput = false;
    // Further runner options, e.g. poOwnProcessGroup.
    ProcessOptions ExtraOptions = 0;
    // Pause after each printed file, handed to TPrintRunClient::Pause.
    unsigned long PauseMs = 1000;
    // Names that found nothing go to TPrintRunClient::NameMatchedNothing and
    // are not handed over; without it they pass in silence, as in the window
    // (a print list line that names no file is then handed over).
    bool ReportUnmatched = false;
    // Goes through the job list and the copies exactly as a run would, but
    // starts no print program: each call goes to TPrintRunClient::CallPlanned.
    bool DryRun = false;
    // A file that more than one name of the field reaches is printed at each
    // of its places instead of at its first only.
    bool KeepDuplicates = false;
    // A print program still running after this many seconds is ended and its
    // file fails; 0: it is waited for as long as it takes.
    int TimeoutPerFileS = 0;
    // A descriptor that becomes readable when the run is to stop: a print
    // program still running CancelGraceMs later is ended. -1: it is always
    // waited for.
    int CancelFd = -1;
    int CancelGraceMs = 0;
    // The job title template (JobTitle); empty: the print program names the job after the file.
    QString JobName;
    // A file the print program could not hand over because the spooler was
    // unavailable for the moment (PrintProgramExit::SpoolerRefused) is handed
    // over again with a growing delay for this long before it fails; 0: it
    // fails at once, -1: no limit.
    qint64 RetryForMs = 0;
    // The whole job list goes to the print program at once, as the documents
    // of one job per copy (RunOneJob); the program must be morvane-printpdf.
    bool OneJob = false;
    // Several printers share the run: asked before each handover, it names
    // the printer for the next file, or is empty (with *problem set) while
    // none of them takes jobs, which is waited out like an unavailable
    // spooler. Without it every file goes to Printer.
    std::function<QString(QString* problem)> NextPrinter;
    // The list's office documents are converted to PDF with one LibreOffice
    // start before the first file (TOfficeHandover) and handed to the print
    // program (morvane-printpdf) as those PDFs, under their own names.
    bool ConvertOfficeFirst = false;
    // With output captured: the print program (morvane-printpdf) takes the
    // files one after the other in this one running process instead of one
    // start per file and copy; kept by the caller across runs (the watch).
    // Without it, or when the program cannot do so, each call starts it.
    std::shared_ptr<TPrintSession> Session;
};

// One invocation of the print-to program.
struct TInvocation
{
    int Copy = 0;        // 1-based
    int Copies = 1;      // copies of the run
    qsizetype Index = 0; // position in the job list, 0-based
    qsizetype Count = 0; // size of the job list
    QString File;
    QString Printer; // where it was handed over (TPrintJob::Printer or NextPrinter's choice)
    int Result = 0;  // the runner's result (ExecuteProcess)
    bool Printed = false;
    // Not printed because the print settings leave no page of this file (a page
    // range beyond its end): no failure.
    bool Skipped = false;
    QStringList Output; // captured lines (with TPrintJob::CaptureOutput)
    // The spooler's jobs the print program created ("DEST-N"), from Output.
    QStringList JobIds;
    int DocumentPages = -1; // as the print program counted them; -1 when unknown
    // When the print program handed the file over (ms since the epoch, UTC).
    qint64 HandedOverMs = 0;

    // How the print program ended besides its result.
    int Signal = 0;         // the signal that killed the print program
    int TimeLimitS = 0;     // with TimedOut: the limit that ran out
    bool TimedOut = false;  // ended after TPrintJob::TimeoutPerFileS
    bool Cancelled = false; // ended through TPrintJob::CancelFd

    // The 0-based number of this invocation within the run, and how many the run has.
    qsizetype Number() const { return (Copy - 1) * Count + Index; }
    qsizetype Total() const { return Copies * Count; }

    // The print program's exit code; -1 when it could not be started or did
    // not end normally with a code.
    int ExitCode() const;
    // The first non-blank captured line, trimmed; empty when there is none.
    QString FirstOutputLine() const;
    // Why it failed or was skipped, in one line: the first non-blank output
    // line, else a description of the runner's result. Empty for a printed file.
    QString Reason() const;
};

enum class TRunStep
{
    GoOn,
    Stop
};

class TPrintRunClient
{
public:
    virtual ~TPrintRunClient() = default;
    // A print list that is missing or unreadable; the message is translated
    // and names the list. The run goes on with the next token.
    virtual void JobListError(const QString& message);
    // A name that found nothing (with TPrintJob::ReportUnmatched). The run goes on.
    virtual void NameMatchedNothing(const TUnmatchedName& name);
    // A place in the job list left out because an earlier name gave the same file.
    virtual void NameDuplicated(const TJobName& name);
    // The job list is complete; called once before the copies loop.
    virtual void JobListReady(const QStringList& jobs, int copies);
    // A copy of the whole list begins (also when the list is empty).
    virtual void CopyStarts(int copy);
    // The print program is about to be started for this file.
    virtual void FileStarts(const TInvocation& invocation);
    virtual void FilePrinted(const TInvocation& invocation);
    // The spooler could not take the file for the moment (reason: the print
    // program's message): the run waits and hands it over again. Called once
    // when the waiting starts, and SpoolerBack once when it goes on.
    virtual void SpoolerUnavailable(const TInvocation& invocation, const QString& reason);
    virtual void SpoolerBack(const TInvocation& invocation);
    // The delay before the next try; the default is Pause. Stop ends the
    // waiting and the file fails with the spooler's reason.
    virtual TRunStep RetryWait(unsigned long ms);
    // The print settings leave no page of the file; the run goes on.
    virtual void FileSkipped(const TInvocation& invocation);
    // After a stop, once for each invocation that was not started.
    virtual void FileNotTried(const TInvocation& invocation);
    // The file could not be printed: go on with the next one, or stop.
    virtual TRunStep FileFailed(const TInvocation& invocation) = 0;
    // A call a dry run would make (TPrintJob::DryRun), in the run's order.
    virtual TRunStep CallPlanned(const TInvocation& invocation);
    // The pause after a printed file. The default sleeps without handling
    // events; a client may wait interruptibly and answer Stop.
    virtual TRunStep Pause(unsigned long ms);
    // Asked before each file and after each copy.
    virtual bool StopRequested() = 0;
};

// The printer for the next try of a handover, into inv.Printer: the job's
// one, or the one of the printers sharing the run that takes jobs now (a
// printer stopped meanwhile is passed over). False when none of them takes
// jobs: `end` is then the spooler's refusal with the reason in inv.Output,
// waited out like an unavailable spooler.
bool ChooseNextPrinter(const TPrintJob& job, TInvocation& inv, TProcessEnd& end);

// The waiting out of a spooler that is away for the moment (a restart), for
// one file or one job: the same handover again after a growing delay, up to
// the job's RetryForMs.
class TSpoolerWait
{
public:
    // After a try that ended with `end`: true when the same handover is to be
    // tried again (the client was told and the delay is waited); false when
    // the try is final (`succeeded`: the print program took it).
    bool TryAgain(const TPrintJob& job, const TProcessEnd& end, const TInvocation& inv, bool succeeded,
                  TPrintRunClient& client);

private:
    QElapsedTimer FWaiting;
    qint64 FDelayMs = 1000;
};

struct TRunResult
{
    quint32 Printed = 0;
    quint32 Failed = 0;
    quint32 ListErrors = 0;
    quint32 Unmatched = 0;      // names that found nothing (with TPrintJob::ReportUnmatched)
    quint32 Skipped = 0;        // invocations whose print settings left no page of the file
    quint32 NotTried = 0;       // invocations not started after a stop
    quint32 DuplicateFiles = 0; // files that more than one name reached, printed once per copy
    quint32 EmptyLines = 0;     // empty print list lines, passed over
    qsizetype Files = 0;        // the size of the job list
    bool Stopped = false;       // ended by a stop request before its regular end
    QString SourceDir;          // the resolved directory the run worked in
};

// The job list of a job, its directory resolved first, as RunPrintJob builds
// it: what building meets goes to the client (JobListError, NameMatchedNothing,
// NameDuplicated) and is counted in *counts.
QStringList BuildJobList(const TPrintJob& job, TPrintRunClient& client, TJobListCounts* counts = nullptr);

// Runs the job to its end or to a stop request. A running print program is
// never interrupted: a stop takes effect before the next file.
TRunResult RunPrintJob(const TPrintJob& job, TPrintRunClient& client);

// Runs a job list that the caller built (the file field of the job is not
// read): the same copies loop, pause and stop requests as RunPrintJob.
TRunResult RunPrintFiles(const TPrintJob& job, const QStringList& jobs, TPrintRunClient& client);
