#include "watch/WatchState.h"

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

constexpr char StateMagic[] = "morvane-watch-state 2";
constexpr char StateMagicV1[] = "morvane-watch-state 1";

QString Tr(const char* key, const QString& a)
{
    return FillPlaceholders(TrDefault(key), {a});
}

// Names keep their own bytes (see FileNameBytes), so that a name that is not
// UTF-8 is known again after a restart.
QByteArray EscapeKey(const QString& key)
{
    QByteArray out;
    for (const char c : FileNameToBytes(key)) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out;
}

// A field before the name: no tab in it either.
QByteArray EscapeField(const QString& text)
{
    return EscapeKey(text).replace('\t', "\\t");
}

QByteArray IntentLine(const QString& key, const TIntent& intent)
{
    return "I\t" + QByteArray::number(intent.Stamp.Size) + '\t' + QByteArray::number(intent.Stamp.MTimeNs) + '\t' +
           (intent.Digest.isEmpty() ? QByteArray("-") : intent.Digest) + '\t' + QByteArray::number(intent.StartedMs) +
           '\t' + EscapeField(intent.Destination) + '\t' + EscapeKey(key) + '\n';
}

QString UnescapeKey(const QByteArray& text)
{
    QByteArray out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            const char next = text[++i];
            out += next == 'n' ? '\n' : next == 'r' ? '\r' : next == 't' ? '\t' : next;
        } else {
            out += text[i];
        }
    }
    return FileNameFromBytes(out);
}

} // namespace

TFileStamp StampOf(const QString& path)
{
    struct stat st = {};
    if (::stat(FileNameToBytes(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return {};
    return {static_cast<qint64>(st.st_size), static_cast<qint64>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

QByteArray ContentDigest(const QString& path, const std::atomic<bool>* cancel)
{
    const int fd = ::open(FileNameToBytes(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    char buffer[256 * 1024];
    bool ok = true;
    for (;;) {
        if (cancel && cancel->load(std::memory_order_relaxed)) {
            ok = false;
            break;
        }
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            ok = got == 0;
            break;
        }
        hash.addData(QByteArrayView(buffer, got));
    }
    ::close(fd);
    return ok ? hash.result().toHex() : QByteArray();
}
// ---- TWatchState ----------------------------------------------------------

QString TWatchState::FileNameFor(const QString& dataDir, const QString& folder, const QString& field)
{
    const QByteArray id = (folder + QChar(0) + field).toUtf8();
    const QByteArray hash = QCryptographicHash::hash(id, QCryptographicHash::Sha256).toHex().left(20);
    return DirectoryWithDelimiter(dataDir) + u"watch-"_s + QString::fromLatin1(hash) + u".state"_s;
}

bool TWatchState::Load(const QString& fileName, const QString& folder, const QString& field, QString* error)
{
    FFileName = fileName;
    FFolder = folder;
    FField = field;
    FDone.clear();
    FIntents.clear();
    FRecords = 0;
    FNeedsSave = false;
    FExisted = QFileInfo::exists(fileName);
    if (!FExisted)
        return true;
    QByteArray bytes;
    if (!LoadFromFile(fileName, bytes, error))
        return false;
    QList<QByteArray> lines = bytes.split('\n');
    // Saved whole by a rename, then grown one line per file; so a last line
    // without its line end is an append that a crash cut short (its file is
    // printed again), and anything else is damage: refuse rather than print
    // everything again.
    if (lines.size() >= 4 && !lines.last().isEmpty())
        lines.last().clear();
    // Version 1 knew done files by size and time only.
    const bool v1 = !lines.isEmpty() && lines[0] == StateMagicV1;
    const bool valid = lines.size() >= 4 && (lines[0] == StateMagic || v1) && lines[1].startsWith("folder\t") &&
                       lines[2].startsWith("field\t") && lines.last().isEmpty();
    const auto damaged = [&] {
        if (error)
            *error = Tr("the state file %s is damaged or belongs to another watch", fileName);
        return false;
    };
    if (!valid || UnescapeKey(lines[1].mid(7)) != folder || UnescapeKey(lines[2].mid(6)) != field)
        return damaged();
    for (qsizetype i = 3; i + 1 < lines.size(); ++i) {
        const QByteArray& line = lines[i];
        // The fields before the name; a tab in a file name splits it further,
        // so the name is the rest of the line.
        const auto fields = [&](int count, QList<QByteArray>& parts, QString& key) {
            parts = line.split('\t');
            if (parts.size() <= count)
                return false;
            qsizetype at = 0;
            for (int f = 0; f < count; ++f)
                at += parts[f].size() + 1;
            parts.resize(count);
            key = UnescapeKey(line.mid(at));
            return true;
        };
        QList<QByteArray> parts;
        QString key;
        bool ok = true;
        const auto number = [&](const QByteArray& text) {
            bool good = false;
            const qint64 n = text.toLongLong(&good);
            ok &= good;
            return n;
        };
        if (v1) {
            if (!fields(2, parts, key))
                return damaged();
            if (parts[0] == "-" && parts[1] == "-")
                FDone.remove(key);
            else
                FDone.insert(key, {{number(parts[0]), number(parts[1])}, {}, {}});
        } else if (line.startsWith("D\t")) {
            if (!fields(5, parts, key))
                return damaged();
            const QByteArray jobs = UnescapeKey(parts[4]).toUtf8();
            FDone.insert(key, {{number(parts[1]), number(parts[2])},
                               parts[3] == "-" ? QByteArray() : parts[3],
                               jobs == "-" ? QStringList() : QString::fromUtf8(jobs).split(u',')});
            FIntents.remove(key);
        } else if (line.startsWith("I\t")) {
            if (!fields(6, parts, key))
                return damaged();
            FIntents.insert(key, {{number(parts[1]), number(parts[2])},
                                  parts[3] == "-" ? QByteArray() : parts[3],
                                  number(parts[4]),
                                  UnescapeKey(parts[5])});
        } else if (line.startsWith("-\t") || line.startsWith("X\t")) {
            if (!fields(1, parts, key))
                return damaged();
            if (parts[0] == "-")
                FDone.remove(key);
            else
                FIntents.remove(key);
        } else {
            return damaged();
        }
        if (!ok)
            return damaged();
        ++FRecords;
    }
    return true;
}

bool TWatchState::Save(QString* error, bool quick)
{
    QByteArray bytes =
        QByteArray(StateMagic) + '\n' + "folder\t" + EscapeKey(FFolder) + '\n' + "field\t" + EscapeKey(FField) + '\n';
    for (auto it = FDone.cbegin(); it != FDone.cend(); ++it)
        bytes += RecordLine(it.key());
    for (auto it = FIntents.cbegin(); it != FIntents.cend(); ++it)
        bytes += IntentLine(it.key(), *it);
    if (!(quick ? SaveToFileQuickly(FFileName, bytes, error) : SaveToFile(FFileName, bytes, error))) {
        FNeedsSave = true;
        return false;
    }
    FExisted = true;
    FNeedsSave = false;
    FRecords = FDone.size() + FIntents.size();
    return true;
}

QByteArray TWatchState::RecordLine(const QString& key) const
{
    const auto it = FDone.constFind(key);
    if (it == FDone.cend())
        return "-\t" + EscapeKey(key) + '\n';
    const QByteArray jobs = it->JobIds.isEmpty() ? QByteArray("-") : EscapeField(it->JobIds.join(u','));
    return "D\t" + QByteArray::number(it->Stamp.Size) + '\t' + QByteArray::number(it->Stamp.MTimeNs) + '\t' +
           (it->Digest.isEmpty() ? QByteArray("-") : it->Digest) + '\t' + jobs + '\t' + EscapeKey(key) + '\n';
}

bool TWatchState::AppendLine(const QByteArray& line, QString* error)
{
    // Rewriting the whole file for every file printed made a long run cost
    // the square of its length, and each rename over the old file made the
    // file system write out the new one at once. One line appended is enough;
    // the file is written whole again when the lines outnumber the records,
    // and after a failed append, whatever part of its line was written.
    if (!FExisted || FNeedsSave || FRecords >= 2 * (FDone.size() + FIntents.size()) + 64)
        return Save(error, true);
    if (!AppendToFileQuickly(FFileName, line, error)) {
        FNeedsSave = true;
        return false;
    }
    ++FRecords;
    return true;
}

bool TWatchState::Commit(const QString& key, QString* error)
{
    return AppendLine(RecordLine(key), error);
}

bool TWatchState::CommitIntent(const QString& key, const TIntent& intent, QString* error)
{
    FIntents.insert(key, intent);
    return AppendLine(IntentLine(key, intent), error);
}

bool TWatchState::DropIntent(const QString& key, QString* error)
{
    if (!FIntents.remove(key))
        return true;
    return AppendLine("X\t" + EscapeKey(key) + '\n', error);
}

bool TWatchState::IsDone(const QString& key, const TFileStamp& stamp) const
{
    const auto it = FDone.constFind(key);
    return it != FDone.cend() && it->Stamp == stamp;
}

const TDoneFile* TWatchState::Done(const QString& key) const
{
    const auto it = FDone.constFind(key);
    return it == FDone.cend() ? nullptr : &*it;
}

void TWatchState::Record(const QString& key, const TFileStamp& stamp, const QByteArray& digest,
                         const QStringList& jobIds)
{
    FDone.insert(key, {stamp, digest, jobIds});
    FIntents.remove(key);
}

bool TWatchState::Remove(const QString& key)
{
    return FDone.remove(key);
}

