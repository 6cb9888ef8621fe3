#pragma once

#include <QChar>
#include <QString>

#include <exception>

// Number formatting and parsing for sizes and the numeric edit control.

// Raised by HexToInt64, OctToInt64 and BinToInt64 when a text is not a number
// of their radix. Message() holds the translated text for the user; the Try...
// functions never raise it.
class EConvertError : public std::exception
{
public:
    explicit EConvertError(const QString& message);
    const QString& Message() const { return FMessage; }
    const char* what() const noexcept override;

private:
    QString FMessage;
    QByteArray FUtf8;
};

// A byte count as a short text with a unit: "512 B", "1.50 KiB", "118 MiB".
// decimalUnits selects base 1000 (kB, MB, GB) instead of 1024 (KiB, MiB, GiB);
// trimDecimals drops the decimals of nearly whole numbers; a null decSep
// means the system's decimal separator. Negative sizes are shown as bytes.
QString SizeToText(bool decimalUnits, bool trimDecimals, QChar decSep, qint64 size);

// Whether x is within 0.1 (decimals = 1) or 0.01 (decimals = 2) of a whole
// number; always true below 1 decimal, always false above 2.
bool IsNearlyWhole(int decimals, long double x);

// Parsers for texts with an optional leading "-" and an optional prefix
// ("$", "%", "!"); blanks are ignored. Hex values follow the 64-bit integer
// conversion (at most 16 significant digits, read as two's complement); octal
// and binary values wrap around in 64 bits. An empty text fails; a failure
// leaves value at 0.
bool TryHexToInt64(const QString& text, qint64& value);
bool TryOctToInt64(const QString& text, qint64& value);
bool TryBinToInt64(const QString& text, qint64& value);

// As above, but a failure raises EConvertError.
qint64 HexToInt64(const QString& text);
qint64 OctToInt64(const QString& text);
qint64 BinToInt64(const QString& text);
