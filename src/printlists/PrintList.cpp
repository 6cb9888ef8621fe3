#include "printlists/PrintList.h"

#include "util/FileIO.h"

#include <QFileInfo>
#include <QStringDecoder>
#include <QStringEncoder>

QStringList SplitPrintListLines(const QString& text)
{
    QStringList lines;
    QString line;
    for (const QChar c : text) {
        if (c == u'\n') {
            lines.append(line);
            line.clear();
        } else if (c != u'\r') {
            line += c;
        }
    }
    // A last line without a line end still counts, but a final LF adds no empty line.
    if (!line.isEmpty())
        lines.append(line);
    return lines;
}

QByteArray EncodePrintList(const QStringList& entries)
{
    QStringEncoder encoder(QStringEncoder::System);
    QByteArray bytes;
    for (const QString& entry : entries) {
        bytes += encoder.encode(entry);
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
            *errorText = CannotOpenFileText(fileName, QStringLiteral("Not a regular file"));
        return false;
    }
    QByteArray bytes;
    if (!LoadFromFile(fileName, bytes, errorText))
        return false;
    QStringDecoder decoder(QStringDecoder::System);
    entries = SplitPrintListLines(decoder.decode(bytes));
    return true;
}

bool WritePrintList(const QString& fileName, const QStringList& entries, QString* errorText)
{
    return SaveToFile(fileName, EncodePrintList(entries), errorText);
}
