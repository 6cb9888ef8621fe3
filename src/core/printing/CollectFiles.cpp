#include "printing/CollectFiles.h"

#include "util/FileNameBytes.h"
#include "util/NameOrder.h"
#include "util/StrUtils.h"

#include <QFile>
#include <QVarLengthArray>

#include <algorithm>
#include <set>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Match of folded strings: '*' any run, '?' one character. A run of '?' that
// ends the mask or stands before a '.' may also match fewer characters, but
// only where the name ends or has a '.' ("q1?.pdf" matches "q1.pdf").
bool MatchFolded(QStringView name, QStringView mask)
{
    const qsizetype n = name.size();
    const qsizetype m = mask.size();
    // shortQ[j]: the '?' at j belongs to a run that ends the mask or a '.' follows.
    QVarLengthArray<bool, 64> shortQ(m);
    std::fill(shortQ.begin(), shortQ.end(), false);
    for (qsizetype j = m - 1; j >= 0; --j) {
        if (mask[j] == u'?')
            shortQ[j] = j + 1 == m || mask[j + 1] == u'.' || (mask[j + 1] == u'?' && shortQ[j + 1]);
    }
    // next[i]: name from i matches mask from j + 1; cur[i]: from j. Built from the ends.
    QVarLengthArray<bool, 256> columnA(n + 1), columnB(n + 1);
    bool* next = columnA.data();
    bool* cur = columnB.data();
    std::fill(next, next + n, false);
    next[n] = true;
    for (qsizetype j = m - 1; j >= 0; --j) {
        const QChar c = mask[j];
        for (qsizetype i = n; i >= 0; --i) {
            if (c == u'*')
                cur[i] = next[i] || (i < n && cur[i + 1]);
            else if (c == u'?')
                cur[i] = (i < n && next[i + 1]) || (shortQ[j] && (i == n || name[i] == u'.') && next[i]);
            else
                cur[i] = i < n && name[i] == c && next[i + 1];
        }
        std::swap(cur, next);
    }
    return next[0];
}

// A mask prepared once for many names.
class Mask
{
public:
    explicit Mask(const QString& mask) : m_mask(mask.toCaseFolded())
    {
        if (m_mask.endsWith(QStringLiteral(".*"))) {
            m_withoutExtension = m_mask.chopped(2);
            m_extensionOptional = true;
        } else if (m_mask.endsWith(u'.')) {
            m_mask.chop(1);
            m_noExtension = true;
        }
    }

    bool matches(const QString& name) const
    {
        if (m_mask.isEmpty() && !m_noExtension)
            return false;
        const QString folded = name.toCaseFolded();
        if (m_noExtension)
            return !folded.contains(u'.') && MatchFolded(folded, m_mask);
        return MatchFolded(folded, m_mask) || (m_extensionOptional && MatchFolded(folded, m_withoutExtension));
    }

private:
    QString m_mask;
    QString m_withoutExtension;
    bool m_extensionOptional = false;
    bool m_noExtension = false;
};

class Collector
{
public:
    Collector(const QString& pattern, bool includeSubDirs, QStringList& jobList)
        : m_mask(pattern), m_subDirs(includeSubDirs), m_jobList(jobList)
    {
    }

    void collect(const QString& dir)
    {
        const QByteArray path = FileNameToBytes(dir.isEmpty() ? QStringLiteral(".") : dir);
        const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            return;
        struct stat st
        {
        };
        // Links may lead back up the tree or into a folder seen before.
        if (::fstat(fd, &st) != 0 || !m_visited.insert({st.st_dev, st.st_ino}).second) {
            ::close(fd);
            return;
        }
        DIR* d = ::fdopendir(fd);
        if (!d) {
            ::close(fd);
            return;
        }
        QStringList subDirs, files;
        while (const dirent* e = ::readdir(d)) {
            const char* raw = e->d_name;
            if (raw[0] == '.' && (raw[1] == 0 || (raw[1] == '.' && raw[2] == 0)))
                continue;
            bool isDir = e->d_type == DT_DIR;
            if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) {
                // A dangling link is kept as a file: its failure is then reported when it is printed.
                struct stat target
                {
                };
                isDir = ::fstatat(fd, raw, &target, 0) == 0 && S_ISDIR(target.st_mode);
            }
            if (isDir) {
                if (m_subDirs)
                    subDirs.append(FileNameFromBytes(raw));
                continue;
            }
            const QString name = FileNameFromBytes(raw);
            if (m_mask.matches(name))
                files.append(name);
        }
        ::closedir(d);
        // The file system's own order is arbitrary (hash order on most).
        SortByNameOrder(subDirs);
        SortByNameOrder(files);
        for (const QString& sub : std::as_const(subDirs))
            collect(BuildFileName(dir, sub, QString()));
        for (const QString& file : std::as_const(files))
            m_jobList.append(BuildFileName(dir, file, QString()));
    }

private:
    Mask m_mask;
    bool m_subDirs;
    QStringList& m_jobList;
    std::set<std::pair<dev_t, ino_t>> m_visited;
};

} // namespace

bool MatchesMask(const QString& name, const QString& mask)
{
    return Mask(mask).matches(name);
}

void CollectFiles(const QString& dir, const QString& mask, bool includeSubDirs, QStringList& jobList)
{
    const qsizetype slash = mask.lastIndexOf(PathDelimiter());
    const QString pattern = mask.mid(slash + 1);
    if (pattern.isEmpty())
        return;
    const QString start = slash < 0 ? dir : BuildFileName(dir, mask.left(slash + 1), QString());
    Collector(pattern, includeSubDirs, jobList).collect(start);
}
