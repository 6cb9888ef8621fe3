#include "util/NumberEd.h"

#include "util/NumberUtils.h"
#include "util/StrUtils.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>

#include <algorithm>
#include <cmath>

namespace {

int Radix(TNumMode mode)
{
    switch (mode) {
    case nmHex:
        return 16;
    case nmOctal:
        return 8;
    case nmBin:
        return 2;
    case nmDecimal:
    case nmZeroDec:
        break;
    }
    return 10;
}

QChar PrefixChar(TNumMode mode)
{
    switch (mode) {
    case nmHex:
        return u'$';
    case nmOctal:
        return u'%';
    case nmBin:
        return u'!';
    case nmDecimal:
    case nmZeroDec:
        break;
    }
    return {};
}

int DigitsPerByte(TNumMode mode)
{
    switch (mode) {
    case nmHex:
        return 2;
    case nmBin:
        return 8;
    case nmDecimal:
    case nmOctal:
    case nmZeroDec:
        break;
    }
    return 3;
}

// The mode that a text's first character announces.
TNumMode ModeOf(QChar first)
{
    for (TNumMode mode : {nmHex, nmOctal, nmBin}) {
        if (first == PrefixChar(mode))
            return mode;
    }
    return nmDecimal;
}

bool AcceptsKey(TNumMode mode, QChar key)
{
    const char16_t c = key.unicode();
    switch (mode) {
    case nmHex:
        return c == u'$' || (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f');
    case nmOctal:
        return c == u'%' || (c >= u'0' && c <= u'7');
    case nmBin:
        return c == u'!' || c == u'0' || c == u'1';
    case nmDecimal:
    case nmZeroDec:
        break;
    }
    return c == u' ' || c == u'+' || c == u'-' || (c >= u'0' && c <= u'9');
}

// Trims blanks and control characters at both ends.
QString TrimControls(const QString& text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text[first].unicode() <= u' ')
        ++first;
    while (last > first && text[last - 1].unicode() <= u' ')
        --last;
    return text.mid(first, last - first);
}

// False when the part is not a number of the mode. Only conversion errors
// are caught; anything else is a fault that must not pass as bad input.
bool ConvertPart(const QString& part, TNumMode mode, qint64& value)
{
    try {
        switch (mode) {
        case nmHex:
            value = HexToInt64(part);
            return true;
        case nmOctal:
            value = OctToInt64(part);
            return true;
        case nmBin:
            value = BinToInt64(part);
            return true;
        case nmDecimal:
        case nmZeroDec:
            break;
        }
    } catch (const EConvertError&) {
        return false;
    }
    // Decimal input is limited to the signed 32-bit range.
    bool ok = false;
    value = RemoveBlanks(part).toInt(&ok, 10);
    return ok;
}

} // namespace

TCustomNumEdit::TCustomNumEdit(QWidget* parent) : QLineEdit(parent)
{
    SetAlignment(taLeftJustify);
}

void TCustomNumEdit::SetAlignment(TAlignment alignment)
{
    FAlignment = alignment;
    // Qt::AlignLeft and AlignRight are mirrored in right-to-left layouts.
    Qt::Alignment horizontal = Qt::AlignLeft;
    if (alignment == taRightJustify)
        horizontal = Qt::AlignRight;
    else if (alignment == taCenter)
        horizontal = Qt::AlignHCenter;
    setAlignment(horizontal | Qt::AlignVCenter);
}

bool TCustomNumEdit::IsValidChar(QChar /*key*/)
{
    return true;
}

void TCustomNumEdit::IncrementValue(int /*delta*/) {}

void TCustomNumEdit::cut()
{
    if (!isReadOnly())
        QLineEdit::cut();
}

void TCustomNumEdit::paste()
{
    if (!isReadOnly())
        QLineEdit::paste();
}

void TCustomNumEdit::PlayErrorSound()
{
    QApplication::beep();
    Q_EMIT ErrorSound();
}

void TCustomNumEdit::keyPressEvent(QKeyEvent* event)
{
    // Only typed characters are filtered; shortcuts and editing keys pass.
    const QString typed = event->text();
    const bool command = event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    if (!command && !typed.isEmpty() && typed[0].isPrint()) {
        for (const QChar key : typed) {
            if (!IsValidChar(key)) {
                event->accept();
                return;
            }
        }
    }
    QLineEdit::keyPressEvent(event);
}

void TCustomNumEdit::focusInEvent(QFocusEvent* event)
{
    QLineEdit::focusInEvent(event);
    if (event->reason() == Qt::MouseFocusReason)
        return;
    // QLineEdit selects by itself on Tab; AutoSelect decides for every reason.
    if (FAutoSelect)
        selectAll();
    else
        deselect();
}

TNumberEdit::TNumberEdit(QWidget* parent) : TCustomNumEdit(parent)
{
    setText(QStringLiteral("0"));
}

bool TNumberEdit::IsValidChar(QChar key)
{
    const QString t = TrimControls(text());
    const bool wholeSelected = hasSelectedText() && selectedText().size() >= text().size();
    // The first character decides the mode, unless the key is about to replace it.
    const QChar first = !t.isEmpty() && !wholeSelected ? t[0] : key;
    if (FPrefix)
        FInpNumMd = ModeOf(first);
    if (key.unicode() < 33)
        return true;
    if (key.unicode() <= 255 && AcceptsKey(FInpNumMd, key))
        return true;
    PlayErrorSound();
    return false;
}

void TNumberEdit::IncrementValue(int delta)
{
    // Wraps around at the ends of the 64-bit range instead of overflowing.
    SetValue(static_cast<qint64>(static_cast<quint64>(FValue) + static_cast<quint64>(qint64(delta))));
}

QString TNumberEdit::FormatNumber(qint64 value, TNumMode mode, int digits) const
{
    QString text;
    switch (mode) {
    case nmDecimal:
        text = QString::number(value).rightJustified(digits, u' ');
        break;
    case nmZeroDec: {
        const quint64 magnitude = value < 0 ? 0 - static_cast<quint64>(value) : static_cast<quint64>(value);
        text = QString::number(magnitude).rightJustified(digits, u'0');
        if (value < 0)
            text.prepend(u'-');
        break;
    }
    case nmHex:
    case nmOctal:
    case nmBin:
        text = QString::number(static_cast<quint32>(value), Radix(mode)).toUpper().rightJustified(digits, u'0');
        break;
    }
    if (FGroupDigits > 0) {
        for (qsizetype i = text.size() - FGroupDigits; i > 0; i -= FGroupDigits)
            text.insert(i, u' ');
    }
    if (FPrefix && !PrefixChar(mode).isNull())
        text.prepend(PrefixChar(mode));
    return text;
}

void TNumberEdit::SetValue(qint64 value)
{
    const bool changed = value != FValue;
    FValue = value;

    int digits = FDigits;
    if (FNumMode != nmDecimal && digits == 0) {
        // Digits of a Bits-wide value in the radix; nearbyint rounds ties to even.
        const int bits = std::min<int>(FBits, 63);
        digits = static_cast<int>(std::nearbyint(bits / std::log2(Radix(FNumMode)) + 0.5));
    }

    QString text;
    if (!FBytes) {
        text = FormatNumber(value, FNumMode, digits);
    } else {
        // The bytes of the two's complement: a division would lose the upper
        // bytes of a negative value.
        quint64 rest = static_cast<quint64>(value);
        for (int i = (FBits - 1) / 8 + 1; i > 0; --i) {
            const QString byteText = FormatNumber(static_cast<qint64>(rest & 0xFF), FNumMode, DigitsPerByte(FNumMode));
            text = text.isEmpty() ? byteText : byteText + u'_' + text;
            rest >>= 8;
        }
    }
    setText(text);
    setCursorPosition(static_cast<int>(text.size()));
    if (changed)
        setModified(true);
}

qint64 TNumberEdit::GetValue()
{
    QString s = TrimControls(text());
    // A lone sign counts as empty, and so does a lone "$": it is what typing
    // a hex number starts with, and the key release must not sound an error.
    if (s == u'+' || s == u'-' || s == u'$')
        s.clear();
    if (s.isEmpty())
        return 0;
    const TNumMode mode = FPrefix ? ModeOf(s[0]) : FInpNumMd;
    FConvertError = false;
    // Unsigned, so that long byte sequences wrap instead of overflowing.
    quint64 result = 0;
    while (!s.isEmpty()) {
        const QString part = ReadNextString(s, u'_');
        qint64 value = 0;
        if (!ConvertPart(part, mode, value)) {
            value = 0;
            PlayErrorSound();
            FConvertError = true;
        }
        result = result * 256 + static_cast<quint64>(value);
    }
    return static_cast<qint64>(result);
}

template <typename T>
void TNumberEdit::SetFormatProperty(T& field, T value)
{
    if (field == value)
        return;
    field = value;
    SetValue(FValue);
}

void TNumberEdit::SetBits(quint16 bits)
{
    SetFormatProperty(FBits, bits == 0 ? quint16(32) : bits);
}

void TNumberEdit::SetDigits(quint16 digits)
{
    SetFormatProperty(FDigits, digits);
}

void TNumberEdit::SetGroupDigits(quint16 groupDigits)
{
    SetFormatProperty(FGroupDigits, groupDigits);
}

void TNumberEdit::SetPrefix(bool prefix)
{
    SetFormatProperty(FPrefix, prefix);
}

void TNumberEdit::SetBytes(bool bytes)
{
    SetFormatProperty(FBytes, bytes);
}

void TNumberEdit::SetNumMode(TNumMode numMode)
{
    FInpNumMd = numMode;
    SetFormatProperty(FNumMode, numMode);
}

void TNumberEdit::keyReleaseEvent(QKeyEvent* event)
{
    QLineEdit::keyReleaseEvent(event);
    FValue = GetValue();
}

void TNumberEdit::focusOutEvent(QFocusEvent* event)
{
    // Reformatted before the base class reports the end of editing.
    SetValue(GetValue());
    QLineEdit::focusOutEvent(event);
}
