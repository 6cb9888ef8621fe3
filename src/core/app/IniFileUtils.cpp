#include "app/IniFileUtils.h"

#include "util/FileIO.h"
#include "util/TextLines.h"

#include <QFileInfo>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QStringView>
#include <QtDebug>

#include <limits>

namespace {

QString Fold(const QString& name)
{
    return name.toCaseFolded();
}

// Strips characters with codes up to 32 at both ends (not Unicode white
// space: a no-break space is kept, as in the file format's definition).
QStringView StripControls(QStringView s)
{
    qsizetype begin = 0;
    qsizetype end = s.size();
    while (begin < end && s[begin].unicode() <= 32)
        ++begin;
    while (end > begin && s[end - 1].unicode() <= 32)
        --end;
    return s.sliced(begin, end - begin);
}

// A written key or value must not start a new line in the file.
QString SingleLine(const QString& text)
{
    if (!text.contains(u'\r') && !text.contains(u'\n'))
        return text;
    QString result = text;
    result.replace(u'\r', u' ');
    result.replace(u'\n', u' ');
    return result;
}

QString DecodeBytes(const QByteArray& bytes, TIniEncoding& encoding)
{
    QStringDecoder::Encoding codec = QStringDecoder::System;
    qsizetype skip = 0;
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        encoding = TIniEncoding::Utf8;
        codec = QStringDecoder::Utf8;
        skip = 3;
    } else if (bytes.startsWith("\xFF\xFE")) {
        encoding = TIniEncoding::Utf16LE;
        codec = QStringDecoder::Utf16LE;
        skip = 2;
    } else if (bytes.startsWith("\xFE\xFF")) {
        encoding = TIniEncoding::Utf16BE;
        codec = QStringDecoder::Utf16BE;
        skip = 2;
    } else {
        encoding = TIniEncoding::Ansi;
    }
    // Stateless: an incomplete sequence at the end becomes U+FFFD instead of
    // being kept back and lost.
    QStringDecoder decoder(codec, QStringDecoder::Flag::Stateless);
    return decoder.decode(QByteArrayView(bytes).sliced(skip));
}

QByteArray EncodeText(const QString& text, TIniEncoding encoding)
{
    QByteArray bom;
    QStringEncoder::Encoding codec = QStringEncoder::System;
    switch (encoding) {
    case TIniEncoding::Utf8:
        bom = QByteArrayLiteral("\xEF\xBB\xBF");
        codec = QStringEncoder::Utf8;
        break;
    case TIniEncoding::Utf16LE:
        bom = QByteArrayLiteral("\xFF\xFE");
        codec = QStringEncoder::Utf16LE;
        break;
    case TIniEncoding::Utf16BE:
        bom = QByteArrayLiteral("\xFE\xFF");
        codec = QStringEncoder::Utf16BE;
        break;
    case TIniEncoding::Ansi:
        break;
    }
    QStringEncoder encoder(codec);
    const QByteArray body = encoder.encode(text);
    return bom.isEmpty() ? body : QByteArray(bom).append(body);
}

bool HexToUnsigned(QStringView digits, int maxNibbles, quint64& value)
{
    if (digits.isEmpty())
        return false;
    // Leading zeros do not count towards the width.
    while (digits.size() > 1 && digits.front() == u'0')
        digits = digits.sliced(1);
    if (digits.size() > maxNibbles)
        return false;
    quint64 result = 0;
    for (QChar c : digits) {
        const char16_t u = c.unicode();
        int d;
        if (u >= u'0' && u <= u'9')
            d = u - u'0';
        else if (u >= u'a' && u <= u'f')
            d = u - u'a' + 10;
        else if (u >= u'A' && u <= u'F')
            d = u - u'A' + 10;
        else
            return false;
        result = (result << 4) | quint64(d);
    }
    value = result;
    return true;
}

bool DecimalToInt64(QStringView text, qint64& value)
{
    bool negative = false;
    if (!text.isEmpty() && (text.front() == u'-' || text.front() == u'+')) {
        negative = text.front() == u'-';
        text = text.sliced(1);
    }
    if (text.isEmpty())
        return false;
    // Accumulated as a negative number so that the minimum value fits.
    qint64 result = 0;
    constexpr qint64 minValue = std::numeric_limits<qint64>::min();
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u < u'0' || u > u'9')
            return false;
        const int d = u - u'0';
        if (result < (minValue + d) / 10)
            return false;
        result = result * 10 - d;
    }
    if (!negative) {
        if (result == minValue)
            return false;
        result = -result;
    }
    value = result;
    return true;
}

// Decimal with optional sign, or "0x" (text longer than two characters) or
// "$" followed by hexadecimal digits, read as the bit pattern of a value
// `bits` wide. Anything else, overflow included, leaves value untouched.
bool TextToInteger(const QString& text, int bits, qint64& value)
{
    QStringView digits;
    if (text.size() > 2 && text.startsWith(QStringLiteral("0x"), Qt::CaseInsensitive))
        digits = QStringView(text).sliced(2);
    else if (text.startsWith(u'$'))
        digits = QStringView(text).sliced(1);
    if (!digits.isNull()) {
        quint64 u;
        if (!HexToUnsigned(digits, bits / 4, u))
            return false;
        value = bits == 32 ? qint64(qint32(quint32(u))) : qint64(u);
        return true;
    }
    qint64 v;
    if (!DecimalToInt64(text, v))
        return false;
    if (bits == 32 && (v < std::numeric_limits<qint32>::min() || v > std::numeric_limits<qint32>::max()))
        return false;
    value = v;
    return true;
}

} // namespace

// ---- TMemIniFile ------------------------------------------------------------

void TMemIniFile::TSection::Reindex()
{
    Index.clear();
    for (qsizetype i = 0; i < qsizetype(Entries.size()); ++i) {
        const TEntry& e = Entries[size_t(i)];
        if (!e.HasValue)
            continue;
        const QString key = Fold(e.Key);
        if (!Index.contains(key))
            Index.insert(key, i);
    }
}

TMemIniFile::TMemIniFile(const QString& fileName) : FFileName(fileName) {}

TMemIniFile::~TMemIniFile() = default;

bool TMemIniFile::Load(QString* errorText)
{
    Clear();
    FModified = false;
    FEncoding = TIniEncoding::Ansi;
    // A missing file, or a folder in its place, is an empty content; the
    // write at exit then reports the folder.
    if (!QFileInfo(FFileName).isFile())
        return true;
    QByteArray bytes;
    if (!LoadFromFile(FFileName, bytes, errorText))
        return false;
    SetBytes(bytes);
    FModified = false;
    return true;
}

void TMemIniFile::SetBytes(const QByteArray& bytes)
{
    Clear();
    QString text = DecodeBytes(bytes, FEncoding);
    TSection* current = nullptr;
    ForEachLine(text, TLineEnds::CrLfLfOrCr, [this, &current](QStringView rawLine) {
        const QStringView line = StripControls(rawLine);
        if (line.isEmpty() || line.front() == u';')
            return;
        if (line.front() == u'[' && line.back() == u']' && line.size() >= 2) {
            const QString name = StripControls(line.sliced(1, line.size() - 2)).toString();
            // A repeated header continues the first section of that name.
            TSection* existing = FindSection(name);
            current = existing ? existing : &AddSection(name);
            return;
        }
        if (!current)
            return;
        const qsizetype eq = line.indexOf(u'=');
        TEntry entry;
        if (eq >= 0) {
            entry.Key = StripControls(line.first(eq)).toString();
            entry.Value = StripControls(line.sliced(eq + 1)).toString();
            entry.HasValue = true;
        } else {
            entry.Key = line.toString();
            entry.HasValue = false;
        }
        const qsizetype index = qsizetype(current->Entries.size());
        if (entry.HasValue) {
            const QString key = Fold(entry.Key);
            if (!current->Index.contains(key))
                current->Index.insert(key, index);
        }
        current->Entries.push_back(std::move(entry));
    });
    FModified = true;
}

QByteArray TMemIniFile::GetBytes() const
{
    QString text;
    for (const auto& section : FSections) {
        text += u'[' + section->Name + QStringLiteral("]\r\n");
        for (const TEntry& e : section->Entries) {
            if (e.HasValue)
                text += e.Key + u'=' + e.Value + QStringLiteral("\r\n");
            else
                text += e.Key + QStringLiteral("\r\n");
        }
        text += QStringLiteral("\r\n");
    }
    return EncodeText(text, FEncoding);
}

bool TMemIniFile::UpdateFile(QString* errorText)
{
    if (!SaveToFile(FFileName, GetBytes(), errorText))
        return false;
    FModified = false;
    return true;
}

const TMemIniFile::TSection* TMemIniFile::FindSection(const QString& section) const
{
    const auto it = FSectionIndex.constFind(Fold(section));
    return it == FSectionIndex.cend() ? nullptr : FSections[size_t(it.value())].get();
}

TMemIniFile::TSection* TMemIniFile::FindSection(const QString& section)
{
    const auto it = FSectionIndex.constFind(Fold(section));
    return it == FSectionIndex.cend() ? nullptr : FSections[size_t(it.value())].get();
}

TMemIniFile::TSection& TMemIniFile::AddSection(const QString& name)
{
    auto section = std::make_unique<TSection>();
    section->Name = name;
    FSectionIndex.insert(Fold(name), qsizetype(FSections.size()));
    FSections.push_back(std::move(section));
    return *FSections.back();
}

void TMemIniFile::ReindexSections()
{
    FSectionIndex.clear();
    for (qsizetype i = 0; i < qsizetype(FSections.size()); ++i)
        FSectionIndex.insert(Fold(FSections[size_t(i)]->Name), i);
}

QString TMemIniFile::ReadString(const QString& section, const QString& ident, const QString& defaultValue) const
{
    const TSection* s = FindSection(section);
    if (!s)
        return defaultValue;
    const auto it = s->Index.constFind(Fold(ident));
    if (it == s->Index.cend())
        return defaultValue;
    return s->Entries[size_t(it.value())].Value;
}

void TMemIniFile::WriteString(const QString& section, const QString& ident, const QString& value)
{
    TSection* s = FindSection(section);
    if (!s)
        s = &AddSection(SingleLine(section));
    TEntry entry{SingleLine(ident), SingleLine(value), true};
    const QString key = Fold(entry.Key);
    const auto it = s->Index.constFind(key);
    if (it != s->Index.cend()) {
        s->Entries[size_t(it.value())] = std::move(entry);
    } else {
        s->Index.insert(key, qsizetype(s->Entries.size()));
        s->Entries.push_back(std::move(entry));
    }
    FModified = true;
}

qint64 TMemIniFile::ReadWholeNumber(const QString& section, const QString& ident, qint64 defaultValue, int bits) const
{
    qint64 value = defaultValue;
    TextToInteger(ReadString(section, ident, QString()), bits, value);
    return value;
}

int TMemIniFile::ReadInteger(const QString& section, const QString& ident, int defaultValue) const
{
    return int(ReadWholeNumber(section, ident, defaultValue, 32));
}

void TMemIniFile::WriteInteger(const QString& section, const QString& ident, int value)
{
    WriteString(section, ident, QString::number(value));
}

bool TMemIniFile::ReadBool(const QString& section, const QString& ident, bool defaultValue) const
{
    return ReadInteger(section, ident, defaultValue ? 1 : 0) != 0;
}

void TMemIniFile::WriteBool(const QString& section, const QString& ident, bool value)
{
    WriteString(section, ident, value ? QStringLiteral("1") : QStringLiteral("0"));
}

bool TMemIniFile::SectionExists(const QString& section) const
{
    const TSection* s = FindSection(section);
    return s && !s->Entries.empty();
}

QStringList TMemIniFile::ReadSections() const
{
    QStringList names;
    for (const auto& section : FSections)
        names.append(section->Name);
    return names;
}

QStringList TMemIniFile::ReadSection(const QString& section) const
{
    QStringList keys;
    if (const TSection* s = FindSection(section)) {
        for (const TEntry& e : s->Entries)
            keys.append(e.HasValue ? e.Key : QString());
    }
    return keys;
}

void TMemIniFile::EraseSection(const QString& section)
{
    const auto it = FSectionIndex.constFind(Fold(section));
    if (it == FSectionIndex.cend())
        return;
    FSections.erase(FSections.begin() + it.value());
    ReindexSections();
    FModified = true;
}

void TMemIniFile::DeleteKey(const QString& section, const QString& ident)
{
    TSection* s = FindSection(section);
    if (!s)
        return;
    const auto it = s->Index.constFind(Fold(ident));
    if (it == s->Index.cend())
        return;
    s->Entries.erase(s->Entries.begin() + it.value());
    // A later line with the same key becomes the visible one.
    s->Reindex();
    FModified = true;
}

void TMemIniFile::Clear()
{
    if (!FSections.empty())
        FModified = true;
    FSections.clear();
    FSectionIndex.clear();
}

// ---- TUnicodeIniFile --------------------------------------------------------

TUnicodeIniFile::TUnicodeIniFile(const QString& fileName, bool readOnly) : TMemIniFile(fileName), FReadOnly(readOnly) {}

std::unique_ptr<TUnicodeIniFile> TUnicodeIniFile::CreateForRead(const QString& fileName, QString* errorText)
{
    std::unique_ptr<TUnicodeIniFile> ini(new TUnicodeIniFile(fileName, true));
    if (!ini->Load(errorText))
        return nullptr;
    return ini;
}

std::unique_ptr<TUnicodeIniFile> TUnicodeIniFile::CreateForWrite(const QString& fileName, bool clearEntries,
                                                                 QString* errorText)
{
    std::unique_ptr<TUnicodeIniFile> ini(new TUnicodeIniFile(fileName, false));
    // Read even when the content is dropped: a file that exists but cannot
    // be read is reported and left alone rather than overwritten.
    if (!ini->Load(errorText)) {
        ini->FReadOnly = true;
        return nullptr;
    }
    if (clearEntries)
        ini->Clear();
    ini->SetEncoding(TIniEncoding::Utf16LE);
    // The empty section marks a file written in UTF-16. It never holds an
    // entry, so it never "exists": writing and deleting a key appends it
    // when it is missing and leaves an existing one where it is.
    const QString unicode = QStringLiteral("Unicode");
    if (clearEntries || !ini->SectionExists(unicode)) {
        const QString dummy = QStringLiteral("Dummy");
        ini->WriteString(unicode, dummy, QString());
        ini->DeleteKey(unicode, dummy);
    }
    // The file is rewritten in UTF-16 even when no value changes.
    ini->FPendingWrite = true;
    return ini;
}

TUnicodeIniFile::~TUnicodeIniFile()
{
    if (FReadOnly || !(FPendingWrite || Modified()))
        return;
    QString errorText;
    if (!UpdateFile(&errorText))
        qWarning().noquote() << errorText;
}

bool TUnicodeIniFile::UpdateFile(QString* errorText)
{
    if (FReadOnly)
        return true;
    FPendingWrite = false;
    const bool ok = TMemIniFile::UpdateFile(errorText);
    // A failure has been reported to this caller; the destructor does not
    // try the same write again.
    SetModified(false);
    return ok;
}

qint64 TUnicodeIniFile::ReadInt64(const QString& section, const QString& ident, qint64 defaultValue) const
{
    return ReadWholeNumber(section, ident, defaultValue, 64);
}

void TUnicodeIniFile::WriteInt64(const QString& section, const QString& ident, qint64 value)
{
    WriteString(section, ident, QString::number(value));
}
