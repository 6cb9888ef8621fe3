#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QtEndian>

#include <algorithm>

// Builds .mo files and catalog containers byte by byte, so tests can make
// exactly the damage they want.
namespace catalog_builder {

inline void PutWord(QByteArray& data, qsizetype pos, quint32 value)
{
    qToLittleEndian(value, data.data() + pos);
}

inline void PutInt64(QByteArray& data, qsizetype pos, qint64 value)
{
    qToLittleEndian(value, data.data() + pos);
}

// A little-endian .mo without hash table; the header entry is added with
// the given charset (an empty charset leaves the Content-Type line out).
inline QByteArray BuildMo(QList<QPair<QByteArray, QByteArray>> messages, const QByteArray& charset = "UTF-8")
{
    QByteArray header = "Project-Id-Version: test\n";
    if (!charset.isEmpty())
        header += "Content-Type: text/plain; charset=" + charset + "\n";
    messages.append({QByteArray(), header});
    std::sort(messages.begin(), messages.end());
    const quint32 n = quint32(messages.size());
    const quint32 origTable = 28;
    const quint32 transTable = origTable + 8 * n;
    QByteArray data(transTable + 8 * n, '\0');
    PutWord(data, 0, 0x950412DE);
    PutWord(data, 8, n);
    PutWord(data, 12, origTable);
    PutWord(data, 16, transTable);
    for (int pass = 0; pass < 2; ++pass) {
        for (quint32 i = 0; i < n; ++i) {
            const QByteArray& text = pass == 0 ? messages[i].first : messages[i].second;
            const quint32 table = pass == 0 ? origTable : transTable;
            PutWord(data, table + 8 * i, quint32(text.size()));
            PutWord(data, table + 8 * i + 4, quint32(data.size()));
            data += text + '\0';
        }
    }
    return data;
}

struct Entry
{
    QByteArray Name;
    QByteArray Data;
};

// Appends a container to `image` as the packer lays it out; returns the
// offset of the first directory entry.
inline qint64 AppendContainer(QByteArray& image, const QList<Entry>& entries)
{
    QList<qint64> offsets;
    for (const Entry& e : entries) {
        offsets << image.size();
        image += e.Data;
    }
    image.append(QByteArray((256 - image.size() % 256) % 256, '\0'));
    const qint64 first = image.size();
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const qsizetype pos = image.size();
        image.append(QByteArray(256, ' '));
        PutInt64(image, pos, pos + 256);
        PutInt64(image, pos + 8, offsets[i]);
        PutInt64(image, pos + 16, entries[i].Data.size());
        image.replace(pos + 24, entries[i].Name.size(), entries[i].Name);
    }
    image.append(QByteArray(8, '\0'));
    return first;
}

} // namespace catalog_builder
