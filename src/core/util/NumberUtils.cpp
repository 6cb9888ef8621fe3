#include "util/NumberUtils.h"

#include "util/SafeFormat.h"
#include "util/StrUtils.h"
#include "util/Translate.h"

#include <QLocale>

#include <cctype>
#include <cmath>
#include <cstdio>

namespace {

// The three units of a base, smallest first.
struct TUnits
{
    long double Base;
    const char* Names[3];
};

constexpr TUnits BinaryUnits{1024.0L, {"KiB", "MiB", "GiB"}};
constexpr TUnits DecimalUnits{1000.0L, {"kB", "MB", "GB"}};

// x (not negative) rounded to the given decimals, ties away from zero, from
// the extended value itself: going through double first would move quotients
// just above a midpoint (2005 / 1000 = 2.00500...01) below it.
QString FixedText(long double x, int decimals, QChar decSep)
{
    // Every long double of 1 or more is written out exactly in 64 decimals.
    char buffer[128];
    const int n = std::snprintf(buffer, sizeof buffer, "%.64Lf", x);
    const QByteArray raw(buffer, qBound(0, n, int(sizeof buffer) - 1));
    // The C library writes the locale's radix character: only the digits count.
    qsizetype fraction = 0;
    while (fraction < raw.size() && std::isdigit(static_cast<unsigned char>(raw[fraction])))
        ++fraction;
    const qsizetype whole = fraction;
    while (fraction < raw.size() && !std::isdigit(static_cast<unsigned char>(raw[fraction])))
        ++fraction;
    QByteArray digits = raw.left(whole) + raw.mid(fraction, decimals);
    if (fraction + decimals < raw.size() && raw[fraction + decimals] >= '5') {
        qsizetype i = digits.size() - 1;
        while (i >= 0 && digits[i] == '9')
            digits[i--] = '0';
        if (i < 0)
            digits.prepend('1');
        else
            ++digits[i];
    }
    QString text = QString::fromLatin1(digits.left(digits.size() - decimals));
    if (decimals > 0)
        text += (decSep.isNull() ? QLocale::system().decimalPoint() : QString(decSep)) +
                QString::fromLatin1(digits.right(decimals));
    return text;
}

int DecimalsFor(long double x, bool trimDecimals)
{
    int f = x < 10 ? 2 : (x < 100 ? 1 : 0);
    if (trimDecimals && IsNearlyWhole(f, x))
        f = 0;
    return f;
}

int DigitValue(QChar ch)
{
    const char16_t c = ch.unicode();
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    return -1;
}

// The shared parser: optional "-", optional prefix, blanks ignored. Octal and
// binary wrap around in 64 bits (done unsigned, so overlong input stays
// defined); hexadecimal refuses more than 16 significant digits like the
// standard 64-bit conversion, and needs at least one digit.
bool TryRadixToInt64(const QString& text, QChar prefix, int radix, qint64& value)
{
    value = 0;
    if (text.isEmpty())
        return false;
    QString rest = text;
    const bool negative = rest.startsWith(u'-');
    if (negative)
        rest.remove(0, 1);
    if (rest.startsWith(prefix))
        rest.remove(0, 1);
    rest = RemoveBlanks(rest);
    const bool hex = radix == 16;
    if (hex && rest.isEmpty())
        return false;
    quint64 result = 0;
    int significant = 0;
    for (const QChar ch : std::as_const(rest)) {
        const int digit = DigitValue(ch);
        if (digit < 0 || digit >= radix)
            return false;
        if (significant > 0 || digit != 0)
            ++significant;
        if (hex && significant > 16)
            return false;
        result = result * static_cast<quint64>(radix) + static_cast<quint64>(digit);
    }
    if (negative)
        result = 0 - result;
    value = static_cast<qint64>(result);
    return true;
}

// The key is looked up before the text is filled in, so a translation matches.
qint64 ConvertOrRaise(bool (*tryConvert)(const QString&, qint64&), const char* format, const QString& text)
{
    qint64 value = 0;
    if (tryConvert(text, value))
        return value;
    throw EConvertError(FillPlaceholders(TrToolkit(format), {text}));
}

} // namespace

EConvertError::EConvertError(const QString& message) : FMessage(message), FUtf8(message.toUtf8()) {}

const char* EConvertError::what() const noexcept
{
    return FUtf8.constData();
}

bool IsNearlyWhole(int decimals, long double x)
{
    if (decimals < 1)
        return true;
    if (decimals > 2)
        return false;
    const long double limit = decimals == 1 ? 0.1L : 0.01L;
    return std::fabs(x - std::round(x)) < limit;
}

QString SizeToText(bool decimalUnits, bool trimDecimals, QChar decSep, qint64 size)
{
    const TUnits& units = decimalUnits ? DecimalUnits : BinaryUnits;
    if (size < units.Base)
        return QString::number(size) + QStringLiteral(" B");

    long double x = static_cast<long double>(size) / units.Base;
    int unit = 0;
    int decimals = 0;
    if (x < units.Base) {
        decimals = DecimalsFor(x, trimDecimals);
    } else {
        x /= units.Base;
        unit = 1;
        if (x < units.Base) {
            decimals = DecimalsFor(x, trimDecimals);
        } else {
            // The largest unit keeps two decimals however big the number grows.
            x /= units.Base;
            unit = 2;
            decimals = trimDecimals && IsNearlyWhole(2, x) ? 0 : 2;
        }
    }
    return FixedText(x, decimals, decSep) + u' ' + QString::fromLatin1(units.Names[unit]);
}

bool TryHexToInt64(const QString& text, qint64& value)
{
    return TryRadixToInt64(text, u'$', 16, value);
}

bool TryOctToInt64(const QString& text, qint64& value)
{
    return TryRadixToInt64(text, u'%', 8, value);
}

bool TryBinToInt64(const QString& text, qint64& value)
{
    return TryRadixToInt64(text, u'!', 2, value);
}

qint64 HexToInt64(const QString& text)
{
    return ConvertOrRaise(TryHexToInt64, MarkToolkit("%s is not a valid hex value"), text);
}

qint64 OctToInt64(const QString& text)
{
    return ConvertOrRaise(TryOctToInt64, MarkToolkit("%s is not a valid octal value"), text);
}

qint64 BinToInt64(const QString& text)
{
    return ConvertOrRaise(TryBinToInt64, MarkToolkit("%s is not a valid binary value"), text);
}
