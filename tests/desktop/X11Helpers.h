#pragma once
// Helpers for tests that drive a real X server: run a tool while our event loop keeps serving
// the selections we own, and start windows of other programs.
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace X11Test {

// Runs program to completion without blocking the event loop; its standard output, trimmed.
inline QString run(const QString& program, const QStringList& args, const QByteArray& input = {})
{
    QProcess p;
    QEventLoop loop;
    QObject::connect(&p, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&p, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    p.start(program, args);
    if (!input.isNull()) {
        p.write(input);
        p.closeWriteChannel();
    }
    loop.exec();
    if (p.state() != QProcess::NotRunning) {
        p.kill();
        p.waitForFinished();
    }
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

inline QString clipboardText(const QString& selection = QStringLiteral("clipboard"))
{
    return run(QStringLiteral("xclip"), {QStringLiteral("-o"), QStringLiteral("-selection"), selection});
}

// An xterm running a shell command; Ctrl+Shift+V pastes the CLIPBOARD selection as in desktop
// terminals. Returns its window id once the command runs, or an empty string. The window is
// mapped before xterm has set up its terminal for the command, and what is typed or pasted
// before that is lost: a marker file written by the command's shell says it is ready.
inline QString startXterm(QProcess& xterm, const QString& command)
{
    QTemporaryDir markers;
    const QString ready = markers.filePath(QStringLiteral("ready"));
    xterm.start(QStringLiteral("xterm"),
                {QStringLiteral("-xrm"),
                 QStringLiteral("XTerm*VT100.translations: #override Ctrl Shift <Key>V: insert-selection(CLIPBOARD)"),
                 QStringLiteral("-e"), QStringLiteral("sh"), QStringLiteral("-c"),
                 QStringLiteral(": > '%1'; ").arg(ready) + command});
    if (!xterm.waitForStarted())
        return {};
    // --onlyvisible: a window found before it is mapped cannot take the focus yet.
    const QString ids = run(QStringLiteral("xdotool"),
                            {QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--onlyvisible"),
                             QStringLiteral("--pid"), QString::number(xterm.processId())});
    if (!QTest::qWaitFor([&] { return QFile::exists(ready); }, 30000))
        return {};
    return ids.section(QLatin1Char('\n'), 0, 0);
}

// Asks the program we started to quit (as at logout), then kills it if it does not.
inline void stop(QProcess& program)
{
    program.terminate();
    if (!program.waitForFinished(5000)) {
        program.kill();
        program.waitForFinished();
    }
}

// Gives window the input focus and waits until the server reports it. Without a window manager
// a focus request made before the window is viewable is refused, so it is made again.
inline void focus(const QString& window)
{
    for (int attempt = 0; attempt < 50; ++attempt) {
        run(QStringLiteral("xdotool"), {QStringLiteral("windowfocus"), window});
        if (run(QStringLiteral("xdotool"), {QStringLiteral("getwindowfocus")}) == window)
            return;
        QTest::qWait(100);
    }
}

} // namespace X11Test
