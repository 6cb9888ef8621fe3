#include "app/MainSettings.h"

#include "app/IniFileUtils.h"

namespace {

const QString& ConfigSection()
{
    static const QString name = QStringLiteral("Config");
    return name;
}

} // namespace

TMainSettings ReadMainSettings(const QString& iniName, const TMainSettings& defaults, QString* errorText)
{
    if (errorText)
        errorText->clear();
    const auto ini = TUnicodeIniFile::CreateForRead(iniName, errorText);
    if (!ini)
        return defaults;
    const QString& s = ConfigSection();
    TMainSettings result;
    result.Left = ini->ReadInteger(s, QStringLiteral("Left"), defaults.Left);
    result.Top = ini->ReadInteger(s, QStringLiteral("Top"), defaults.Top);
    result.Sumatra = ini->ReadString(s, QStringLiteral("Sumatra"), defaults.Sumatra);
    result.Printer = ini->ReadString(s, QStringLiteral("Printer"), defaults.Printer);
    result.Subdirectories = ini->ReadBool(s, QStringLiteral("Subdirectories"), defaults.Subdirectories);
    result.PrintSettings = ini->ReadString(s, QStringLiteral("PrintSettings"), defaults.PrintSettings);
    return result;
}

bool WriteMainSettings(const QString& iniName, const TMainSettings& settings, QString* errorText)
{
    if (errorText)
        errorText->clear();
    const auto ini = TUnicodeIniFile::CreateForWrite(iniName, false, errorText);
    if (!ini)
        return false;
    const QString& s = ConfigSection();
    ini->WriteInteger(s, QStringLiteral("Left"), settings.Left);
    ini->WriteInteger(s, QStringLiteral("Top"), settings.Top);
    ini->WriteString(s, QStringLiteral("Sumatra"), settings.Sumatra);
    ini->WriteString(s, QStringLiteral("Printer"), settings.Printer);
    ini->WriteBool(s, QStringLiteral("Subdirectories"), settings.Subdirectories);
    // Without print settings the file stays as the five keys make it.
    if (settings.PrintSettings.isEmpty())
        ini->DeleteKey(s, QStringLiteral("PrintSettings"));
    else
        ini->WriteString(s, QStringLiteral("PrintSettings"), settings.PrintSettings);
    return ini->UpdateFile(errorText);
}
