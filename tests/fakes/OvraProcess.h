#pragma once
// The real `ovra` binary (OVRA_BINARY) as a user runs it, with its own XDG folders under home.
#include <QProcess>
#include <QString>
#include <QTest>

struct OvraRun
{
    int code = -1;
    QString out;
    QString err;
};

inline OvraRun runOvra(const QString& home, const QStringList& args, const QByteArray& input = {},
                       QProcessEnvironment env = QProcessEnvironment::systemEnvironment())
{
    QProcess p;
    env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(OVRA_BINARY), args);
    p.write(input);
    p.closeWriteChannel();
    // The event loop keeps turning, so local servers of the test process can answer.
    if (!QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, 60000)) {
        p.kill();
        p.waitForFinished();
        return {-1, {}, QStringLiteral("timed out")};
    }
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

// The same against a local stand-in for the OpenAI service, keys in the real secret store and
// no display to copy to.
inline OvraRun runOvraAgainstOpenAI(const QString& home, const QString& serverUrl, const QStringList& args,
                                    const QByteArray& input = {})
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("OVRA_OPENAI_BASE_URL"), serverUrl);
    env.remove(QStringLiteral("OVRA_SECRET_STORE"));
    env.remove(QStringLiteral("DISPLAY"));
    return runOvra(home, args, input, env);
}
