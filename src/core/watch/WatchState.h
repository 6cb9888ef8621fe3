#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <atomic>

// What a watch remembers of a folder: the files it handed over, each with the
// version and content it printed, and the handovers it began (their intents),
// in a state file per folder and field that grows by a line per change.

// What identifies one version of a file: a replaced file differs here.
struct TFileStamp
{
    qint64 Size = -1;
    qint64 MTimeNs = 0;
    bool operator==(const TFileStamp&) const = default;
};

// The stamp of a regular file (links followed); Size -1 when there is none.
TFileStamp StampOf(const QString& path);

// The SHA-256 of a file's content in hex; empty when it cannot be read, or
// when *cancel became true meanwhile.
QByteArray ContentDigest(const QString& path, const std::atomic<bool>* cancel = nullptr);

// A done file: the version printed (or left alone) and its content.
struct TDoneFile
{
    TFileStamp Stamp;
    QByteArray Digest;  // empty: not known (the stamp alone tells)
    QStringList JobIds; // the spooler's jobs for it ("QUEUE-N")
};

// A handover that was begun: recorded before the print program starts.
struct TIntent
{
    TFileStamp Stamp;
    QByteArray Digest;
    qint64 StartedMs = 0; // since the epoch
    QString Destination;  // the printer handed to the print program
};

// The files a watch has done (printed, moved away or there when the first
// watch started), as names relative to the folder with their stamps. The file
// is replaced atomically on each save; a torn or foreign file is refused.
class TWatchState
{
public:
    // Where the state of a watch of folder (absolute) and field lives below
    // dataDir: one file per folder and field.
    static QString FileNameFor(const QString& dataDir, const QString& folder, const QString& field);

    // Reads the file; a missing one is an empty state (Existed() false).
    bool Load(const QString& fileName, const QString& folder, const QString& field, QString* error);
    // quick: without waiting for the disk (see SaveToFileQuickly).
    bool Save(QString* error, bool quick = false);
    // Makes the record of key (done, or no longer) last, quickly: one line
    // appended, or the whole file saved again now and then.
    bool Commit(const QString& key, QString* error);
    bool Existed() const { return FExisted; }

    bool IsDone(const QString& key, const TFileStamp& stamp) const;
    // The done record of key, or nullptr.
    const TDoneFile* Done(const QString& key) const;
    // Records key as done; an intent for it is settled by that.
    void Record(const QString& key, const TFileStamp& stamp, const QByteArray& digest = {},
                const QStringList& jobIds = {});
    bool Remove(const QString& key);
    QStringList Keys() const { return FDone.keys(); }

    // Records the intent and appends it to the file at once.
    bool CommitIntent(const QString& key, const TIntent& intent, QString* error);
    // The handover of key ended without a print: its intent is dropped, and that appended.
    bool DropIntent(const QString& key, QString* error);
    // Intents without a result: handovers a kill cut short.
    const QHash<QString, TIntent>& Intents() const { return FIntents; }

private:
    QString FFileName;
    QString FFolder;
    QString FField;
    QByteArray RecordLine(const QString& key) const;
    bool AppendLine(const QByteArray& line, QString* error);

    bool FExisted = false;
    bool FNeedsSave = false; // an append failed: what it left must be replaced
    qsizetype FRecords = 0;  // lines in the file after its head
    QHash<QString, TDoneFile> FDone;
    QHash<QString, TIntent> FIntents;
};
