#include "platform/SysInfo.h"

#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

// Built at run time so that this test program carries no second record.
QByteArray Marker()
{
    return QByteArray("MorvaneVersion") + QByteArray("Record:");
}

QProcessEnvironment Env(std::initializer_list<std::pair<const char*, const char*>> vars)
{
    QProcessEnvironment env;
    for (const auto& [name, value] : vars)
        env.insert(QString::fromUtf8(name), QString::fromUtf8(value));
    return env;
}

TEST(SysInfo, SpecialFoldersFollowXdgAndHome)
{
    const auto env = Env({{"HOME", "/home/u"}});
    EXPECT_EQ(SpecialFolderPath(CSIDL_APPDATA, env), S("/home/u/.config"));
    EXPECT_EQ(SpecialFolderPath(CSIDL_LOCAL_APPDATA, env), S("/home/u/.local/share"));
    EXPECT_EQ(SpecialFolderPath(CSIDL_PROFILE, env), S("/home/u"));
    EXPECT_EQ(SpecialFolderPath(CSIDL_PERSONAL, env), S("/home/u/Documents"));
    EXPECT_EQ(SpecialFolderPath(CSIDL_DESKTOP, env), S("/home/u/Desktop"));
    EXPECT_EQ(SpecialFolderPath(CSIDL_PROGRAM_FILES, env), S("/usr/bin"));
    EXPECT_EQ(SpecialFolderPath(CSIDL_PROGRAM_FILES_COMMON, env), S("/usr/lib"));
    EXPECT_EQ(SpecialFolderPath(CSIDL_FAVORITES, env), QString());
    EXPECT_EQ(SpecialFolderPath(12345, env), QString());
    EXPECT_EQ(SpecialFolderPath(-1, env), QString());

    const auto xdg = Env({{"HOME", "/home/u/"}, {"XDG_CONFIG_HOME", "/cfg/"}, {"XDG_DATA_HOME", "relative"}});
    EXPECT_EQ(SpecialFolderPath(CSIDL_APPDATA, xdg), S("/cfg"));
    // A relative XDG value is ignored, as the XDG rules say.
    EXPECT_EQ(SpecialFolderPath(CSIDL_LOCAL_APPDATA, xdg), S("/home/u/.local/share"));
    EXPECT_EQ(SpecialFolderPath(CSIDL_PROFILE, xdg), S("/home/u"));
}

TEST(SysInfo, UserDirsFileNamesDocumentsAndDesktop)
{
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    ASSERT_TRUE(WriteFile(home.filePath(S(".config/user-dirs.dirs")),
                          "# written by xdg-user-dirs-update\n"
                          "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n"
                          "XDG_DOCUMENTS_DIR=\"/srv/docs\"\n"));
    const auto env = HomeEnvironment(home.path());
    EXPECT_EQ(SpecialFolderPath(CSIDL_DESKTOP, env), home.path() + S("/Schreibtisch"));
    EXPECT_EQ(SpecialFolderPath(CSIDL_PERSONAL, env), S("/srv/docs"));
}

TEST(SysInfo, ProgramFilesKinds)
{
    const auto none = Env({{"HOME", "/h"}});
    EXPECT_EQ(ProgramFilesPath(0, none), S("/usr/bin"));
    EXPECT_EQ(ProgramFilesPath(1, none), S("/usr/lib"));
    EXPECT_EQ(ProgramFilesPath(2, none), ProgramFilesPath(0, none));
    EXPECT_EQ(ProgramFilesPath(3, none), S("/usr/lib"));
    EXPECT_EQ(ProgramFilesPath(9, none), S("/usr/bin"));
    EXPECT_EQ(ProgramFilesPath(-3, none), S("/usr/bin"));

    // An empty variable falls back to the shell folder, not to an empty text.
    const auto empty = Env({{"ProgramW6432", ""}});
    EXPECT_EQ(ProgramFilesPath(4, empty), S("/usr/bin"));

    const auto set = Env({{"ProgramFiles(x86)", "/opt/x86"},
                          {"CommonProgramFiles(x86)", "/opt/x86c"},
                          {"ProgramW6432", "/opt/64"},
                          {"CommonProgramW6432", "/opt/64c"}});
    EXPECT_EQ(ProgramFilesPath(2, set), S("/opt/x86"));
    EXPECT_EQ(ProgramFilesPath(3, set), S("/opt/x86c"));
    EXPECT_EQ(ProgramFilesPath(4, set), S("/opt/64"));
    EXPECT_EQ(ProgramFilesPath(5, set), S("/opt/64c"));
    EXPECT_EQ(ProgramFilesPath(0, set), S("/usr/bin"));
}

TEST(SysInfo, EnvironmentExpansionLeavesUndefinedReferences)
{
    const auto env = Env({{"PUBLIC", "/srv/public"}, {"ALLUSERSPROFILE", "/srv/all"}, {"A", "x"}});
    EXPECT_EQ(PublicPath(env), S("/srv/public"));
    EXPECT_EQ(AllUsersProfilePath(env), S("/srv/all"));
    EXPECT_EQ(PublicPath(Env({})), S("%PUBLIC%"));
    EXPECT_EQ(AllUsersProfilePath(Env({})), S("%ALLUSERSPROFILE%"));

    EXPECT_EQ(ExpandEnvironmentStrings(S("%A%/%B%/%A%"), env), S("x/%B%/x"));
    EXPECT_EQ(ExpandEnvironmentStrings(S("100%"), env), S("100%"));
    EXPECT_EQ(ExpandEnvironmentStrings(S("%B%A%"), env), S("%Bx"));
    EXPECT_EQ(ExpandEnvironmentStrings(S("%%"), env), S("%%"));
}

TEST(SysInfo, NamesOfUserAndComputer)
{
    EXPECT_FALSE(CurrentUserName().isEmpty());
    EXPECT_FALSE(LocalComputerName().isEmpty());
    EXPECT_EQ(WindowsDirectory(), S("/"));
}

TEST(SysInfo, VersionBlockNames)
{
    EXPECT_EQ(VersionBlockName(0x0409, 0x04E4), S("040904E4"));
    EXPECT_EQ(VersionBlockName(0x0407, 0x04B0), S("040704B0"));
}

TEST(SysInfo, VersionRecordOfThisExecutable)
{
    TFileVersionInfo info;
    info.Comments = S("stale");
    ASSERT_TRUE(ReadFileVersionInfo(QCoreApplication::applicationFilePath(), info));
    EXPECT_EQ(info.Version, S("3.3.1.0"));
    EXPECT_TRUE(info.InternalName.isEmpty());
    EXPECT_TRUE(info.Comments.isEmpty());
    EXPECT_FALSE(info.Copyright.isEmpty());
}

TEST(SysInfo, VersionRecordSelectsTranslationBlock)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(S("prog"));
    ASSERT_TRUE(WriteFile(file, QByteArray("\x7f" "ELF junk\0\0", 11) + Marker() +
                                    "\\VarFileInfo\\Translation=0407 04B0\n"
                                    "\\StringFileInfo\\040904E4\\FileVersion=1.0\n"
                                    "\\StringFileInfo\\040704B0\\FileVersion=2.5.0.7\n"
                                    "\\StringFileInfo\\040704B0\\InternalName=Werkzeug\n"
                                    "\\StringFileInfo\\040704B0\\Comments=Kommentar\n" +
                                    QByteArray("\0more", 5)));
    TFileVersionInfo info;
    ASSERT_TRUE(ReadFileVersionInfo(file, info));
    EXPECT_EQ(info.Version, S("2.5.0.7"));
    EXPECT_EQ(info.InternalName, S("Werkzeug"));
    EXPECT_EQ(info.Comments, S("Kommentar"));
    EXPECT_TRUE(info.Company.isEmpty());
}

TEST(SysInfo, VersionRecordMissingOrBroken)
{
    QTemporaryDir dir;
    TFileVersionInfo info;
    EXPECT_FALSE(ReadFileVersionInfo(dir.filePath(S("missing")), info));
    EXPECT_FALSE(ReadFileVersionInfo(dir.path(), info));

    const QString plain = dir.filePath(S("plain"));
    ASSERT_TRUE(WriteFile(plain, "no record here"));
    EXPECT_FALSE(ReadFileVersionInfo(plain, info));

    const QString empty = dir.filePath(S("empty"));
    ASSERT_TRUE(WriteFile(empty, QByteArray()));
    EXPECT_FALSE(ReadFileVersionInfo(empty, info));

    // A record cut off by the end of the file, without translation: no strings, no overrun.
    const QString cut = dir.filePath(S("cut"));
    ASSERT_TRUE(WriteFile(cut, Marker() + "\\StringFileInfo\\040904E4\\FileVersion=9"));
    info.Version = S("old");
    EXPECT_TRUE(ReadFileVersionInfo(cut, info));
    EXPECT_TRUE(info.Version.isEmpty());
}

} // namespace
