#include "util/NumberUtils.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

QString Binary(qint64 size, bool trim = false)
{
    return SizeToText(false, trim, u'.', size);
}

TEST(NumberUtils, SizeToTextBinaryUnits)
{
    struct
    {
        qint64 Size;
        const char* Text;
    } const cases[] = {
        {0, "0 B"},
        {512, "512 B"},
        {1023, "1023 B"},
        {-5, "-5 B"},
        {1024, "1.00 KiB"},
        {1536, "1.50 KiB"},
        {10240, "10.0 KiB"},
        {15360, "15.0 KiB"},
        {102400, "100 KiB"},
        // Rounding happens after the unit is chosen.
        {1048575, "1024 KiB"},
        {1048576, "1.00 MiB"},
        {123456789, "118 MiB"},
        {1073741824, "1.00 GiB"},
        {53687091200, "50.00 GiB"},
        {5LL << 40, "5120.00 GiB"},
        {std::numeric_limits<qint64>::max(), "8589934592.00 GiB"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Binary(c.Size), S(c.Text)) << c.Size;
}

TEST(NumberUtils, SizeToTextDecimalUnitsAndSeparator)
{
    EXPECT_EQ(SizeToText(true, false, u'.', 999), S("999 B"));
    EXPECT_EQ(SizeToText(true, false, u'.', 1000), S("1.00 kB"));
    EXPECT_EQ(SizeToText(true, false, u'.', 1500000), S("1.50 MB"));
    EXPECT_EQ(SizeToText(true, false, u'.', 2500000000), S("2.50 GB"));
    EXPECT_EQ(SizeToText(false, false, u',', 1536), S("1,50 KiB"));
    // The tests run in the C locale, whose separator is the point.
    EXPECT_EQ(SizeToText(false, false, QChar(), 1536), S("1.50 KiB"));
}

TEST(NumberUtils, SizeToTextTrimsNearlyWholeNumbers)
{
    EXPECT_EQ(Binary(5243000), S("5.00 MiB"));
    EXPECT_EQ(Binary(5243000, true), S("5 MiB"));
    EXPECT_EQ(Binary(15421), S("15.1 KiB")); // 15.06 KiB
    EXPECT_EQ(Binary(15421, true), S("15 KiB"));
    EXPECT_EQ(Binary(1536, true), S("1.50 KiB"));
    EXPECT_EQ(Binary(53687091200, true), S("50 GiB"));
    EXPECT_EQ(Binary(1023, true), S("1023 B"));
}

TEST(NumberUtils, IsNearlyWhole)
{
    EXPECT_TRUE(IsNearlyWhole(0, 3.5L));
    EXPECT_TRUE(IsNearlyWhole(-1, 3.5L));
    EXPECT_FALSE(IsNearlyWhole(3, 3.0L));
    EXPECT_TRUE(IsNearlyWhole(1, 4.95L));
    EXPECT_TRUE(IsNearlyWhole(1, 5.05L));
    EXPECT_FALSE(IsNearlyWhole(1, 4.85L));
    EXPECT_TRUE(IsNearlyWhole(2, 4.995L));
    EXPECT_FALSE(IsNearlyWhole(2, 4.98L));
    EXPECT_TRUE(IsNearlyWhole(2, -2.001L));
}

TEST(NumberUtils, TryHexToInt64)
{
    struct
    {
        const char* Text;
        bool Ok;
        qint64 Value;
    } const cases[] = {
        {"$00FF", true, 255},
        {"ff", true, 255},
        {"-$10", true, -16},
        {"-10", true, -16},
        {"1 2", true, 0x12},
        {"FFFFFFFFFFFFFFFF", true, -1},
        {"00000000000000001", true, 1}, // leading zeros do not count
        {"10000000000000000", false, 0},
        {"", false, 0},
        {"$", false, 0},
        {"-", false, 0},
        {"G", false, 0},
        {"$$1", false, 0},
        {"+1", false, 0},
        {"0x1F", false, 0},
    };
    for (const auto& c : cases) {
        qint64 value = 99;
        EXPECT_EQ(TryHexToInt64(S(c.Text), value), c.Ok) << c.Text;
        if (c.Ok) {
            EXPECT_EQ(value, c.Value) << c.Text;
        }
    }
}

TEST(NumberUtils, TryOctAndBinToInt64)
{
    qint64 value = 0;
    EXPECT_TRUE(TryOctToInt64(S("%17"), value));
    EXPECT_EQ(value, 15);
    EXPECT_TRUE(TryOctToInt64(S("-%7"), value));
    EXPECT_EQ(value, -7);
    EXPECT_TRUE(TryOctToInt64(S("% 1 0"), value));
    EXPECT_EQ(value, 8);
    // Nothing after the prefix reads as 0.
    value = 99;
    EXPECT_TRUE(TryOctToInt64(S("%"), value));
    EXPECT_EQ(value, 0);
    EXPECT_FALSE(TryOctToInt64(QString(), value));
    EXPECT_FALSE(TryOctToInt64(S("8"), value));
    EXPECT_FALSE(TryOctToInt64(S("!1"), value));
    // 2 * 8^21 = 2^64 wraps around to 0.
    EXPECT_TRUE(TryOctToInt64(S("2000000000000000000000"), value));
    EXPECT_EQ(value, 0);

    EXPECT_TRUE(TryBinToInt64(S("!101"), value));
    EXPECT_EQ(value, 5);
    EXPECT_TRUE(TryBinToInt64(S("-1 0 1"), value));
    EXPECT_EQ(value, -5);
    EXPECT_FALSE(TryBinToInt64(S("102"), value));
    EXPECT_FALSE(TryBinToInt64(S("%1"), value));
    EXPECT_TRUE(TryBinToInt64(QString(65, u'1'), value));
    EXPECT_EQ(value, -1);
}

TEST(NumberUtils, ConversionErrorsCarryTheMessage)
{
    EXPECT_EQ(HexToInt64(S("$7fffffffffffffff")), std::numeric_limits<qint64>::max());
    EXPECT_EQ(OctToInt64(S("777")), 511);
    EXPECT_EQ(BinToInt64(S("!11")), 3);
    const auto message = [](auto convert, const char* text) -> QString {
        try {
            convert(S(text));
        } catch (const EConvertError& e) {
            EXPECT_STREQ(e.what(), e.Message().toUtf8().constData());
            return e.Message();
        }
        return S("no error");
    };
    EXPECT_EQ(message(HexToInt64, "xyz"), S("xyz is not a valid hex value"));
    EXPECT_EQ(message(OctToInt64, "9"), S("9 is not a valid octal value"));
    EXPECT_EQ(message(BinToInt64, ""), S(" is not a valid binary value"));
}

} // namespace
