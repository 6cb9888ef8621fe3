#include "BatchWatch.h"

#include "ExitCodes.h"
#include "JobFollow.h"

#include "app/GnuGetText.h"
#include "platform/SysInfo.h"
#include "printing/PrintProgramExit.h"
#include "printing/JobList.h"
#include "printing/RunReport.h"
#include "util/FileIO.h"
#include "util/FileNameBytes.h"
#include "util/StrUtils.h"
#include "watch/SafeMove.h"
#include "watch/WatchFolder.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <cups/cups.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include <poll.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

// How a report record tells the time of a handover; the same text for the
// same handover, so that a restart can tell whether its record was written.
QString HandoverTime(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms).toUTC().toString(Qt::ISODateWithMs);
}

// One file at a time: its copies, progress lines and report records.
class TWatchClient : public TPrintRunClient
{
public:
    TWatchClient(bool quiet, int wakeFd, const volatile sig_atomic_t* stop)
        : FQuiet(quiet), FWakeFd(wakeFd), FStop(stop)
    {
    }

    void Begin(int number, qint64 handedOverMs)
    {
        FNumber = number;
        Records.clear();
        JobIds.clear();
        Failed = Interrupted = false;
        Reason.clear();
        FHandedOver = HandoverTime(handedOverMs);
    }
    void FileStarts(const TInvocation& inv) override
    {
        if (!FQuiet)
            Err(QStringLiteral("[%1] ").arg(FNumber) +
                Tr("copy %s/%s", QString::number(inv.Copy), QString::number(inv.Copies)) + u"  "_s + inv.File);
    }
    void FilePrinted(const TInvocation& inv) override
    {
        JobIds << inv.JobIds;
        Records.push_back(
            {inv.Copy, inv.File, TRecordResult::Printed, 0, QString(), FHandedOver, inv.JobIds, false, Destination});
    }
    void FileSkipped(const TInvocation& inv) override
    {
        Records.push_back(
            {inv.Copy, inv.File, TRecordResult::Skipped, inv.ExitCode(), inv.Reason(), FHandedOver, {}, false});
    }
    void SpoolerUnavailable(const TInvocation& inv, const QString& reason) override
    {
        ErrLine(Tr("%s: %s; waiting for the print spooler and trying again", inv.File, reason));
    }
    void SpoolerBack(const TInvocation& inv) override { ErrLine(Tr("the print spooler took %s; going on", inv.File)); }
    TRunStep RetryWait(unsigned long ms) override
    {
        Pause(ms);
        return *FStop != 0 ? TRunStep::Stop : TRunStep::GoOn;
    }
    TRunStep FileFailed(const TInvocation& inv) override
    {
        // A stop while the spooler was waited for: the file was not handed
        // over and waits for the next start; it has not failed.
        Interrupted = *FStop != 0 && inv.ExitCode() == PrintProgramExit::SpoolerRefused;
        Failed = true;
        Reason = inv.Reason();
        Records.push_back({inv.Copy, inv.File, TRecordResult::Failed, inv.ExitCode(), Reason, FHandedOver, {}, false});
        // A refused file gets no further copies; it is tried again whole.
        return TRunStep::Stop;
    }
    TRunStep Pause(unsigned long ms) override
    {
        // A stop signal cuts the pause short; the file's copies are still finished.
        QElapsedTimer waited;
        waited.start();
        while (*FStop == 0 && static_cast<unsigned long>(waited.elapsed()) < ms) {
            pollfd fd{FWakeFd, POLLIN, 0};
            ::poll(&fd, FWakeFd >= 0 ? 1 : 0, static_cast<int>(ms - static_cast<unsigned long>(waited.elapsed())));
        }
        return TRunStep::GoOn;
    }
    bool StopRequested() override { return false; }

    std::vector<TReportRecord> Records;
    QString Destination; // the printer the files go to
    QStringList JobIds;
    bool Failed = false;
    bool Interrupted = false;
    QString Reason;

private:
    bool FQuiet;
    int FWakeFd;
    const volatile sig_atomic_t* FStop;
    int FNumber = 0;
    QString FHandedOver;
};

// The folder with links and dots resolved, by its bytes; empty when it does not exist.
QString CanonicalDir(const QString& dir)
{
    char* resolved = ::realpath(FileNameToBytes(dir).constData(), nullptr);
    if (!resolved)
        return {};
    const QString name = FileNameFromBytes(resolved);
    std::free(resolved);
    return name;
}

// The titles the print program gives the jobs of a file: its name, or what
// the job name template makes of it for each copy on the intent's day (or the
// next, for a handover around midnight).
QStringList JobTitles(const TPrintJob& job, const QString& file, const TIntent& intent)
{
    if (job.JobName.isEmpty())
        return {QFileInfo(file).fileName()};
    const QString batch = QFileInfo(QDir::cleanPath(job.SourceDir)).fileName();
    const QDate day = QDateTime::fromMSecsSinceEpoch(intent.StartedMs).date();
    QStringList titles;
    for (int copy = 1; copy <= std::max(1, job.Copies); ++copy) {
        for (const QDate& date : {day, day.addDays(1)})
            titles << JobTitle(job.JobName, file, batch, copy, date);
    }
    titles.removeDuplicates();
    return titles;
}

// The jobs of this user on the intent's queue created since the intent, with
// a title the print program gives the file's jobs. Not asked for a printer
// URI: its jobs are on another server.
TJobLookup FindJobs(const QStringList& titles, const TIntent& intent)
{
    TJobLookup lookup;
    if (intent.Destination.isEmpty() || intent.Destination.contains(u"://"_s))
        return lookup;
    const QByteArray queue = intent.Destination.section(u'/', 0, 0).toUtf8();
    cups_job_t* jobs = nullptr;
    const int count = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, queue.constData(), 1, CUPS_WHICHJOBS_ALL);
    if (count < 0)
        return lookup;
    lookup.Asked = true;
    const time_t since = static_cast<time_t>(intent.StartedMs / 1000);
    for (int i = 0; i < count; ++i) {
        if (jobs[i].title && titles.contains(QString::fromUtf8(jobs[i].title)) && jobs[i].creation_time >= since)
            lookup.JobIds << QString::fromUtf8(jobs[i].dest) + u'-' + QString::number(jobs[i].id);
    }
    cupsFreeJobs(count, jobs);
    return lookup;
}

// With --wait: how often a file whose job the printer aborted or canceled is
// handed over in all before it has failed.
constexpr int MaxHandovers = 3;

// A file handed over whose jobs the watch follows (--wait): its intent stays
// open until they ended, so that a restart finds them in the spooler and
// follows them instead of printing the file again.
struct TAwaiting
{
    TArrival File;
    std::vector<TReportRecord> Records;
    QStringList JobIds;
    int Handovers = 1;
};

// A move target as given, taken from the current folder when relative.
QString AbsoluteDir(const QString& dir)
{
    return dir.isEmpty() ? QString() : QDir::cleanPath(QDir::current().absoluteFilePath(dir));
}

} // namespace

int RunWatch(const TBatchOptions& options, const TPrintJob& job, int wakeFd, const volatile sig_atomic_t* stop)
{
    // Looked at by its bytes, so that a name that is not UTF-8 is found.
    const QString canonicalDir = CanonicalDir(ResolveSourceDir(options.Directory));
    struct stat dirStat
    {
    };
    if (canonicalDir.isEmpty() || ::stat(FileNameToBytes(canonicalDir).constData(), &dirStat) != 0) {
        ErrLine(Tr("the directory %s does not exist", options.Directory));
        return ExitSetUp;
    }
    if (!S_ISDIR(dirStat.st_mode)) {
        ErrLine(Tr("%s is not a directory", options.Directory));
        return ExitSetUp;
    }

    TWatchConfig config;
    // One state per folder, however it is named (links, relative names).
    config.Dir = canonicalDir;
    config.Field = options.Files;
    config.SubDirs = options.SubDirectories;
    config.SettleMs = options.SettleMs;
    config.IncludeExisting = options.IncludeExisting;
    config.QuietMs = options.QuietMs;
    const QString movePrinted = AbsoluteDir(options.MovePrinted);
    const QString moveFailed = AbsoluteDir(options.MoveFailed);
    for (const QString& dir : {movePrinted, moveFailed}) {
        if (dir.isEmpty())
            continue;
        const QString canonical = CanonicalDir(dir);
        const QString target = canonical.isEmpty() ? dir : canonical;
        // A file moved into the watched folder itself would arrive again.
        if (target == config.Dir) {
            ErrLine(Tr("the move target lies inside the watched folder: %s", dir));
            return ExitSetUp;
        }
        config.ExcludeDirs << target;
    }
    config.StateDir = SpecialFolderPath(CSIDL_LOCAL_APPDATA) + u"/morvane/watch"_s;
    if (!QDir().mkpath(config.StateDir)) {
        ErrLine(Tr("the folder %s cannot be created", config.StateDir));
        return ExitSetUp;
    }

    TPrintJob fileJob = job;
    fileJob.SourceDir = DirectoryWithDelimiter(config.Dir);
    config.FindJobs = [&fileJob](const QString& file, const TIntent& intent) {
        return FindJobs(JobTitles(fileJob, file, intent), intent);
    };
    TWatchFolder hot(config);
    QString error;
    if (!hot.Start(&error)) {
        ErrLine(error);
        return ExitSetUp;
    }
    TRunReport report;
    if (!options.Report.isEmpty() && !report.Open(options.Report, TRunReport::TMode::Append, &error)) {
        ErrLine(Tr("the report %s cannot be written: %s", options.Report, error));
        return ExitSetUp;
    }

    if (hot.Restarted())
        Err(Tr("After a restart: left alone as printed before: %s; to print now: %s.",
               QString::number(hot.DoneBefore()), QString::number(hot.Resumed())));
    else if (!options.IncludeExisting)
        Err(Tr("Files already here, left alone: %s (--include-existing would print them).",
               QString::number(hot.LeftAlone())));
    // Handed over before a kill and found in the spooler: printed, not
    // printed again. Its record goes into the report unless the killed watch
    // wrote it before its state.
    const QList<TRecovered> recovered = hot.TakeRecovered();
    QList<QByteArray> reported;
    if (!recovered.isEmpty() && !options.Report.isEmpty() && options.Report != u"-"_s) {
        QByteArray bytes;
        if (LoadFromFile(options.Report, bytes))
            reported = bytes.split('\n');
    }
    std::unique_ptr<TJobFollower> follower;
    if (options.Wait)
        follower = std::make_unique<TJobFollower>();
    std::vector<TAwaiting> awaiting;
    bool recordLost = false;
    for (const TRecovered& r : recovered) {
        Err(Tr("%s was handed over before the restart and is in the spooler (%s); it is not printed again.", r.Path,
               r.JobIds.join(u' ')));
        if (follower) {
            // Its record and its move wait for the end of its jobs, as they would have.
            TArrival file;
            file.Path = r.Path;
            file.Key = r.Path.mid(hot.Dir().size());
            file.Stamp = r.Intent.Stamp;
            follower->Follow(r.JobIds);
            awaiting.push_back({file,
                                {{1, r.Path, TRecordResult::Printed, 0, QString(), HandoverTime(r.Intent.StartedMs),
                                  r.JobIds, true, r.Intent.Destination}},
                                r.JobIds});
            continue;
        }
        const QString at = HandoverTime(r.Intent.StartedMs);
        const QByteArray atBytes = at.toUtf8();
        const QByteArray pathBytes = r.Path.toUtf8();
        const bool written = std::any_of(reported.cbegin(), reported.cend(), [&](const QByteArray& line) {
            return line.contains(atBytes) && line.contains(pathBytes);
        });
        if (!written && !options.Report.isEmpty() &&
            !report.Add({1, r.Path, TRecordResult::Printed, 0, QString(), at, r.JobIds, true, r.Intent.Destination},
                        &error)) {
            ErrLine(Tr("the report %s cannot be written (%s); the watch stops handing over files", options.Report,
                       error));
            recordLost = true;
        }
    }
    if (!options.Quiet)
        Err(Tr("Watching %s for %s; stop with Ctrl+C.", hot.Dir(), options.Files));

    TWatchClient client(options.Quiet, wakeFd, stop);
    client.Destination = job.Printer;
    QStringList failures;
    int printed = 0;
    int number = 0;
    int code = recordLost ? ExitReportLost : ExitStopped;
    // The state could not be saved: nothing is handed over until it can.
    bool blocked = false;
    const auto stateFailed = [&] {
        if (!blocked)
            ErrLine(Tr("the watch state cannot be saved (%s); nothing more is printed until it can be", error));
        blocked = true;
    };
    // A record that cannot be written stops the handing over: a file printed
    // without its record would be lost to whoever reads the report.
    const auto writeRecords = [&] {
        for (const TReportRecord& record : client.Records) {
            if (options.Report.isEmpty() || report.Add(record, &error))
                continue;
            if (!report.ReaderGone())
                ErrLine(Tr("the report %s cannot be written (%s); the watch stops handing over files", options.Report,
                           error));
            code = ExitReportLost;
        }
    };
    const auto moveAside = [&](const TArrival& file, const QString& dir) {
        // Replaced while it was printed: the new version stays for its own turn.
        if (dir.isEmpty() || StampOf(file.Path) != file.Stamp)
            return false;
        if (!MoveAside(file.Path, dir, file.Key, &error).isEmpty())
            return true;
        ErrLine(Tr("%s cannot be moved to %s: %s", file.Path, dir, error));
        return false;
    };

    const auto failed = [&](const TArrival& file, const QString& reason) {
        ErrLine(Tr("%s could not be printed: %s", file.Path, reason));
        failures << file.Path + u": "_s + reason;
        moveAside(file, moveFailed);
        hot.Failed(file);
        if (options.StopOnError)
            code = ExitFailed;
    };
    // Hands a file over; true when the print program took it. With --wait
    // its jobs are followed from then on.
    const auto handOver = [&](TArrival& file, int handovers) {
        // No print without its intent on disk: else a restart would print it again.
        if (!hot.BeginHandover(file, fileJob.Printer, &error)) {
            stateFailed();
            return false;
        }
        if (blocked) {
            blocked = false;
            Err(Tr("The watch state can be saved again; printing goes on."));
        }
        client.Begin(++number, file.HandedOverMs);
        RunPrintFiles(fileJob, {file.Path}, client);
        if (client.Interrupted || client.Failed)
            return false;
        if (follower && !client.JobIds.isEmpty()) {
            hot.HandoverEnded(file);
            follower->Follow(client.JobIds);
            awaiting.push_back({file, client.Records, client.JobIds, handovers});
            return true;
        }
        ++printed;
        writeRecords();
        const bool moved = moveAside(file, movePrinted);
        if (!hot.Printed(file, moved, client.JobIds, &error))
            stateFailed();
        return true;
    };
    // The followed files whose jobs all ended: printed and moved when they
    // completed, else handed over again or failed.
    const auto settle = [&] {
        for (size_t i = 0; i < awaiting.size() && code == ExitStopped;) {
            bool ended = true;
            for (const QString& id : std::as_const(awaiting[i].JobIds))
                ended &= follower->Status(id).Ended();
            if (!ended) {
                ++i;
                continue;
            }
            TAwaiting done = std::move(awaiting[i]);
            awaiting.erase(awaiting.begin() + static_cast<std::ptrdiff_t>(i));
            client.Records = done.Records;
            for (TReportRecord& record : client.Records)
                SettleRecord(*follower, record);
            writeRecords();
            const TReportRecord& last = client.Records.back();
            if (last.Result == TRecordResult::Printed) {
                ++printed;
                const bool moved = moveAside(done.File, movePrinted);
                if (!hot.Printed(done.File, moved, done.JobIds, &error))
                    stateFailed();
            } else if (done.Handovers < MaxHandovers && *stop == 0) {
                ErrLine(Tr("%s: %s; handing it over again", done.File.Path, last.Reason));
                if (!handOver(done.File, done.Handovers + 1) && !client.Interrupted && client.Failed)
                    failed(done.File, client.Reason);
            } else {
                failed(done.File, last.Reason);
            }
        }
    };


    // Only now, with their records in the report, are the recovered handovers saved as printed.
    if (code == ExitStopped && !hot.SaveRecovered(&error))
        stateFailed();
    while (*stop == 0 && code == ExitStopped) {
        // While jobs are followed, their ends are looked at twice a second.
        const TWatchFolder::TWait wait = hot.Wait(wakeFd, awaiting.empty() ? -1 : 500);
        if (follower) {
            for (const QString& message : follower->TakeMessages())
                ErrLine(message);
            settle();
        }
        for (const QString& message : hot.TakeMessages())
            ErrLine(message);
        if (wait == TWatchFolder::TWait::Vanished) {
            ErrLine(Tr("the directory %s is gone", hot.Dir()));
            code = ExitSetUp;
            break;
        }
        TArrival file;
        while (*stop == 0 && code == ExitStopped && hot.TakeNext(file)) {
            if (handOver(file, 1))
                continue;
            if (blocked || client.Interrupted)
                break;
            if (hot.Refused(file)) {
                ErrLine(Tr("%s was refused (%s); it is tried once more when it has settled", file.Path, client.Reason));
                continue;
            }
            writeRecords();
            failed(file, client.Reason);
        }
    }
    if (!awaiting.empty())
        Err(Tr("Handed over, jobs not ended yet: %s; a restart goes on following them.",
               QString::number(awaiting.size())));

    if (!hot.Flush(&error))
        ErrLine(error);
    if (!report.Unwritten().isEmpty() && !report.Finish(&error)) {
        // The records the report could not take, so that they are not lost.
        if (!report.ReaderGone()) {
            Err(Tr("Records not written to the report:"));
            Err(QString::fromUtf8(report.Unwritten()).remove(u'\r').trimmed());
        }
        code = ExitReportLost;
    }
    Err(Tr("Printed: %s, failed: %s", QString::number(printed), QString::number(failures.size())));
    for (const QString& failure : std::as_const(failures))
        Err(u"  "_s + failure);
    return code;
}
