#include "app/InitProg.h"

#include "util/StrUtils.h"
#include "util/Translate.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>

QString ExePath;
QString ExeBaseName;
QString AppSubDir;
TFileVersionInfo VersionInfo;

namespace {
QString g_exeFileName;
}

void SetExecutableName(const QString& fullName)
{
    g_exeFileName = fullName;
    ExePath = FolderPart(fullName);
    QString name = FileNamePart(fullName);
    // Only the last extension goes: abc.def.exe gives abc.def.
    if (const qsizetype dot = name.lastIndexOf(u'.'); dot > 0)
        name.truncate(dot);
    ExeBaseName = name;
}

QString ExecutableFileName()
{
    return g_exeFileName;
}

void InitProgModule()
{
    // The kernel's link names the real file even when started through a
    // symbolic link or a relative path.
    QString exe = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    if (exe.isEmpty())
        exe = QDir::currentPath() + QStringLiteral("/morvane");
    SetExecutableName(exe);
    AppSubDir.clear();
}

QString GetAppPath(const QString& subDir, bool create, const QProcessEnvironment& env)
{
    const QString appData = SpecialFolderPath(CSIDL_APPDATA, env);
    if (appData.isEmpty())
        return ExePath;
    const QString path = DirectoryWithDelimiter(appData) + subDir;
    if (create && !QDir().mkpath(path))
        return ExePath;
    // mkpath reports success for an existing file of that name on some
    // versions; the folder must really be one.
    if (create && !QFileInfo(path).isDir())
        return ExePath;
    return path;
}

void InitPaths(QString& appPath, QString& userPath, QString& progPath, bool create, const QProcessEnvironment& env)
{
    appPath = GetAppPath(AppSubDir, create, env);
    const QChar delim = PathDelimiter();
    userPath = SpecialFolderPath(CSIDL_PERSONAL, env);
    if (!userPath.endsWith(delim))
        userPath += delim;
    progPath = SpecialFolderPath(CSIDL_PROGRAM_FILES, env);
    if (!progPath.endsWith(delim))
        progPath += delim;
}

QString IniName(const QString& appPath)
{
    return IniName(appPath, ExeBaseName);
}

QString IniName(const QString& appPath, const QString& exeBaseName)
{
    return BuildFileName(appPath, exeBaseName, QStringLiteral("ini"));
}

QString VersionText(const QString& version, int digits)
{
    QString v = version;
    for (int i = digits; i < 4; ++i) {
        const qsizetype dot = v.lastIndexOf(u'.');
        if (dot < 0)
            break;
        const QChar next = dot + 1 < v.size() ? v[dot + 1] : QChar();
        if (next == u'\\' || next == u':')
            break;
        v.truncate(dot);
    }
    return TrToolkit("Version") + u' ' + v;
}

QString VersionText(int digits)
{
    return VersionText(VersionInfo.Version, digits);
}

void ProgramVersion(const QString& programName, const QString& fallbackVersion, const QString& fallbackCopyright,
                    int digits, QString& nameWithVersion, QString& dateText)
{
    if (ReadFileVersionInfo(g_exeFileName, VersionInfo)) {
        if (VersionInfo.InternalName.isEmpty())
            VersionInfo.InternalName = programName;
    } else {
        VersionInfo.InternalName = programName;
        VersionInfo.Version = fallbackVersion;
        VersionInfo.Copyright = fallbackCopyright;
    }
    VersionInfo.Comments = VersionText(digits);
    nameWithVersion = VersionInfo.InternalName + QStringLiteral(" (") + VersionInfo.Comments + u')';
    const QDateTime modified = QFileInfo(g_exeFileName).lastModified();
    // An unreadable time gives an empty date text.
    dateText = modified.isValid() ? QLocale::system().toString(modified.toLocalTime().date(), QLocale::ShortFormat)
                                  : QString();
}
