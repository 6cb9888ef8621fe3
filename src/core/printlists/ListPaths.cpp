#include "printlists/ListPaths.h"

#include <QStringList>

namespace {

// "C:" or "\\server\share" in the Windows style; POSIX paths have no drive.
QString DrivePart(const QString& path, PathStyle style)
{
    if (style != PathStyle::Windows)
        return {};
    if (path.size() >= 2 && path[1] == u':')
        return path.left(2);
    if (path.startsWith(QStringLiteral("\\\\"))) {
        const qsizetype server = path.indexOf(u'\\', 2);
        const qsizetype share = server < 0 ? -1 : path.indexOf(u'\\', server + 1);
        return share < 0 ? path : path.left(share);
    }
    return {};
}

// The folders of a path; a typed source directory may hold "." or "..",
// which would otherwise be counted as folders of their own.
QStringList FolderSteps(const QString& folders, QChar delim)
{
    QStringList steps;
    for (const QString& step : folders.split(delim, Qt::SkipEmptyParts)) {
        if (step == u".")
            continue;
        if (step == u".." && !steps.isEmpty() && steps.last() != u"..")
            steps.removeLast();
        else
            steps.append(step);
    }
    return steps;
}

// "\a\b\" -> "\...\b\". A part that begins with a dot is taken to begin
// with the "...\" of an earlier step, and its first four characters go before
// the folder is cut; so a short folder that really begins with a dot (".a\")
// goes in the same step as the folder after it.
void CutFirstFolder(QString& folders, QChar delim)
{
    const QString ellipsis = QStringLiteral("...") + delim;
    if (folders == delim) {
        folders.clear();
        return;
    }
    const bool rooted = folders.startsWith(delim);
    if (rooted)
        folders.remove(0, 1);
    if (folders.startsWith(u'.'))
        folders.remove(0, ellipsis.size());
    const qsizetype p = folders.indexOf(delim);
    folders = p < 0 ? QString() : ellipsis + folders.mid(p + 1);
    if (rooted)
        folders.prepend(delim);
}

} // namespace

QString RelativeListEntry(const QString& commonPath, const QString& fileName, PathStyle style)
{
    const QChar delim = PathDelimiter(style);
    const QString baseDrive = DrivePart(commonPath, style);
    const QString fileDrive = DrivePart(fileName, style);
    if (commonPath.isEmpty() || baseDrive.compare(fileDrive, Qt::CaseInsensitive) != 0)
        return fileName;

    const qsizetype nameStart = qMax(fileName.lastIndexOf(delim) + 1, fileDrive.size());
    const QString name = fileName.mid(nameStart);
    const QStringList base = FolderSteps(commonPath.mid(baseDrive.size()), delim);
    const QStringList file = FolderSteps(fileName.mid(fileDrive.size(), nameStart - fileDrive.size()), delim);
    if (style == PathStyle::Posix) {
        // Without a drive, a different top folder is the other volume: "../"
        // steps up to the root would break as soon as the list moves.
        const bool sharesRoot = commonPath.startsWith(delim) && fileName.startsWith(delim) && !base.isEmpty() &&
                                !file.isEmpty() && base.front() == file.front();
        if (!sharesRoot)
            return fileName;
    }
    // POSIX file systems tell "Docs" from "docs"; matching them would point
    // the entry at another file.
    const Qt::CaseSensitivity cs = style == PathStyle::Windows ? Qt::CaseInsensitive : Qt::CaseSensitive;
    qsizetype common = 0;
    while (common < base.size() && common < file.size() && base[common].compare(file[common], cs) == 0)
        ++common;
    QString entry;
    for (qsizetype i = common; i < base.size(); ++i)
        entry += QStringLiteral("..") + delim;
    for (qsizetype i = common; i < file.size(); ++i)
        entry += file[i] + delim;
    return entry + name;
}

QString RebaseListEntry(const QString& entry, const QString& fromDir, const QString& toDir, PathStyle style)
{
    const QString from = DirectoryWithDelimiter(fromDir, style);
    if (entry.isEmpty() || from == DirectoryWithDelimiter(toDir, style))
        return entry;
    // BuildFileName leaves a full name unchanged.
    const QString full = BuildFileName(from, entry, QString(), style);
    return full == entry ? entry : RelativeListEntry(toDir, full, style);
}

QString ShortenPathToWidth(const QString& path, int maxWidth, const std::function<int(const QString&)>& textWidth,
                           PathStyle style)
{
    const QChar delim = PathDelimiter(style);
    QString drive;
    if (style == PathStyle::Windows && path.size() >= 2 && path[1] == u':')
        drive = path.left(2);
    const qsizetype nameStart = qMax(path.lastIndexOf(delim) + 1, drive.size());
    QString folders = path.mid(drive.size(), nameStart - drive.size());
    const QString name = path.mid(nameStart);
    const QString rootEllipsis = delim + QStringLiteral("...") + delim;
    const auto shown = [&]() -> QString { return drive + folders + name; };
    // Every step removes a folder, the drive or the leading delimiter, so
    // the loop ends with the name alone at the latest.
    while (textWidth(shown()) > maxWidth && (!drive.isEmpty() || !folders.isEmpty())) {
        if (folders == rootEllipsis) {
            drive.clear();
            folders = QStringLiteral("...") + delim;
        } else if (!folders.isEmpty()) {
            CutFirstFolder(folders, delim);
        } else {
            drive.clear();
        }
    }
    return shown();
}
