#include "app/LangUtils.h"

#include "app/GnuGetText.h"
#include "app/IniFileUtils.h"
#include "app/InitProg.h"
#include "app/PlaceHolders.h"
#include "platform/LanguageId.h"
#include "util/StrUtils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

QString CfgName;

namespace {

// A configuration file holds one short value; anything larger is not one.
constexpr qint64 MaxCfgFileSize = 1024 * 1024;

QString WithCfgExtension(const QString& fileName)
{
    const qsizetype dot = fileName.lastIndexOf(u'.');
    return (dot < 0 ? fileName : fileName.left(dot)) + QStringLiteral(".cfg");
}

} // namespace

void SetDefaultCfgName(const QString& dir, const QString& name, const QProcessEnvironment& env)
{
    const QString fileName = name.isEmpty() ? WithCfgExtension(ExeBaseName) : name;
    QString base = dir;
    if (!IsAbsolutePath(dir)) {
        // Without an application-data folder this starts at the root.
        const QString appData = SpecialFolderPath(CSIDL_APPDATA, env);
        base = (appData.isEmpty() ? QString(PathDelimiter()) : DirectoryWithDelimiter(appData)) + dir;
        AppSubDir = dir;
    }
    CfgName = DirectoryWithDelimiter(base) + fileName;
}

void InitLanguage(const QString& dir, const QString& name, const QStringList& extraDomains)
{
    InitLanguage(dir, name, extraDomains, ProcessArguments(), CurrentEnvironment());
}

void InitLanguage(const QString& dir, const QString& name, const QStringList& extraDomains,
                  const QStringList& arguments, const QProcessEnvironment& env)
{
    SetDefaultCfgName(dir, name, env);
    for (const QString& domain : extraDomains)
        AddDomainForToolkitTexts(domain);
    UseLanguage(GetLanguage(arguments, env));
}

QString GetLanguage()
{
    return GetLanguage(ProcessArguments(), CurrentEnvironment());
}

QString GetLanguage(const QStringList& arguments, const QProcessEnvironment& env)
{
    const QString code = ReadStartOptions(arguments);
    return code.isEmpty() ? SystemLanguageCode(env) : code;
}

QString ReadStartOptions()
{
    return ReadStartOptions(ProcessArguments());
}

QString ReadStartOptions(const QStringList& arguments)
{
    QString language;
    QString iniPath;
    bool portable = false;
    for (const QString& argument : arguments) {
        if (!argument.startsWith(u'-'))
            continue;
        QString option = argument.mid(1);
        QString value = option;
        if (ReadOptionValue(value, QStringLiteral("lang"))) {
            language = value.left(2);
            continue;
        }
        value = option;
        if (ReadOptionValue(value, QStringLiteral("ini"))) {
            iniPath = ExpandPlaceHolders(value);
            continue;
        }
        if (IsOptionAbbreviation(option, QStringLiteral("portable"))) {
            portable = true;
            if (iniPath.isEmpty())
                iniPath = ExePath;
        }
    }

    const QChar delim = PathDelimiter();
    if (!iniPath.isEmpty()) {
        if (iniPath.endsWith(delim)) {
            CfgName = iniPath + FileNamePart(CfgName);
        } else {
            const QString fileName = portable ? WithCfgExtension(FileNamePart(iniPath)) : FileNamePart(CfgName);
            QString folder;
            if (IsAbsolutePath(iniPath))
                folder = FolderPart(iniPath);
            else if (!iniPath.contains(delim))
                folder = portable ? ExePath : FolderPart(CfgName);
            else if (portable)
                folder = FolderPart(ExePath + iniPath);
            else
                folder = FolderPart(QDir::cleanPath(QDir::current().absoluteFilePath(iniPath)));
            CfgName = DirectoryWithDelimiter(folder) + fileName;
        }
    }

    if (language.isEmpty())
        language = ReadConfiguredLanguage(CfgName);
    return language;
}

QStringList ProcessArguments()
{
    // Read from the kernel: the language is set up before any application
    // object could hand out its argument list.
    QFile file(QStringLiteral("/proc/self/cmdline"));
    QStringList arguments;
    if (!file.open(QIODevice::ReadOnly))
        return arguments;
    const QList<QByteArray> parts = file.readAll().split('\0');
    // The data ends in a NUL, which leaves one empty part behind.
    for (qsizetype i = 1; i + 1 < parts.size(); ++i)
        arguments << QString::fromLocal8Bit(parts[i]);
    return arguments;
}

bool IsAbsolutePath(const QString& path)
{
    return path.startsWith(PathDelimiter());
}

QString SystemLanguageCode(const QProcessEnvironment& env)
{
    return LanguageCodeOf(UserDefaultUILanguage(env));
}

QString LanguageCodeOf(quint16 languageId)
{
    static const struct
    {
        quint16 Primary;
        const char* Code;
    } codes[] = {
        {0x02, "bg"}, {0x05, "cs"}, {0x06, "da"}, {0x07, "de"}, {0x08, "el"}, {0x09, "en"}, {0x0A, "es"},
        {0x0B, "fi"}, {0x0C, "fr"}, {0x0E, "hu"}, {0x10, "it"}, {0x13, "nl"}, {0x14, "no"}, {0x15, "pl"},
        {0x16, "pt"}, {0x18, "ro"}, {0x19, "ru"}, {0x1A, "hr"}, {0x1B, "sk"}, {0x1C, "sq"}, {0x1D, "sv"},
        {0x1F, "tr"}, {0x22, "uk"}, {0x24, "sl"}, {0x25, "et"}, {0x26, "lv"}, {0x27, "lt"},
    };
    const quint16 primary = languageId & 0x3FF;
    for (const auto& row : codes) {
        if (row.Primary == primary)
            return QString::fromLatin1(row.Code);
    }
    return {};
}

QString ReadConfiguredLanguage(const QString& cfgName)
{
    // Only a regular file of sensible size: a device or pipe of that name
    // could block or never end.
    const QFileInfo info(cfgName);
    if (cfgName.isEmpty() || !info.isFile() || info.size() > MaxCfgFileSize)
        return {};
    const std::unique_ptr<TUnicodeIniFile> ini = TUnicodeIniFile::CreateForRead(cfgName);
    if (!ini)
        return {};
    return ini->ReadString(QStringLiteral("Language"), QStringLiteral("LangID"), {}).left(2);
}
