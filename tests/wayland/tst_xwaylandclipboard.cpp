#include "platform/linux/wayland/WaylandConnection.h"
#include "platform/linux/wayland/WaylandFrontmostApplication.h"
#include "platform/linux/x11/X11Connection.h"
#include "platform/linux/x11/X11Pasteboard.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// The clipboard bridge through a real compositor's XWayland (tests/rigs/with-sway.sh with
// OVRA_SWAY_XWAYLAND=1): what we own on X11 reaches native Wayland programs and the other way
// round. wlroots takes an X11 selection over only while an XWayland window has the focus, so one
// is shown and focused first.
class XWaylandClipboardTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<X11Connection> m_x11;
    std::unique_ptr<X11Pasteboard> m_pasteboard;
    std::unique_ptr<WaylandConnection> m_wayland;
    std::unique_ptr<WaylandFrontmostApplication> m_frontmost;
    std::vector<std::unique_ptr<QProcess>> m_processes;
    QTemporaryDir m_dir;

    QProcess* start(const QString& program, const QStringList& args, const QString& platform = {})
    {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (!platform.isEmpty())
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
        process->setProcessEnvironment(env);
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start(program, args);
        m_processes.push_back(std::move(process));
        return m_processes.back().get();
    }

    static QByteArray wlPaste()
    {
        QProcess paste;
        paste.start(QStringLiteral("wl-paste"), {QStringLiteral("--no-newline")});
        if (!QTest::qWaitFor([&] { return paste.state() == QProcess::NotRunning; }, 5000)) {
            paste.kill();
            paste.waitForFinished();
        }
        return paste.readAllStandardOutput();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_x11 = X11Connection::open(), "no XWayland on $DISPLAY");
        QVERIFY2(m_wayland = WaylandConnection::open(), "no compositor on $WAYLAND_DISPLAY");
        m_pasteboard = std::make_unique<X11Pasteboard>(*m_x11);
        m_frontmost = std::make_unique<WaylandFrontmostApplication>(*m_wayland);
        // An X11 window of another program, focused by sway as it maps.
        start(QStringLiteral(WAYLAND_EDIT_WINDOW), {m_dir.filePath(QStringLiteral("x11.txt"))}, QStringLiteral("xcb"));
        QTRY_VERIFY_WITH_TIMEOUT(!m_frontmost->frontmostApplicationId().isEmpty(), 10000);
    }

    void cleanupTestCase()
    {
        for (auto& process : m_processes) {
            process->kill();
            process->waitForFinished(5000);
        }
    }

    void ourSelectionReachesNativePrograms_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("plain") << QStringLiteral("Collé par XWayland");
        QTest::newRow("accents, euro, two lines") << QStringLiteral("àéç €\n«Ça va ?»");
    }

    void ourSelectionReachesNativePrograms()
    {
        QFETCH(QString, text);
        m_pasteboard->setText(text);
        QTRY_COMPARE(QString::fromUtf8(wlPaste()), text);
    }

    void readsWhatANativeProgramOwns()
    {
        start(QStringLiteral("wl-copy"), {QStringLiteral("--foreground"), QStringLiteral("copié sous Wayland")});
        QTRY_COMPARE(m_pasteboard->text(), std::optional<QString>(QStringLiteral("copié sous Wayland")));
    }
};

QTEST_GUILESS_MAIN(XWaylandClipboardTest)
#include "tst_xwaylandclipboard.moc"
