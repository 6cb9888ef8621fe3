#include "util/TextLines.h"

#include <gtest/gtest.h>

// Both rules over the same inputs, as text and as bytes: the rows show where
// they part (a lone CR, a CR before CR LF, a CR after the last LF).
TEST(TextLines, SplitsByEitherRuleAlikeForTextAndBytes)
{
    using L = QByteArrayList;
    const struct
    {
        QByteArray text;
        L anyBreak;     // TLineEnds::CrLfLfOrCr
        L lfDroppingCr; // TLineEnds::LfDroppingCr
    } cases[] = {
        {"", {}, {}},
        {"a\r\nb\r\n", {"a", "b"}, {"a", "b"}},
        {"a\nb", {"a", "b"}, {"a", "b"}},
        {"\n\n", {"", ""}, {"", ""}},
        {"  spaced  \r\n\r\nx", {"  spaced  ", "", "x"}, {"  spaced  ", "", "x"}},
        {"a\rb", {"a", "b"}, {"ab"}},
        {"a\r\rb\r", {"a", "", "b"}, {"ab"}},
        {"a\r\r\n", {"a", ""}, {"a"}},
        {"\r", {""}, {""}},
        {"a\n\r", {"a", ""}, {"a", ""}},
        {"\xE9\r\xE9\n\xFF", {"\xE9", "\xE9", "\xFF"}, {"\xE9\xE9", "\xFF"}},
    };
    for (const auto& c : cases) {
        for (const TLineEnds ends : {TLineEnds::CrLfLfOrCr, TLineEnds::LfDroppingCr}) {
            const L& expected = ends == TLineEnds::CrLfLfOrCr ? c.anyBreak : c.lfDroppingCr;
            const char* rule = ends == TLineEnds::CrLfLfOrCr ? "CR LF, LF or CR" : "LF, dropping CR";
            EXPECT_EQ(SplitLines(QByteArrayView(c.text), ends), expected)
                << rule << ": " << c.text.toPercentEncoding().constData();
            QStringList expectedText;
            for (const QByteArray& line : expected)
                expectedText.append(QString::fromLatin1(line));
            EXPECT_EQ(SplitLines(QString::fromLatin1(c.text), ends), expectedText)
                << rule << ": " << c.text.toPercentEncoding().constData();
        }
    }
}
