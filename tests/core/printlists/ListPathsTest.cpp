#include "printlists/ListPaths.h"

#include "support/QStringPrinter.h"

#include <gtest/gtest.h>

namespace {

struct TEntryCase
{
    const char* common;
    const char* file;
    const char* entry;
};

void ExpectEntries(const std::initializer_list<TEntryCase>& cases, PathStyle style)
{
    for (const TEntryCase& c : cases)
        EXPECT_EQ(RelativeListEntry(QString::fromUtf8(c.common), QString::fromUtf8(c.file), style),
                  QString::fromUtf8(c.entry))
            << c.common << " + " << c.file;
}

int Length(const QString& text)
{
    return int(text.size());
}

// A proportional font: a dot is a quarter as wide as any other character.
int ThinDotsWidth(const QString& text)
{
    return int(4 * text.size() - 3 * text.count(u'.'));
}

} // namespace

TEST(ListPaths, WindowsEntriesFollowDrivesAndFoldersWithoutCase)
{
    ExpectEntries(
        {
            {"C:\\Docs", "C:\\Docs\\a.pdf", "a.pdf"},
            {"C:\\Docs\\", "C:\\Docs\\Sub\\b.pdf", "Sub\\b.pdf"},
            {"C:\\Docs\\", "c:\\other\\c.pdf", "..\\other\\c.pdf"},
            {"C:\\Docs\\", "D:\\x.pdf", "D:\\x.pdf"},
            {"C:\\docs\\sub\\", "C:\\DOCS\\x.pdf", "..\\x.pdf"},
            {"C:\\Docs\\A\\B\\", "C:\\y.pdf", "..\\..\\..\\y.pdf"},
            {"", "C:\\Docs\\a.pdf", "C:\\Docs\\a.pdf"},
            {"\\", "C:\\Docs\\a.pdf", "C:\\Docs\\a.pdf"},
            {"\\\\srv\\share\\docs\\", "\\\\SRV\\Share\\other\\c.pdf", "..\\other\\c.pdf"},
            {"\\\\srv\\share\\docs\\", "\\\\srv\\other\\docs\\c.pdf", "\\\\srv\\other\\docs\\c.pdf"},
            {"C:\\Docs\\.\\Sub\\..\\", "C:\\Docs\\a.pdf", "a.pdf"},
        },
        PathStyle::Windows);
}

TEST(ListPaths, PosixEntriesStepUpButKeepFullPathsWhereNothingIsShared)
{
    ExpectEntries(
        {
            {"/home/u/docs", "/home/u/docs/a.pdf", "a.pdf"},
            {"/home/u/docs/", "/home/u/docs/Sub/b.pdf", "Sub/b.pdf"},
            {"/home/u/docs/", "/home/u/other/c.pdf", "../other/c.pdf"},
            {"/home/u/docs/", "/mnt/x.pdf", "/mnt/x.pdf"},
            {"/home/u/Docs/", "/home/u/docs/a.pdf", "../docs/a.pdf"},
            {"", "/home/u/a.pdf", "/home/u/a.pdf"},
            {"/", "/home/u/a.pdf", "/home/u/a.pdf"},
            {"docs/", "/home/u/docs/a.pdf", "/home/u/docs/a.pdf"},
            {"/home/u/../u/docs//", "/home/u/docs/a.pdf", "a.pdf"},
            {"/home/u/docs/", "/home/u/docs/C:\\x.pdf", "C:\\x.pdf"},
        },
        PathStyle::Posix);
}

TEST(ListPaths, ShortPathsStayAndLongOnesLoseFoldersFromTheFront)
{
    const QString path = u"C:\\aaaa\\bbbb\\cccc\\list"_qs;
    const struct
    {
        int width;
        const char* shown;
    } steps[] = {
        {100, "C:\\aaaa\\bbbb\\cccc\\list"},
        {22, "C:\\aaaa\\bbbb\\cccc\\list"},
        {21, "C:\\...\\bbbb\\cccc\\list"},
        {20, "C:\\...\\cccc\\list"},
        {11, "C:\\...\\list"},
        {10, "...\\list"},
        {7, "list"},
        {0, "list"},
    };
    for (const auto& s : steps)
        EXPECT_EQ(ShortenPathToWidth(path, s.width, Length, PathStyle::Windows), QString::fromUtf8(s.shown)) << s.width;

    EXPECT_EQ(ShortenPathToWidth(u"/home/user/documents/"_qs, 16, Length, PathStyle::Posix), u"/.../documents/"_qs);
    EXPECT_EQ(ShortenPathToWidth(QString(), 0, Length, PathStyle::Posix), QString());
    // Runs of delimiters and folders that begin with a dot still shrink to the name.
    EXPECT_EQ(ShortenPathToWidth(u"//.a//.b///x"_qs, 1, Length, PathStyle::Posix), u"x"_qs);
    EXPECT_EQ(ShortenPathToWidth(u"/.a/b/c/x"_qs, 8, Length, PathStyle::Posix), u"/.../c/x"_qs);

    // "remove the first four characters when the part now begins with a dot": a
    // first folder that begins with a dot is read as an earlier "...", so it
    // goes in one step together with the folder after it, even where keeping
    // that folder would fit.
    const struct
    {
        const char* path;
        PathStyle style;
        int width;
        const char* shown;
    } dotted[] = {
        {"C:\\.ab\\x\\y\\name", PathStyle::Windows, 51, "C:\\...\\y\\name"},
        {"C:\\.a\\x\\y\\name", PathStyle::Windows, 51, "C:\\...\\y\\name"},
        {"C:\\.abc\\x\\y\\name", PathStyle::Windows, 51, "C:\\...\\x\\y\\name"},
        {"/.a/x/y/name", PathStyle::Posix, 43, "/.../y/name"},
        {"/.config/x/y/name", PathStyle::Posix, 43, "/.../x/y/name"},
        {"/home/.a/y/name", PathStyle::Posix, 44, "/.../.a/y/name"},
    };
    for (const auto& d : dotted)
        EXPECT_EQ(ShortenPathToWidth(QString::fromUtf8(d.path), d.width, ThinDotsWidth, d.style),
                  QString::fromUtf8(d.shown))
            << d.path;
}

TEST(ListPaths, RebasedEntriesNameTheSameFileFromTheListsFolder)
{
    const struct
    {
        const char* entry;
        const char* from;
        const char* to;
        const char* rebased;
    } cases[] = {
        {"a.pdf", "/t/docs/", "/t/lists/", "../docs/a.pdf"},
        {"Sub/b.pdf", "/t/docs", "/t/docs/Sub/", "b.pdf"},
        {"../other/c.pdf", "/t/docs/", "/t/other/", "c.pdf"},
        {"/elsewhere/x.pdf", "/t/docs/", "/t/lists/", "/elsewhere/x.pdf"},
        {"", "/t/docs/", "/t/lists/", ""},
        {"./a.pdf", "/t/docs", "/t/docs/", "./a.pdf"},
        {"a.pdf", "/t/docs/", "/u/lists/", "/t/docs/a.pdf"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RebaseListEntry(QString::fromUtf8(c.entry), QString::fromUtf8(c.from), QString::fromUtf8(c.to),
                                  PathStyle::Posix),
                  QString::fromUtf8(c.rebased))
            << c.entry << " from " << c.from << " to " << c.to;
    EXPECT_EQ(RebaseListEntry(u"a.pdf"_qs, u"C:\\Docs\\"_qs, u"C:\\Lists\\"_qs, PathStyle::Windows),
              u"..\\Docs\\a.pdf"_qs);
    EXPECT_EQ(RebaseListEntry(u"D:\\x.pdf"_qs, u"C:\\Docs\\"_qs, u"C:\\Lists\\"_qs, PathStyle::Windows),
              u"D:\\x.pdf"_qs);
}
