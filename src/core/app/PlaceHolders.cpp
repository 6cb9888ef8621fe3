#include "app/PlaceHolders.h"

#include "app/InitProg.h"
#include "util/StrUtils.h"

namespace {

enum class TValueKind
{
    Folder,
    Name
};

struct TPlaceHolder
{
    const char16_t* Token;
    TValueKind Kind;
    QString (*Value)(const TPlaceHolderValues&);
};

QString NoValue(const TPlaceHolderValues&)
{
    return {};
}

// The table order is the processing order: a value inserted by an earlier
// row is searched again by the later rows, exactly once.
const TPlaceHolder PlaceHolders[] = {
    // first group
    {u"%perspath%", TValueKind::Folder, [](const TPlaceHolderValues& v) { return v.SpecialFolder(CSIDL_PERSONAL); }},
    {u"%apppath%", TValueKind::Folder, [](const TPlaceHolderValues& v) { return v.SpecialFolder(CSIDL_APPDATA); }},
    {u"%profile%", TValueKind::Folder, [](const TPlaceHolderValues& v) { return v.SpecialFolder(CSIDL_PROFILE); }},
    {u"%desktop%", TValueKind::Folder, [](const TPlaceHolderValues& v) { return v.SpecialFolder(CSIDL_DESKTOP); }},
    {u"%favorites%", TValueKind::Folder, [](const TPlaceHolderValues& v) { return v.SpecialFolder(CSIDL_FAVORITES); }},
    {u"%progfiles%", TValueKind::Folder, [](const TPlaceHolderValues& v) { return v.ProgramFiles(0); }},
    {u"%progpath%", TValueKind::Folder, [](const TPlaceHolderValues& v) { return v.ProgramDir(); }},
    {u"%username%", TValueKind::Name, [](const TPlaceHolderValues& v) { return v.UserName(); }},
    {u"%computername%", TValueKind::Name, [](const TPlaceHolderValues& v) { return v.ComputerName(); }},
    {u"%user%", TValueKind::Name, NoValue},
    {u"%computer%", TValueKind::Name, NoValue},
    // second group
    {u"%appdata%", TValueKind::Folder, [](const TPlaceHolderValues& v) { return v.SpecialFolder(CSIDL_APPDATA); }},
    {u"%localappdata%", TValueKind::Folder,
     [](const TPlaceHolderValues& v) { return v.SpecialFolder(CSIDL_LOCAL_APPDATA); }},
    {u"%allusersprofile%", TValueKind::Folder, [](const TPlaceHolderValues& v) { return v.AllUsersProfile(); }},
    {u"%public%", TValueKind::Folder, [](const TPlaceHolderValues& v) { return v.Public(); }},
    {u"%programfiles%", TValueKind::Folder, [](const TPlaceHolderValues& v) { return v.ProgramFiles(4); }},
    {u"%commonprogramfiles%", TValueKind::Folder, [](const TPlaceHolderValues& v) { return v.ProgramFiles(5); }},
    {u"%programfiles(x86)%", TValueKind::Folder, [](const TPlaceHolderValues& v) { return v.ProgramFiles(2); }},
    {u"%commonprogramfiles(x86)%", TValueKind::Folder, [](const TPlaceHolderValues& v) { return v.ProgramFiles(3); }},
    {u"%programdata%", TValueKind::Folder, [](const TPlaceHolderValues& v) { return v.AllUsersProfile(); }},
    {u"%userprofile%", TValueKind::Folder, [](const TPlaceHolderValues& v) { return v.SpecialFolder(CSIDL_PROFILE); }},
};

} // namespace

TPlaceHolderValues SystemPlaceHolderValues(const QProcessEnvironment& env)
{
    TPlaceHolderValues values;
    values.SpecialFolder = [env](int csidl) { return SpecialFolderPath(csidl, env); };
    values.ProgramFiles = [env](int kind) { return ProgramFilesPath(kind, env); };
    values.ProgramDir = [] { return ExePath; };
    values.UserName = [] { return CurrentUserName(); };
    values.ComputerName = [] { return LocalComputerName(); };
    values.AllUsersProfile = [env] { return AllUsersProfilePath(env); };
    values.Public = [env] { return PublicPath(env); };
    return values;
}

QString ExpandPlaceHolders(const QString& text)
{
    if (text.isEmpty())
        return text;
    return ExpandPlaceHolders(text, SystemPlaceHolderValues());
}

QString ExpandPlaceHolders(const QString& text, const TPlaceHolderValues& values)
{
    QString result = text;
    for (const TPlaceHolder& row : PlaceHolders) {
        if (result.isEmpty())
            break;
        const QString token = QString::fromUtf16(row.Token);
        if (!result.contains(token, Qt::CaseInsensitive))
            continue;
        QString value = row.Value(values);
        // A token followed by a delimiter and a subfolder must give one separator.
        if (row.Kind == TValueKind::Folder && value.endsWith(PathDelimiter()))
            value.chop(1);
        result.replace(token, value, Qt::CaseInsensitive);
    }
    return result;
}
