#include "watch/WatchFolder.h"

#include "app/GnuGetText.h"
#include "printing/CollectFiles.h"
#include "printing/JobList.h"
#include "printlists/PrintList.h"
#include "util/FileIO.h"
#include "util/FileNameBytes.h"
#include "util/SafeFormat.h"
#include "util/StrUtils.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <limits>

#include <csignal>

#include <dirent.h>
#include <fcntl.h>

#include <poll.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>


using namespace Qt::StringLiterals;

namespace {

// A file the kernel reports writes for, but whose close never came (a hard
// link, a writer that keeps it open without writing), falls back to the
// settle rule after this long without events.
constexpr qint64 TrackedQuietMs = 60000;

constexpr uint32_t WatchEvents = IN_CLOSE_WRITE | IN_MOVED_TO | IN_CREATE | IN_OPEN | IN_MODIFY | IN_DELETE |
                                 IN_MOVED_FROM | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
QString Tr(const char* key, const QString& a)
{
    return FillPlaceholders(TrDefault(key), {a});
}

// File systems where other machines write without the kernel here knowing.
bool IsNetworkFileSystem(const QString& dir)
{
    struct statfs fs = {};
    if (::statfs(FileNameToBytes(dir).constData(), &fs) != 0)
        return true;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case 0x6969UL:     // NFS
    case 0x517BUL:     // SMB
    case 0xFF534D42UL: // CIFS
    case 0xFE534D42UL: // SMB2
    case 0x65735546UL: // FUSE (sshfs and the like)
    case 0x01021997UL: // 9P
    case 0x00C36400UL: // Ceph
    case 0x5346414FUL: // AFS
    case 0x73757245UL: // Coda
    case 0x564CUL:     // NCP
    case 0x7461636FUL: // OCFS2
    case 0x01161970UL: // GFS2
        return true;
    default:
        return false;
    }
}

} // namespace

// ---- TWatchFolder -----------------------------------------------------------

TWatchFolder::TWatchFolder(TWatchConfig config) : FConfig(std::move(config))
{
    FDir = DirectoryWithDelimiter(QDir::cleanPath(FConfig.Dir));
    // One thread, kept for the whole watch: one started per file cost more
    // than the digest of a small file.
    FDigestThread.setMaxThreadCount(1);
    FDigestThread.setExpiryTimeout(-1);
    for (QString& dir : FConfig.ExcludeDirs)
        dir = DirectoryWithDelimiter(QDir::cleanPath(dir));
    FClock.start();
}

TWatchFolder::~TWatchFolder()
{
    if (FDigestCancel)
        FDigestCancel->store(true);
    if (FInotify >= 0)
        ::close(FInotify);
    if (FLock >= 0)
        ::close(FLock);
}

QString TWatchFolder::LockFileName() const
{
    QString name = StateFileName();
    name.chop(6); // ".state"
    return name + u".lock"_s;
}

bool TWatchFolder::TakeLock(QString* error)
{
    const QString fileName = LockFileName();
    const auto fail = [&](const QString& message) {
        if (error)
            *error = message;
        return false;
    };
    const auto failLock = [&] {
        return fail(FillPlaceholders(TrDefault("the lock file %s cannot be used: %s"),
                                     {fileName, QString::fromLocal8Bit(std::strerror(errno))}));
    };
    // Not closed on exec: a print program that outlives a killed watch holds
    // the lock until it ends, so that the next watch asks the spooler about
    // that job only once it is there. flock, unlike a file that says "taken",
    // ends with the last process holding it.
    FLock = ::open(FileNameToBytes(fileName).constData(), O_RDWR | O_CREAT, 0644); // NOLINT(android-cloexec-open)
    if (FLock < 0)
        return failLock();
    for (int waited = 0;; waited += 100) {
        if (::flock(FLock, LOCK_EX | LOCK_NB) == 0)
            break;
        if (errno != EWOULDBLOCK && errno != EINTR)
            return failLock();
        char text[32] = {};
        const ssize_t got = ::pread(FLock, text, sizeof text - 1, 0);
        const long pid = got > 0 ? std::strtol(text, nullptr, 10) : 0;
        if (pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM))
            return fail(FillPlaceholders(TrDefault("another watch of %s for %s is running (process %s)"),
                                         {FConfig.Dir, FConfig.Field, QString::number(pid)}));
        // Its watch is gone, but a print program it started still runs.
        if (waited >= 60000)
            return fail(Tr("a print program of an earlier watch of %s still runs", FConfig.Dir));
        ::poll(nullptr, 0, 100);
    }
    const QByteArray pid = QByteArray::number(::getpid()) + '\n';
    if (::ftruncate(FLock, 0) != 0 ||
        ::pwrite(FLock, pid.constData(), static_cast<size_t>(pid.size()), 0) != pid.size())
        return failLock();
    return true;
}

void TWatchFolder::Recover()
{
    const QHash<QString, TIntent> intents = FState.Intents();
    for (auto it = intents.cbegin(); it != intents.cend(); ++it) {
        const QString path = FDir + it.key();
        TJobLookup found = FConfig.FindJobs ? FConfig.FindJobs(path, *it) : TJobLookup{};
        // The jobs of an earlier version, printed in the same second, are not this one's.
        if (const TDoneFile* earlier = FState.Done(it.key()))
            found.JobIds.removeIf([&](const QString& id) { return earlier->JobIds.contains(id); });
        if (found.Asked && !found.JobIds.isEmpty()) {
            FState.Record(it.key(), it->Stamp, it->Digest, found.JobIds);
            FRecovered.append({path, *it, found.JobIds});
            // Saved only once its report record is written (SaveRecovered):
            // a kill in between finds the intent again, not a print without a record.
            FHoldSave = true;
        } else {
            // Not in the spooler, or it cannot be asked: the file is handed over again.
            FState.DropIntent(it.key(), nullptr);
        }
        FStateDirty = true;
    }
}

QList<TRecovered> TWatchFolder::TakeRecovered()
{
    QList<TRecovered> recovered;
    recovered.swap(FRecovered);
    return recovered;
}

bool TWatchFolder::Start(QString* error)
{
    const auto fail = [error](const QString& message) {
        if (error)
            *error = message;
        return false;
    };
    if (!QFileInfo(FDir).isDir())
        return fail(Tr("the directory %s does not exist", FConfig.Dir));
    ReadField();
    FNetwork = IsNetworkFileSystem(FDir);
    if (!TakeLock(error))
        return false;
    if (!FState.Load(StateFileName(), FDir, FConfig.Field, error))
        return false;
    Recover();

    FInotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (FInotify < 0)
        return fail(Tr("the directory cannot be watched: %s", QString::fromLocal8Bit(std::strerror(errno))));
    // Watches first, then the look at what is there: a file arriving in
    // between is seen by both, never by neither.
    AddWatches(QString());
    if (FRootWatch < 0)
        return fail(Tr("the directory cannot be watched: %s", QString::fromLocal8Bit(std::strerror(errno))));

    // Forget what is gone, so a new file of the same name and stamp counts as new.
    for (const QString& key : FState.Keys()) {
        if (StampOf(FDir + key).Size < 0)
            FStateDirty |= FState.Remove(key);
    }
    const bool firstStart = !FState.Existed();
    FRestarted = !firstStart;
    const QStringList present = FindFiles();
    if (firstStart && !FConfig.IncludeExisting) {
        for (const QString& path : present)
            FState.Record(KeyOf(path), StampOf(path));
        FLeftAlone = static_cast<int>(present.size());
    } else {
        for (const QString& path : present)
            ++(FState.IsDone(KeyOf(path), StampOf(path)) ? FDoneBefore : FResumed);
    }
    // The state file is written at once: its existence tells a restart from a first start.
    if (firstStart || (FStateDirty && !FHoldSave)) {
        if (!FState.Save(error))
            return false;
        FStateDirty = false;
    }
    Scan();
    return true;
}

QString TWatchFolder::StateFileName() const
{
    return TWatchState::FileNameFor(FConfig.StateDir, FDir, FConfig.Field);
}

void TWatchFolder::ReadField()
{
    FMasks.clear();
    FListKeys.clear();
    QString rest = FConfig.Field;
    while (!rest.isEmpty()) {
        const QString token = ReadNextString(rest, u';');
        if (token.isEmpty())
            continue;
        if (!IsPrintListName(token)) {
            const qsizetype slash = token.lastIndexOf(u'/');
            FMasks.append({slash < 0 ? QString() : DirectoryWithDelimiter(QDir::cleanPath(token.left(slash))),
                           token.mid(slash + 1)});
            continue;
        }
        const QString path = BuildFileName(FDir, token, QString());
        FLists.insert(path, StampOf(path));
        QStringList lines;
        QString listError;
        struct stat st = {};
        if (::stat(FileNameToBytes(path).constData(), &st) != 0 || S_ISDIR(st.st_mode))
            listError = Tr("Print list: %s not found!", path);
        else if (!ReadPrintList(path, lines, &listError) && listError.isEmpty())
            listError = path;
        if (!listError.isEmpty()) {
            FMessages << listError;
            continue;
        }
        for (const QString& line : std::as_const(lines)) {
            // An empty line names no file (joined to the folder it would name the folder).
            if (line.isEmpty())
                continue;
            const QString entry = QDir::cleanPath(BuildFileName(FDir, line, QString()));
            if (!entry.startsWith(FDir))
                FMessages << Tr("%s is outside the watched folder and is not watched", entry);
            else
                FListKeys.insert(KeyOf(entry));
        }
    }
}

QString TWatchFolder::KeyOf(const QString& path) const
{
    return path.startsWith(FDir) ? path.mid(FDir.size()) : path;
}

bool TWatchFolder::Wanted(const QString& key) const
{
    for (const QString& dir : FConfig.ExcludeDirs) {
        if (QString(FDir + key).startsWith(dir))
            return false;
    }
    if (FListKeys.contains(key))
        return true;
    const QString relDir = FolderPart(key);
    const QString name = FileNamePart(key);
    for (const TMask& mask : FMasks) {
        if (!relDir.startsWith(mask.Dir) || (!FConfig.SubDirs && relDir.size() != mask.Dir.size()))
            continue;
        if (MatchesMask(name, mask.Name))
            return true;
    }
    return false;
}

QStringList TWatchFolder::FindFiles()
{
    QStringList paths;
    for (const TMask& mask : std::as_const(FMasks))
        CollectFiles(FDir, mask.Dir + mask.Name, FConfig.SubDirs, paths);
    for (const QString& key : std::as_const(FListKeys)) {
        if (StampOf(FDir + key).Size >= 0)
            paths << FDir + key;
    }
    QStringList wanted;
    QSet<QString> seen;
    for (const QString& path : std::as_const(paths)) {
        const QString clean = QDir::cleanPath(path);
        if (!seen.contains(clean) && Wanted(KeyOf(clean))) {
            seen.insert(clean);
            wanted << clean;
        }
    }
    return wanted;
}

void TWatchFolder::AddWatches(const QString& relDir)
{
    const QString dir = FDir + relDir;
    for (const QString& excluded : std::as_const(FConfig.ExcludeDirs)) {
        if (dir.startsWith(excluded))
            return;
    }
    const int wd = ::inotify_add_watch(FInotify, FileNameToBytes(dir).constData(), WatchEvents);
    if (wd < 0)
        return;
    if (relDir.isEmpty())
        FRootWatch = wd;
    FWatches.insert(wd, relDir);
    if (!FConfig.SubDirs)
        return;
    // Read by bytes, so that subfolders with names that are not UTF-8 are watched too.
    QStringList subDirs;
    if (DIR* d = ::opendir(FileNameToBytes(dir).constData())) {
        while (const dirent* e = ::readdir(d)) {
            const QByteArrayView raw(e->d_name);
            if (raw == "." || raw == "..")
                continue;
            const QString sub = FileNameFromBytes(raw);
            struct stat st = {};
            if (::stat(FileNameToBytes(QString(dir + sub)).constData(), &st) == 0 && S_ISDIR(st.st_mode))
                subDirs.append(sub);
        }
        ::closedir(d);
    }
    for (const QString& sub : subDirs)
        AddWatches(relDir + sub + u'/');
}

TWatchFolder::TWait TWatchFolder::Wait(int wakeFd, int timeoutMs)
{
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        CheckQuiet();
        if (!FReady.empty() && Now() >= FHoldUntil)
            return TWait::Ready;
        if (FVanished)
            return TWait::Vanished;
        const qint64 nextScan = ScanNeeded() ? FNextScan : std::numeric_limits<qint64>::max();
        // Idle where the kernel reports every change: no wake-up at all.
        qint64 wait = std::max<qint64>(0, std::min(nextScan, NextQuietCheck()) - Now());
        if (!FReady.empty())
            wait = std::min<qint64>(wait, std::max<qint64>(0, FHoldUntil - Now()));
        if (timeoutMs >= 0)
            wait = std::min<qint64>(wait, std::max<qint64>(0, timeoutMs - waited.elapsed()));
        pollfd fds[2] = {{FInotify, POLLIN, 0}, {wakeFd, POLLIN, 0}};
        const int n = ::poll(fds, wakeFd >= 0 ? 2 : 1, wait > INT_MAX ? -1 : static_cast<int>(wait));
        if (n > 0 && (fds[1].revents & POLLIN) && wakeFd >= 0)
            return TWait::Woken;
        if (n > 0 && (fds[0].revents & POLLIN))
            ReadEvents();
        if (Now() >= FNextScan && ScanNeeded())
            Scan();
        if ((FReady.empty() || Now() < FHoldUntil) && !FVanished && timeoutMs >= 0 && waited.elapsed() >= timeoutMs)
            return TWait::Woken;
    }
}

void TWatchFolder::ReadEvents()
{
    alignas(inotify_event) char buffer[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(FInotify, buffer, sizeof buffer);
        if (got <= 0)
            return;
        for (ssize_t at = 0; at < got;) {
            const auto* ev = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
            if (ev->mask & IN_Q_OVERFLOW) {
                // Events were lost: look at everything now.
                FNextScan = 0;
                FFullScan = true;
                continue;
            }
            if (ev->wd == FRootWatch && (ev->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT))) {
                FVanished = true;
                continue;
            }
            if (ev->mask & IN_IGNORED) {
                FWatches.remove(ev->wd);
                continue;
            }
            const auto dir = FWatches.constFind(ev->wd);
            if (ev->len == 0 || dir == FWatches.cend())
                continue;
            const char* name = ev->name; // a flexible array member, NUL-padded
            const QString key = *dir + FileNameFromBytes(QByteArrayView(name, qstrlen(name)));
            if (ev->mask & IN_ISDIR) {
                if (FConfig.SubDirs && (ev->mask & (IN_CREATE | IN_MOVED_TO))) {
                    AddWatches(key + u'/');
                    // Files may have arrived before the watch did.
                    FNextScan = 0;
                    FFullScan = true;
                }
                continue;
            }
            if (FLists.contains(FDir + key) && (ev->mask & (IN_CLOSE_WRITE | IN_MOVED_TO))) {
                FNextScan = 0;
                FFullScan = true;
            }
            if (!Wanted(key))
                continue;
            if (ev->mask & (IN_DELETE | IN_MOVED_FROM)) {
                FPending.remove(key);
                FStateDirty |= FState.Remove(key);
            } else if (ev->mask & (IN_CLOSE_WRITE | IN_MOVED_TO)) {
                Consider(key);
            } else if (ev->mask & IN_CREATE) {
                // A name that appears without an open (a hard link, a file
                // written unnamed and linked in) sees no close: the settle
                // rule decides, unless the open of its writer follows.
                TPending& p = FPending[key];
                p.Created = true;
                p.LastEvent = Now();
            } else if (ev->mask & IN_OPEN) {
                const auto it = FPending.find(key);
                if (it != FPending.end() && it->Created) {
                    it->Created = false;
                    it->Tracked = true;
                }
            } else if (ev->mask & IN_MODIFY) {
                // Written again before its turn came: wait for this close. A
                // refused file that changes is a new try.
                Unqueue(key);
                TPending& p = FPending[key];
                p.Tracked = true;
                p.Closed = false;
                p.LastEvent = Now();
                p.Attempt = 1;
            }
        }
    }
}

bool TWatchFolder::Skipped(const QString& key, const TFileStamp& stamp) const
{
    if (stamp.Size < 0 || FState.IsDone(key, stamp))
        return true;
    const auto failed = FFailed.constFind(key);
    return failed != FFailed.cend() && *failed == stamp;
}

void TWatchFolder::Unqueue(const QString& key)
{
    if (FQueued.remove(key))
        FReady.erase(std::find_if(FReady.begin(), FReady.end(), [&](const TArrival& a) { return a.Key == key; }));
}

void TWatchFolder::Consider(const QString& key)
{
    // Closed after writing or moved in: complete once it stays quiet. Also a
    // done file of the same size and time, which may have new content (its
    // digest tells when its turn comes).
    const TFileStamp stamp = StampOf(FDir + key);
    Unqueue(key);
    if (stamp.Size < 0) {
        FPending.remove(key);
        return;
    }
    TPending& p = FPending[key];
    p.Seen = stamp;
    // The quiet time runs from the last change, as far as that is known:
    // files written earlier and moved in go at once, so a burst of them waits
    // for nobody; a file just closed waits the whole quiet time.
    const qint64 age = QDateTime::currentMSecsSinceEpoch() - stamp.MTimeNs / 1000000;
    // Never before the quiet time of a file closed earlier: files closed in
    // a row keep their order, also when the clock of their times is coarse.
    p.SeenAt = std::max(Now() - std::clamp<qint64>(age, 0, FConfig.QuietMs), FLastQuietStart);
    FLastQuietStart = p.SeenAt;
    p.LastEvent = Now();
    p.Tracked = false;
    p.Created = false;
    p.Closed = true;
    p.Order = ++FCloseCount;
}

void TWatchFolder::CheckQuiet()
{
    const qint64 now = Now();
    QList<std::pair<quint64, QString>> quiet;
    for (auto it = FPending.begin(); it != FPending.end();) {
        if (!it->Closed || now - it->SeenAt < FConfig.QuietMs) {
            ++it;
            continue;
        }
        // Changed since the close without an event seen yet (another machine
        // writing into a network folder): the quiet time starts again.
        const TFileStamp stamp = StampOf(FDir + it.key());
        if (stamp.Size < 0) {
            it = FPending.erase(it);
            continue;
        }
        if (stamp != it->Seen) {
            it->Seen = stamp;
            it->SeenAt = now;
        } else {
            quiet.append({it->Order, it.key()});
        }
        ++it;
    }
    // In the order they were closed.
    std::sort(quiet.begin(), quiet.end());
    for (const auto& [order, key] : std::as_const(quiet)) {
        const TPending p = FPending.take(key);
        Enqueue(key, p.Seen, p.Attempt);
    }
}

bool TWatchFolder::ScanNeeded() const
{
    if (FNetwork || FFullScan || !FLists.isEmpty())
        return true;
    return std::any_of(FPending.cbegin(), FPending.cend(), [](const TPending& p) { return !p.Closed; });
}

qint64 TWatchFolder::NextQuietCheck() const
{
    qint64 next = std::numeric_limits<qint64>::max();
    for (const TPending& p : FPending) {
        if (p.Closed)
            next = std::min(next, p.SeenAt + FConfig.QuietMs);
    }
    return next;
}

void TWatchFolder::Enqueue(const QString& key, const TFileStamp& stamp, int attempt)
{
    if (FQueued.contains(key))
        return;
    FQueued.insert(key);
    FReady.push_back({FDir + key, key, stamp, attempt, {}, 0});
}

void TWatchFolder::Scan()
{
    const qint64 interval = std::clamp<qint64>(FConfig.SettleMs / 4, 100, 1000);
    FNextScan = Now() + interval;
    const bool full = FNetwork || FFullScan;
    FFullScan = false;
    if (!QFileInfo(FDir).isDir()) {
        FVanished = true;
        return;
    }
    bool listsChanged = false;
    for (auto it = FLists.cbegin(); it != FLists.cend(); ++it)
        listsChanged |= StampOf(it.key()) != it.value();
    if (listsChanged) {
        FLists.clear();
        ReadField();
    }

    // Files that settled in this scan go in by their modification time: the
    // nearest thing to their arrival that a scan can know.
    QList<TArrival> settled;
    const qint64 now = Now();
    QStringList candidates;
    if (full) {
        candidates = FindFiles();
    } else {
        for (auto it = FPending.cbegin(); it != FPending.cend(); ++it) {
            if (!it->Closed)
                candidates << FDir + it.key();
        }
    }
    for (const QString& path : std::as_const(candidates)) {
        const QString key = KeyOf(path);
        if (FQueued.contains(key))
            continue;
        auto it = FPending.find(key);
        // A closed file waits for its quiet time (CheckQuiet).
        if (it != FPending.end() && it->Closed)
            continue;
        const TFileStamp stamp = StampOf(path);
        if (Skipped(key, stamp)) {
            FPending.remove(key);
            continue;
        }
        if (it == FPending.end()) {
            FPending.insert(key, {stamp, now, now, false, false, 1, false, 0});
            continue;
        }
        if (it->Tracked && now - it->LastEvent < TrackedQuietMs)
            continue;
        if (it->Seen != stamp) {
            it->Seen = stamp;
            it->SeenAt = now;
            it->Attempt = 1;
        } else if (now - it->SeenAt >= FConfig.SettleMs) {
            settled.append({path, key, stamp, it->Attempt, {}, 0});
            FPending.erase(it);
        }
    }
    std::stable_sort(settled.begin(), settled.end(),
                     [](const TArrival& a, const TArrival& b) { return a.Stamp.MTimeNs < b.Stamp.MTimeNs; });
    for (const TArrival& a : std::as_const(settled))
        Enqueue(a.Key, a.Stamp, a.Attempt);
    if (FStateDirty)
        SaveState();
}

bool TWatchFolder::TakeNext(TArrival& file)
{
    while (!FReady.empty()) {
        file = FReady.front();
        FReady.pop_front();
        FQueued.remove(file.Key);
        // It may have changed or gone since it was queued: a changed file
        // waits for its quiet time again.
        const TFileStamp now = StampOf(file.Path);
        if (now.Size < 0)
            continue;
        if (now != file.Stamp) {
            FPending[file.Key] = {now, Now(), Now(), false, false, 1, true, ++FCloseCount};
            continue;
        }
        const auto failed = FFailed.constFind(file.Key);
        if (failed != FFailed.cend() && *failed == now)
            continue;
        // Printed before: printed again only when the content changed; a new
        // time or a rewrite with the same bytes is only recorded.
        if (const TDoneFile* done = FState.Done(file.Key)) {
            if (done->Digest.isEmpty() && done->Stamp == now)
                continue;
            file.Digest = ContentDigest(file.Path);
            if (!done->Digest.isEmpty() && file.Digest == done->Digest) {
                const QStringList jobs = done->JobIds;
                FState.Record(file.Key, now, file.Digest, jobs);
                if (!FState.Commit(file.Key, nullptr))
                    FStateDirty = true;
                continue;
            }
        }
        return true;
    }
    return false;
}

bool TWatchFolder::BeginHandover(TArrival& file, const QString& destination, QString* error)
{
    file.HandedOverMs = QDateTime::currentMSecsSinceEpoch();
    const TIntent intent{file.Stamp, file.Digest, file.HandedOverMs, destination};
    // What an earlier failure left unsaved goes first.
    if ((FStateDirty && !FState.Save(error, true)) || !FState.CommitIntent(file.Key, intent, error)) {
        FStateDirty = true;
        FQueued.insert(file.Key);
        FReady.push_front(file);
        FHoldUntil = Now() + 1000;
        return false;
    }
    FStateDirty = false;
    // The digest of a first print is taken while the print program runs:
    // for a large file it costs as much as a fast print program's start.
    if (file.Digest.isEmpty()) {
        TakeDigest(FDigestKey, false); // one left untaken belongs to no handover now
        FDigestKey = file.Key;
        FDigestCancel = std::make_shared<std::atomic<bool>>(false);
        auto digest = std::make_shared<std::promise<QByteArray>>();
        FDigest = digest->get_future();
        FDigestThread.start([digest, path = file.Path, cancel = FDigestCancel] {
            digest->set_value(ContentDigest(path, cancel.get()));
        });
    }
    return true;
}

QByteArray TWatchFolder::TakeDigest(const QString& key, bool wanted)
{
    // With jobs followed the next handover may begin before this one ends:
    // a file takes only its own digest.
    if (!FDigest.valid() || key != FDigestKey)
        return {};
    // A refused file is not read to its end: a huge one would hold the folder up.
    if (!wanted)
        FDigestCancel->store(true);
    return FDigest.get();
}

void TWatchFolder::HandoverEnded(TArrival& file)
{
    const QByteArray taken = TakeDigest(file.Key, true);
    if (file.Digest.isEmpty() && StampOf(file.Path) == file.Stamp)
        file.Digest = taken;
}

bool TWatchFolder::Printed(const TArrival& file, bool movedAway, const QStringList& jobIds, QString* error)
{
    FFailed.remove(file.Key);
    if (movedAway) {
        TakeDigest(file.Key, false);
        FState.Remove(file.Key);
        // The intent goes with the removal, in one whole save.
        FState.DropIntent(file.Key, nullptr);
        FStateDirty = true;
    } else {
        // The digest of what was printed, unless it changed meanwhile (then
        // the new version comes again, and its stamp tells).
        const QByteArray taken = TakeDigest(file.Key, true);
        const QByteArray digest = !file.Digest.isEmpty() || StampOf(file.Path) != file.Stamp ? file.Digest : taken;
        FState.Record(file.Key, file.Stamp, digest, jobIds);
    }
    // After every file, so a kill costs at most the file being handed over;
    // waiting for the disk each time would cost as much as the print itself.
    if (FStateDirty ? !FState.Save(error, true) : !FState.Commit(file.Key, error)) {
        FStateDirty = true;
        return false;
    }
    FStateDirty = false;
    return true;
}

bool TWatchFolder::Refused(const TArrival& file)
{
    TakeDigest(file.Key, false);
    if (!FState.DropIntent(file.Key, nullptr))
        FStateDirty = true;
    if (file.Attempt > 1)
        return false;
    // Handed over again once its size and time have held for the settle time.
    FPending.insert(file.Key, {file.Stamp, Now(), Now(), false, false, file.Attempt + 1, false, 0});
    return true;
}

void TWatchFolder::Failed(const TArrival& file)
{
    // Its jobs may be in the spooler (aborted): a restart must not take them for a print.
    if (!FState.DropIntent(file.Key, nullptr))
        FStateDirty = true;
    TakeDigest(file.Key, false);
    FPending.remove(file.Key);
    FFailed.insert(file.Key, file.Stamp);
}

bool TWatchFolder::SaveRecovered(QString* error)
{
    FHoldSave = false;
    if (!FStateDirty)
        return true;
    if (!FState.Save(error, true))
        return false;
    FStateDirty = false;
    return true;
}

void TWatchFolder::SaveState()
{
    if (FHoldSave)
        return;
    QString error;
    if (FState.Save(&error, true))
        FStateDirty = false;
    else
        FMessages << error;
}

bool TWatchFolder::Flush(QString* error)
{
    if (!FState.Save(error))
        return false;
    FStateDirty = false;
    return true;
}

QStringList TWatchFolder::TakeMessages()
{
    QStringList messages;
    messages.swap(FMessages);
    return messages;
}
