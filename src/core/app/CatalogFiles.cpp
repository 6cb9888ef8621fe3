#include "app/CatalogFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QtEndian>

#include <cstring>

// The packer finds this marker in the executable file and writes the offset
// of the first directory entry into the eight bytes after it. It must occur
// exactly once in the program, so nothing else here spells it out.
extern "C" [[gnu::used]] const char MorvaneCatalogSlot[CatalogContainer::MarkerLength + 8] =
    "6637DB2E-62E1-4A60-AC19-C23867046A89\0\0\0\0\0\0\0";

namespace {

constexpr int MaxDirectoryEntries = 4096;
constexpr quint32 MoMagic = 0x950412DE;

qint64 ReadInt64(const char* p)
{
    return qFromLittleEndian<qint64>(p);
}

class TMoReader
{
public:
    explicit TMoReader(const QByteArray& data) : FData(data) {}

    bool Init()
    {
        if (FData.size() < 28)
            return false;
        const quint32 magic = qFromLittleEndian<quint32>(FData.constData());
        if (magic == MoMagic)
            FSwap = false;
        else if (qbswap(magic) == MoMagic)
            FSwap = true;
        else
            return false;
        return true;
    }

    quint32 Word(qint64 pos) const
    {
        const quint32 v = qFromLittleEndian<quint32>(FData.constData() + pos);
        return FSwap ? qbswap(v) : v;
    }

    qint64 Size() const { return FData.size(); }
    const char* Data() const { return FData.constData(); }

private:
    const QByteArray& FData;
    bool FSwap = false;
};

// True when the string table of n entries at tableOffset lies inside the file
// and every string in it is NUL-terminated inside the file.
bool StringTableFits(const TMoReader& mo, qint64 n, qint64 tableOffset)
{
    if (tableOffset < 28 || tableOffset + 8 * n > mo.Size())
        return false;
    for (qint64 i = 0; i < n; ++i) {
        const qint64 length = mo.Word(tableOffset + 8 * i);
        const qint64 offset = mo.Word(tableOffset + 8 * i + 4);
        if (offset + length >= mo.Size() || mo.Data()[offset + length] != '\0')
            return false;
    }
    return true;
}

bool DeclaresUtf8(const QByteArray& header)
{
    for (const QByteArray& line : header.split('\n')) {
        if (line.trimmed().toLower().startsWith("content-type:"))
            return line.toLower().contains("charset=utf-8");
    }
    return false;
}

QByteArray ReadRegularFile(const QString& fileName)
{
    const QFileInfo info(fileName);
    if (!info.isFile() || info.size() > MaxCatalogSize)
        return {};
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.read(MaxCatalogSize) : QByteArray();
}

// The entry of `dir` whose name equals `name` without case; the exact
// spelling wins when several do.
QString FindEntryNoCase(const QString& dir, const QString& name, QDir::Filters kind)
{
    const QDir d(dir);
    if (d.exists(name) && QFileInfo(d.filePath(name)).isDir() == (kind == QDir::Dirs) && !name.contains(u'/'))
        return d.filePath(name);
    const QStringList entries = d.entryList(kind | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
    for (const QString& entry : entries) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return d.filePath(entry);
    }
    return {};
}

QString FindCatalogFile(const QString& exePath, const QString& code, const QString& domain)
{
    if (code.contains(u'/') || code.startsWith(u'.') || exePath.isEmpty())
        return {};
    const QString localeDir = FindEntryNoCase(exePath + QStringLiteral("locale"), code, QDir::Dirs);
    if (localeDir.isEmpty())
        return {};
    const QString messagesDir = FindEntryNoCase(localeDir, QStringLiteral("LC_MESSAGES"), QDir::Dirs);
    if (messagesDir.isEmpty())
        return {};
    return FindEntryNoCase(messagesDir, domain + QStringLiteral(".mo"), QDir::Files);
}

QByteArray ReadContainerEntry(const QString& containerFile, const TCatalogEntry& entry)
{
    QFile file(containerFile);
    if (!file.open(QIODevice::ReadOnly) || entry.Size > MaxCatalogSize || !file.seek(entry.Offset))
        return {};
    QByteArray data = file.read(entry.Size);
    return data.size() == entry.Size ? data : QByteArray();
}

} // namespace

qint64 EmbeddedCatalogOffset()
{
    // Read through volatile: the compiler would otherwise fold the zeros of
    // the initializer into the code, and the packer's value would go unseen.
    const volatile char* slot = MorvaneCatalogSlot + CatalogContainer::MarkerLength;
    char bytes[8];
    for (int i = 0; i < 8; ++i)
        bytes[i] = slot[i];
    return ReadInt64(bytes);
}

QList<TCatalogEntry> ReadCatalogDirectory(const QString& fileName, qint64 firstEntry)
{
    using namespace CatalogContainer;
    QList<TCatalogEntry> entries;
    QFile file(fileName);
    if (firstEntry <= 0 || !file.open(QIODevice::ReadOnly))
        return entries;
    const qint64 fileSize = file.size();
    QSet<qint64> visited;
    qint64 pos = firstEntry;
    while (pos > 0 && visited.size() < MaxDirectoryEntries) {
        // A link back to a visited entry would loop for ever; the trailer
        // (eight zero bytes at the end) has no room for an entry.
        if (visited.contains(pos) || pos > fileSize - EntryHeaderSize)
            break;
        visited.insert(pos);
        char header[EntryHeaderSize];
        if (!file.seek(pos) || file.read(header, EntryHeaderSize) != EntryHeaderSize)
            break;
        const qint64 next = ReadInt64(header);
        const qint64 offset = ReadInt64(header + 8);
        const qint64 size = ReadInt64(header + 16);
        // The name fills the entry up to the next one (232 bytes as packed).
        qint64 nameEnd = next > pos + EntryHeaderSize ? next : pos + EntrySize;
        nameEnd = qMin(qMin(nameEnd, fileSize), pos + EntryHeaderSize + 4 * NameLength);
        const QByteArray rawName = file.read(nameEnd - pos - EntryHeaderSize);
        QByteArray name = rawName;
        while (!name.isEmpty() && quint8(name.back()) <= 32)
            name.chop(1);
        while (!name.isEmpty() && quint8(name.front()) <= 32)
            name.remove(0, 1);
        if (offset >= 0 && size >= 0 && size <= MaxCatalogSize && offset <= fileSize - size && !name.isEmpty())
            entries.append({QString::fromLatin1(name), offset, size});
        pos = next;
    }
    return entries;
}

TCatalogCheck CheckCatalog(const QByteArray& data)
{
    TMoReader mo(data);
    if (!mo.Init())
        return TCatalogCheck::Invalid;
    const quint32 revision = mo.Word(4);
    const qint64 n = mo.Word(8);
    const qint64 origTable = mo.Word(12);
    const qint64 transTable = mo.Word(16);
    const qint64 hashSize = mo.Word(20);
    const qint64 hashTable = mo.Word(24);
    // Revision 1 adds system-dependent strings, which our catalogs never use.
    if (revision >> 16 > 1)
        return TCatalogCheck::Invalid;
    if (revision >> 16 == 1 && (data.size() < 48 || mo.Word(28) != 0 || mo.Word(36) != 0))
        return TCatalogCheck::Invalid;
    if (n > data.size() / 8 || !StringTableFits(mo, n, origTable) || !StringTableFits(mo, n, transTable))
        return TCatalogCheck::Invalid;
    if (hashSize != 0) {
        if (hashTable < 28 || hashSize > data.size() / 4 || hashTable + 4 * hashSize > data.size())
            return TCatalogCheck::Invalid;
        for (qint64 i = 0; i < hashSize; ++i) {
            if (mo.Word(hashTable + 4 * i) > n)
                return TCatalogCheck::Invalid;
        }
    }
    // The header is the translation of the empty key, sorted first.
    if (n == 0 || mo.Word(origTable) != 0)
        return TCatalogCheck::NotUtf8;
    const qint64 headerLength = mo.Word(transTable);
    const qint64 headerOffset = mo.Word(transTable + 4);
    return DeclaresUtf8(data.mid(headerOffset, headerLength)) ? TCatalogCheck::Valid : TCatalogCheck::NotUtf8;
}

QStringList CatalogFolders(const QString& exePath)
{
    QStringList folders;
    if (exePath.isEmpty())
        return folders;
    folders << exePath;
    // Derived from where the program lies, so any installation prefix works.
    if (QDir(exePath).dirName() == QStringLiteral("bin"))
        folders << QDir::cleanPath(exePath + QStringLiteral("../share/morvane")) + u'/';
    return folders;
}

TFoundCatalog FindCatalog(const QStringList& folders, const QString& containerFile,
                          const QList<TCatalogEntry>& container, const QString& code, const QString& domain)
{
    QStringList codes{code};
    if (code.size() > 2)
        codes << code.left(2);
    for (const QString& c : std::as_const(codes)) {
        if (c.isEmpty())
            continue;
        for (const QString& folder : folders) {
            const QString fileName = FindCatalogFile(folder, c, domain);
            if (fileName.isEmpty())
                continue;
            TFoundCatalog found{ReadRegularFile(fileName), TCatalogCheck::Invalid, fileName};
            found.Check = CheckCatalog(found.Data);
            if (found.Check != TCatalogCheck::Invalid)
                return found;
        }
        const QString wanted =
            QStringLiteral("locale/") + c + QStringLiteral("/LC_MESSAGES/") + domain + QStringLiteral(".mo");
        for (const TCatalogEntry& entry : container) {
            // Names are stored with backslashes as on Windows; either delimiter serves.
            QString name = entry.Name;
            name.replace(u'\\', u'/');
            if (name.compare(wanted, Qt::CaseInsensitive) != 0)
                continue;
            TFoundCatalog found{ReadContainerEntry(containerFile, entry), TCatalogCheck::Invalid,
                                containerFile + u':' + entry.Name};
            found.Check = CheckCatalog(found.Data);
            if (found.Check != TCatalogCheck::Invalid)
                return found;
        }
    }
    return {};
}
