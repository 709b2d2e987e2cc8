#include "TerminationSignals.h"

#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr std::array<int, 3> kSignals{SIGINT, SIGTERM, SIGHUP};
// The handler's only way out; a signal handler cannot reach an object.
volatile sig_atomic_t g_writeFd = -1;
std::array<struct sigaction, kSignals.size()> g_previous{};

void onSignal(int signalNumber)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    if (g_writeFd >= 0)
        (void)::write(g_writeFd, &byte, 1);
    errno = saved;
}

} // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent)
{
    if (g_writeFd >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, m_fds) != 0)
        return;
    g_writeFd = m_fds[1];
    m_notifier = new QSocketNotifier(m_fds[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignals::onReadable);
    struct sigaction action{};
    action.sa_handler = &onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < kSignals.size(); ++i)
        sigaction(kSignals[i], &action, &g_previous[i]);
    m_installed = true;
}

TerminationSignals::~TerminationSignals()
{
    restore();
    if (m_fds[1] >= 0 && g_writeFd == m_fds[1])
        g_writeFd = -1;
    for (int fd : m_fds)
        if (fd >= 0)
            ::close(fd);
}

void TerminationSignals::restore()
{
    if (!m_installed)
        return;
    m_installed = false;
    for (size_t i = 0; i < kSignals.size(); ++i)
        sigaction(kSignals[i], &g_previous[i], nullptr);
}

void TerminationSignals::onReadable()
{
    unsigned char byte = 0;
    while (::read(m_fds[0], &byte, 1) == 1) {
        if (m_received)
            continue;
        m_received = byte;
        restore();
        Q_EMIT requested(m_received);
    }
}
