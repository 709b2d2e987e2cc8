#pragma once
// Starts the accessible program that plays a browser, with accessibility on, and stops it by pid.
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTest>
#include <csignal>
#include <sys/types.h>

class FakeBrowserProcess
{
public:
    explicit FakeBrowserProcess(const QStringList& arguments,
                                const QString& program = QStringLiteral(FAKE_ACCESSIBLE_BROWSER))
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_ACCESSIBILITY"), QStringLiteral("1"));
        env.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(program, arguments);
    }
    ~FakeBrowserProcess()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        ::kill(pid_t(m_process.processId()), SIGCONT);
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    // Waits for a line it printed ("ready", "active 1"...).
    bool waitForLine(const QString& line, int timeoutMs = 20000)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (!deadline.hasExpired()) {
            while (m_process.canReadLine()) {
                const QString got = QString::fromUtf8(m_process.readLine()).trimmed();
                m_lines << got;
                if (got == line)
                    return true;
            }
            if (m_process.state() == QProcess::NotRunning)
                return false;
            m_process.waitForReadyRead(int(qMax<qint64>(1, qMin<qint64>(200, deadline.remainingTime()))));
            QCoreApplication::processEvents();
        }
        return false;
    }
    void send(const QString& command) { m_process.write((command + QLatin1Char('\n')).toUtf8()); }
    // Stops it and waits until the kernel shows it stopped.
    bool freeze()
    {
        ::kill(pid_t(m_process.processId()), SIGSTOP);
        QFile stat(QStringLiteral("/proc/%1/stat").arg(m_process.processId()));
        QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired()) {
            if (stat.open(QIODevice::ReadOnly)) {
                const QByteArray line = stat.readAll();
                stat.close();
                const qsizetype end = line.lastIndexOf(')');
                if (end >= 0 && line.mid(end + 2, 1) == "T")
                    return true;
            }
            QTest::qWait(10);
        }
        return false;
    }
    void thaw() { ::kill(pid_t(m_process.processId()), SIGCONT); }
    qint64 pid() const { return m_process.processId(); }
    QStringList lines() const { return m_lines; }

private:
    QProcess m_process;
    QStringList m_lines;
};
