#pragma once

#include <QProcessEnvironment>
#include <QString>

// System information in place of the Windows shell and system calls:
// special folders by CSIDL number, program-files folders, user and computer
// names, environment expansion and the version record of a file.

constexpr int CSIDL_DESKTOP = 0;
constexpr int CSIDL_PERSONAL = 5;
constexpr int CSIDL_FAVORITES = 6;
constexpr int CSIDL_APPDATA = 26;
constexpr int CSIDL_LOCAL_APPDATA = 28;
constexpr int CSIDL_PROGRAM_FILES = 38;
constexpr int CSIDL_PROFILE = 40;
constexpr int CSIDL_PROGRAM_FILES_COMMON = 43;

struct TFileVersionInfo
{
    QString Company;
    QString Description;
    QString Version;
    QString InternalName;
    QString Copyright;
    QString Comments;
};

// The environment is a parameter so that tests can vary it; callers use the
// process environment.
QProcessEnvironment CurrentEnvironment();

// Path of a well-known folder, without a trailing delimiter; empty when the
// folder is unknown on this platform (favorites) or cannot be named.
QString SpecialFolderPath(int csidl, const QProcessEnvironment& env = CurrentEnvironment());

// Kind 0..5 as in the program-files table; any other kind gives kind 0.
QString ProgramFilesPath(int kind, const QProcessEnvironment& env = CurrentEnvironment());

QString WindowsDirectory();
QString CurrentUserName();
QString LocalComputerName();
QString AllUsersProfilePath(const QProcessEnvironment& env = CurrentEnvironment());
QString PublicPath(const QProcessEnvironment& env = CurrentEnvironment());
bool IsWindowsNT4OrLater();
bool IsWindows2000OrLater();

// Replaces each %NAME% whose variable is defined by its value; references
// to undefined variables stay in place, as the system expansion does.
QString ExpandEnvironmentStrings(const QString& text, const QProcessEnvironment& env = CurrentEnvironment());

// Reads the version record embedded in an executable built by this project.
// Returns false (fields cleared) when the file has none or cannot be read.
bool ReadFileVersionInfo(const QString& fileName, TFileVersionInfo& info);

// Block name of a translation entry: language and code page as four upper-case
// hexadecimal digits each ("040904E4").
QString VersionBlockName(quint16 language, quint16 codePage);
