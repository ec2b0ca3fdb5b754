#include "platform/SignalRouter.h"

#include <QString>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

// Write end of the active router's pair; -1 when none is installed.
volatile sig_atomic_t g_writeFd = -1;

extern "C" void routeSignal(int signalNumber)
{
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    if (g_writeFd >= 0) {
        // A full pair means a signal is already pending: dropping this one is fine.
        [[maybe_unused]] const ssize_t written = ::write(g_writeFd, &byte, 1);
    }
    errno = savedErrno;
}

void restoreDefaultActions()
{
    struct sigaction action
    {
    };
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int number : kSignals)
        sigaction(number, &action, nullptr);
}

QString errnoText(const char* what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(strerror(errno)));
}
} // namespace

SignalRouter::SignalRouter(QObject* parent) : QObject(parent) {}

SignalRouter::~SignalRouter()
{
    if (m_installed) {
        restoreDefaultActions();
        g_writeFd = -1;
    }
    m_notifier.reset();
    for (int fd : m_fds)
        if (fd >= 0)
            ::close(fd);
}

bool SignalRouter::Install()
{
    if (m_installed)
        return true;
    if (g_writeFd >= 0) {
        m_error = QStringLiteral("another signal router is installed");
        return false;
    }
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, m_fds) != 0) {
        m_error = errnoText("socketpair");
        return false;
    }
    g_writeFd = m_fds[0];
    struct sigaction action
    {
    };
    action.sa_handler = routeSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : kSignals) {
        if (sigaction(number, &action, nullptr) != 0) {
            m_error = errnoText("sigaction");
            restoreDefaultActions();
            g_writeFd = -1;
            return false;
        }
    }
    m_installed = true;
    m_notifier = std::make_unique<QSocketNotifier>(m_fds[1], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &SignalRouter::OnReadable);
    return true;
}

void SignalRouter::OnReadable()
{
    unsigned char bytes[16];
    ssize_t count;
    while ((count = ::read(m_fds[1], bytes, sizeof bytes)) > 0) {
        for (ssize_t i = 0; i < count; ++i)
            Q_EMIT Signalled(bytes[i]);
    }
}
