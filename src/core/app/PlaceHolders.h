#pragma once

#include "platform/SysInfo.h"

#include <QString>

#include <functional>

// Where the placeholder values come from. The system provider asks the
// platform layer; tests hand in their own functions to see which queries run.
struct TPlaceHolderValues
{
    std::function<QString(int csidl)> SpecialFolder;
    std::function<QString(int kind)> ProgramFiles;
    std::function<QString()> ProgramDir; // folder of the executable
    std::function<QString()> UserName;
    std::function<QString()> ComputerName;
    std::function<QString()> AllUsersProfile;
    std::function<QString()> Public;
};

TPlaceHolderValues SystemPlaceHolderValues(const QProcessEnvironment& env = CurrentEnvironment());

// Replaces the known tokens ("%appdata%", "%progpath%", ...) without regard
// to case; every other text stays as it is. One pass over the token tables.
QString ExpandPlaceHolders(const QString& text);
QString ExpandPlaceHolders(const QString& text, const TPlaceHolderValues& values);
