// morvane-pack-catalogs: appends message catalogs to an executable as the
// catalog container and writes the offset of its directory into the marker
// slot of the executable's data, so the installed program is one file.
//
//   morvane-pack-catalogs EXECUTABLE RELATIVE_NAME=CATALOG_FILE...
//
// RELATIVE_NAME is "locale/<code>/LC_MESSAGES/<domain>.mo"; it is stored with
// backslashes, byte for byte as the container is laid out on Windows.

#include "app/CatalogFiles.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QtEndian>

#include <cstdio>

namespace {

constexpr char Marker[] = "6637DB2E-62E1-4A60-AC19-C23867046A89";
static_assert(sizeof Marker - 1 == CatalogContainer::MarkerLength);

int Fail(const QString& message)
{
    const QByteArray text = message.toLocal8Bit();
    std::fprintf(stderr, "morvane-pack-catalogs: %s\n", text.constData());
    return 1;
}

void AppendInt64(QByteArray& data, qint64 value)
{
    char bytes[8];
    qToLittleEndian(value, bytes);
    data.append(bytes, 8);
}

} // namespace

int main(int argc, char* argv[])
{
    using namespace CatalogContainer;
    if (argc < 3)
        return Fail(QStringLiteral("usage: morvane-pack-catalogs EXECUTABLE RELATIVE_NAME=CATALOG_FILE..."));
    const QString exeName = QFile::decodeName(argv[1]);
    QFile exe(exeName);
    if (!exe.open(QIODevice::ReadOnly))
        return Fail(QStringLiteral("cannot read %1").arg(exeName));
    QByteArray data = exe.readAll();
    exe.close();

    // Exactly one slot: a second copy of the marker would leave the reader
    // looking at the wrong eight bytes.
    const QByteArray marker(Marker);
    qsizetype slot = -1;
    int count = 0;
    for (qsizetype at = data.indexOf(marker); at >= 0; at = data.indexOf(marker, at + 1)) {
        slot = at + MarkerLength;
        ++count;
    }
    if (count != 1 || slot + 8 > data.size())
        return Fail(QStringLiteral("%1 holds the catalog marker %2 times instead of once").arg(exeName).arg(count));
    if (qFromLittleEndian<qint64>(data.constData() + slot) != 0)
        return Fail(QStringLiteral("%1 already carries catalogs").arg(exeName));

    struct Catalog
    {
        QByteArray Name;
        qint64 Offset;
        qint64 Size;
    };
    QList<Catalog> catalogs;
    for (int i = 2; i < argc; ++i) {
        const QString argument = QFile::decodeName(argv[i]);
        const qsizetype eq = argument.indexOf(u'=');
        if (eq <= 0)
            return Fail(QStringLiteral("expected RELATIVE_NAME=CATALOG_FILE, got %1").arg(argument));
        QByteArray name = argument.left(eq).toLatin1();
        name.replace('/', '\\');
        if (name.size() > NameLength)
            return Fail(QStringLiteral("name too long: %1").arg(argument.left(eq)));
        QFile file(argument.mid(eq + 1));
        if (!file.open(QIODevice::ReadOnly))
            return Fail(QStringLiteral("cannot read %1").arg(file.fileName()));
        const QByteArray bytes = file.readAll();
        if (bytes.size() > MaxCatalogSize || CheckCatalog(bytes) != TCatalogCheck::Valid)
            return Fail(QStringLiteral("%1 is not a usable UTF-8 catalog").arg(file.fileName()));
        catalogs.append({name, data.size(), bytes.size()});
        data += bytes;
    }

    data.append(QByteArray((Alignment - data.size() % Alignment) % Alignment, '\0'));
    const qint64 firstEntry = data.size();
    for (const Catalog& catalog : std::as_const(catalogs)) {
        // The last entry points at the eight zero bytes that end the file.
        AppendInt64(data, data.size() + EntrySize);
        AppendInt64(data, catalog.Offset);
        AppendInt64(data, catalog.Size);
        data += catalog.Name.leftJustified(NameLength, ' ');
    }
    AppendInt64(data, 0);
    qToLittleEndian(firstEntry, data.data() + slot);

    const QFile::Permissions permissions = QFileInfo(exeName).permissions();
    QSaveFile out(exeName);
    if (!out.open(QIODevice::WriteOnly) || out.write(data) != data.size() || !out.commit())
        return Fail(QStringLiteral("cannot write %1").arg(exeName));
    QFile::setPermissions(exeName, permissions);
    return 0;
}
