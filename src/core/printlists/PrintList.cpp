#include "printlists/PrintList.h"

#include "util/FileIO.h"
#include "util/FileNameBytes.h"
#include "util/TextLines.h"
#include "util/Translate.h"

#include <QFileInfo>

#include <algorithm>

QStringList SplitPrintListLines(const QString& text)
{
    return SplitLines(text, TLineEnds::LfDroppingCr);
}

QStringList DecodePrintList(const QByteArray& bytes)
{
    // Split while still bytes (CR and LF are never part of a longer
    // character), so that the name bytes on both sides of a dropped CR decode
    // as the name they now form.
    QStringList lines;
    ForEachLine(bytes, TLineEnds::LfDroppingCr,
                [&lines](QByteArrayView line) { lines.append(FileNameFromBytes(line)); });
    return lines;
}

QByteArray EncodePrintList(const QStringList& entries)
{
    QByteArray bytes;
    for (const QString& entry : entries) {
        bytes += FileNameToBytes(entry);
        bytes += "\r\n";
    }
    return bytes;
}

bool ReadPrintList(const QString& fileName, QStringList& entries, QString* errorText)
{
    entries.clear();
    // Opening a pipe or a device would wait for a writer or never end.
    const QFileInfo info(fileName);
    if (info.exists() && !info.isFile() && !info.isDir()) {
        if (errorText)
            *errorText = CannotOpenFileText(fileName, TrToolkit("Not a regular file"));
        return false;
    }
    QByteArray bytes;
    if (!LoadFromFile(fileName, bytes, errorText))
        return false;
    entries = DecodePrintList(bytes);
    return true;
}

bool WritePrintList(const QString& fileName, const QStringList& entries, QString* errorText)
{
    return SaveToFile(fileName, EncodePrintList(entries), errorText);
}

QString ListToCommaText(const QStringList& items)
{
    QStringList parts;
    for (const QString& item : items) {
        const bool quote = item.isEmpty() || std::any_of(item.cbegin(), item.cend(),
                                                         [](QChar c) { return c <= u' ' || c == u',' || c == u'"'; });
        if (!quote) {
            parts << item;
            continue;
        }
        QString quoted = item;
        quoted.replace(u'"', QStringLiteral("\"\""));
        parts << u'"' + quoted + u'"';
    }
    return parts.join(u',');
}

QStringList CommaTextToList(const QString& text)
{
    QStringList items;
    if (text.isEmpty())
        return items;
    qsizetype i = 0;
    while (true) {
        QString item;
        if (i < text.size() && text[i] == u'"') {
            for (++i; i < text.size(); ++i) {
                if (text[i] == u'"') {
                    if (i + 1 < text.size() && text[i + 1] == u'"')
                        ++i;
                    else
                        break;
                }
                item += text[i];
            }
            // Anything between the closing quote and the next comma is dropped.
            i = text.indexOf(u',', i);
        } else {
            const qsizetype comma = text.indexOf(u',', i);
            item = text.mid(i, comma < 0 ? -1 : comma - i);
            i = comma;
        }
        items << item;
        if (i < 0)
            return items;
        ++i;
    }
}
