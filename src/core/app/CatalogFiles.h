#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Finding and checking message catalogs (.mo files): ordinary files below the
// executable's folder or the installed program's data folder, and entries of
// the catalog container appended to the executable. Both are untrusted input: nothing here trusts an offset, a size
// or a chain link it has not checked against the file.

// Container directory entry: the relative name ("locale\de\LC_MESSAGES\x.mo")
// and where the catalog lies in the executable file.
struct TCatalogEntry
{
    QString Name;
    qint64 Offset = 0;
    qint64 Size = 0;
};

// Byte layout of the container, shared with the packer tool.
namespace CatalogContainer {
constexpr int MarkerLength = 36;
constexpr qint64 EntrySize = 256;
constexpr qint64 EntryHeaderSize = 24; // next, offset, size
constexpr qint64 NameLength = EntrySize - EntryHeaderSize;
constexpr qint64 Alignment = 256;
} // namespace CatalogContainer

// Larger catalogs are taken for damage: the shipped ones are a few kilobytes.
constexpr qint64 MaxCatalogSize = 64 * 1024 * 1024;

// Offset of the first directory entry as the packer wrote it into the
// executable's own data; 0 when no container is attached.
qint64 EmbeddedCatalogOffset();

// Walks the directory chain from firstEntry. Broken links, loops, entries
// outside the file and absurd sizes end the walk or drop the entry.
QList<TCatalogEntry> ReadCatalogDirectory(const QString& fileName, qint64 firstEntry);

enum class TCatalogCheck
{
    Valid,
    Invalid,
    NotUtf8
};

// Checks the .mo layout (magic, tables, every string inside the file and
// NUL-terminated, hash table) and that the header declares UTF-8.
TCatalogCheck CheckCatalog(const QByteArray& mo);

struct TFoundCatalog
{
    QByteArray Data;
    TCatalogCheck Check = TCatalogCheck::Invalid;
    QString Source; // file name, or container name after the executable's
};

// Folders (with trailing delimiter) whose "locale" subfolder may hold catalog
// files, in lookup order: the executable's folder, then, for a program
// installed into a "bin" folder, "../share/morvane/" beside it. Stripping an
// installed executable drops the container; packages ship the files there.
QStringList CatalogFolders(const QString& exePath);

// The catalog of `domain` for language `code`: the full code first, then its
// first two characters; for each, an ordinary file below the folders (in
// their order) before a container entry; names compared without case. Damaged
// candidates are passed over. Check is Invalid when nothing usable was found.
TFoundCatalog FindCatalog(const QStringList& folders, const QString& containerFile,
                          const QList<TCatalogEntry>& container, const QString& code, const QString& domain);
