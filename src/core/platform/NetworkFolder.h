#pragma once

#include <QString>

// The folder that stands for the network: the desktop's network mounts
// ($XDG_RUNTIME_DIR/gvfs, else /run/user/<uid>/gvfs) when present, else /mnt.
QString NetworkFolderPath();
// True for dir itself and the folders below it (trailing slashes ignored).
bool IsInNetworkFolder(const QString& dir);
// True for a folder inside NetworkFolderPath() or on a network file system
// (nfs, cifs/smb, sshfs, ...).
bool IsNetworkPath(const QString& dir);
