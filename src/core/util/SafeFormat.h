#pragma once

#include <QString>
#include <QVariant>

#include <initializer_list>

// Filling values into a text with printf-like placeholders, usually a text
// just looked up in a catalog. The lookup comes first, so that the key still
// matches the catalog; the values are never read as placeholders themselves.

enum class TPlaceholderRule
{
    // "%s", "%d" and "%u" each take the next argument in turn, as text. A
    // placeholder beyond the arguments and every other '%' stay as written,
    // so a translation that lost or doubled a placeholder still reads.
    Lenient,
    // %s, %d and %u (either letter case) take the next argument, which must
    // be text for %s and a whole number for %d and %u; %% is one '%'. Any
    // other '%', or a placeholder without a fitting argument, does not fit.
    Strict,
};

// The filled text. Under the strict rule a format that does not fit gives
// an empty text and *fits = false; more arguments than placeholders fit.
QString FillPlaceholders(const QString& format, std::initializer_list<QVariant> args,
                         TPlaceholderRule rule = TPlaceholderRule::Lenient, bool* fits = nullptr);

// The strict rule; a format that does not fit gives the toolkit's
// "Format error: " followed by the format itself instead of a half-filled text.
QString SafeFormat(const QString& format, std::initializer_list<QVariant> args);
