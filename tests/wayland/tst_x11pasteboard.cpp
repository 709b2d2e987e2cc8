#include "platform/linux/x11/X11Connection.h"
#include "platform/linux/x11/X11Pasteboard.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTest>

// The clipboard bridge for compositors without data-control, against a real X server
// (tests/rigs/with-xvfb.sh) and xclip as the other program. This process has no window.
class X11PasteboardTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<X11Connection> m_connection;
    std::unique_ptr<X11Pasteboard> m_pasteboard;
    std::vector<std::unique_ptr<QProcess>> m_owners;

    // Another program that owns the selection until it is stopped (by pid, in cleanup()).
    void own(const QString& selection, const QByteArray& bytes)
    {
        auto xclip = std::make_unique<QProcess>();
        xclip->start(QStringLiteral("xclip"), {QStringLiteral("-quiet"), QStringLiteral("-selection"), selection});
        QVERIFY(xclip->waitForStarted());
        xclip->write(bytes);
        xclip->closeWriteChannel();
        m_owners.push_back(std::move(xclip));
    }

    // What another program reads; the event loop keeps turning meanwhile, as we may be the owner.
    static std::optional<QByteArray> xclipOut(const QString& target)
    {
        QProcess xclip;
        xclip.start(QStringLiteral("xclip"), {QStringLiteral("-o"), QStringLiteral("-selection"),
                                              QStringLiteral("clipboard"), QStringLiteral("-t"), target});
        if (!QTest::qWaitFor([&] { return xclip.state() == QProcess::NotRunning; }, 5000)) {
            xclip.kill();
            xclip.waitForFinished();
            return std::nullopt;
        }
        if (xclip.exitStatus() != QProcess::NormalExit || xclip.exitCode() != 0)
            return std::nullopt;
        return xclip.readAllStandardOutput();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_connection = X11Connection::open(), "no X server on $DISPLAY");
        m_pasteboard = std::make_unique<X11Pasteboard>(*m_connection);
    }

    void cleanup()
    {
        for (auto& owner : m_owners) {
            owner->kill();
            owner->waitForFinished(5000);
        }
        m_owners.clear();
    }

    void readsWhatAnotherProgramOwns_data()
    {
        QTest::addColumn<QString>("selection");
        QTest::addColumn<QString>("text");
        QTest::newRow("clipboard") << QStringLiteral("clipboard") << QStringLiteral("àéç € «Ça va ?»");
        QTest::newRow("selection") << QStringLiteral("primary") << QStringLiteral("texte sélectionné");
        // Beyond one request: the owner sends it in pieces (INCR).
        QTest::newRow("large, in pieces") << QStringLiteral("clipboard") << QStringLiteral("é").repeated(400 * 1024);
    }

    void readsWhatAnotherProgramOwns()
    {
        QFETCH(QString, selection);
        QFETCH(QString, text);
        own(selection, text.toUtf8());
        const bool primary = selection == QLatin1String("primary");
        const auto read = [&] { return primary ? m_pasteboard->selectionText() : m_pasteboard->text(); };
        QTRY_COMPARE(read(), std::optional<QString>(text));
        if (!primary)
            QCOMPARE(m_pasteboard->contents().value(0),
                     (QPair<QString, QByteArray>{QStringLiteral("text/plain"), text.toUtf8()}));
    }

    void setsTheClipboardForOtherProgramsAndPutsTheirsBack()
    {
        own(QStringLiteral("clipboard"), QByteArrayLiteral("copi\xc3\xa9 avant"));
        QTRY_COMPARE(m_pasteboard->text(), std::optional<QString>(QStringLiteral("copié avant")));
        const PasteboardContents saved = m_pasteboard->contents();

        m_pasteboard->setContents({{QStringLiteral("text/plain"), QByteArrayLiteral("r\xc3\xa9sum\xc3\xa9")},
                                   {QStringLiteral("text/html"), QByteArrayLiteral("<b>r\xc3\xa9sum\xc3\xa9</b>")}});
        for (const char* target : {"UTF8_STRING", "text/plain;charset=utf-8", "text/plain", "TEXT"})
            QCOMPARE(xclipOut(QLatin1String(target)), std::optional<QByteArray>("r\xc3\xa9sum\xc3\xa9"));
        QCOMPARE(xclipOut(QStringLiteral("STRING")), std::optional<QByteArray>("r\xe9sum\xe9"));
        QCOMPARE(xclipOut(QStringLiteral("text/html")), std::optional<QByteArray>("<b>r\xc3\xa9sum\xc3\xa9</b>"));
        QCOMPARE(xclipOut(QStringLiteral("image/png")), std::nullopt);
        QCOMPARE(m_pasteboard->text(), std::optional<QString>(QStringLiteral("résumé")));

        // The previous owner's text comes back after a dictation, served by us now.
        m_pasteboard->setContents(saved);
        QCOMPARE(xclipOut(QStringLiteral("UTF8_STRING")), std::optional<QByteArray>("copi\xc3\xa9 avant"));

        m_pasteboard->setContents({});
        QCOMPARE(m_pasteboard->text(), std::nullopt);
        QCOMPARE(xclipOut(QStringLiteral("UTF8_STRING")), std::nullopt);
    }
};

QTEST_GUILESS_MAIN(X11PasteboardTest)
#include "tst_x11pasteboard.moc"
