#include "BatchWatch.h"

#include "app/GnuGetText.h"
#include "platform/SysInfo.h"
#include "printing/HotFolder.h"
#include "printing/RunReport.h"
#include "util/StrUtils.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <vector>

#include <poll.h>

using namespace Qt::StringLiterals;

namespace {

enum WatchExit
{
    ExitStopped = 0,
    ExitSetUp = 1,
    ExitFailed = 2,
};

// One file at a time: its copies, progress lines and report records.
class TWatchClient : public TPrintRunClient
{
public:
    TWatchClient(bool quiet, int wakeFd, const volatile sig_atomic_t* stop)
        : FQuiet(quiet), FWakeFd(wakeFd), FStop(stop)
    {
    }

    void Begin(int number)
    {
        FNumber = number;
        Records.clear();
        Failed = false;
        Reason.clear();
    }
    void FileStarts(const TInvocation& inv) override
    {
        if (!FQuiet)
            Err(QStringLiteral("[%1] ").arg(FNumber) +
                Tr("copy %s/%s", QString::number(inv.Copy), QString::number(inv.Copies)) + u"  "_s + inv.File);
    }
    void FilePrinted(const TInvocation& inv) override { Records.push_back({inv.Copy, inv.File, true, 0, QString()}); }
    TRunStep FileFailed(const TInvocation& inv) override
    {
        Failed = true;
        Reason = inv.Reason();
        Records.push_back({inv.Copy, inv.File, false, inv.ExitCode(), Reason});
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
    bool Failed = false;
    QString Reason;

private:
    bool FQuiet;
    int FWakeFd;
    const volatile sig_atomic_t* FStop;
    int FNumber = 0;
};

// A move target as given, taken from the current folder when relative.
QString AbsoluteDir(const QString& dir)
{
    return dir.isEmpty() ? QString() : QDir::cleanPath(QDir::current().absoluteFilePath(dir));
}

} // namespace

int RunWatch(const TBatchOptions& options, const TPrintJob& job, int wakeFd, const volatile sig_atomic_t* stop)
{
    const QFileInfo dirInfo(ResolveSourceDir(options.Directory));
    if (!dirInfo.exists()) {
        ErrLine(Tr("the directory %s does not exist", options.Directory));
        return ExitSetUp;
    }
    if (!dirInfo.isDir()) {
        ErrLine(Tr("%s is not a directory", options.Directory));
        return ExitSetUp;
    }

    TWatchConfig config;
    // One state per folder, however it is named (links, relative names).
    config.Dir = dirInfo.canonicalFilePath();
    config.Field = options.Files;
    config.SubDirs = options.SubDirectories;
    config.SettleMs = options.SettleMs;
    config.IncludeExisting = options.IncludeExisting;
    const QString movePrinted = AbsoluteDir(options.MovePrinted);
    const QString moveFailed = AbsoluteDir(options.MoveFailed);
    for (const QString& dir : {movePrinted, moveFailed}) {
        if (!dir.isEmpty())
            config.ExcludeDirs << (QFileInfo(dir).exists() ? QFileInfo(dir).canonicalFilePath() : dir);
    }
    config.StateDir = SpecialFolderPath(CSIDL_LOCAL_APPDATA) + u"/morvane/watch"_s;
    if (!QDir().mkpath(config.StateDir)) {
        ErrLine(Tr("the folder %s cannot be created", config.StateDir));
        return ExitSetUp;
    }

    THotFolder hot(config);
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

    TPrintJob fileJob = job;
    fileJob.SourceDir = hot.Dir();
    if (!options.Quiet)
        Err(Tr("Watching %s for %s; stop with Ctrl+C.", hot.Dir(), options.Files));

    TWatchClient client(options.Quiet, wakeFd, stop);
    QStringList failures;
    int printed = 0;
    int number = 0;
    int code = ExitStopped;
    const auto writeRecords = [&] {
        for (const TReportRecord& record : client.Records) {
            if (!options.Report.isEmpty() && !report.Add(record, &error))
                ErrLine(Tr("the report %s cannot be written: %s", options.Report, error));
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

    while (*stop == 0 && code == ExitStopped) {
        const THotFolder::TWait wait = hot.Wait(wakeFd);
        for (const QString& message : hot.TakeMessages())
            ErrLine(message);
        if (wait == THotFolder::TWait::Vanished) {
            ErrLine(Tr("the directory %s is gone", hot.Dir()));
            code = ExitSetUp;
            break;
        }
        TArrival file;
        while (*stop == 0 && hot.TakeNext(file)) {
            client.Begin(++number);
            RunPrintFiles(fileJob, {file.Path}, client);
            if (!client.Failed) {
                ++printed;
                writeRecords();
                const bool moved = moveAside(file, movePrinted);
                if (!hot.Printed(file, moved, &error))
                    ErrLine(error);
                continue;
            }
            if (hot.Refused(file)) {
                ErrLine(Tr("%s was refused (%s); it is tried once more when it has settled", file.Path, client.Reason));
                continue;
            }
            writeRecords();
            ErrLine(Tr("%s could not be printed: %s", file.Path, client.Reason));
            failures << file.Path + u": "_s + client.Reason;
            moveAside(file, moveFailed);
            hot.Failed(file);
            if (options.StopOnError) {
                code = ExitFailed;
                break;
            }
        }
    }

    if (!hot.Flush(&error))
        ErrLine(error);
    Err(Tr("Printed: %s, failed: %s", QString::number(printed), QString::number(failures.size())));
    for (const QString& failure : std::as_const(failures))
        Err(u"  "_s + failure);
    return code;
}
