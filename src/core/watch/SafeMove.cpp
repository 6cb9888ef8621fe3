#include "watch/SafeMove.h"

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

// Copies src to a new file dst (never an existing one) and removes src.
// Returns 0 or the errno of the failing step; EEXIST when dst exists.
int CopyAside(const QByteArray& src, const QByteArray& dst)
{
    const int in = ::open(src.constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return errno;
    const int out = ::open(dst.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (out < 0) {
        const int e = errno;
        ::close(in);
        return e;
    }
    int e = 0;
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(in, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            e = got < 0 ? errno : 0;
            break;
        }
        for (ssize_t done = 0; done < got && e == 0;) {
            const ssize_t put = ::write(out, buffer + done, static_cast<size_t>(got - done));
            if (put < 0 && errno != EINTR)
                e = errno;
            done += std::max<ssize_t>(put, 0);
        }
        if (e != 0)
            break;
    }
    if (e == 0 && ::fsync(out) != 0)
        e = errno;
    if (::close(out) != 0 && e == 0)
        e = errno;
    ::close(in);
    if (e == 0 && ::unlink(src.constData()) != 0)
        e = errno;
    if (e != 0 && e != EEXIST)
        ::unlink(dst.constData());
    return e;
}

} // namespace

QString MoveAside(const QString& file, const QString& destDir, const QString& relName, QString* error)
{
    const QString target = DirectoryWithDelimiter(destDir) + relName;
    const QString dir = FolderPart(target);
    const QString name = FileNamePart(target);
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString stem = dot > 0 ? name.left(dot) : name;
    const QString ext = dot > 0 ? name.mid(dot) : QString();
    const auto fail = [&](int e) {
        if (error)
            *error = QString::fromLocal8Bit(std::strerror(e));
        return QString();
    };
    if (!QDir().mkpath(dir))
        return fail(errno != 0 ? errno : EACCES);
    const QByteArray src = FileNameToBytes(file);
    bool copy = false;
    for (int n = 1; n < 100000; ++n) {
        const QString candidate = dir + (n == 1 ? name : stem + u" ("_s + QString::number(n) + u')' + ext);
        const QByteArray dst = FileNameToBytes(candidate);
        int e = 0;
        if (!copy) {
            e = ::renameat2(AT_FDCWD, src.constData(), AT_FDCWD, dst.constData(), RENAME_NOREPLACE) == 0 ? 0 : errno;
            // Another file system, or one that cannot refuse to replace: copy.
            copy = e == EXDEV || e == EINVAL || e == ENOSYS;
        }
        if (copy)
            e = CopyAside(src, dst);
        if (e == 0)
            return candidate;
        if (e != EEXIST)
            return fail(e);
    }
    return fail(EEXIST);
}

