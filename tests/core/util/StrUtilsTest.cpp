#include "util/StrUtils.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

using testing_support::S;

namespace {

constexpr auto Win = PathStyle::Windows;
constexpr auto Posix = PathStyle::Posix;

QStringList Tokens(QString s, QChar sep = u';')
{
    QStringList out;
    while (!s.isEmpty())
        out << ReadNextString(s, sep);
    return out;
}

TEST(StrUtils, RemoveBlanksOnlyRemovesSpaces)
{
    EXPECT_EQ(RemoveBlanks(S(" 1 2\t3 ")), S("12\t3"));
    EXPECT_EQ(RemoveBlanks(S("   ")), QString());
    EXPECT_EQ(ReplaceChar(S("a;b;c"), u';', u'|'), S("a|b|c"));
}

TEST(StrUtils, ReadNextStringTokens)
{
    EXPECT_EQ(Tokens(S("a;;b")), (QStringList{S("a"), QString(), S("b")}));
    EXPECT_EQ(Tokens(S("a;")), QStringList{S("a")});
    EXPECT_EQ(Tokens(S(";x")), (QStringList{QString(), S("x")}));
    EXPECT_EQ(Tokens(S(" a ; b ")), (QStringList{S(" a "), S(" b ")}));

    QString empty;
    EXPECT_EQ(ReadNextString(empty, u';'), QString());
    EXPECT_TRUE(empty.isEmpty());
}

TEST(StrUtils, OptionAbbreviationsAndValues)
{
    EXPECT_TRUE(IsOptionAbbreviation(QString(), S("lang")));
    EXPECT_TRUE(IsOptionAbbreviation(S("LA"), S("lang")));
    EXPECT_TRUE(IsOptionAbbreviation(S("lang"), S("lang")));
    EXPECT_FALSE(IsOptionAbbreviation(S("LANGX"), S("lang")));
    EXPECT_FALSE(IsOptionAbbreviation(S("lx"), S("lang")));

    QString s = S("LA:de");
    EXPECT_TRUE(ReadOptionValue(s, S("lang")));
    EXPECT_EQ(s, S("de"));

    s = S("portable");
    EXPECT_FALSE(ReadOptionValue(s, S("portable")));
    EXPECT_EQ(s, S("portable"));

    s = S("ini:C:\\x.cfg"); // only the first colon separates the value
    EXPECT_TRUE(ReadOptionValue(s, S("ini")));
    EXPECT_EQ(s, S("C:\\x.cfg"));

    s = S("xyz:1");
    EXPECT_FALSE(ReadOptionValue(s, S("lang")));
    EXPECT_EQ(s, S("xyz:1"));
}

TEST(StrUtils, DirectoryWithDelimiterBothStyles)
{
    EXPECT_EQ(DirectoryWithDelimiter(QString(), Win), QString());
    EXPECT_EQ(DirectoryWithDelimiter(S("C:\\a"), Win), S("C:\\a\\"));
    EXPECT_EQ(DirectoryWithDelimiter(S("C:\\a\\"), Win), S("C:\\a\\"));
    EXPECT_EQ(DirectoryWithDelimiter(S("C:/a"), Win), S("C:/a\\"));
    EXPECT_EQ(DirectoryWithDelimiter(QString(), Posix), QString());
    EXPECT_EQ(DirectoryWithDelimiter(S("/a"), Posix), S("/a/"));
    EXPECT_EQ(DirectoryWithDelimiter(S("/"), Posix), S("/"));
    EXPECT_EQ(DirectoryWithDelimiter(S("a\\"), Posix), S("a\\/"));
}

TEST(StrUtils, FileExtensionBothStyles)
{
    EXPECT_EQ(FileExtension(S("a.b.pbt"), Win), S("pbt"));
    EXPECT_EQ(FileExtension(S(".pbt"), Win), S("pbt"));
    EXPECT_EQ(FileExtension(S("file."), Win), QString());
    EXPECT_EQ(FileExtension(S("dir.x\\file"), Win), QString());
    EXPECT_EQ(FileExtension(S("dir.x\\"), Win), QString());
    EXPECT_EQ(FileExtension(S("dir.x/file"), Win), S("x/file")); // slash is ordinary there

    EXPECT_EQ(FileExtension(S("a.b.PBT"), Posix), S("PBT"));
    EXPECT_EQ(FileExtension(S("dir.x/file"), Posix), QString());
    EXPECT_EQ(FileExtension(S("dir.x/"), Posix), QString());
    EXPECT_EQ(FileExtension(S("dir.x\\file"), Posix), S("x\\file"));
    EXPECT_EQ(FileExtension(QString(), Posix), QString());
}

TEST(StrUtils, BuildFileNameWindowsExamples)
{
    EXPECT_EQ(BuildFileName(S("C:\\Docs"), S("a"), S("pdf"), Win), S("C:\\Docs\\a.pdf"));
    EXPECT_EQ(BuildFileName(S("C:\\Docs\\"), S("a.txt"), S("pdf"), Win), S("C:\\Docs\\a.txt"));
    EXPECT_EQ(BuildFileName(S("C:\\Docs"), S("*"), S("*"), Win), S("C:\\Docs\\*.*"));
    EXPECT_EQ(BuildFileName(S("C:\\Docs"), S("D:\\x.pdf"), QString(), Win), S("D:\\x.pdf"));
    EXPECT_EQ(BuildFileName(S("C:\\Docs"), S("\\x.pdf"), QString(), Win), S("\\x.pdf"));
    EXPECT_EQ(BuildFileName(S("C:\\Docs"), QString(), QString(), Win), S("C:\\Docs\\"));
    EXPECT_EQ(BuildFileName(QString(), S("a.pdf"), QString(), Win), S("a.pdf"));
    EXPECT_EQ(BuildFileName(S("C:\\Docs"), S("my.report"), S("pdf"), Win), S("C:\\Docs\\my.report"));
    EXPECT_EQ(BuildFileName(S("C:\\Docs"), S("a"), S(".pdf"), Win), S("C:\\Docs\\a.pdf"));
    EXPECT_EQ(BuildFileName(S("C:\\D.x"), S("sub.d\\a"), S("pdf"), Win), S("C:\\D.x\\sub.d\\a"));
    EXPECT_EQ(BuildFileName(S("C:\\Docs"), S("a"), S(".."), Win), S("C:\\Docs\\a.."));
}

TEST(StrUtils, BuildFileNamePosixCounterparts)
{
    EXPECT_EQ(BuildFileName(S("/docs"), S("a"), S("pdf"), Posix), S("/docs/a.pdf"));
    EXPECT_EQ(BuildFileName(S("/docs/"), S("a.txt"), S("pdf"), Posix), S("/docs/a.txt"));
    EXPECT_EQ(BuildFileName(S("/docs"), S("*"), S("*"), Posix), S("/docs/*.*"));
    EXPECT_EQ(BuildFileName(S("/docs"), S("/other/x.pdf"), QString(), Posix), S("/other/x.pdf"));
    EXPECT_EQ(BuildFileName(S("/docs"), S("c:x.pdf"), QString(), Posix), S("/docs/c:x.pdf"));
    EXPECT_EQ(BuildFileName(S("/docs"), QString(), QString(), Posix), S("/docs/"));
    EXPECT_EQ(BuildFileName(QString(), S("a.pdf"), QString(), Posix), S("a.pdf"));
    EXPECT_EQ(BuildFileName(S("/docs"), S("my.report"), S("pdf"), Posix), S("/docs/my.report"));
    EXPECT_EQ(BuildFileName(S("/home/u/.config/"), S("morvane"), S("ini"), Posix), S("/home/u/.config/morvane.ini"));
    EXPECT_EQ(BuildFileName(S("/x/"), S("abc.def"), S("ini"), Posix), S("/x/abc.def"));
}

TEST(StrUtils, ShortenPathWindowsExamples)
{
    const QString longPath = S("C:\\Users\\someone\\Documents\\Projects\\2024\\Reports\\annual_report_final.pdf");
    ASSERT_EQ(longPath.size(), 72);
    EXPECT_EQ(ShortenPath(longPath, 50, Win), S("C:\\Users\\someone\\...\\annual_report_final.pdf"));
    EXPECT_EQ(ShortenPath(S("C:\\dir1\\dir2\\dir3\\name.pdf"), 20, Win), S("C:\\dir1\\...\\name.pdf"));

    const QString rootFile = S("C:\\") + QString(64, u'n');
    ASSERT_EQ(rootFile.size(), 67);
    EXPECT_EQ(ShortenPath(rootFile, 50, Win), S("...") + rootFile.right(48));

    EXPECT_EQ(ShortenPath(S("C:\\a\\b.pdf"), 50, Win), S("C:\\a\\b.pdf"));
}

TEST(StrUtils, ShortenPathEdgeCases)
{
    // Exactly MaxLen counts as too long; the cut must fit into MaxLen.
    const QString exact = S("C:\\aaaa\\bbbb\\cccc\\name.pdf");
    ASSERT_EQ(exact.size(), 26);
    const QString cut = ShortenPath(exact, 26, Win);
    EXPECT_EQ(cut, S("C:\\aaaa\\bbbb\\...\\name.pdf"));
    EXPECT_LE(cut.size(), 26);
    EXPECT_EQ(ShortenPath(exact, 27, Win), exact);

    // No delimiter at all: grows to MaxLen + 1.
    const QString plain(30, u'x');
    EXPECT_EQ(ShortenPath(plain, 20, Win), S("...") + plain.right(18));
    EXPECT_EQ(ShortenPath(plain, 20, Win).size(), 21);

    // A trailing delimiter belongs to the last name.
    EXPECT_EQ(ShortenPath(S("C:\\dir1\\dir2\\dir3\\name\\"), 20, Win), S("C:\\dir1\\...\\name\\"));

    // Nothing before the last name fits: fall back to the tail.
    const QString deep = S("C:\\") + QString(10, u'd') + S("\\") + QString(40, u'f');
    EXPECT_EQ(ShortenPath(deep, 30, Win), S("...") + deep.right(28));

    // POSIX counterparts
    EXPECT_EQ(ShortenPath(S("/home/someone/Documents/Projects/2024/Reports/annual_report_final.pdf"), 50, Posix),
              S("/home/someone/.../annual_report_final.pdf"));
    EXPECT_EQ(ShortenPath(S("/dir1/dir2/dir3/name.pdf"), 20, Posix), S("/dir1/.../name.pdf"));
    const QString rootPosix = S("/") + QString(64, u'n');
    EXPECT_EQ(ShortenPath(rootPosix, 50, Posix), S("...") + rootPosix.right(48));
    EXPECT_EQ(ShortenPath(S("C:\\dir1\\dir2\\dir3\\name.pdf"), 20, Posix), S("...") + S("C:\\dir1\\dir2\\dir3\\name.pdf").right(18));
}

TEST(StrUtils, ParentDirectoryBothStyles)
{
    EXPECT_EQ(ParentDirectory(S("C:\\a\\b\\"), Win), S("C:\\a"));
    EXPECT_EQ(ParentDirectory(S("C:\\a"), Win), S("C:"));
    EXPECT_EQ(ParentDirectory(S("C:\\"), Win), S("C:"));
    EXPECT_EQ(ParentDirectory(S("\\a"), Win), S("\\a"));
    EXPECT_EQ(ParentDirectory(S("abc"), Win), S("abc"));
    EXPECT_EQ(ParentDirectory(S("\\\\server\\share"), Win), S("\\\\server"));

    EXPECT_EQ(ParentDirectory(S("/a/b/"), Posix), S("/a"));
    EXPECT_EQ(ParentDirectory(S("/a/b"), Posix), S("/a"));
    EXPECT_EQ(ParentDirectory(S("/a"), Posix), S("/a"));
    EXPECT_EQ(ParentDirectory(S("/"), Posix), QString());
    EXPECT_EQ(ParentDirectory(S("abc"), Posix), S("abc"));
    EXPECT_EQ(ParentDirectory(S("C:\\a\\b"), Posix), S("C:\\a\\b"));
}

TEST(StrUtils, PathPartsBothStyles)
{
    struct Case
    {
        const char* path;
        PathStyle style;
        const char* folder;
        const char* name;
        const char* trimmed;
    };
    const Case cases[] = {
        {"/a/b/c.pdf", Posix, "/a/b/", "c.pdf", "/a/b/c.pdf"},
        {"/a/b//", Posix, "/a/b//", "", "/a/b"},
        {"/", Posix, "/", "", "/"},
        {"//", Posix, "//", "", "/"},
        {"c.pdf", Posix, "", "c.pdf", "c.pdf"},
        {"", Posix, "", "", ""},
        {"C:\\a\\b.pbt", Posix, "", "C:\\a\\b.pbt", "C:\\a\\b.pbt"},
        {"C:\\a\\b.pbt", Win, "C:\\a\\", "b.pbt", "C:\\a\\b.pbt"},
        {"C:\\a\\", Win, "C:\\a\\", "", "C:\\a"},
        {"C:b.pbt", Win, "", "C:b.pbt", "C:b.pbt"}, // only the delimiter splits
        {"a/b", Win, "", "a/b", "a/b"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(FolderPart(S(c.path), c.style), S(c.folder));
        EXPECT_EQ(FileNamePart(S(c.path), c.style), S(c.name));
        EXPECT_EQ(FolderPart(S(c.path), c.style) + FileNamePart(S(c.path), c.style), S(c.path));
        EXPECT_EQ(WithoutTrailingDelimiter(S(c.path), c.style), S(c.trimmed));
    }
}

TEST(StrUtils, ValidEntryNames)
{
    EXPECT_FALSE(IsValidEntryName(S(".")));
    EXPECT_FALSE(IsValidEntryName(S("..")));
    EXPECT_TRUE(IsValidEntryName(S("...")));
    EXPECT_TRUE(IsValidEntryName(QString()));
    EXPECT_TRUE(IsValidEntryName(S(".hidden")));
    EXPECT_FALSE(IsValidEntryName(S(".hidden"), S(".")));
    EXPECT_FALSE(IsValidEntryName(S("$x"), S("$~")));
    EXPECT_TRUE(IsValidEntryName(S("x$"), S("$~")));
    EXPECT_TRUE(IsValidEntryName(QString(), S("$")));
}

} // namespace
