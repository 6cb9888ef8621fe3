// The catalog container reader and the .mo check: a container directory and a
// catalog made of any bytes never lead outside the file.
#include "FuzzInput.h"

#include "app/CatalogFiles.h"

#include <QFile>
#include <QTemporaryDir>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = fuzz_input::Bytes(data, size);
    CheckCatalog(bytes);

    static QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("container"));
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        return 0;
    file.close();
    // The first entry is taken from the input's first bytes, as a packer's offset would be.
    qint64 first = 0;
    for (qsizetype i = 0; i < qMin<qsizetype>(4, bytes.size()); ++i)
        first |= static_cast<qint64>(static_cast<uchar>(bytes[i])) << (8 * i);
    for (const qint64 start : {first, qint64(0), qint64(CatalogContainer::Alignment)}) {
        for (const TCatalogEntry& entry : ReadCatalogDirectory(name, start)) {
            if (entry.Offset < 0 || entry.Size < 0 || entry.Offset + entry.Size > bytes.size())
                fuzz_input::Fail("a directory entry points outside the file");
        }
    }
    return 0;
}
