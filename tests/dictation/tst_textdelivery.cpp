#include "dictation/TextDelivery.h"
#include "fakes/FakeFrontmostApplication.h"
#include "fakes/FakeKeySynthesizer.h"
#include "fakes/FakePasteboard.h"
#include "platform/SelectionOwner.h"

#include <QCoroTask>
#include <QTest>

Q_DECLARE_METATYPE(KeyChord)

namespace {
const QString kPlain = QStringLiteral("text/plain");
const QString kHtml = QStringLiteral("text/html");
const PasteboardContents kUserClipboard{{kPlain, "abc"}, {kHtml, "<b>abc</b>"}};

struct FakeSelectionOwner : SelectionOwner
{
    bool focused = true;
    bool selectionBelongsToFocusedApplication() override { return focused; }
};
} // namespace

class TextDeliveryTest : public QObject
{
    Q_OBJECT
    FakePasteboard m_pasteboard;
    FakeKeySynthesizer m_keys;
    FakeFrontmostApplication m_frontmost;

private Q_SLOTS:
    void init()
    {
        m_pasteboard = FakePasteboard{};
        m_keys.trusted = true;
        m_keys.posted.clear();
        m_keys.onPost = nullptr;
        m_frontmost.current = QStringLiteral("org.gnome.texteditor");
        m_frontmost.available = true;
    }

    void pasteThenPutsEveryFormatBack()
    {
        m_pasteboard.clipboard = kUserClipboard;
        TextDelivery delivery(m_pasteboard, m_keys, &m_frontmost);
        QVERIFY(delivery.pasteAtCursor(QStringLiteral("dicté")));
        QCOMPARE(m_keys.posted, QList<KeyChord>{KeyChord::paste});
        QCOMPARE(m_pasteboard.text(), QStringLiteral("dicté"));
        QTRY_COMPARE_WITH_TIMEOUT(m_pasteboard.clipboard, kUserClipboard, 3000);
    }

    void chordFollowsTheFocusedApplication_data()
    {
        QTest::addColumn<QString>("application");
        QTest::addColumn<bool>("known");
        QTest::addColumn<KeyChord>("chord");
        QTest::newRow("xterm") << "xterm" << true << KeyChord::terminalPaste;
        QTest::newRow("konsole desktop id") << "org.kde.konsole" << true << KeyChord::terminalPaste;
        QTest::newRow("gnome terminal entry") << "org.gnome.Terminal.desktop" << true << KeyChord::terminalPaste;
        QTest::newRow("kitty") << "kitty" << true << KeyChord::terminalPaste;
        QTest::newRow("browser") << "firefox" << true << KeyChord::paste;
        QTest::newRow("no focus") << "" << true << KeyChord::paste;
        QTest::newRow("unknown desktop") << "xterm" << false << KeyChord::paste;
    }
    void chordFollowsTheFocusedApplication()
    {
        QFETCH(QString, application);
        QFETCH(bool, known);
        QFETCH(KeyChord, chord);
        m_frontmost.current = application;
        m_frontmost.available = known;
        TextDelivery delivery(m_pasteboard, m_keys, &m_frontmost);
        QVERIFY(delivery.pasteAtCursor(QStringLiteral("x")));
        QCOMPARE(m_keys.posted, QList<KeyChord>{chord});
    }

    void untrustedLeavesTheTextOnTheClipboard()
    {
        m_pasteboard.clipboard = kUserClipboard;
        m_keys.trusted = false;
        TextDelivery delivery(m_pasteboard, m_keys, &m_frontmost);
        QVERIFY(!delivery.pasteAtCursor(QStringLiteral("dicté")));
        QVERIFY(m_keys.posted.isEmpty());
        QTest::qWait(1300);
        QCOMPARE(m_pasteboard.text(), QStringLiteral("dicté"));
    }

    void clipboardWithoutTextKeepsThePastedText()
    {
        m_pasteboard.clipboard = {{QStringLiteral("image/png"), "PNG"}};
        TextDelivery delivery(m_pasteboard, m_keys, &m_frontmost);
        QVERIFY(delivery.pasteAtCursor(QStringLiteral("dicté")));
        QTest::qWait(1300);
        QCOMPARE(m_pasteboard.text(), QStringLiteral("dicté"));
    }

    void quickSecondPasteStillRestoresTheUsersClipboard()
    {
        m_pasteboard.clipboard = kUserClipboard;
        TextDelivery delivery(m_pasteboard, m_keys, &m_frontmost);
        QVERIFY(delivery.pasteAtCursor(QStringLiteral("premier")));
        QTest::qWait(400);
        QVERIFY(delivery.pasteAtCursor(QStringLiteral("second")));
        QCOMPARE(m_pasteboard.text(), QStringLiteral("second"));
        QTRY_COMPARE_WITH_TIMEOUT(m_pasteboard.clipboard, kUserClipboard, 3000);
        // Nothing written afterwards by the first paste's restore.
        const int writes = m_pasteboard.writes;
        QTest::qWait(1000);
        QCOMPARE(m_pasteboard.writes, writes);
    }

    void userCopyBetweenPastesIsWhatComesBack()
    {
        m_pasteboard.clipboard = kUserClipboard;
        TextDelivery delivery(m_pasteboard, m_keys, &m_frontmost);
        QVERIFY(delivery.pasteAtCursor(QStringLiteral("premier")));
        m_pasteboard.setText(QStringLiteral("copié entre-temps"));
        QVERIFY(delivery.pasteAtCursor(QStringLiteral("second")));
        QTRY_COMPARE_WITH_TIMEOUT(m_pasteboard.text(), QStringLiteral("copié entre-temps"), 3000);
    }

    void pressReturnComesAfterAShortDelay()
    {
        TextDelivery delivery(m_pasteboard, m_keys, &m_frontmost);
        delivery.pressReturn();
        QVERIFY(m_keys.posted.isEmpty());
        QTRY_COMPARE(m_keys.posted, QList<KeyChord>{KeyChord::returnKey});
    }

    void copyToClipboardIsPlainAndStays()
    {
        m_pasteboard.clipboard = kUserClipboard;
        TextDelivery delivery(m_pasteboard, m_keys, &m_frontmost);
        delivery.copyToClipboard(QStringLiteral("**gras**"));
        QCOMPARE(m_pasteboard.clipboard, (PasteboardContents{{kPlain, "**gras**"}}));
        QVERIFY(m_keys.posted.isEmpty());
    }

    void selectionComesFromPrimaryFirst()
    {
        m_pasteboard.selection = QStringLiteral("choisi");
        TextDelivery delivery(m_pasteboard, m_keys, &m_frontmost);
        QCOMPARE(QCoro::waitFor(delivery.readSelectedText()), std::optional<QString>(QStringLiteral("choisi")));
        QVERIFY(m_keys.posted.isEmpty());
    }

    void selectionFallsBackToASyntheticCopy_data()
    {
        QTest::addColumn<QString>("application");
        QTest::addColumn<QString>("copied");
        QTest::addColumn<KeyChord>("chord");
        QTest::addColumn<std::optional<QString>>("expected");
        QTest::newRow("editor") << "org.gnome.texteditor" << "copié" << KeyChord::copy
                                << std::optional<QString>(QStringLiteral("copié"));
        QTest::newRow("terminal") << "xterm" << "ls -l" << KeyChord::terminalCopy
                                  << std::optional<QString>(QStringLiteral("ls -l"));
        QTest::newRow("nothing selected") << "firefox" << "" << KeyChord::copy << std::optional<QString>();
        QTest::newRow("only blanks") << "firefox" << " \n\t" << KeyChord::copy << std::optional<QString>();
    }
    void selectionFallsBackToASyntheticCopy()
    {
        QFETCH(QString, application);
        QFETCH(QString, copied);
        QFETCH(KeyChord, chord);
        QFETCH(std::optional<QString>, expected);
        m_frontmost.current = application;
        m_pasteboard.clipboard = kUserClipboard;
        m_pasteboard.selection = QStringLiteral("  ");
        m_keys.onPost = [&](KeyChord) {
            if (!copied.isEmpty())
                m_pasteboard.setText(copied);
        };
        TextDelivery delivery(m_pasteboard, m_keys, &m_frontmost);
        QCOMPARE(QCoro::waitFor(delivery.readSelectedText()), expected);
        QCOMPARE(m_keys.posted, QList<KeyChord>{chord});
        QCOMPARE(m_pasteboard.clipboard, kUserClipboard);
    }

    // A selection made earlier in another window is not read: the focused one is asked to copy.
    void selectionOfAnotherApplicationIsNotUsed_data()
    {
        QTest::addColumn<bool>("focusedOwnsIt");
        QTest::addColumn<QString>("copied");
        QTest::addColumn<std::optional<QString>>("expected");
        QTest::newRow("focused application's") << true << "" << std::optional<QString>(QStringLiteral("choisi"));
        QTest::newRow("another's, focused has a selection")
            << false << "ici" << std::optional<QString>(QStringLiteral("ici"));
        QTest::newRow("another's, focused has none") << false << "" << std::optional<QString>();
    }
    void selectionOfAnotherApplicationIsNotUsed()
    {
        QFETCH(bool, focusedOwnsIt);
        QFETCH(QString, copied);
        QFETCH(std::optional<QString>, expected);
        m_pasteboard.selection = QStringLiteral("choisi");
        m_pasteboard.clipboard = kUserClipboard;
        m_keys.onPost = [&](KeyChord) {
            if (!copied.isEmpty())
                m_pasteboard.setText(copied);
        };
        FakeSelectionOwner owner;
        owner.focused = focusedOwnsIt;
        TextDelivery delivery(m_pasteboard, m_keys, &m_frontmost, &owner);
        QCOMPARE(QCoro::waitFor(delivery.readSelectedText()), expected);
        QCOMPARE(m_keys.posted.size(), focusedOwnsIt ? 0 : 1);
        QCOMPARE(m_pasteboard.clipboard, kUserClipboard);
    }

    void untrustedSelectionWithoutPrimaryIsNone()
    {
        m_keys.trusted = false;
        TextDelivery delivery(m_pasteboard, m_keys, &m_frontmost);
        QCOMPARE(QCoro::waitFor(delivery.readSelectedText()), std::optional<QString>());
    }
};

QTEST_GUILESS_MAIN(TextDeliveryTest)
#include "tst_textdelivery.moc"
