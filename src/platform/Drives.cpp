#include "platform/Drives.h"

#include <QStringList>

bool IsNetworkFileSystem(const QString& fsType)
{
    static const QStringList network = {QStringLiteral("cifs"),          QStringLiteral("smb3"),
                                        QStringLiteral("smbfs"),         QStringLiteral("nfs"),
                                        QStringLiteral("nfs4"),          QStringLiteral("fuse.sshfs"),
                                        QStringLiteral("sshfs"),         QStringLiteral("9p"),
                                        QStringLiteral("afs"),           QStringLiteral("ncpfs"),
                                        QStringLiteral("fuse.smbnetfs"), QStringLiteral("davfs"),
                                        QStringLiteral("fuse.davfs2"),   QStringLiteral("ceph"),
                                        QStringLiteral("glusterfs"),     QStringLiteral("fuse.glusterfs")};
    return network.contains(fsType);
}
