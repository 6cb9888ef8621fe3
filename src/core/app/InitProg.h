#pragma once

#include "platform/SysInfo.h"

#include <QString>

// Program-wide locations, set once at start-up and read-only afterwards.
extern QString ExePath;     // folder of the running executable, with a trailing delimiter
extern QString ExeBaseName; // executable's file name without its extension
extern QString AppSubDir;   // subfolder below the application-data folder; empty here

// The version record of the running executable, filled by ProgramVersion.
extern TFileVersionInfo VersionInfo;

// Module start-up: sets ExePath and ExeBaseName from the running executable
// (or from the given full name, for tests) and clears AppSubDir.
void InitProgModule();
void SetExecutableName(const QString& fullName);
QString ExecutableFileName();

QString GetAppPath(const QString& subDir, bool create, const QProcessEnvironment& env = CurrentEnvironment());
void InitPaths(QString& appPath, QString& userPath, QString& progPath, bool create,
               const QProcessEnvironment& env = CurrentEnvironment());
// AppPath + ExeBaseName + ".ini" (no extension when the base name has a dot).
QString IniName(const QString& appPath);
// The same for another program of the family: the command-line client reads
// the window's file ("morvane") with it.
QString IniName(const QString& appPath, const QString& exeBaseName);

QString VersionText(int digits);
QString VersionText(const QString& version, int digits);

// Fills VersionInfo from the executable's version record and returns the
// name with version and the executable's date in the short date format.
void ProgramVersion(const QString& programName, const QString& fallbackVersion, const QString& fallbackCopyright,
                    int digits, QString& nameWithVersion, QString& dateText);
