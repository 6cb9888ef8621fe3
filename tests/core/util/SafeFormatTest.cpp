#include "util/SafeFormat.h"

#include <gtest/gtest.h>

namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

TEST(SafeFormat, FillsOrReportsTheFormat)
{
    EXPECT_EQ(SafeFormat(S("%u directories with %u files deleted!"), {2, 5}), S("2 directories with 5 files deleted!"));
    EXPECT_EQ(SafeFormat(S("Delete \"%s\""), {S("/a b")}), S("Delete \"/a b\""));
    EXPECT_EQ(SafeFormat(S("100%% %d"), {-3}), S("100% -3"));
    EXPECT_EQ(SafeFormat(S("%s and %s"), {S("one")}), S("Format error: %s and %s"));
    EXPECT_EQ(SafeFormat(S("%u"), {S("text")}), S("Format error: %u"));
    EXPECT_EQ(SafeFormat(S("%x"), {1}), S("Format error: %x"));
}

// The same texts under both rules: the lenient one never fails and leaves
// what it cannot fill as written; the strict one fails instead.
TEST(SafeFormat, RulesForPlaceholdersThatDoNotFit)
{
    struct Case
    {
        const char* format;
        QStringList args;
        const char* lenient;
        const char* strict; // nullptr: does not fit
    };
    const Case cases[] = {
        {"File: %s", {S("/a.pdf")}, "File: /a.pdf", "File: /a.pdf"},
        {"%s, line %s: \"%s\"",
         {S("l.pbt"), S("3"), S("x.pdf")},
         "l.pbt, line 3: \"x.pdf\"",
         "l.pbt, line 3: \"x.pdf\""},
        {"no placeholder", {S("x")}, "no placeholder", "no placeholder"},
        {"%s and %s", {S("one")}, "one and %s", nullptr},
        {"%s", {}, "%s", nullptr},
        // Strictly a number wants a number, not its text.
        {"%u files printed", {S("7")}, "7 files printed", nullptr},
        {"%d%%", {S("5")}, "5%%", nullptr},
        {"%%s", {S("x")}, "%x", "%s"},
        {"100% sure: %s", {S("x")}, "100% sure: x", nullptr},
        {"%S", {S("x")}, "%S", "x"},
        {"trailing %", {}, "trailing %", nullptr},
        // A value is never read as a placeholder.
        {"%s -> %s", {S("50%s.pdf"), S("b")}, "50%s.pdf -> b", "50%s.pdf -> b"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        const QString format = S(c.format);
        const auto fill = [&](TPlaceholderRule rule, bool* fits) {
            switch (c.args.size()) {
            case 0:
                return FillPlaceholders(format, {}, rule, fits);
            case 1:
                return FillPlaceholders(format, {c.args[0]}, rule, fits);
            case 2:
                return FillPlaceholders(format, {c.args[0], c.args[1]}, rule, fits);
            default:
                return FillPlaceholders(format, {c.args[0], c.args[1], c.args[2]}, rule, fits);
            }
        };
        bool fits = false;
        EXPECT_EQ(fill(TPlaceholderRule::Lenient, &fits), S(c.lenient));
        EXPECT_TRUE(fits);
        const QString strict = fill(TPlaceholderRule::Strict, &fits);
        EXPECT_EQ(fits, c.strict != nullptr);
        EXPECT_EQ(strict, c.strict ? S(c.strict) : QString());
    }
}

} // namespace
