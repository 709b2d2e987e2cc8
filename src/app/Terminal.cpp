#include "Terminal.h"

#include <QFile>
#include <QTextStream>

#include <csignal>
#include <termios.h>
#include <unistd.h>

namespace {

// The settings to put back when a signal ends the program during a hidden prompt: a shell
// left without echo looks broken.
struct termios g_savedTermios;
int g_savedFd = -1;

extern "C" void restoreEchoAndExit(int signal)
{
    if (g_savedFd >= 0)
        ::tcsetattr(g_savedFd, TCSANOW, &g_savedTermios);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// Echo off for its lifetime; line editing (Enter, backspace) stays with the terminal.
class HiddenInput
{
public:
    explicit HiddenInput(int fd)
    {
        if (::tcgetattr(fd, &g_savedTermios) != 0)
            return;
        struct termios hidden = g_savedTermios;
        hidden.c_lflag &= ~tcflag_t(ECHO);
        hidden.c_lflag |= ICANON | ECHONL;
        g_savedFd = fd;
        m_int = std::signal(SIGINT, restoreEchoAndExit);
        m_term = std::signal(SIGTERM, restoreEchoAndExit);
        m_hup = std::signal(SIGHUP, restoreEchoAndExit);
        ::tcsetattr(fd, TCSANOW, &hidden);
    }
    ~HiddenInput()
    {
        if (g_savedFd < 0)
            return;
        ::tcsetattr(g_savedFd, TCSANOW, &g_savedTermios);
        g_savedFd = -1;
        std::signal(SIGINT, m_int);
        std::signal(SIGTERM, m_term);
        std::signal(SIGHUP, m_hup);
    }
    HiddenInput(const HiddenInput&) = delete;
    HiddenInput& operator=(const HiddenInput&) = delete;

private:
    void (*m_int)(int) = SIG_DFL;
    void (*m_term)(int) = SIG_DFL;
    void (*m_hup)(int) = SIG_DFL;
};

} // namespace

Terminal::Terminal(QTextStream& err, int inputFd, int errorFd)
    : m_err(err), m_inputFd(inputFd), m_inputIsTerminal(::isatty(inputFd) == 1),
      m_errorIsTerminal(::isatty(errorFd) == 1)
{
}

Terminal::~Terminal() { clearProgress(); }

Expected<QString, QString> Terminal::readSecret(const QString& prompt)
{
    clearProgress();
    if (!m_inputIsTerminal) {
        QFile in;
        if (!in.open(m_inputFd, QIODevice::ReadOnly))
            return unexpected(QStringLiteral("L'entrée standard ne peut pas être lue."));
        return QString::fromUtf8(in.readAll()).trimmed();
    }
    QByteArray line;
    {
        // Echo goes off before the prompt shows: whatever is typed after it stays hidden.
        HiddenInput hidden(m_inputFd);
        m_err << prompt;
        m_err.flush();
        char c = 0;
        while (true) {
            const ssize_t n = ::read(m_inputFd, &c, 1);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0 || c == '\n')
                break;
            line += c;
        }
    }
    const QString text = QString::fromUtf8(line).trimmed();
    line.fill('\0');
    return text;
}

void Terminal::showProgress(const QString& text)
{
    if (!m_errorIsTerminal)
        return;
    // \r back to the start, then the text, then erase what a longer line left behind.
    m_err << '\r' << text << "\x1b[K";
    m_err.flush();
    m_progressShown = true;
}

void Terminal::clearProgress()
{
    if (!m_progressShown)
        return;
    m_err << "\r\x1b[K";
    m_err.flush();
    m_progressShown = false;
}
