#include "util/NumberEd.h"

#include "support/TestSupport.h"

#include <QApplication>
#include <QClipboard>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <limits>

using testing_support::S;

namespace {

// An edit with the given display settings and value.
struct TEditSetup
{
    TNumMode Mode = nmDecimal;
    quint16 Bits = 32;
    quint16 Digits = 0;
    quint16 Group = 0;
    bool Prefix = true;
    bool Bytes = false;
};

QString Shown(const TEditSetup& setup, qint64 value)
{
    TNumberEdit edit;
    edit.SetNumMode(setup.Mode);
    edit.SetBits(setup.Bits);
    edit.SetDigits(setup.Digits);
    edit.SetGroupDigits(setup.Group);
    edit.SetPrefix(setup.Prefix);
    edit.SetBytes(setup.Bytes);
    edit.SetValue(value);
    return edit.text();
}

TEST(NumberEdit, NewControlAndDecimalValues)
{
    TNumberEdit edit;
    EXPECT_EQ(edit.text(), S("0"));
    EXPECT_EQ(edit.GetValue(), 0);
    EXPECT_TRUE(edit.alignment() & Qt::AlignLeft);
    EXPECT_EQ(edit.Bits(), 32);
    edit.SetValue(3);
    EXPECT_EQ(edit.text(), S("3"));
    EXPECT_EQ(edit.cursorPosition(), 1);
    edit.SetValue(-42);
    EXPECT_EQ(edit.text(), S("-42"));
    EXPECT_EQ(edit.GetValue(), -42);

    edit.SetAlignment(taRightJustify);
    EXPECT_TRUE(edit.alignment() & Qt::AlignRight);
    edit.SetBits(0);
    EXPECT_EQ(edit.Bits(), 32);
}

TEST(NumberEdit, FormatsInEveryMode)
{
    EXPECT_EQ(Shown({nmHex, 16}, 255), S("$00FF"));
    EXPECT_EQ(Shown({nmHex, 16, 0, 0, false}, 255), S("00FF"));
    EXPECT_EQ(Shown({nmHex, 16, 0, 2}, 255), S("$00 FF"));
    EXPECT_EQ(Shown({nmHex, 16, 0, 0, true, true}, 4660), S("$12_$34"));
    EXPECT_EQ(Shown({nmHex, 32}, -1), S("$FFFFFFFF"));
    EXPECT_EQ(Shown({nmBin, 8}, 5), S("!00000101"));
    EXPECT_EQ(Shown({nmOctal, 16}, 8), S("%000010"));
    EXPECT_EQ(Shown({nmZeroDec, 32}, 3), S("0000000003"));
    EXPECT_EQ(Shown({nmZeroDec, 32, 4}, 3), S("0003"));
    EXPECT_EQ(Shown({nmZeroDec, 32, 4}, -3), S("-0003"));
    EXPECT_EQ(Shown({nmDecimal, 32, 4}, 3), S("   3"));
    EXPECT_EQ(Shown({nmDecimal, 32, 2}, 12345), S("12345"));
    EXPECT_EQ(Shown({nmDecimal, 32, 0, 3}, 1234567), S("1 234 567"));
    EXPECT_EQ(Shown({nmDecimal, 32, 0, 3}, 123456), S("123 456"));
    EXPECT_EQ(Shown({nmDecimal, 16, 0, 0, true, true}, 4660), S(" 18_ 52"));
    EXPECT_EQ(Shown({nmBin, 16, 0, 4, true, true}, 0x0102), S("!0000 0001_!0000 0010"));
}

TEST(NumberEdit, DefaultDigitCountsFollowTheBits)
{
    struct
    {
        TNumMode Mode;
        int Digits[3]; // for 8, 16 and 32 bits
    } const cases[] = {
        {nmHex, {2, 4, 8}},
        {nmOctal, {3, 6, 11}},
        {nmBin, {8, 16, 32}},
        {nmZeroDec, {3, 5, 10}},
    };
    const quint16 bits[] = {8, 16, 32};
    for (const auto& c : cases) {
        for (int i = 0; i < 3; ++i) {
            const QString text = Shown({c.Mode, bits[i], 0, 0, false}, 0);
            EXPECT_EQ(text, QString(c.Digits[i], u'0')) << int(c.Mode) << " " << bits[i];
        }
    }
}

TEST(NumberEdit, ReadsTextBackByParts)
{
    TNumberEdit edit;
    QSignalSpy sounds(&edit, &TNumberEdit::ErrorSound);
    edit.setText(S("12_34"));
    EXPECT_EQ(edit.GetValue(), 3106);
    edit.setText(S(" 1 000 "));
    EXPECT_EQ(edit.GetValue(), 1000);
    edit.setText(S("!101"));
    EXPECT_EQ(edit.GetValue(), 5);
    edit.setText(S("%17_%1"));
    EXPECT_EQ(edit.GetValue(), 15 * 256 + 1);
    EXPECT_EQ(sounds.count(), 0);
    EXPECT_FALSE(edit.CheckError());

    edit.SetNumMode(nmHex);
    edit.SetBits(16);
    edit.SetBytes(true);
    edit.SetValue(4660);
    EXPECT_EQ(edit.GetValue(), 4660);

    // Without the prefix the text is read in the control's own mode.
    edit.SetPrefix(false);
    edit.setText(S("ff"));
    EXPECT_EQ(edit.GetValue(), 255);
    EXPECT_FALSE(edit.CheckError());
}

TEST(NumberEdit, BadTextReadsAsZeroWithErrorSound)
{
    TNumberEdit edit;
    QSignalSpy sounds(&edit, &TNumberEdit::ErrorSound);
    edit.setText(S("3000000000"));
    EXPECT_EQ(edit.GetValue(), 0);
    EXPECT_TRUE(edit.CheckError());
    EXPECT_EQ(sounds.count(), 1);

    // An empty text leaves the flag alone; the next real parse resets it.
    for (const char* empty : {"", "  ", "-", "+"}) {
        edit.setText(S(empty));
        EXPECT_EQ(edit.GetValue(), 0);
        EXPECT_TRUE(edit.CheckError());
    }
    edit.setText(S("5"));
    EXPECT_EQ(edit.GetValue(), 5);
    EXPECT_FALSE(edit.CheckError());

    // Only the failing part counts as 0.
    edit.setText(S("1_x_2"));
    EXPECT_EQ(edit.GetValue(), 1 * 65536 + 2);
    EXPECT_TRUE(edit.CheckError());
    edit.setText(S("$1G"));
    EXPECT_EQ(edit.GetValue(), 0);
    EXPECT_TRUE(edit.CheckError());
    EXPECT_EQ(sounds.count(), 3);
}

TEST(NumberEdit, KeyboardFilterFollowsTheInputMode)
{
    TNumberEdit edit;
    QSignalSpy sounds(&edit, &TNumberEdit::ErrorSound);
    edit.SetNumMode(nmHex);
    edit.SetValue(10);
    EXPECT_EQ(edit.text(), S("$0000000A"));
    QTest::keyClicks(&edit, S("G"));
    EXPECT_EQ(edit.text(), S("$0000000A"));
    EXPECT_EQ(sounds.count(), 1);
    QTest::keyClicks(&edit, S("f"));
    EXPECT_EQ(edit.text(), S("$0000000Af"));
    // The key release reads the value back.
    EXPECT_EQ(edit.GetValue(), 0xAF);
    edit.IncrementValue(1);
    EXPECT_EQ(edit.text(), S("$000000B0"));

    // "$" as the first character of an empty decimal control switches to hex.
    TNumberEdit dec;
    QSignalSpy decSounds(&dec, &TNumberEdit::ErrorSound);
    dec.clear();
    QTest::keyClicks(&dec, S("$"));
    EXPECT_EQ(decSounds.count(), 0);
    EXPECT_EQ(dec.GetValue(), 0);
    QTest::keyClicks(&dec, S("1f"));
    EXPECT_EQ(dec.text(), S("$1f"));
    EXPECT_EQ(dec.GetValue(), 31);
    dec.clear();
    QTest::keyClicks(&dec, S("-12 a"));
    EXPECT_EQ(dec.text(), S("-12 "));
    EXPECT_EQ(decSounds.count(), 1);

    // Editing keys and shortcuts are never filtered.
    QTest::keyClick(&dec, Qt::Key_Backspace);
    QTest::keyClick(&dec, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(&dec, Qt::Key_Delete);
    EXPECT_EQ(dec.text(), QString());
    EXPECT_EQ(decSounds.count(), 1);
}

TEST(NumberEdit, SettingTheModeResetsTheInputMode)
{
    TNumberEdit edit;
    edit.clear();
    QTest::keyClicks(&edit, S("$"));
    edit.SetPrefix(false);
    edit.clear();
    // The display mode is unchanged, but the input mode returns to decimal.
    edit.SetNumMode(nmDecimal);
    QSignalSpy sounds(&edit, &TNumberEdit::ErrorSound);
    QTest::keyClicks(&edit, S("A7"));
    EXPECT_EQ(edit.text(), S("7"));
    EXPECT_EQ(sounds.count(), 1);
}

TEST(NumberEdit, FocusLossReformatsTheText)
{
    QWidget window;
    auto* edit = new TNumberEdit(&window);
    auto* other = new QLineEdit(&window);
    other->move(0, 40);
    edit->SetNumMode(nmHex);
    edit->SetBits(16);
    edit->SetPrefix(false);
    window.show();
    QApplication::setActiveWindow(&window);
    edit->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return edit->hasFocus(); }));
    edit->clear();
    QTest::keyClicks(edit, S("ff"));
    EXPECT_EQ(edit->text(), S("ff"));
    other->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return other->hasFocus(); }));
    EXPECT_EQ(edit->text(), S("00FF"));
    EXPECT_EQ(edit->GetValue(), 255);

    // Focus that does not come from a click selects the whole text.
    edit->setFocus(Qt::OtherFocusReason);
    ASSERT_TRUE(QTest::qWaitFor([&] { return edit->hasFocus(); }));
    EXPECT_EQ(edit->selectedText(), S("00FF"));
    edit->SetAutoSelect(false);
    other->setFocus();
    edit->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(QTest::qWaitFor([&] { return edit->hasFocus(); }));
    EXPECT_FALSE(edit->hasSelectedText());
}

TEST(NumberEdit, ModifiedFlagAndWrapAround)
{
    TNumberEdit edit;
    edit.SetValue(0);
    EXPECT_FALSE(edit.isModified());
    edit.SetValue(7);
    EXPECT_TRUE(edit.isModified());
    edit.SetDigits(3); // reformats the same value
    EXPECT_EQ(edit.text(), S("  7"));
    EXPECT_FALSE(edit.isModified());

    edit.SetDigits(0);
    edit.SetValue(std::numeric_limits<qint64>::max());
    edit.IncrementValue(1);
    EXPECT_EQ(edit.text(), QString::number(std::numeric_limits<qint64>::min()));
}

TEST(NumberEdit, ReadOnlyControlIgnoresCutAndPaste)
{
    QApplication::clipboard()->setText(S("99"));
    TNumberEdit edit;
    edit.SetValue(12);
    edit.setReadOnly(true);
    edit.selectAll();
    edit.cut();
    edit.paste();
    QTest::keyClick(&edit, Qt::Key_X, Qt::ControlModifier);
    QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(edit.text(), S("12"));

    edit.setReadOnly(false);
    edit.selectAll();
    edit.paste();
    EXPECT_EQ(edit.text(), S("99"));
}

} // namespace
