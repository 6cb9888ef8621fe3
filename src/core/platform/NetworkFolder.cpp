#include "platform/NetworkFolder.h"

#include "util/StrUtils.h"

#include <QFileInfo>
#include <QStorageInfo>
#include <QStringList>

#include <unistd.h>

QString NetworkFolderPath()
{
    const QString runtimeDir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    for (const QString& candidate : {runtimeDir.isEmpty() ? QString() : runtimeDir + QStringLiteral("/gvfs"),
                                     QStringLiteral("/run/user/%1/gvfs").arg(getuid())}) {
        if (!candidate.isEmpty() && QFileInfo(candidate).isDir())
            return candidate;
    }
    return QStringLiteral("/mnt");
}

bool IsInNetworkFolder(const QString& dir)
{
    const QString path = WithoutTrailingDelimiter(dir);
    const QString network = NetworkFolderPath();
    return path == network || path.startsWith(network + PathDelimiter());
}

bool IsNetworkPath(const QString& dir)
{
    if (IsInNetworkFolder(dir))
        return true;
    static const QStringList networkTypes{
        QStringLiteral("nfs"),   QStringLiteral("nfs4"),  QStringLiteral("cifs"),
        QStringLiteral("smb3"),  QStringLiteral("smbfs"), QStringLiteral("ncpfs"),
        QStringLiteral("afs"),   QStringLiteral("9p"),    QStringLiteral("fuse.sshfs"),
        QStringLiteral("sshfs"), QStringLiteral("davfs"), QStringLiteral("fuse.gvfsd-fuse"),
    };
    const QStorageInfo storage(WithoutTrailingDelimiter(dir));
    return storage.isValid() && networkTypes.contains(QString::fromLatin1(storage.fileSystemType()));
}
