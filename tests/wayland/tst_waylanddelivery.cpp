#include "app/WaylandDesktopPlatform.h"
#include "dictation/TextDelivery.h"
#include "platform/linux/wayland/WaylandConnection.h"
#include "platform/linux/wayland/WaylandFrontmostApplication.h"
#include "platform/linux/wayland/WaylandKeySynthesizer.h"
#include "platform/linux/wayland/WaylandPasteboard.h"
#include "platform/linux/wayland/WaylandSession.h"
#include "store/DebugLog.h"
#include "store/Settings.h"

#include "wlr-data-control-unstable-v1-client-protocol.h"

#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <wayland-client.h>

// Runs under tests/rigs/with-sway.sh: a headless sway with a French layout, no XWayland. This
// process has no window at all: everything it does goes through its own Wayland connection.
class WaylandDeliveryTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<WaylandConnection> m_connection;
    std::unique_ptr<WaylandPasteboard> m_pasteboard;
    std::unique_ptr<WaylandKeySynthesizer> m_keys;
    std::unique_ptr<WaylandFrontmostApplication> m_frontmost;
    QStringList m_activations;
    int m_windows = 0;
    QTemporaryDir m_dir;
    std::vector<std::unique_ptr<QProcess>> m_processes;

    QProcess* start(const QString& program, const QStringList& args)
    {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
        process->setProcessEnvironment(env);
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start(program, args);
        m_processes.push_back(std::move(process));
        return m_processes.back().get();
    }

    // A text field of another program, mapped and focused; its text is mirrored in the file.
    QString startEditWindow(const QString& appId)
    {
        const QString file = m_dir.filePath(appId + QLatin1String(".txt"));
        start(QStringLiteral(WAYLAND_EDIT_WINDOW), {file, appId});
        return file;
    }

    static QString contentOf(const QString& file)
    {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

    // What another program reads from the clipboard. The event loop keeps turning meanwhile: the
    // owner may be this process.
    static QByteArray wlPaste(const QStringList& args = {})
    {
        QProcess paste;
        paste.start(QStringLiteral("wl-paste"), QStringList{QStringLiteral("--no-newline")} + args);
        if (!QTest::qWaitFor([&] { return paste.state() == QProcess::NotRunning; }, 5000)) {
            paste.kill();
            paste.waitForFinished();
        }
        return paste.readAllStandardOutput();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_connection = WaylandConnection::open(), "no compositor on $WAYLAND_DISPLAY");
        m_pasteboard = std::make_unique<WaylandPasteboard>(*m_connection);
        m_keys = std::make_unique<WaylandKeySynthesizer>(*m_connection);
        m_frontmost = std::make_unique<WaylandFrontmostApplication>(*m_connection);
        QVERIFY(m_pasteboard->isAvailable());
        QVERIFY(m_keys->isTrusted());
        QVERIFY(m_frontmost->isAvailable());
        m_frontmost->setActivationHandler([this](const QString& id) { m_activations << id; });
    }

    void cleanup()
    {
        for (auto& process : m_processes) {
            process->kill();
            process->waitForFinished(5000);
        }
        m_processes.clear();
    }

    void sessionNamesWhatServesEachConcern()
    {
        const WaylandSession session(m_connection.get());
        QVERIFY(session.hasVirtualKeyboard());
        QVERIFY(session.hasDataControl());
        QVERIFY(session.hasForeignToplevel());
        QVERIFY2(session.summary().contains(QLatin1String("zwlr_data_control_manager_v1 v2")),
                 qPrintable(session.summary()));

        Settings settings(m_dir.filePath(QStringLiteral("config")));
        DebugLog log(m_dir.path());
        WaylandDesktopPlatform platform(log, settings, WaylandConnection::open());
        const QString description = platform.description();
        for (const char* component : {"clavier virtuel", "data-control", "foreign-toplevel"})
            QVERIFY2(description.contains(QLatin1String(component)), qPrintable(description));
        QVERIFY(platform.keys().isTrusted());
        QVERIFY(platform.frontmost().isAvailable());

        // Nobody listening: nothing pretends to work.
        WaylandDesktopPlatform none(log, settings, nullptr);
        QVERIFY(!none.keys().isTrusted());
        QVERIFY(!none.grabber().isAvailable());
        QVERIFY(!none.shortcutsConfigurator());
        QVERIFY2(none.description().contains(QLatin1String("injoignable")), qPrintable(none.description()));
    }

    void pasteReachesANativeWindowAndTheClipboardComesBack_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("pressReturn");
        QTest::newRow("plain") << QStringLiteral("Bonjour depuis Ovra") << false;
        QTest::newRow("accents, euro, guillemets") << QStringLiteral("àéç ù€ «Ça va ?»") << false;
        QTest::newRow("two lines, then Return") << QStringLiteral("première ligne\nseconde") << true;
    }

    void pasteReachesANativeWindowAndTheClipboardComesBack()
    {
        QFETCH(QString, text);
        QFETCH(bool, pressReturn);
        // Another program owns the clipboard, as when the user copied in a browser.
        start(QStringLiteral("wl-copy"), {QStringLiteral("--foreground"), QStringLiteral("copié avant")});
        QTRY_COMPARE(m_pasteboard->text(), std::optional<QString>(QStringLiteral("copié avant")));

        // A name of its own per row: the previous row's window may not be reported closed yet.
        const QString appId = QStringLiteral("ovra-test-edit-%1").arg(++m_windows);
        const QString file = startEditWindow(appId);
        QTRY_COMPARE_WITH_TIMEOUT(m_frontmost->frontmostApplicationId(), appId, 10000);

        TextDelivery delivery(*m_pasteboard, *m_keys, m_frontmost.get());
        QVERIFY(delivery.isTrusted());
        QVERIFY(delivery.pasteAtCursor(text));
        if (pressReturn)
            delivery.pressReturn();
        const QString expected = pressReturn ? text + QLatin1Char('\n') : text;
        QTRY_COMPARE_WITH_TIMEOUT(contentOf(file), expected, 10000);
        // Put back for every other program too, while no window of ours has the focus.
        QTRY_COMPARE_WITH_TIMEOUT(QString::fromUtf8(wlPaste()), QStringLiteral("copié avant"), 5000);
        QCOMPARE(m_frontmost->frontmostApplicationId(), appId);
    }

    // A terminal takes Ctrl+Shift+V (Ctrl+V would reach the program inside as a control key): foot
    // is recognised by the app_id foreign-toplevel reports, and what it receives is written out
    // by the program it runs.
    void terminalGetsTheTerminalPasteChord()
    {
        const QString file = m_dir.filePath(QStringLiteral("foot.txt"));
        // Not line by line: the pasted text has no newline to end a line.
        start(QStringLiteral("foot"),
              {QStringLiteral("-e"), QStringLiteral("sh"), QStringLiteral("-c"),
               QStringLiteral("stty -icanon && exec cat > \"$0\""), file});
        QTRY_COMPARE_WITH_TIMEOUT(m_frontmost->frontmostApplicationId(), QStringLiteral("foot"), 10000);
        // The shell has switched the terminal's line discipline once cat has created the file.
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(file), 10000);

        TextDelivery delivery(*m_pasteboard, *m_keys, m_frontmost.get());
        const QString text = QStringLiteral("dictée dans le terminal é€");
        QVERIFY(delivery.pasteAtCursor(text));
        QTRY_COMPARE_WITH_TIMEOUT(contentOf(file), text, 10000);
    }

    void readsWhatAnotherProgramOwns_data()
    {
        QTest::addColumn<bool>("primary");
        QTest::addColumn<QString>("text");
        QTest::newRow("clipboard") << false << QStringLiteral("àéç € «»");
        QTest::newRow("selection") << true << QStringLiteral("texte sélectionné");
    }

    void readsWhatAnotherProgramOwns()
    {
        QFETCH(bool, primary);
        QFETCH(QString, text);
        QStringList args{QStringLiteral("--foreground")};
        if (primary)
            args << QStringLiteral("--primary");
        start(QStringLiteral("wl-copy"), args << text);
        const auto read = [&] { return primary ? m_pasteboard->selectionText() : m_pasteboard->text(); };
        QTRY_COMPARE(read(), std::optional<QString>(text));
        if (!primary)
            QCOMPARE(m_pasteboard->contents(), (PasteboardContents{{QStringLiteral("text/plain"), text.toUtf8()}}));
    }

    void setsTheClipboardForOtherProgramsUnderEveryTextName()
    {
        m_pasteboard->setContents({{QStringLiteral("text/plain"), QByteArrayLiteral("r\xc3\xa9sum\xc3\xa9")},
                                   {QStringLiteral("text/html"), QByteArrayLiteral("<b>r\xc3\xa9sum\xc3\xa9</b>")}});
        for (const char* type : {"text/plain;charset=utf-8", "UTF8_STRING", "text/plain", "STRING", "TEXT"})
            QCOMPARE(QString::fromUtf8(wlPaste({QStringLiteral("--type"), QLatin1String(type)})),
                     QStringLiteral("résumé"));
        QCOMPARE(wlPaste({QStringLiteral("--type"), QStringLiteral("text/html")}),
                 QByteArrayLiteral("<b>r\xc3\xa9sum\xc3\xa9</b>"));
        // Read back from memory: the compositor would ask us to answer ourselves.
        QCOMPARE(m_pasteboard->text(), std::optional<QString>(QStringLiteral("résumé")));

        m_pasteboard->setContents({});
        QTRY_COMPARE(wlPaste(), QByteArray());
    }

    void anOwnerThatNeverAnswersCostsASecondNotTheProgram()
    {
        // A client that takes the clipboard and then never reads its socket again.
        wl_display* display = wl_display_connect(nullptr);
        QVERIFY(display);
        wl_registry* registry = wl_display_get_registry(display);
        struct Found
        {
            wl_seat* seat = nullptr;
            zwlr_data_control_manager_v1* manager = nullptr;
        } found;
        const wl_registry_listener listener{
            [](void* data, wl_registry* r, uint32_t name, const char* interface, uint32_t) {
                auto* f = static_cast<Found*>(data);
                if (qstrcmp(interface, "wl_seat") == 0)
                    f->seat = static_cast<wl_seat*>(wl_registry_bind(r, name, &wl_seat_interface, 1));
                else if (qstrcmp(interface, "zwlr_data_control_manager_v1") == 0)
                    f->manager = static_cast<zwlr_data_control_manager_v1*>(
                        wl_registry_bind(r, name, &zwlr_data_control_manager_v1_interface, 1));
            },
            [](void*, wl_registry*, uint32_t) {}};
        wl_registry_add_listener(registry, &listener, &found);
        wl_display_roundtrip(display);
        QVERIFY(found.seat && found.manager);
        auto* device = zwlr_data_control_manager_v1_get_data_device(found.manager, found.seat);
        auto* source = zwlr_data_control_manager_v1_create_data_source(found.manager);
        zwlr_data_control_source_v1_offer(source, "text/plain;charset=utf-8");
        zwlr_data_control_device_v1_set_selection(device, source);
        // Once the compositor has handled it, the next read asks this client.
        wl_display_roundtrip(display);

        QCOMPARE(m_pasteboard->text(), std::nullopt);
        QCOMPARE(m_pasteboard->contents(), PasteboardContents());
        // And the next owner is read as usual.
        wl_display_disconnect(display);
        start(QStringLiteral("wl-copy"), {QStringLiteral("--foreground"), QStringLiteral("de retour")});
        QTRY_COMPARE(m_pasteboard->text(), std::optional<QString>(QStringLiteral("de retour")));
    }

    void reportsEachActivation()
    {
        startEditWindow(QStringLiteral("ovra-test-a"));
        QTRY_COMPARE_WITH_TIMEOUT(m_frontmost->frontmostApplicationId(), QStringLiteral("ovra-test-a"), 10000);
        startEditWindow(QStringLiteral("ovra-test-b"));
        QTRY_COMPARE_WITH_TIMEOUT(m_frontmost->frontmostApplicationId(), QStringLiteral("ovra-test-b"), 10000);
        QTRY_VERIFY(m_activations.endsWith(QStringLiteral("ovra-test-b")));

        QProcess swaymsg;
        swaymsg.start(QStringLiteral("swaymsg"), {QStringLiteral("[app_id=ovra-test-a] focus")});
        QVERIFY(swaymsg.waitForFinished(5000));
        QTRY_COMPARE_WITH_TIMEOUT(m_frontmost->frontmostApplicationId(), QStringLiteral("ovra-test-a"), 10000);
        QTRY_VERIFY(m_activations.endsWith(QStringLiteral("ovra-test-a")));

        // The active window closes: the other one takes over.
        m_processes.front()->kill();
        m_processes.front()->waitForFinished(5000);
        QTRY_COMPARE_WITH_TIMEOUT(m_frontmost->frontmostApplicationId(), QStringLiteral("ovra-test-b"), 10000);
    }
};

QTEST_MAIN(WaylandDeliveryTest)
#include "tst_waylanddelivery.moc"
