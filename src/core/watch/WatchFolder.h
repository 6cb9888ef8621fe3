#pragma once

#include "watch/WatchState.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QThreadPool>

#include <deque>
#include <functional>
#include <future>
#include <memory>

// A watched folder ("hot folder"): tells which files have arrived complete, in
// the order they arrived, and remembers in a state file which ones are done,
// so that each file is handed over once, also across restarts.
//
// A file counts as complete when its writer closed it (inotify close after
// write) or when it was moved in, and it has then not changed for the quiet
// time: writers that append in pieces close the file in between. Files the
// kernel reports nothing about (written on another machine into a network
// folder, or found on a restart) are found by a periodic scan and count as
// complete once their size and modification time have not changed for the
// settle time.
//
// Each handover is recorded twice: its intent before the print program
// starts and its result after it ended, so that a restart after a kill can
// ask the spooler whether the job exists instead of printing it again.

// What the spooler says about a handover that a kill cut short.
struct TJobLookup
{
    bool Asked = false; // false: the spooler could not be asked
    QStringList JobIds; // the matching jobs ("QUEUE-N"); empty: none
};
// Asks the spooler for the jobs of intent (file: its absolute path).
using TJobFinder = std::function<TJobLookup(const QString& file, const TIntent& intent)>;

// A handover found in the spooler after a restart: recorded as printed.
struct TRecovered
{
    QString Path;
    TIntent Intent;
    QStringList JobIds;
};

struct TWatchConfig
{
    QString Dir;   // absolute
    QString Field; // names, masks and print lists separated by ";"
    bool SubDirs = false;
    int SettleMs = 2000;
    // Without it the files there at the first start are recorded as done.
    bool IncludeExisting = false;
    QStringList ExcludeDirs; // absolute; nothing below them is watched (the move targets)
    QString StateDir;        // where the state files live
    // A closed or moved-in file is complete when it has not changed for this long.
    int QuietMs = 1500;
    // Asks the spooler about handovers a kill cut short; without it they are handed over again.
    TJobFinder FindJobs;
};

// A complete file to hand over.
struct TArrival
{
    QString Path; // absolute
    QString Key;  // relative to the watched folder
    TFileStamp Stamp;
    int Attempt = 1;
    QByteArray Digest;       // known when an earlier version was done
    qint64 HandedOverMs = 0; // since the epoch; set by BeginHandover
};


class TWatchFolder
{
public:
    explicit TWatchFolder(TWatchConfig config);
    ~TWatchFolder();
    TWatchFolder(const TWatchFolder&) = delete;
    TWatchFolder& operator=(const TWatchFolder&) = delete;

    // Takes the folder's lock, sets up the watches, reads the state, settles
    // the handovers a kill cut short and looks at what is there. False with
    // *error when the folder is missing or cannot be watched, or another
    // watch of the same folder and field runs.
    bool Start(QString* error);

    // What Start found: files there before the first start that are left
    // alone, files left alone as done by an earlier run, files to print
    // that are there already (among them handovers a kill cut short that
    // the spooler does not know).
    int LeftAlone() const { return FLeftAlone; }
    int DoneBefore() const { return FDoneBefore; }
    int Resumed() const { return FResumed; }
    bool Restarted() const { return FRestarted; }
    // Handovers of an earlier run found in the spooler.
    QList<TRecovered> TakeRecovered();
    // Once their report records are written: saves them as printed. Until
    // then the state keeps their intents, so a kill before the records are
    // written leaves them to be found again. False with *error when the
    // state could not be saved (the next BeginHandover tries again).
    bool SaveRecovered(QString* error);

    enum class TWait
    {
        Ready,    // TakeNext has a file
        Woken,    // wakeFd became readable or the time ran out
        Vanished, // the folder is gone
    };
    // Waits for a complete file, for wakeFd (-1: none) or for timeoutMs (-1: no limit).
    TWait Wait(int wakeFd, int timeoutMs = -1);
    // The next complete file in arrival order; false when none is waiting.
    bool TakeNext(TArrival& file);

    // Records the intent before the print program starts. False with *error
    // when the state cannot be written: then the file is not handed over, it
    // waits at the front, and Wait holds the files back for a while.
    bool BeginHandover(TArrival& file, const QString& destination, QString* error);
    // When its print program ended and its jobs are followed to their end:
    // keeps the content digest with the file for its Printed, later.
    void HandoverEnded(TArrival& file);
    // After the handover. Printed and moved-away files are not handed over
    // again; the state is saved before these return (false with *error when
    // it could not be; the next BeginHandover tries again).
    bool Printed(const TArrival& file, bool movedAway, const QStringList& jobIds, QString* error);
    // The print program refused the file: true when it is handed over once
    // more after it settles again, false when this was the last attempt.
    bool Refused(const TArrival& file);
    // A file that failed for good: not handed over again in this run unless
    // it changes (a restart tries it again unless it was moved away).
    void Failed(const TArrival& file);

    // Saves the state and waits for the disk; at the end of a watch.
    bool Flush(QString* error);

    // Messages about print lists in the field (unreadable, entries outside the folder).
    QStringList TakeMessages();
    QString Dir() const { return FDir; }
    QString StateFileName() const;
    QString LockFileName() const;

private:
    struct TPending
    {
        TFileStamp Seen;
        qint64 SeenAt = 0;
        qint64 LastEvent = 0;
        bool Tracked = false; // the kernel reports its writes: wait for the close
        bool Created = false; // its name appeared; tracked when an open follows
        int Attempt = 1;
        bool Closed = false; // closed or moved in: complete once quiet
        quint64 Order = 0;   // of the close, for the arrival order
    };
    struct TMask
    {
        QString Dir; // relative, with a trailing "/" or empty
        QString Name;
    };

    qint64 Now() const { return FClock.elapsed(); }
    void ReadField();
    bool Wanted(const QString& key) const;
    QString KeyOf(const QString& path) const;
    QStringList FindFiles();
    void AddWatches(const QString& relDir);
    void ReadEvents();
    void Scan();
    void Consider(const QString& key);
    void Unqueue(const QString& key);
    void Enqueue(const QString& key, const TFileStamp& stamp, int attempt);
    bool Skipped(const QString& key, const TFileStamp& stamp) const;
    void SaveState();
    bool TakeLock(QString* error);
    void Recover();
    void CheckQuiet();
    qint64 NextQuietCheck() const;

    TWatchConfig FConfig;
    QString FDir; // with a trailing "/"
    QList<TMask> FMasks;
    QSet<QString> FListKeys;
    QHash<QString, TFileStamp> FLists; // print lists of the field and their stamps when read
    QStringList FMessages;
    TWatchState FState;
    bool FStateDirty = false;
    QHash<QString, TPending> FPending;
    std::deque<TArrival> FReady;
    QSet<QString> FQueued;
    QHash<QString, TFileStamp> FFailed;
    QHash<int, QString> FWatches; // watch descriptor -> relative directory
    int FInotify = -1;
    int FRootWatch = -1;
    bool FVanished = false;
    QElapsedTimer FClock;
    qint64 FNextScan = 0;
    // Where the kernel reports every change (not a network file system), a
    // scan looks at the files still settling only, unless events were lost.
    bool FNetwork = false;
    bool FFullScan = true;
    bool ScanNeeded() const;
    quint64 FCloseCount = 0;
    qint64 FLastQuietStart = 0; // the latest quiet-time start given to a closed file
    qint64 FHoldUntil = 0; // no file is handed over before (the state could not be written)
    bool FHoldSave = false; // recovered handovers wait for their report records (SaveRecovered)
    // The digest of the file being handed over, taken beside its print program.
    QThreadPool FDigestThread;
    std::shared_ptr<std::atomic<bool>> FDigestCancel;
    std::future<QByteArray> FDigest;
    QString FDigestKey; // the file whose digest FDigest is
    QByteArray TakeDigest(const QString& key, bool wanted);
    int FLock = -1;
    int FLeftAlone = 0;
    int FDoneBefore = 0;
    int FResumed = 0;
    bool FRestarted = false;
    QList<TRecovered> FRecovered;
};
