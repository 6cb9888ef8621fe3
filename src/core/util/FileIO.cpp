#include "util/FileIO.h"

#include "util/FileNameBytes.h"
#include "util/SafeFormat.h"
#include "util/StrUtils.h"
#include "util/Translate.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QScopeGuard>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Looks the key up first and fills in the name afterwards, so that a
// translated key still matches the catalog.
QString FileErrorText(const char* key, const QString& fileName, const QString& systemError)
{
    QString text = FillPlaceholders(TrToolkit(key), {fileName});
    if (!systemError.isEmpty())
        text += u' ' + systemError;
    return text;
}

void SetError(QString* errorText, const QString& text)
{
    if (errorText)
        *errorText = text;
}

bool WriteAll(QIODevice& device, const QByteArray& data, QString* systemError)
{
    qint64 done = 0;
    while (done < data.size()) {
        const qint64 n = device.write(data.constData() + done, data.size() - done);
        if (n <= 0) {
            if (systemError)
                *systemError = device.errorString();
            return false;
        }
        done += n;
    }
    return true;
}

} // namespace

QString CannotCreateFileText(const QString& fileName, const QString& systemError)
{
    return FileErrorText(MarkToolkit("Cannot create file \"%s\"."), fileName, systemError);
}

QString CannotOpenFileText(const QString& fileName, const QString& systemError)
{
    return FileErrorText(MarkToolkit("Cannot open file \"%s\"."), fileName, systemError);
}

bool SaveToFile(const QString& fileName, const QByteArray& data, QString* errorText)
{
    QSaveFile file(fileName);
    // Unbuffered: QSaveFile only notices write errors inside write(); bytes
    // still buffered when commit() flushes them could fail unnoticed and a
    // truncated file would replace the old one.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        SetError(errorText, CannotCreateFileText(fileName, file.errorString()));
        return false;
    }
    QString systemError;
    if (!WriteAll(file, data, &systemError)) {
        file.cancelWriting();
        SetError(errorText, CannotCreateFileText(fileName, systemError));
        return false;
    }
    if (!file.flush()) {
        const QString flushError = file.errorString();
        file.cancelWriting();
        SetError(errorText, CannotCreateFileText(fileName, flushError));
        return false;
    }
    // commit() syncs and renames; a failure there discards the temporary
    // file and leaves the old one in place.
    if (!file.commit()) {
        SetError(errorText, CannotCreateFileText(fileName, file.errorString()));
        return false;
    }
    return true;
}

bool LoadFromFile(const QString& fileName, QByteArray& data, QString* errorText, qint64 maxSize)
{
    data.clear();
    // Opened by its bytes, so that names that are not UTF-8 open too; without
    // blocking, so that a pipe or device of that name cannot hold the caller.
    const int fd = ::open(FileNameToBytes(fileName).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        SetError(errorText, CannotOpenFileText(fileName, qt_error_string(errno)));
        return false;
    }
    const auto closeFd = qScopeGuard([fd] { ::close(fd); });
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0) {
        SetError(errorText, CannotOpenFileText(fileName, qt_error_string(errno)));
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        SetError(errorText, CannotOpenFileText(fileName, TrToolkit("Is a directory")));
        return false;
    }
    // Only plain files are read: a pipe or device might never end.
    if (!S_ISREG(st.st_mode)) {
        SetError(errorText, CannotOpenFileText(fileName, TrToolkit("Not a regular file")));
        return false;
    }
    if (st.st_size > maxSize) {
        SetError(errorText, CannotOpenFileText(fileName, TrToolkit("File too large")));
        return false;
    }
    QByteArray bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            SetError(errorText, CannotOpenFileText(fileName, qt_error_string(errno)));
            return false;
        }
        if (n == 0)
            break;
        // Checked as it is read: the file may have grown since its size was taken.
        if (bytes.size() + n > maxSize) {
            SetError(errorText, CannotOpenFileText(fileName, TrToolkit("File too large")));
            return false;
        }
        bytes.append(buffer, n);
    }
    data = std::move(bytes);
    return true;
}

bool SaveToFileQuickly(const QString& fileName, const QByteArray& data, QString* errorText)
{
    QByteArray temp = QFile::encodeName(fileName) + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        SetError(errorText, CannotCreateFileText(fileName, QString::fromLocal8Bit(std::strerror(errno))));
        return false;
    }
    int error = 0;
    for (qsizetype done = 0; done < data.size() && error == 0;) {
        const ssize_t n = ::write(fd, data.constData() + done, static_cast<size_t>(data.size() - done));
        if (n < 0 && errno != EINTR)
            error = errno;
        done += n > 0 ? n : 0;
    }
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && std::rename(temp.constData(), QFile::encodeName(fileName).constData()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(temp.constData());
        SetError(errorText, CannotCreateFileText(fileName, QString::fromLocal8Bit(std::strerror(error))));
        return false;
    }
    return true;
}

bool AppendToFileQuickly(const QString& fileName, const QByteArray& data, QString* errorText)
{
    int error = 0;
    const int fd = ::open(QFile::encodeName(fileName).constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
    } else {
        ssize_t n;
        do
            n = ::write(fd, data.constData(), static_cast<size_t>(data.size()));
        while (n < 0 && errno == EINTR);
        error = n < 0 ? errno : n != data.size() ? ENOSPC : 0;
        ::close(fd);
    }
    if (error != 0) {
        SetError(errorText, CannotCreateFileText(fileName, QString::fromLocal8Bit(std::strerror(error))));
        return false;
    }
    return true;
}

void DeleteTree(const QString& base, const QString& sub, bool deleteBase, TDeleteTreeCounts& counts)
{
    const QString d = sub.isEmpty() ? base : DirectoryWithDelimiter(base) + sub;
    const QFileInfo info(d);
    // A link to a folder goes as a link: what it points to is not part of
    // this tree.
    if (info.isSymLink()) {
        if (sub.isEmpty() && deleteBase)
            QFile::remove(WithoutTrailingDelimiter(d)) ? ++counts.Dirs : ++counts.Errors;
        return;
    }
    if (!info.isDir())
        return;
    // Entries of a folder can only go while the folder itself is writable.
    const QFileDevice::Permissions owner = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
    if ((info.permissions() & owner) != owner)
        QFile::setPermissions(d, info.permissions() | owner);
    const QFileInfoList entries =
        QDir(d).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries) {
        if (entry.isDir() && !entry.isSymLink() && IsValidEntryName(entry.fileName()))
            DeleteTree(base, DirectoryWithDelimiter(sub) + entry.fileName(), deleteBase, counts);
    }
    int seen = 0;
    int deleted = 0;
    for (const QFileInfo& entry : entries) {
        if ((entry.isDir() && !entry.isSymLink()) || !IsValidEntryName(entry.fileName()))
            continue;
        ++seen;
        // Clears a read-only state; a link's own permissions do not matter.
        if (!entry.isSymLink())
            QFile::setPermissions(entry.filePath(), entry.permissions() | QFileDevice::WriteOwner);
        if (QFile::remove(entry.filePath())) {
            ++counts.Files;
            ++deleted;
        } else {
            ++counts.Errors;
        }
    }
    if (seen == deleted && (deleteBase || !sub.isEmpty()))
        QDir().rmdir(d) ? ++counts.Dirs : ++counts.Errors;
}
