#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <memory>

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the GUI thread, so that a
// kill or a closing terminal runs the program's ordinary exit instead of ending
// it mid-write. The handler only writes the signal number into a socket pair
// (the one thing a handler may safely do); the notifier reads it in the loop.
// At most one router exists at a time: a signal handler can reach only a global.
class SignalRouter : public QObject
{
    Q_OBJECT
  public:
    explicit SignalRouter(QObject* parent = nullptr);
    ~SignalRouter() override; // puts the default actions back

    // False, with ErrorText(), when the pair or a handler could not be set up.
    bool Install();
    QString ErrorText() const { return m_error; }

  Q_SIGNALS:
    void Signalled(int signalNumber);

  private:
    void OnReadable();

    int m_fds[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> m_notifier;
    bool m_installed = false;
    QString m_error;
};
