#include "util/NumberUtils.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <limits>

using testing_support::S;

namespace {

TEST(NumberUtils, SizeToText)
{
    constexpr qint64 Max = std::numeric_limits<qint64>::max();
    const struct
    {
        bool Decimal, Trim;
        qint64 Size;
        const char* Text;
    } cases[] = {
        {false, false, 0, "0 B"},
        {false, false, 1023, "1023 B"},
        {false, false, -5, "-5 B"},
        {false, false, 1024, "1.00 KiB"},
        {false, false, 1536, "1.50 KiB"},
        {false, false, 10240, "10.0 KiB"},
        {false, false, 15360, "15.0 KiB"},
        {false, false, 102400, "100 KiB"},
        {false, false, 1048575, "1024 KiB"},
        {false, false, 1048576, "1.00 MiB"},
        {false, false, 123456789, "118 MiB"},
        {false, false, 53687091200, "50.00 GiB"},
        {false, false, 5LL << 40, "5120.00 GiB"},
        {false, false, Max, "8589934592.00 GiB"},
        {true, false, 999, "999 B"},
        {true, false, 1000, "1.00 kB"},
        {true, false, 1500000, "1.50 MB"},
        {true, false, 2500000000, "2.50 GB"},
        // "x := Size / b as an extended float ... rounded to f decimals": 2005 / 1000 is
        // 2.00500...01 as an extended float but 2.00499...99 once cast to double.
        {true, false, 2005, "2.01 kB"},
        {true, false, 1005, "1.00 kB"},
        {true, false, 2005000000, "2.01 GB"},
        // Exact midpoints round away from zero, carries included.
        {false, false, 1152, "1.13 KiB"},
        {false, false, 102912, "101 KiB"},
        {false, false, 1023488, "1000 KiB"},
        // Trimming drops the decimals of nearly whole numbers only.
        {false, false, 5243000, "5.00 MiB"},
        {false, true, 5243000, "5 MiB"},
        {false, false, 15421, "15.1 KiB"},
        {false, true, 15421, "15 KiB"},
        {false, true, 1536, "1.50 KiB"},
        {false, true, 53687091200, "50 GiB"},
        {false, true, 1023, "1023 B"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SizeToText(c.Decimal, c.Trim, u'.', c.Size), S(c.Text)) << c.Size;
    EXPECT_EQ(SizeToText(false, false, u',', 1536), S("1,50 KiB"));
    // The tests run in the C locale, whose separator is the point.
    EXPECT_EQ(SizeToText(false, false, QChar(), 1536), S("1.50 KiB"));
}

TEST(NumberUtils, IsNearlyWhole)
{
    EXPECT_TRUE(IsNearlyWhole(0, 3.5L));
    EXPECT_FALSE(IsNearlyWhole(3, 3.0L));
    EXPECT_TRUE(IsNearlyWhole(1, 4.95L));
    EXPECT_TRUE(IsNearlyWhole(1, 5.05L));
    EXPECT_FALSE(IsNearlyWhole(1, 4.85L));
    EXPECT_TRUE(IsNearlyWhole(2, 4.995L));
    EXPECT_FALSE(IsNearlyWhole(2, 4.98L));
    EXPECT_TRUE(IsNearlyWhole(2, -2.001L));
}

TEST(NumberUtils, TryRadixConversions)
{
    using TTry = bool (*)(const QString&, qint64&);
    const TTry hex = TryHexToInt64, oct = TryOctToInt64, bin = TryBinToInt64;
    const struct
    {
        TTry Convert;
        const char* Text;
        bool Ok;
        qint64 Value;
    } cases[] = {
        {hex, "$00FF", true, 255},
        {hex, "ff", true, 255},
        {hex, "-$10", true, -16},
        {hex, "1 2", true, 0x12},
        {hex, "FFFFFFFFFFFFFFFF", true, -1},
        {hex, "00000000000000001", true, 1}, // leading zeros do not count
        {hex, "10000000000000000", false, 0},
        {hex, "", false, 0},
        {hex, "$", false, 0},
        {hex, "G", false, 0},
        {hex, "+1", false, 0},
        {hex, "0x1F", false, 0},
        {oct, "%17", true, 15},
        {oct, "-%7", true, -7},
        {oct, "% 1 0", true, 8},
        {oct, "%", true, 0}, // nothing after the prefix reads as 0
        {oct, "", false, 0},
        {oct, "8", false, 0},
        {oct, "!1", false, 0},
        {oct, "2000000000000000000000", true, 0}, // 2 * 8^21 = 2^64 wraps around
        {bin, "!101", true, 5},
        {bin, "-1 0 1", true, -5},
        {bin, "102", false, 0},
        {bin, "%1", false, 0},
    };
    for (const auto& c : cases) {
        qint64 value = 99;
        EXPECT_EQ(c.Convert(S(c.Text), value), c.Ok) << c.Text;
        EXPECT_EQ(value, c.Ok ? c.Value : 0) << c.Text;
    }
    qint64 value = 0;
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
