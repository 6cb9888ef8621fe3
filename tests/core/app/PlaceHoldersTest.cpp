#include "app/PlaceHolders.h"

#include "support/QStringPrinter.h"
#include "app/InitProg.h"

#include <QStringList>

#include <gtest/gtest.h>

namespace {

// Values that name their source, with every query recorded.
struct FakeSystem
{
    QStringList Queries;

    std::function<QString()> Answer(const QString& query, const QString& value)
    {
        return [this, query, value]() -> QString {
            Queries << query;
            return value;
        };
    }

    TPlaceHolderValues Values()
    {
        TPlaceHolderValues v;
        v.SpecialFolder = [this](int csidl) -> QString {
            Queries << QStringLiteral("csidl%1").arg(csidl);
            return csidl == CSIDL_FAVORITES ? QString() : QStringLiteral("/f%1/").arg(csidl);
        };
        v.ProgramFiles = [this](int kind) -> QString {
            Queries << QStringLiteral("pf%1").arg(kind);
            return QStringLiteral("/pf%1").arg(kind);
        };
        v.ProgramDir = Answer(QStringLiteral("prog"), QStringLiteral("/opt/tools/"));
        v.UserName = Answer(QStringLiteral("user"), QStringLiteral("anna/"));
        v.ComputerName = Answer(QStringLiteral("host"), QStringLiteral("box"));
        v.AllUsersProfile = Answer(QStringLiteral("all"), QStringLiteral("/all/"));
        v.Public = Answer(QStringLiteral("public"), QStringLiteral("%PUBLIC%")); // PUBLIC unset
        return v;
    }
};

QString Expand(const char* text, FakeSystem& fake)
{
    return ExpandPlaceHolders(QString::fromUtf8(text), fake.Values());
}

} // namespace

TEST(PlaceHolders, EmptyOrPlainTextNeedsNoSystemQuery)
{
    FakeSystem fake;
    EXPECT_EQ(Expand("", fake), QString());
    EXPECT_EQ(Expand("/etc/morvane/x.ini", fake), QStringLiteral("/etc/morvane/x.ini"));
    EXPECT_EQ(Expand("%temp%/a%windir%b%", fake), QStringLiteral("%temp%/a%windir%b%"));
    EXPECT_TRUE(fake.Queries.isEmpty()) << fake.Queries.join(u',').toStdString();
}

TEST(PlaceHolders, CaseInsensitiveEveryOccurrenceOneDelimiter)
{
    FakeSystem fake;
    EXPECT_EQ(Expand("%APPDATA%/a;%AppData%/b", fake), QStringLiteral("/f26/a;/f26/b"));
    EXPECT_EQ(fake.Queries, QStringList{QStringLiteral("csidl26")}); // asked once for both
    EXPECT_EQ(Expand("%progpath%/my.ini", fake), QStringLiteral("/opt/tools/my.ini"));
    EXPECT_EQ(Expand("%ProgramData%|%allusersprofile%", fake), QStringLiteral("/all|/all"));
    EXPECT_EQ(Expand("%favorites%/x", fake), QStringLiteral("/x"));
}

TEST(PlaceHolders, NamesAreInsertedAsGivenAndShortTokensRemoved)
{
    FakeSystem fake;
    EXPECT_EQ(Expand("%username%@%computername%", fake), QStringLiteral("anna/@box"));
    fake.Queries.clear();
    EXPECT_EQ(Expand("a%user%b%COMPUTER%c", fake), QStringLiteral("abc"));
    EXPECT_TRUE(fake.Queries.isEmpty());
}

TEST(PlaceHolders, TokensThatContainOthersKeepTheirOwnValues)
{
    FakeSystem fake;
    EXPECT_EQ(Expand("%programfiles(x86)%|%programfiles%", fake), QStringLiteral("/pf2|/pf4"));
    EXPECT_EQ(Expand("%commonprogramfiles(x86)%|%commonprogramfiles%|%progfiles%", fake),
              QStringLiteral("/pf3|/pf5|/pf0"));
    EXPECT_EQ(Expand("%localappdata%|%userprofile%|%profile%|%perspath%|%desktop%|%apppath%", fake),
              QStringLiteral("/f28|/f40|/f40|/f5|/f0|/f26"));
}

TEST(PlaceHolders, SinglePassInTableOrder)
{
    FakeSystem fake;
    // An unset PUBLIC comes back as its reference and is not touched again.
    EXPECT_EQ(Expand("%public%/x", fake), QStringLiteral("%PUBLIC%/x"));

    // A value of the first group is searched by the second group, not the reverse.
    TPlaceHolderValues v = fake.Values();
    v.UserName = []() -> QString { return QStringLiteral("%appdata%"); };
    EXPECT_EQ(ExpandPlaceHolders(QStringLiteral("%username%"), v), QStringLiteral("/f26"));
    v.SpecialFolder = [](int) -> QString { return QStringLiteral("%username%"); };
    EXPECT_EQ(ExpandPlaceHolders(QStringLiteral("%appdata%"), v), QStringLiteral("%username%"));
}

TEST(PlaceHolders, SystemValuesComeFromThePlatformLayer)
{
    const QString savedExePath = ExePath;
    ExePath = QStringLiteral("/opt/morvane/");
    QProcessEnvironment env;
    env.insert(QStringLiteral("HOME"), QStringLiteral("/home/anna"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), QStringLiteral("/home/anna/cfg/"));
    const TPlaceHolderValues values = SystemPlaceHolderValues(env);
    EXPECT_EQ(ExpandPlaceHolders(QStringLiteral("%progpath%/x|%AppData%/x"), values),
              QStringLiteral("/opt/morvane/x|/home/anna/cfg/x"));
    EXPECT_EQ(ExpandPlaceHolders(QStringLiteral("%userprofile%"), values), QStringLiteral("/home/anna"));
    ExePath = QStringLiteral("/");
    EXPECT_EQ(ExpandPlaceHolders(QStringLiteral("%progpath%/m.ini"), values), QStringLiteral("/m.ini"));
    ExePath = savedExePath;
}
