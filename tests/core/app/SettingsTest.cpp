#include "app/IniFileUtils.h"

#include "app/Histories.h"
#include "app/MainSettings.h"

#include "support/ScopedFileSizeLimit.h"
#include "support/TestSupport.h"

#include <QFileInfo>
#include <QRandomGenerator>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>

using namespace testing_support;

namespace {

QByteArray Utf16LE(const QString& text)
{
    return QStringEncoder(QStringEncoder::Utf16LE).encode(text);
}

QByteArray Utf16BE(const QString& text)
{
    return QStringEncoder(QStringEncoder::Utf16BE).encode(text);
}

TMemIniFile Parse(const QByteArray& bytes)
{
    TMemIniFile ini(QString{});
    ini.SetBytes(bytes);
    return ini;
}

// A hand-written file that exercises every reading rule at once.
const char* const kRules = "stray=dropped before the first section\r\n"
                           "[ Config ]\n"
                           "\t Left = 12 \r"
                           "; a comment\r\n"
                           "   ;indented comment\n"
                           "\n"
                           "Path = \"C:\\a b\" = x \r\n"
                           "no equals sign here\r\n"
                           "Name=\xC3\xA4\xC2\xA0\r\n" // a-umlaut, then a no-break space that is kept
                           "[Other\r\n"
                           "[Empty]\r\n"
                           "[Last]\r\n"
                           "k=\r\n";

void ExpectRulesApplied(const TMemIniFile& ini)
{
    EXPECT_EQ(ini.ReadSections(), (QStringList{S("Config"), S("Empty"), S("Last")}));
    EXPECT_EQ(ini.ReadString(S("config"), S("LEFT"), S("-")), S("12"));
    // Split at the first "=", both parts stripped, quotes kept.
    EXPECT_EQ(ini.ReadString(S("Config"), S("Path"), S("-")), S("\"C:\\a b\" = x"));
    EXPECT_EQ(ini.ReadString(S("Config"), S("Name"), S("-")), S("\u00e4\u00a0"));
    EXPECT_EQ(ini.ReadString(S("Config"), S("stray"), S("-")), S("-"));
    // "[Other" is no header: an entry without "=" of the current section.
    EXPECT_EQ(ini.ReadSection(S("Config")), (QStringList{S("Left"), S("Path"), QString(), S("Name"), QString()}));
    EXPECT_FALSE(ini.SectionExists(S("Empty")));
    EXPECT_TRUE(ini.SectionExists(S("LAST")));
    EXPECT_EQ(ini.ReadString(S("Last"), S("k"), S("-")), QString());
}

TEST(IniFileTest, ReadingRulesInEveryEncoding)
{
    const QString text = S(kRules);
    struct Case
    {
        const char* name;
        QByteArray bytes;
        TIniEncoding encoding;
    };
    const Case cases[] = {
        {"locale (UTF-8) without mark", text.toUtf8(), TIniEncoding::Ansi},
        {"UTF-8 with mark", QByteArray("\xEF\xBB\xBF") + text.toUtf8(), TIniEncoding::Utf8},
        {"UTF-16 LE", QByteArray("\xFF\xFE") + Utf16LE(text), TIniEncoding::Utf16LE},
        {"UTF-16 BE", QByteArray("\xFE\xFF") + Utf16BE(text), TIniEncoding::Utf16BE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TMemIniFile ini = Parse(c.bytes);
        EXPECT_EQ(ini.Encoding(), c.encoding);
        ExpectRulesApplied(ini);
        // Written back in the encoding found, with the same mark.
        EXPECT_EQ(Parse(ini.GetBytes()).Encoding(), c.encoding);
        const int markSize = c.encoding == TIniEncoding::Ansi ? 0 : c.encoding == TIniEncoding::Utf8 ? 3 : 2;
        EXPECT_EQ(ini.GetBytes().left(markSize), c.bytes.left(markSize));
        ExpectRulesApplied(Parse(ini.GetBytes()));
    }
}

TEST(IniFileTest, WritesSectionsInOrderWithCrLfAfterEveryLine)
{
    TMemIniFile ini = Parse("[A]\nx=1\ny=2\n[B]\n[C]\nbare line\n");
    ini.WriteString(S("a"), S("X"), S("new"));    // replaces the line in place, with the new key spelling
    ini.WriteString(S("A"), S("z"), S(" 3 "));    // appended to its section, not stripped in memory
    ini.WriteString(S("D"), S("k"), S("v"));      // new section at the end
    ini.WriteString(S("C"), S("m"), S("a\r\nb")); // a line break would start a new line
    EXPECT_EQ(ini.ReadString(S("A"), S("z"), QString()), S(" 3 "));
    EXPECT_EQ(ini.GetBytes(), QByteArray("[A]\r\nX=new\r\ny=2\r\nz= 3 \r\n\r\n"
                                         "[B]\r\n\r\n"
                                         "[C]\r\nbare line\r\nm=a  b\r\n\r\n"
                                         "[D]\r\nk=v\r\n\r\n"));

    ini.DeleteKey(S("A"), S("Y"));
    ini.EraseSection(S("c"));
    ini.WriteString(S("C"), S("k"), S("again")); // an erased section comes back at the end
    EXPECT_EQ(ini.GetBytes(), QByteArray("[A]\r\nX=new\r\nz= 3 \r\n\r\n[B]\r\n\r\n[D]\r\nk=v\r\n\r\n"
                                         "[C]\r\nk=again\r\n\r\n"));
    EXPECT_TRUE(Parse(QByteArray()).GetBytes().isEmpty());
}

TEST(IniFileTest, IntegersAndBooleans)
{
    struct Case
    {
        const char* text;
        int asInt;      // default 7 when not a valid 32-bit integer
        qint64 asInt64; // default 7 as well
    };
    const Case cases[] = {
        {"42", 42, 42},
        {"-42", -42, -42},
        {"0x1A", 26, 26},
        {"0X1a", 26, 26},
        {"$ff", 255, 255},
        {"0x", 7, 7},                     // too short for the prefix rule, and not decimal
        {"0xFFFFFFFF", -1, 4294967295LL}, // the bit pattern of the type
        {"0x100000000", 7, 4294967296LL},
        {"2147483648", 7, 2147483648LL},
        {"-2147483648", -2147483647 - 1, -2147483648LL},
        {"9223372036854775807", 7, 9223372036854775807LL},
        {"9223372036854775808", 7, 7},
        {"-9223372036854775808", 7, std::numeric_limits<qint64>::min()},
        {"0xFFFFFFFFFFFFFFFF", 7, -1},
        {"12abc", 7, 7},
        {"", 7, 7},
        {"0xg1", 7, 7},
        {"\xEF\xBC\x91", 7, 7}, // a full-width digit is no digit
    };
    auto ini = TUnicodeIniFile::CreateForRead(QString());
    ASSERT_TRUE(ini);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ini->WriteString(S("N"), S("v"), S(c.text));
        EXPECT_EQ(ini->ReadInteger(S("N"), S("v"), 7), c.asInt);
        EXPECT_EQ(ini->ReadInt64(S("N"), S("v"), 7), c.asInt64);
    }
    EXPECT_EQ(ini->ReadInteger(S("N"), S("missing"), 7), 7);

    ini->WriteInt64(S("N"), S("big"), -5000000000LL);
    EXPECT_EQ(ini->ReadString(S("N"), S("big"), QString()), S("-5000000000"));
    ini->WriteInteger(S("N"), S("i"), -3);
    EXPECT_EQ(ini->ReadString(S("N"), S("i"), QString()), S("-3"));

    ini->WriteBool(S("B"), S("on"), true);
    ini->WriteBool(S("B"), S("off"), false);
    EXPECT_EQ(ini->ReadString(S("B"), S("on"), QString()), S("1"));
    EXPECT_EQ(ini->ReadString(S("B"), S("off"), QString()), S("0"));
    const std::pair<const char*, bool> bools[] = {{"1", true},    {"0", false},  {"2", true},    {"-1", true},
                                                  {"0x0", false}, {"yes", true}, {"true", true}, {"", true}};
    for (const auto& [text, value] : bools) {
        SCOPED_TRACE(text);
        ini->WriteString(S("B"), S("b"), S(text));
        EXPECT_EQ(ini->ReadBool(S("B"), S("b"), true), value);
    }
    ini->WriteString(S("B"), S("b"), S("yes"));
    EXPECT_FALSE(ini->ReadBool(S("B"), S("b"), false));
}

TEST(IniFileTest, RepeatedSectionsMergeAndRepeatedKeysUseTheFirst)
{
    TMemIniFile ini = Parse("[A]\nk=1\n[B]\nb=1\n[a]\nK=2\nj=3\n[a]\n");
    EXPECT_EQ(ini.ReadSections(), (QStringList{S("A"), S("B")}));
    EXPECT_EQ(ini.ReadString(S("A"), S("k"), QString()), S("1"));
    EXPECT_EQ(ini.ReadString(S("A"), S("j"), QString()), S("3"));
    // Deleting the first line of a key makes the next one visible.
    ini.DeleteKey(S("A"), S("k"));
    EXPECT_EQ(ini.ReadString(S("A"), S("k"), QString()), S("2"));
    EXPECT_EQ(ini.GetBytes(), QByteArray("[A]\r\nK=2\r\nj=3\r\n\r\n[B]\r\nb=1\r\n\r\n"));
}

TEST(IniFileTest, DamagedBytesGiveAStableDocumentedContent)
{
    // Odd-length UTF-16: the lone last byte becomes U+FFFD.
    TMemIniFile odd = Parse(QByteArray("\xFF\xFE") + Utf16LE(S("[S]\nk=ab")) + QByteArray("c"));
    EXPECT_EQ(odd.ReadString(S("S"), S("k"), QString()), S("ab\uFFFD"));

    // A lone surrogate survives a UTF-16 round trip unchanged.
    const QString lone = S("[S]\r\nk=x") + QChar(0xD800) + S("y\r\n\r\n");
    const QByteArray loneBytes = QByteArray("\xFF\xFE") + Utf16LE(lone);
    EXPECT_EQ(Parse(loneBytes).GetBytes(), loneBytes);

    // Invalid UTF-8 becomes U+FFFD; NUL inside a line is kept, at its ends stripped.
    const char damaged[] = "[S]\nk=a\xFF\x00z\x00\nj=\x80";
    TMemIniFile bad = Parse(QByteArray(damaged, sizeof(damaged) - 1));
    EXPECT_EQ(bad.ReadString(S("S"), S("k"), QString()), S("a\uFFFD") + QChar(0) + S("z"));
    EXPECT_EQ(bad.ReadString(S("S"), S("j"), QString()), S("\uFFFD"));

    // Random bytes: reading never fails, and the content written from them
    // reads back to the same content.
    QRandomGenerator random(20240607);
    for (int round = 0; round < 200; ++round) {
        QByteArray bytes(int(random.bounded(1, 4000)), Qt::Uninitialized);
        for (char& b : bytes) {
            // Favour the characters that carry structure.
            const char structural[] = "[]=;\r\n \t";
            b = random.bounded(4) == 0 ? structural[random.bounded(8)] : char(random.bounded(256));
        }
        if (round % 4 == 1)
            bytes.prepend("\xFF\xFE");
        else if (round % 4 == 2)
            bytes.prepend("\xFE\xFF");
        const QByteArray once = Parse(bytes).GetBytes();
        ASSERT_EQ(Parse(once).GetBytes(), once) << "round " << round;
    }
}

TEST(IniFileTest, HugeInputsAreReadWhole)
{
    QTemporaryDir dir;
    const QString name = dir.filePath(S("big.ini"));

    // A 10 MB line and about 50 MB in total, spread over many sections and keys.
    QByteArray bytes;
    bytes.reserve(52 * 1024 * 1024);
    bytes += "[Long]\r\nvalue=" + QByteArray(10 * 1024 * 1024, 'v') + "\r\n";
    for (int s = 0; s < 20000; ++s) {
        bytes += "[Section" + QByteArray::number(s) + "]\r\n";
        if (s == 0) {
            // One section with very many keys.
            for (int k = 0; k < 200000; ++k)
                bytes += "Key" + QByteArray::number(k) + "=" + QByteArray::number(k) + "\r\n";
        }
        bytes += "x=" + QByteArray(2000, 'x') + "\r\n";
    }
    ASSERT_TRUE(WriteFile(name, bytes));
    ASSERT_GT(QFileInfo(name).size(), 50 * 1000 * 1000);

    auto ini = TUnicodeIniFile::CreateForRead(name);
    ASSERT_TRUE(ini);
    EXPECT_EQ(ini->ReadString(S("Long"), S("value"), QString()).size(), 10 * 1024 * 1024);
    EXPECT_EQ(ini->ReadSections().size(), 20001);
    EXPECT_EQ(ini->ReadInteger(S("SECTION0"), S("key199999"), -1), 199999);
    EXPECT_EQ(ini->ReadString(S("Section19999"), S("x"), QString()).size(), 2000);
}

// ---- TUnicodeIniFile -------------------------------------------------------

TEST(UnicodeIniFileTest, NewSettingsFileIsUtf16WithUnicodeSectionFirst)
{
    QTemporaryDir dir;
    const QString name = dir.filePath(S("morvane.ini"));
    TMainSettings settings;
    settings.Left = -20;
    settings.Top = 300;
    settings.Sumatra = S("/usr/bin/morvane-printpdf");
    settings.Printer = S("PDF \u00e4");
    settings.Subdirectories = true;
    QString error = S("unchanged");
    ASSERT_TRUE(WriteMainSettings(name, settings, &error));
    EXPECT_TRUE(error.isEmpty());
    const QString expected = S("[Unicode]\r\n\r\n"
                               "[Config]\r\nLeft=-20\r\nTop=300\r\nSumatra=/usr/bin/morvane-printpdf\r\n"
                               "Printer=PDF \u00e4\r\nSubdirectories=1\r\n\r\n");
    EXPECT_EQ(ReadFile(name), QByteArray("\xFF\xFE") + Utf16LE(expected));

    const TMainSettings read = ReadMainSettings(name, TMainSettings{}, &error);
    EXPECT_TRUE(error.isEmpty());
    EXPECT_EQ(read.Left, -20);
    EXPECT_EQ(read.Top, 300);
    EXPECT_EQ(read.Sumatra, settings.Sumatra);
    EXPECT_EQ(read.Printer, settings.Printer);
    EXPECT_TRUE(read.Subdirectories);
}

TEST(UnicodeIniFileTest, MissingFileAndBadValuesGiveDefaults)
{
    QTemporaryDir dir;
    TMainSettings defaults;
    defaults.Left = 10;
    defaults.Top = 20;
    defaults.Sumatra = S("s");
    QString error = S("unchanged");
    TMainSettings read = ReadMainSettings(dir.filePath(S("none.ini")), defaults, &error);
    EXPECT_TRUE(error.isEmpty());
    EXPECT_EQ(read.Left, 10);
    EXPECT_EQ(read.Top, 20);
    EXPECT_EQ(read.Sumatra, S("s"));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(S("none.ini"))));

    const QString name = dir.filePath(S("bad.ini"));
    ASSERT_TRUE(WriteFile(name, "[config]\nleft=abc\nTOP=0x10\nsubdirectories=maybe\nPrinter=\n"));
    defaults.Subdirectories = true;
    read = ReadMainSettings(name, defaults, &error);
    EXPECT_EQ(read.Left, 10);
    EXPECT_EQ(read.Top, 16);
    EXPECT_TRUE(read.Subdirectories);
    EXPECT_EQ(read.Printer, QString()); // present but empty is not missing
    EXPECT_EQ(read.Sumatra, S("s"));
}

TEST(UnicodeIniFileTest, UnreadableFileIsReportedAndNotOverwritten)
{
    // Reading this file fails with an I/O error even for root.
    const QString name = S("/proc/self/mem");
    QString error;
    TMainSettings defaults;
    defaults.Left = 5;
    EXPECT_EQ(ReadMainSettings(name, defaults, &error).Left, 5);
    EXPECT_TRUE(error.startsWith(S("Cannot open file \"/proc/self/mem\". "))) << error.toStdString();
    error.clear();
    EXPECT_FALSE(TUnicodeIniFile::CreateForWrite(name, false, &error));
    EXPECT_TRUE(error.startsWith(S("Cannot open file"))) << error.toStdString();
}

TEST(UnicodeIniFileTest, ReadOnlyObjectsNeverWriteAndWritersWriteOnRelease)
{
    QTemporaryDir dir;
    const QString name = dir.filePath(S("m.ini"));
    {
        auto ini = TUnicodeIniFile::CreateForRead(name);
        ASSERT_TRUE(ini);
        EXPECT_TRUE(ini->ReadOnly());
        ini->WriteString(S("Config"), S("Left"), S("1"));
        EXPECT_TRUE(ini->UpdateFile());
    }
    EXPECT_FALSE(QFileInfo::exists(name));

    // Released without UpdateFile(): the destructor writes.
    {
        auto ini = TUnicodeIniFile::CreateForWrite(name, false);
        ASSERT_TRUE(ini);
        ini->WriteString(S("Config"), S("Left"), S("1"));
    }
    EXPECT_EQ(ReadFile(name), QByteArray("\xFF\xFE") + Utf16LE(S("[Unicode]\r\n\r\n[Config]\r\nLeft=1\r\n\r\n")));

    // An existing empty "Unicode" section stays where it is; ClearEntries
    // starts anew with only that section.
    ASSERT_TRUE(WriteFile(name, "[A]\r\nk=v\r\n[unicode]\r\n[B]\r\nk=v\r\n"));
    {
        auto ini = TUnicodeIniFile::CreateForWrite(name, false);
        ASSERT_TRUE(ini);
        EXPECT_EQ(ini->ReadSections(), (QStringList{S("A"), S("unicode"), S("B")}));
        EXPECT_FALSE(ini->SectionExists(S("Unicode")));
    }
    EXPECT_EQ(ReadFile(name),
              QByteArray("\xFF\xFE") + Utf16LE(S("[A]\r\nk=v\r\n\r\n[unicode]\r\n\r\n[B]\r\nk=v\r\n\r\n")));
    {
        auto ini = TUnicodeIniFile::CreateForWrite(name, true);
        ASSERT_TRUE(ini);
        ASSERT_TRUE(ini->UpdateFile());
    }
    EXPECT_EQ(ReadFile(name), QByteArray("\xFF\xFE") + Utf16LE(S("[Unicode]\r\n\r\n")));
}

TEST(UnicodeIniFileTest, FailedWriteIsReportedAndKeepsTheOldFile)
{
    QTemporaryDir dir;
    const QString name = dir.filePath(S("m.ini"));
    const QByteArray old("[Config]\r\nLeft=1\r\n\r\n[Source]\r\nHistory0=/old\r\n\r\n");
    ASSERT_TRUE(WriteFile(name, old));
    TMainSettings settings;
    settings.Sumatra = QString(1000, u'p');
    QString error;
    {
        ScopedFileSizeLimit limit(old.size());
        EXPECT_FALSE(WriteMainSettings(name, settings, &error));
        EXPECT_FALSE(WriteHistoryFile(name, S("Source"), QStringList{QString(1000, u'h')}, 8, true, false, &error));
    }
    EXPECT_TRUE(error.startsWith(S("Cannot create file \"") + name + S("\". "))) << error.toStdString();
    EXPECT_EQ(ReadFile(name), old);

    // A write whose failure was reported is not tried again on release.
    {
        auto ini = TUnicodeIniFile::CreateForWrite(name, false);
        ASSERT_TRUE(ini);
        ini->WriteString(S("Config"), S("Left"), QString(1000, u'9'));
        std::optional<ScopedFileSizeLimit> limit(std::in_place, old.size());
        EXPECT_FALSE(ini->UpdateFile(&error));
        limit.reset(); // the release below could write now
    }
    EXPECT_EQ(ReadFile(name), old);

    // A folder where the file should be: reads as empty, the write is refused.
    const QString folder = dir.filePath(S("folder.ini"));
    ASSERT_TRUE(QDir().mkpath(folder));
    EXPECT_EQ(ReadMainSettings(folder, TMainSettings{}, &error).Left, 354);
    EXPECT_TRUE(error.isEmpty());
    EXPECT_FALSE(WriteMainSettings(folder, settings, &error));
    EXPECT_TRUE(error.startsWith(S("Cannot create file \""))) << error.toStdString();
    EXPECT_TRUE(QFileInfo(folder).isDir());
}

TEST(UnicodeIniFileTest, OldFileIsRewrittenAsUtf16WithHistoriesAppended)
{
    // The three writes at exit on a file in the locale's encoding and on one in UTF-8 with mark.
    for (const QByteArray& mark : {QByteArray(), QByteArray("\xEF\xBB\xBF")}) {
        SCOPED_TRACE(mark.isEmpty() ? "locale encoding" : "UTF-8 with mark");
        QTemporaryDir dir;
        const QString name = dir.filePath(S("m.ini"));
        ASSERT_TRUE(WriteFile(name, mark + "[Config]\nLeft=7\nPrinter=\xC3\xA4\n"
                                           "[Source]\nHistory0=/a\nHistory1=/b\n"
                                           "[Files]\nHistory0=*.pdf\n"));
        TMainSettings settings = ReadMainSettings(name, TMainSettings{});
        EXPECT_EQ(settings.Left, 7);
        EXPECT_EQ(settings.Printer, S("\u00e4"));
        ASSERT_TRUE(WriteMainSettings(name, settings));
        ASSERT_TRUE(WriteHistoryFile(name, S("Source"), QStringList{S("/b"), S("/a")}, 8, true, false));
        ASSERT_TRUE(WriteHistoryFile(name, S("Files"), QStringList{S("x.pbt")}, 8, true, false));
        const QString expected =
            S("[Config]\r\nLeft=7\r\nPrinter=\u00e4\r\nTop=247\r\nSumatra=\r\nSubdirectories=0\r\n\r\n"
              "[Unicode]\r\n\r\n"
              "[Source]\r\nHistory0=/b\r\nHistory1=/a\r\n\r\n"
              "[Files]\r\nHistory0=x.pbt\r\n\r\n");
        EXPECT_EQ(ReadFile(name), QByteArray("\xFF\xFE") + Utf16LE(expected));
    }
}

// ---- Histories --------------------------------------------------------------

TEST(HistoryTest, ReadHistoryKeepsOrderSkipsGapsAndStopsAtTheCount)
{
    const TMemIniFile ini = Parse("[Source]\nHistory5=/five\nHistory0=/zero\nHistory8=/eight\nHistory3=\n"
                                  "[Quoted]\nHistory0=say #hi#\nItem1=other prefix\n[Empty]\n");
    QStringList list{S("kept")};
    EXPECT_TRUE(ReadHistory(ini, S("source"), list, QString(), 8, false));
    EXPECT_EQ(list, (QStringList{S("/zero"), S("/five")}));
    EXPECT_TRUE(ReadHistory(ini, S("Source"), list, QString(), 9, false));
    EXPECT_EQ(list.size(), 3);

    list = QStringList{S("kept")};
    EXPECT_FALSE(ReadHistory(ini, S("Empty"), list, QString(), 8, false));
    EXPECT_FALSE(ReadHistory(ini, S("Missing"), list, QString(), 8, false));
    EXPECT_EQ(list, QStringList{S("kept")});

    EXPECT_TRUE(ReadHistory(ini, S("Quoted"), list, QString(), 8, true));
    EXPECT_EQ(list, QStringList{S("say \"hi\"")});
    EXPECT_TRUE(ReadHistory(ini, S("Quoted"), list, S("Item"), 8, false));
    EXPECT_EQ(list, QStringList{S("other prefix")});
}

TEST(HistoryTest, WriteHistoryBoundsQuotesAndErases)
{
    TMemIniFile ini = Parse("[Files]\nHistory0=old\nHistory9=stale\n[Config]\nLeft=1\n");
    const QStringList items{S("a \"b\""), QString(), S("c"), S("d")};
    WriteHistory(ini, S("Files"), items, QString(), 3, false, true);
    EXPECT_EQ(ini.GetBytes(),
              QByteArray("[Files]\r\nHistory0=a #b#\r\nHistory9=stale\r\nHistory1=\r\nHistory2=c\r\n\r\n"
                         "[Config]\r\nLeft=1\r\n\r\n"));
    WriteHistory(ini, S("Files"), items, QString(), 8, true, false);
    EXPECT_EQ(ini.GetBytes(), QByteArray("[Config]\r\nLeft=1\r\n\r\n[Files]\r\nHistory0=a \"b\"\r\nHistory1=\r\n"
                                         "History2=c\r\nHistory3=d\r\n\r\n"));
}

TEST(HistoryTest, HistoryFilesKeepTheirEncoding)
{
    QTemporaryDir dir;
    const QString name = dir.filePath(S("h.ini"));
    ASSERT_TRUE(WriteFile(name, "[Source]\nHistory0=/x\n"));
    ASSERT_TRUE(WriteHistoryFile(name, S("Files"), QStringList{S("\u00e4.pdf")}, 8, true, false));
    EXPECT_EQ(ReadFile(name), QByteArray("[Source]\r\nHistory0=/x\r\n\r\n[Files]\r\nHistory0=\xC3\xA4.pdf\r\n\r\n"));

    QStringList list;
    bool found = false;
    QString error = S("unchanged");
    EXPECT_TRUE(ReadHistoryFile(name, S("Files"), list, 8, false, &found, &error));
    EXPECT_TRUE(found);
    EXPECT_EQ(list, QStringList{S("\u00e4.pdf")});
    EXPECT_TRUE(ReadHistoryFile(dir.filePath(S("none.ini")), S("Files"), list, 8, false, &found, &error));
    EXPECT_FALSE(found);
    EXPECT_EQ(list, QStringList{S("\u00e4.pdf")});
}

TEST(HistoryTest, AddToHistoryMovesIgnoringCaseAndKeepsTheBound)
{
    QStringList list{S("/a"), S("/b"), S("/c"), S("c:\\data"), S("/e")};
    AddToHistory(list, S("C:\\Data"));
    EXPECT_EQ(list, (QStringList{S("C:\\Data"), S("/a"), S("/b"), S("/c"), S("/e")}));
    AddToHistory(list, S("c:\\DATA")); // found at the top: only the spelling changes
    EXPECT_EQ(list.first(), S("c:\\DATA"));
    EXPECT_EQ(list.size(), 5);
    AddToHistory(list, QString());
    EXPECT_EQ(list.size(), 5);
    AddToHistory(list, S("\u00c4rger")); // case folding beyond ASCII
    AddToHistory(list, S("\u00e4RGER"));
    EXPECT_EQ(list.first(), S("\u00e4RGER"));
    EXPECT_EQ(list.size(), 6);

    QStringList full;
    for (int i = 0; i < MaxHistory; ++i)
        full.append(QString::number(i));
    AddToHistory(full, S("new"));
    EXPECT_EQ(full.size(), MaxHistory);
    EXPECT_EQ(full.first(), S("new"));
    EXPECT_EQ(full.last(), QString::number(MaxHistory - 2));
    AddToHistory(full, S("10")); // a move never drops an item
    EXPECT_EQ(full.size(), MaxHistory);
    EXPECT_EQ(full.last(), QString::number(MaxHistory - 2));

    QStringList bounded{S("1"), S("2"), S("3")};
    AddToHistory(bounded, S("4"), 3);
    EXPECT_EQ(bounded, (QStringList{S("4"), S("1"), S("2")}));
}

} // namespace
