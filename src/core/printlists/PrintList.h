#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The print list file: one entry per line, plain text in the locale's encoding
// (UTF-8) without a byte-order mark, every line ended by CR LF. Bytes that are
// not valid UTF-8 are file name bytes and are kept as they are
// (FileNameFromBytes), so a list read and written again is unchanged. The print run and the
// list editor both read it here.

// The extension of print list files.
inline constexpr char PrintListExtension[] = "pbt";

// Lines of a print list text: a line ends at LF, a CR before it and any other
// lone CR are dropped, the last line needs no line end. Nothing is trimmed and
// empty lines are kept.
QStringList SplitPrintListLines(const QString& text);

// The entries of the bytes of a list file, by the rules of SplitPrintListLines.
QStringList DecodePrintList(const QByteArray& bytes);

// The bytes of a list file: every entry followed by CR LF, in the locale's encoding.
QByteArray EncodePrintList(const QStringList& entries);

// Reads the entries of a list file. On failure (missing, unreadable, a
// directory, too large) entries is empty, false is returned and *errorText
// names the file and the system's reason.
bool ReadPrintList(const QString& fileName, QStringList& entries, QString* errorText = nullptr);

// Creates or replaces the list file as a whole; the old file stays untouched
// when writing fails, and *errorText then names the file and the reason.
bool WritePrintList(const QString& fileName, const QStringList& entries, QString* errorText = nullptr);

// A list as one line of comma text: items joined by commas, an item that is
// empty or holds blanks, control characters, commas or double quotes written
// in double quotes with inner quotes doubled. CommaTextToList reads it back.
QString ListToCommaText(const QStringList& items);
QStringList CommaTextToList(const QString& text);
