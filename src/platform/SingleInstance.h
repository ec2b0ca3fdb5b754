#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

// One running copy per user. A lock file guards the check so that two starts at
// the same moment cannot both become the first; the first instance then listens
// on a local socket, and a later start hands it a "show" request and ends.
class SingleInstance : public QObject
{
    Q_OBJECT
  public:
    enum class Claim {
        First,      // no other instance: the lock is held until Listen()
        HandedOver, // another instance runs and was asked to show its window
        Failed      // see ErrorText()
    };

    // folder holds the lock file and the socket; it must exist and be private.
    explicit SingleInstance(const QString& folder, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Works before any application object exists (the hand-over needs no display).
    Claim ClaimOrHandOver(int lockTimeoutMs = 15000);
    // Needs the application object. Removes a socket left by a killed instance,
    // listens, then releases the lock so the next start can find us.
    bool Listen();
    // The exit has begun: stop answering and hold the lock until the process ends,
    // so a start meanwhile waits and then runs, instead of handing over to us.
    void Retire();

    QString ErrorText() const { return m_error; }
    QString SocketPath() const;

    // The per-user runtime folder: XDG_RUNTIME_DIR, or a private folder below the
    // temporary folder when it is unset (as it is for root). Created 0700 when
    // missing; empty with errorText set when it cannot be made or is not ours.
    static QString RuntimeFolder(QString* errorText);

  Q_SIGNALS:
    void ShowRequested();

  private:
    void OnNewConnection();

    QString m_folder;
    QLockFile m_lock;
    std::unique_ptr<QLocalServer> m_server;
    QString m_error;
};
