#include "platform/NetworkFolder.h"

#include <QFileInfo>
#include <QStorageInfo>
#include <QStringList>

#include <unistd.h>

namespace {

QString WithoutTrailingSlashes(QString path)
{
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    return path;
}

} // namespace

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
    const QString path = WithoutTrailingSlashes(dir);
    const QString network = NetworkFolderPath();
    return path == network || path.startsWith(network + u'/');
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
    const QStorageInfo storage(WithoutTrailingSlashes(dir));
    return storage.isValid() && networkTypes.contains(QString::fromLatin1(storage.fileSystemType()));
}
