#include "util/FileNameBytes.h"
#include "util/Utf8Bytes.h"

#include <gtest/gtest.h>

#include <random>

TEST(FileNameBytes, EveryByteStringSurvivesTheWayThroughText)
{
    // Valid UTF-8 reads as usual; everything else is carried as it is.
    const struct
    {
        QByteArray bytes;
        QString text; // empty: only the round trip is checked
    } cases[] = {
        {"plain.pdf", u"plain.pdf"_qs},
        {"caf\xC3\xA9 \xF0\x9F\x98\x80.pdf", u"caf\u00e9 \U0001F600.pdf"_qs},
        {"caf\xE9.pdf", QStringLiteral("caf") + QChar(0xDCE9) + QStringLiteral(".pdf")},
        {"\xC3", QString(QChar(0xDCC3))},        // cut-off sequence
        {"\xC0\xAF", QString()},                 // overlong "/"
        {"\xED\xA0\x80\xED\xB2\x80", QString()}, // encoded surrogates
        {"\xF4\x90\x80\x80", QString()},         // above U+10FFFF
        {"\xE2\x82", QString()},                 // two of three bytes
        {"a\nb\r\"$(x)\x7F\xFF\xFE", QString()},
    };
    for (const auto& c : cases) {
        const QString text = FileNameFromBytes(c.bytes);
        if (!c.text.isEmpty()) {
            EXPECT_EQ(text, c.text) << c.bytes.toHex().constData();
        }
        EXPECT_EQ(FileNameToBytes(text), c.bytes) << c.bytes.toHex().constData();
        // Text that is not a file name never yields invalid UTF-8.
        const QByteArray readable = QByteArray::fromStdString(ReadableUtf8(c.bytes.toStdString()));
        EXPECT_EQ(QString::fromUtf8(readable).toUtf8(), readable);
    }
    // A lone surrogate typed by nobody but not from the reserved range is not a byte.
    EXPECT_EQ(FileNameToBytes(QString(QChar(0xD800))), QByteArray("\xEF\xBF\xBD"));

    // Random bytes: the mapping is lossless, and valid UTF-8 agrees with the toolkit.
    std::mt19937 random(15);
    for (int round = 0; round < 2000; ++round) {
        QByteArray bytes(static_cast<qsizetype>(random() % 12), Qt::Uninitialized);
        for (char& b : bytes)
            b = static_cast<char>(random() % 3 == 0 ? 0x80 + random() % 0x80 : random() % 0x100);
        const QString text = FileNameFromBytes(bytes);
        ASSERT_EQ(FileNameToBytes(text), bytes) << bytes.toHex().constData();
        if (QString::fromUtf8(bytes).toUtf8() == bytes) {
            ASSERT_EQ(text, QString::fromUtf8(bytes)) << bytes.toHex().constData();
        }
    }
}
