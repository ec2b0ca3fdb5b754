#include "platform/SingleInstance.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr int kConnectTimeoutMs = 2000;
constexpr int kReplyTimeoutMs = 3000;
const QByteArray kShowRequest = "show\n";
const QByteArray kShowReply = "ok\n";
} // namespace

SingleInstance::SingleInstance(const QString& folder, QObject* parent)
    : QObject(parent), m_folder(folder), m_lock(folder + QStringLiteral("/savenook.lock"))
{
    // Only a dead owner makes the lock stale: a slow start (a busy machine building
    // its first window) must never be mistaken for a crashed one.
    m_lock.setStaleLockTime(0);
}

SingleInstance::~SingleInstance()
{
    if (m_server)
        m_server->close();
}

QString SingleInstance::SocketPath() const
{
    return m_folder + QStringLiteral("/savenook.socket");
}

SingleInstance::Claim SingleInstance::ClaimOrHandOver(int lockTimeoutMs)
{
    if (!m_lock.tryLock(lockTimeoutMs)) {
        m_error = m_lock.error() == QLockFile::LockFailedError
                      ? QStringLiteral("another Savenook is still starting or ending (lock in %1 held)")
                            .arg(m_folder)
                      : QStringLiteral("cannot create the lock file in %1").arg(m_folder);
        return Claim::Failed;
    }
    QLocalSocket socket;
    socket.connectToServer(SocketPath());
    if (!socket.waitForConnected(kConnectTimeoutMs))
        return Claim::First; // nobody listens: a missing or stale socket

    socket.write(kShowRequest);
    socket.waitForBytesWritten(kReplyTimeoutMs);
    // The reply only tells that the request arrived; the hand-over ends either way.
    while (!socket.canReadLine() && socket.waitForReadyRead(kReplyTimeoutMs)) {
    }
    socket.disconnectFromServer();
    m_lock.unlock();
    return Claim::HandedOver;
}

bool SingleInstance::Listen()
{
    m_server = std::make_unique<QLocalServer>();
    // NoOptions: with a permission option Qt binds elsewhere and renames over the
    // name, so a second listen would succeed beside a living first instance.
    m_server->setSocketOptions(QLocalServer::NoOptions);
    QLocalServer::removeServer(SocketPath());
    const bool ok = m_server->listen(SocketPath());
    if (!ok)
        m_error = QStringLiteral("cannot listen on %1: %2").arg(SocketPath(), m_server->errorString());
    else
        connect(m_server.get(), &QLocalServer::newConnection, this, &SingleInstance::OnNewConnection);
    m_lock.unlock();
    return ok;
}

void SingleInstance::Retire()
{
    // Taken first: a start that finds no socket must not slip in before we hold it.
    if (!m_lock.tryLock(0))
        m_lock.tryLock(kConnectTimeoutMs);
    if (m_server)
        m_server->close();
}

void SingleInstance::OnNewConnection()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            while (socket->canReadLine()) {
                if (socket->readLine() == kShowRequest) {
                    socket->write(kShowReply);
                    socket->flush();
                    Q_EMIT ShowRequested();
                }
            }
            // Anything else is not ours to serve; a line never exceeds a few bytes.
            if (socket->bytesAvailable() > 256)
                socket->abort();
        });
    }
}

QString SingleInstance::RuntimeFolder(QString* errorText)
{
    const QString xdg = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!xdg.isEmpty() && QFileInfo(xdg).isDir())
        return xdg;

    // Not QStandardPaths::RuntimeLocation: its fallback quietly narrows the
    // permissions of a folder others could already have written into (a planted
    // socket would then receive our hand-over); such a folder is refused here.
    const uid_t uid = getuid();
    const QString folder = QDir::tempPath() + QStringLiteral("/savenook-%1").arg(uid);
    const QByteArray native = QFile::encodeName(folder);
    if (mkdir(native.constData(), 0700) != 0 && errno != EEXIST) {
        if (errorText)
            *errorText =
                QStringLiteral("cannot create %1: %2").arg(folder, QString::fromLocal8Bit(strerror(errno)));
        return {};
    }
    // A shared temporary folder: someone else may have made this name first.
    struct stat st
    {
    };
    if (lstat(native.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != uid ||
        (st.st_mode & 077) != 0) {
        if (errorText)
            *errorText = QStringLiteral("%1 is not a private folder of this user").arg(folder);
        return {};
    }
    return folder;
}
