#include "util/StrUtils.h"

namespace {

// In the Windows style a colon anywhere or a leading backslash makes a name
// stand on its own; in the POSIX style only a leading slash does.
bool IsRootedName(const QString& name, PathStyle style)
{
    if (style == PathStyle::Windows)
        return name.contains(u':') || name.startsWith(u'\\');
    return name.startsWith(u'/');
}

} // namespace

QChar PathDelimiter(PathStyle style)
{
    return style == PathStyle::Windows ? QChar(u'\\') : QChar(u'/');
}

QString RemoveBlanks(const QString& s)
{
    QString result = s;
    result.remove(QChar(u' '));
    return result;
}

QString ReplaceChar(const QString& s, QChar oldChar, QChar newChar)
{
    QString result = s;
    result.replace(oldChar, newChar);
    return result;
}

QString ReadNextString(QString& s, QChar separator)
{
    if (s.isEmpty())
        return {};
    const qsizetype p = s.indexOf(separator);
    if (p < 0) {
        QString token = s;
        s.clear();
        return token;
    }
    QString token = s.left(p);
    s.remove(0, p + 1);
    return token;
}

bool IsOptionAbbreviation(const QString& abbreviation, const QString& optionName)
{
    if (abbreviation.size() > optionName.size())
        return false;
    return abbreviation.toLower() == optionName.left(abbreviation.size());
}

bool ReadOptionValue(QString& s, const QString& optionName)
{
    const qsizetype p = s.indexOf(u':');
    if (p < 0)
        return false;
    if (!IsOptionAbbreviation(s.left(p), optionName))
        return false;
    s.remove(0, p + 1);
    return true;
}

QString DirectoryWithDelimiter(const QString& dir, PathStyle style)
{
    if (dir.isEmpty())
        return dir;
    const QChar delim = PathDelimiter(style);
    return dir.endsWith(delim) ? dir : dir + delim;
}

QString FileExtension(const QString& name, PathStyle style)
{
    const QChar delim = PathDelimiter(style);
    for (qsizetype i = name.size() - 1; i >= 0; --i) {
        if (name[i] == u'.')
            return name.mid(i + 1);
        if (name[i] == delim)
            return {};
    }
    return {};
}

QString BuildFileName(const QString& dir, QString name, const QString& defaultExt, PathStyle style)
{
    QString ext = defaultExt;
    if (ext.startsWith(u'.'))
        ext.remove(0, 1);
    if (!name.contains(u'.') && !ext.isEmpty())
        name += u'.' + ext;
    if (IsRootedName(name, style) || dir.isEmpty())
        return name;
    const QChar delim = PathDelimiter(style);
    if (dir.endsWith(delim))
        return dir + name;
    return dir + delim + name;
}

QString ShortenPath(const QString& path, int maxLen, PathStyle style)
{
    const qsizetype n = path.size();
    if (n < maxLen)
        return path;
    const QChar delim = PathDelimiter(style);
    const auto fallback = [&]() -> QString { return QStringLiteral("...") + path.right(qMax(0, maxLen - 2)); };

    // 0-based index of the last delimiter that is not the final character.
    const qsizetype last = path.lastIndexOf(delim, n >= 2 ? n - 2 : 0);
    if (last < 0)
        return fallback();
    const qsizetype tailLen = n - last; // from `last` to the end
    for (qsizetype k = path.lastIndexOf(delim, last - 1); k >= 0 && last > 0; k = path.lastIndexOf(delim, k - 1)) {
        // 1-based position of this delimiter is k + 1: keep it, then "...".
        if ((k + 1) + 3 + tailLen <= maxLen)
            return path.left(k + 1) + QStringLiteral("...") + path.mid(last);
        if (k == 0)
            break;
    }
    return fallback();
}

QString ParentDirectory(const QString& path, PathStyle style)
{
    const QChar delim = PathDelimiter(style);
    QString s = path;
    if (s.endsWith(delim))
        s.chop(1);
    const qsizetype i = s.lastIndexOf(delim) + 1; // 1-based, 0 when absent
    if (i <= 1)
        return s;
    return s.left(i - 1);
}

QString FolderPart(const QString& path, PathStyle style)
{
    return path.left(path.lastIndexOf(PathDelimiter(style)) + 1);
}

QString FileNamePart(const QString& path, PathStyle style)
{
    return path.mid(path.lastIndexOf(PathDelimiter(style)) + 1);
}

QString WithoutTrailingDelimiter(QString path, PathStyle style)
{
    const QChar delim = PathDelimiter(style);
    while (path.size() > 1 && path.endsWith(delim))
        path.chop(1);
    return path;
}

bool IsValidEntryName(const QString& name, const QString& excluded)
{
    if (name == u"." || name == u"..")
        return false;
    return name.isEmpty() || !excluded.contains(name.front());
}
