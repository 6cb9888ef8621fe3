#include "platform/SysInfo.h"

#include "util/BuildVersion.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QRegularExpression>

#include <climits>
#include <pwd.h>
#include <unistd.h>

namespace {

// The marker is split in the reader so that the reader's own needle never
// matches; the record below carries it whole.
constexpr char kRecordMarkerHead[] = "MorvaneVersion";
constexpr char kRecordMarkerTail[] = "Record:";
constexpr qsizetype kMaxRecordLength = 64 * 1024;

QString HomeFolder(const QProcessEnvironment& env)
{
    QString home = env.value(QStringLiteral("HOME"));
    if (home.isEmpty()) {
        if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir)
            home = QString::fromLocal8Bit(pw->pw_dir);
    }
    while (home.size() > 1 && home.endsWith(u'/'))
        home.chop(1);
    return home;
}

QString XdgBase(const QProcessEnvironment& env, const QString& variable, const QString& fallbackBelowHome)
{
    const QString value = env.value(variable);
    // The XDG rules ignore relative values.
    if (value.startsWith(u'/'))
        return QDir::cleanPath(value);
    const QString home = HomeFolder(env);
    return home.isEmpty() ? QString() : home + u'/' + fallbackBelowHome;
}

// Reads XDG_DOCUMENTS_DIR / XDG_DESKTOP_DIR from user-dirs.dirs, which the
// desktop writes as shell assignments: XDG_DESKTOP_DIR="$HOME/Desktop".
QString XdgUserDir(const QProcessEnvironment& env, const char* key, const QString& fallbackBelowHome)
{
    const QString home = HomeFolder(env);
    const QString configHome = XdgBase(env, QStringLiteral("XDG_CONFIG_HOME"), QStringLiteral(".config"));
    QFile file(configHome + QStringLiteral("/user-dirs.dirs"));
    if (!configHome.isEmpty() && file.size() < 1024 * 1024 && file.open(QIODevice::ReadOnly)) {
        const QByteArray wanted = QByteArray(key) + '=';
        while (!file.atEnd()) {
            QByteArray line = file.readLine().trimmed();
            if (!line.startsWith(wanted))
                continue;
            QString value = QString::fromUtf8(line.mid(wanted.size()));
            if (value.size() >= 2 && value.startsWith(u'"') && value.endsWith(u'"'))
                value = value.mid(1, value.size() - 2);
            if (value.startsWith(QStringLiteral("$HOME")))
                value = home + value.mid(5);
            if (value.startsWith(u'/'))
                return QDir::cleanPath(value);
        }
    }
    return home.isEmpty() ? QString() : home + u'/' + fallbackBelowHome;
}

} // namespace

QProcessEnvironment CurrentEnvironment()
{
    return QProcessEnvironment::systemEnvironment();
}

QString SpecialFolderPath(int csidl, const QProcessEnvironment& env)
{
    switch (csidl) {
    case CSIDL_DESKTOP:
        return XdgUserDir(env, "XDG_DESKTOP_DIR", QStringLiteral("Desktop"));
    case CSIDL_PERSONAL:
        return XdgUserDir(env, "XDG_DOCUMENTS_DIR", QStringLiteral("Documents"));
    case CSIDL_APPDATA:
        return XdgBase(env, QStringLiteral("XDG_CONFIG_HOME"), QStringLiteral(".config"));
    case CSIDL_LOCAL_APPDATA:
        return XdgBase(env, QStringLiteral("XDG_DATA_HOME"), QStringLiteral(".local/share"));
    case CSIDL_PROFILE:
        return HomeFolder(env);
    case CSIDL_PROGRAM_FILES:
        return QStringLiteral("/usr/bin");
    case CSIDL_PROGRAM_FILES_COMMON:
        return QStringLiteral("/usr/lib");
    default: // favorites and every other number have no counterpart here
        return {};
    }
}

QString ProgramFilesPath(int kind, const QProcessEnvironment& env)
{
    const auto fromVariable = [&](const char* name, int fallbackCsidl) {
        const QString value = env.value(QString::fromLatin1(name));
        return value.isEmpty() ? SpecialFolderPath(fallbackCsidl, env) : value;
    };
    switch (kind) {
    case 1:
        return SpecialFolderPath(CSIDL_PROGRAM_FILES_COMMON, env);
    case 2:
        return fromVariable("ProgramFiles(x86)", CSIDL_PROGRAM_FILES);
    case 3:
        return fromVariable("CommonProgramFiles(x86)", CSIDL_PROGRAM_FILES_COMMON);
    case 4:
        return fromVariable("ProgramW6432", CSIDL_PROGRAM_FILES);
    case 5:
        return fromVariable("CommonProgramW6432", CSIDL_PROGRAM_FILES_COMMON);
    default:
        return SpecialFolderPath(CSIDL_PROGRAM_FILES, env);
    }
}

QString WindowsDirectory()
{
    // The system's own folder tree starts at the root here.
    return QStringLiteral("/");
}

QString CurrentUserName()
{
    if (const passwd* pw = getpwuid(geteuid()); pw && pw->pw_name)
        return QString::fromLocal8Bit(pw->pw_name);
    return qEnvironmentVariable("USER");
}

QString LocalComputerName()
{
    char name[HOST_NAME_MAX + 1] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return {};
    return QString::fromLocal8Bit(name);
}

QString ExpandEnvironmentStrings(const QString& text, const QProcessEnvironment& env)
{
    QString result;
    result.reserve(text.size());
    qsizetype i = 0;
    while (i < text.size()) {
        const qsizetype open = text.indexOf(u'%', i);
        if (open < 0)
            break;
        const qsizetype close = text.indexOf(u'%', open + 1);
        if (close < 0)
            break;
        const QString name = text.mid(open + 1, close - open - 1);
        result += QStringView(text).mid(i, open - i);
        if (!name.isEmpty() && env.contains(name)) {
            result += env.value(name);
            i = close + 1;
        } else {
            // Left in place; the closing '%' may open the next reference.
            result += QStringView(text).mid(open, close - open);
            i = close;
        }
    }
    result += QStringView(text).mid(i);
    return result;
}

QString AllUsersProfilePath(const QProcessEnvironment& env)
{
    const QString value = ExpandEnvironmentStrings(QStringLiteral("%ALLUSERSPROFILE%"), env);
    return value.isEmpty() ? WindowsDirectory() : value;
}

QString PublicPath(const QProcessEnvironment& env)
{
    if (!IsWindowsNT4OrLater())
        return {};
    return ExpandEnvironmentStrings(QStringLiteral("%PUBLIC%"), env);
}

bool IsWindowsNT4OrLater()
{
    return true;
}

bool IsWindows2000OrLater()
{
    return true;
}

QString VersionBlockName(quint16 language, quint16 codePage)
{
    return QStringLiteral("%1%2")
        .arg(language, 4, 16, QLatin1Char('0'))
        .arg(codePage, 4, 16, QLatin1Char('0'))
        .toUpper();
}

bool ReadFileVersionInfo(const QString& fileName, TFileVersionInfo& info)
{
    if (!IsWindows2000OrLater())
        return false;
    info = TFileVersionInfo{};

    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const qint64 size = file.size();
    const uchar* data = size > 0 ? file.map(0, size) : nullptr;
    if (!data)
        return false;
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), size);
    const QByteArray marker = QByteArray(kRecordMarkerHead) + kRecordMarkerTail;
    const qsizetype at = bytes.indexOf(marker);
    if (at < 0)
        return false;
    // The record ends at its NUL; never read past the file or a sane length.
    const QByteArrayView rest = bytes.sliced(at + marker.size());
    qsizetype end = rest.indexOf('\0');
    if (end < 0)
        end = qMin(rest.size(), kMaxRecordLength);
    const QString record = QString::fromUtf8(rest.first(qMin(end, kMaxRecordLength)));

    QHash<QString, QString> values;
    for (const QString& line : record.split(u'\n', Qt::SkipEmptyParts)) {
        const qsizetype eq = line.indexOf(u'=');
        if (eq > 0)
            values.insert(line.left(eq), line.mid(eq + 1));
    }
    // The first translation entry: language and code page in hexadecimal.
    static const QRegularExpression translation(QStringLiteral("^\\s*([0-9A-Fa-f]{1,4})\\s+([0-9A-Fa-f]{1,4})"));
    const auto match = translation.match(values.value(QStringLiteral("\\VarFileInfo\\Translation")));
    if (!match.hasMatch())
        return true; // a record without translation names no strings
    const QString block = QStringLiteral("\\StringFileInfo\\") +
                          VersionBlockName(match.captured(1).toUShort(nullptr, 16), match.captured(2).toUShort(nullptr, 16)) +
                          u'\\';
    const auto field = [&](const char* key) { return values.value(block + QString::fromLatin1(key)); };
    info.Company = field("CompanyName");
    info.Description = field("FileDescription");
    info.Version = field("FileVersion");
    info.InternalName = field("InternalName");
    info.Copyright = field("LegalCopyright");
    info.Comments = field("Comments");
    return true;
}

// Kept in every executable that links the reader; `used` stops the linker
// from dropping it although nothing reads it in memory.
extern const char MorvaneVersionRecord[];
[[gnu::used]] const char MorvaneVersionRecord[] = "MorvaneVersionRecord:" MORVANE_VERSION_RECORD_BODY;
