#include "X11Helpers.h"
#include "dictation/TextDelivery.h"
#include "platform/linux/clipboard/QtPasteboard.h"
#include "platform/linux/x11/X11Connection.h"
#include "platform/linux/x11/X11FrontmostApplication.h"
#include "platform/linux/x11/X11KeySynthesizer.h"
#include "platform/linux/x11/X11SelectionOwner.h"

#include <QApplication>
#include <QClipboard>
#include <QCoroTask>
#include <QFile>
#include <QLineEdit>
#include <QMimeData>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

class X11DeliveryTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<X11Connection> m_x;
    std::unique_ptr<X11KeySynthesizer> m_keys;
    std::unique_ptr<X11FrontmostApplication> m_frontmost;
    QtPasteboard m_pasteboard;
    QTemporaryDir m_dir;

private Q_SLOTS:
    void initTestCase()
    {
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
        m_x = X11Connection::open();
        QVERIFY(m_x);
        m_keys = std::make_unique<X11KeySynthesizer>(m_x.get());
        m_frontmost = std::make_unique<X11FrontmostApplication>(m_x.get());
        QVERIFY(m_keys->isTrusted());
    }

    void pasteReachesATerminalAndTheClipboardComesBack()
    {
        // Another program owns the clipboard, as when the user copied in a browser.
        X11Test::run(QStringLiteral("xclip"), {QStringLiteral("-selection"), QStringLiteral("clipboard")}, "abc");
        QTRY_COMPARE(X11Test::clipboardText(), QStringLiteral("abc"));

        const QString file = m_dir.filePath(QStringLiteral("pasted.txt"));
        QProcess xterm;
        const QString window = X11Test::startXterm(xterm, QStringLiteral("stty raw -echo; exec cat > ") + file);
        QVERIFY(!window.isEmpty());
        // The focus may take a moment to settle on a freshly mapped window under load.
        QTRY_COMPARE((X11Test::focus(window), m_frontmost->frontmostApplicationId()), QStringLiteral("xterm"));

        TextDelivery delivery(m_pasteboard, *m_keys, m_frontmost.get());
        QVERIFY(delivery.pasteAtCursor(QStringLiteral("Bonjour depuis Ovra")));
        const auto pasted = [&] {
            QFile f(file);
            return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
        };
        QTRY_COMPARE_WITH_TIMEOUT(pasted(), QStringLiteral("Bonjour depuis Ovra"), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(X11Test::clipboardText(), QStringLiteral("abc"), 3000);
        xterm.kill();
        xterm.waitForFinished();
    }

    void clipboardSnapshotKeepsTheFormatsThatMatter_data()
    {
        QTest::addColumn<QStringList>("offered");
        QTest::addColumn<QStringList>("kept");
        const QStringList conversions{"image/bmp", "image/jpeg", "image/tiff", "image/x-icon", "image/webp",
                                      "application/x-office-private", "application/octet-stream",
                                      "text/plain;charset=utf-8", "UTF8_STRING", "TEXT", "COMPOUND_TEXT",
                                      "chromium/x-web-custom-data", "application/x-foo", "application/x-bar",
                                      "application/x-baz", "application/x-qux"};
        QTest::newRow("rich text among many")
            << (QStringList{"text/plain", "text/html"} + conversions) << QStringList{"text/plain", "text/html"};
        QTest::newRow("files") << QStringList{"text/plain", "text/uri-list", "x-special/gnome-copied-files"}
                               << QStringList{"text/plain", "text/uri-list", "x-special/gnome-copied-files"};
        QTest::newRow("an image in many types") << (QStringList{"image/bmp", "image/png"} + conversions.mid(1, 4))
                                                << QStringList{"image/png"};
        QTest::newRow("an image without PNG") << QStringList{"image/bmp", "image/jpeg"} << QStringList{"image/bmp"};
        QTest::newRow("an image beside text") << QStringList{"text/plain", "image/png"} << QStringList{"text/plain"};
    }
    void clipboardSnapshotKeepsTheFormatsThatMatter()
    {
        QFETCH(QStringList, offered);
        QFETCH(QStringList, kept);
        auto* data = new QMimeData;
        for (const QString& format : offered)
            data->setData(format, format.toUtf8());
        QGuiApplication::clipboard()->setMimeData(data, QClipboard::Clipboard);
        QStringList formats;
        for (const auto& [format, bytes] : m_pasteboard.contents())
            formats << format;
        QCOMPARE(formats, kept);
    }

    void pasteAndReturnReachAQtWindow()
    {
        QLineEdit edit;
        edit.show();
        QVERIFY(QTest::qWaitForWindowExposed(&edit));
        X11Test::focus(QString::number(edit.winId()));
        QTRY_VERIFY(edit.hasFocus());
        QSignalSpy returned(&edit, &QLineEdit::returnPressed);

        TextDelivery delivery(m_pasteboard, *m_keys, m_frontmost.get());
        QVERIFY(delivery.pasteAtCursor(QStringLiteral("ligne dictée")));
        delivery.pressReturn();
        QTRY_COMPARE(edit.text(), QStringLiteral("ligne dictée"));
        QTRY_COMPARE(returned.size(), 1);
    }

    void selectedTextComesFromThePrimarySelection()
    {
        QProcess xterm;
        const QString window = X11Test::startXterm(xterm, QStringLiteral("echo sélectionné; exec sleep 60"));
        QVERIFY(!window.isEmpty());
        X11Test::focus(window);
        QTest::qWait(300);
        X11SelectionOwner owner(m_x.get(), *m_frontmost);
        X11Test::run(QStringLiteral("xdotool"),
                     {QStringLiteral("mousemove"), QStringLiteral("--window"), window, QStringLiteral("20"),
                      QStringLiteral("8"), QStringLiteral("click"), QStringLiteral("--repeat"), QStringLiteral("2"),
                      QStringLiteral("--delay"), QStringLiteral("80"), QStringLiteral("1")});
        TextDelivery delivery(m_pasteboard, *m_keys, m_frontmost.get(), &owner);
        std::optional<QString> selected;
        QTRY_VERIFY_WITH_TIMEOUT((selected = QCoro::waitFor(delivery.readSelectedText())).has_value(), 5000);
        QCOMPARE(*selected, QStringLiteral("sélectionné"));
        // The terminal's selection stays the terminal's: read here, it is another application's.
        QVERIFY(owner.selectionBelongsToFocusedApplication());
        QLineEdit edit;
        edit.show();
        QVERIFY(QTest::qWaitForWindowExposed(&edit));
        X11Test::focus(QString::number(edit.winId()));
        QTRY_VERIFY(edit.hasFocus());
        QVERIFY(!owner.selectionBelongsToFocusedApplication());
        xterm.kill();
        xterm.waitForFinished();
    }

    void selectionLeftInAnotherApplicationIsNotRead()
    {
        QLineEdit edit(QStringLiteral("texte choisi"));
        edit.show();
        QVERIFY(QTest::qWaitForWindowExposed(&edit));
        X11Test::focus(QString::number(edit.winId()));
        QTRY_VERIFY(edit.hasFocus());
        X11SelectionOwner owner(m_x.get(), *m_frontmost);

        // Another program holds PRIMARY, as after a selection in a window that lost the focus.
        X11Test::run(QStringLiteral("xclip"), {QStringLiteral("-selection"), QStringLiteral("primary")}, "périmé");
        QTRY_COMPARE(X11Test::clipboardText(QStringLiteral("primary")), QStringLiteral("périmé"));
        QVERIFY(!owner.selectionBelongsToFocusedApplication());
        edit.selectAll();
        TextDelivery delivery(m_pasteboard, *m_keys, m_frontmost.get(), &owner);
        QCOMPARE(QCoro::waitFor(delivery.readSelectedText()), std::optional<QString>(QStringLiteral("texte choisi")));

        // A selection made in the focused window is read from PRIMARY (this also ends xclip).
        QGuiApplication::clipboard()->setText(QStringLiteral("à nous"), QClipboard::Selection);
        QVERIFY(owner.selectionBelongsToFocusedApplication());
        QCOMPARE(QCoro::waitFor(delivery.readSelectedText()), std::optional<QString>(QStringLiteral("à nous")));

        X11SelectionOwner none(nullptr, *m_frontmost);
        QVERIFY(!none.selectionBelongsToFocusedApplication());
    }

    void keysWaitForTheShortcutsKeysToBeReleased_data()
    {
        QTest::addColumn<QString>("held");
        // Alt+Super still down would turn the chord into another shortcut; the shortcut's own
        // key still down keeps its grab, which would take the chord away from the application.
        QTest::newRow("the shortcut's modifiers") << "alt+super";
        QTest::newRow("the shortcut's key") << "d";
    }
    void keysWaitForTheShortcutsKeysToBeReleased()
    {
        QFETCH(QString, held);
        QVERIFY(!m_keys->keyHeld());
        QCoro::waitFor(m_keys->keysReleased()); // nothing held: at once
        X11Test::run(QStringLiteral("xdotool"), {QStringLiteral("keydown"), held});
        QTRY_VERIFY(m_keys->keyHeld());
        bool released = false;
        auto waiting = [](X11KeySynthesizer& keys, bool& done) -> QCoro::Task<> {
            auto w = keys.keysReleased();
            co_await w;
            done = true;
        }(*m_keys, released);
        QTest::qWait(200);
        QVERIFY(!released);
        X11Test::run(QStringLiteral("xdotool"), {QStringLiteral("keyup"), held});
        QTRY_VERIFY_WITH_TIMEOUT(released, 1000);
        QVERIFY(!m_keys->keyHeld());
    }

    void activationIsReported()
    {
        QProcess xterm;
        const QString window = X11Test::startXterm(xterm, QStringLiteral("exec sleep 60"));
        QVERIFY(!window.isEmpty());
        QStringList activated;
        m_frontmost->setActivationHandler([&](const QString& id) { activated << id; });
        // Play the window manager's part: publish the active window on the root window.
        auto wm = X11Connection::open();
        Display* d = wm->display();
        const Atom active = XInternAtom(d, "_NET_ACTIVE_WINDOW", False);
        const auto publish = [&](Window w) {
            XChangeProperty(d, DefaultRootWindow(d), active, XA_WINDOW, 32, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(&w), 1);
            XFlush(d);
        };
        publish(window.toULong());
        QTRY_COMPARE(activated, QStringList{"xterm"});
        QCOMPARE(m_frontmost->frontmostApplicationId(), QStringLiteral("xterm"));
        publish(0);
        xterm.kill();
        xterm.waitForFinished();
    }
};

// Without an X server nothing is typed and the text stays on the clipboard.
class NoDisplayTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void untrustedWithoutDisplay()
    {
        const QByteArray display = qgetenv("DISPLAY");
        qunsetenv("DISPLAY");
        auto none = X11Connection::open();
        qputenv("DISPLAY", display);
        QVERIFY(!none);
        X11KeySynthesizer keys(nullptr);
        X11FrontmostApplication frontmost(nullptr);
        QVERIFY(!keys.isTrusted());
        QVERIFY(frontmost.frontmostApplicationId().isEmpty());
        QtPasteboard pasteboard;
        TextDelivery delivery(pasteboard, keys, &frontmost);
        QVERIFY(!delivery.pasteAtCursor(QStringLiteral("reste")));
        QCOMPARE(pasteboard.text(), QStringLiteral("reste"));
    }
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    int rc = 0;
    NoDisplayTest noDisplay;
    rc |= QTest::qExec(&noDisplay, argc, argv);
    X11DeliveryTest x11;
    rc |= QTest::qExec(&x11, argc, argv);
    return rc;
}
#include "tst_x11delivery.moc"
