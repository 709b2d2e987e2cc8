// The browser's address read on a real accessibility bus, from an accessible program playing a
// browser (its address bar is a line edit with a browser's label).
#include "FakeBrowserProcess.h"
#include "fakes/AwaitTask.h"
#include "platform/linux/atspi/AtspiBrowserAddress.h"

#include <QTest>

using namespace std::chrono_literals;

namespace {
const QString kName = QStringLiteral("navigateur-essai");
const QString kProgram = QStringLiteral("fake_accessible_browser");

// A generous budget: the machine running the tests may be loaded; the frozen case has its own.
QString readAddress(AtspiConnection& bus, const QString& applicationId, std::chrono::milliseconds budget = 10s)
{
    AtspiBrowserAddress reader(bus, budget);
    const auto address = awaitTask(reader.frontPageAddress(applicationId));
    return address ? address.value() : QStringLiteral("ERREUR ") + address.error();
}

// The program shows on the bus a moment after its window.
bool waitUntilListed(AtspiConnection& bus, FakeBrowserProcess& browser)
{
    if (!browser.waitForLine(QStringLiteral("ready")))
        return false;
    QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired()) {
        const QString r = readAddress(bus, kName);
        if (!r.contains(QStringLiteral("n'apparaît pas")))
            return true;
        QTest::qWait(50);
    }
    return false;
}
} // namespace

class TestAtspiBrowserAddress : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void readsTheAddressBar_data()
    {
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("applicationId");
        QTest::addColumn<QString>("expected");
        QTest::newRow("libellé français, par le nom de l'application")
            << "Saisir une adresse" << "https://www.exemple.fr/page/" << kName << "https://www.exemple.fr/page/";
        QTest::newRow("libellé anglais, par le programme")
            << "Search or enter address" << "exemple.org/b" << kProgram << "exemple.org/b";
        QTest::newRow("libellé de Chromium, casse différente")
            << "Address and search bar" << "  https://mail.exemple.com/  " << "Navigateur-Essai"
            << "https://mail.exemple.com/";
        QTest::newRow("champ vide") << "Saisir une adresse" << "" << kName << "ERREUR adresse illisible — la barre "
                                                                          "d'adresse de « navigateur-essai » est vide";
        QTest::newRow("pas de barre d'adresse")
            << QString() << "" << kName
            << "ERREUR adresse illisible — ni page ni barre d'adresse dans la fenêtre de « navigateur-essai »";
        QTest::newRow("un champ qui n'est pas une adresse")
            << "Rechercher dans la page" << "mot" << kName
            << "ERREUR adresse illisible — ni page ni barre d'adresse dans la fenêtre de « navigateur-essai »";
        QTest::newRow("application absente")
            << "Saisir une adresse" << "https://exemple.fr" << "firefox"
            << "ERREUR adresse illisible — « firefox » n'apparaît pas sur le bus d'accessibilité : activez "
               "l'accessibilité du bureau (gsettings set org.gnome.desktop.interface toolkit-accessibility true) puis "
               "relancez le navigateur ; Chromium, Chrome, Brave et Edge demandent aussi "
               "--force-renderer-accessibility";
    }
    void readsTheAddressBar()
    {
        QFETCH(QString, label);
        QFETCH(QString, address);
        QFETCH(QString, applicationId);
        QFETCH(QString, expected);
        QStringList arguments{QStringLiteral("--name"), kName, QStringLiteral("--address"), address};
        if (!label.isNull())
            arguments << QStringLiteral("--label") << label;
        FakeBrowserProcess browser(arguments);
        AtspiConnection bus;
        QVERIFY(waitUntilListed(bus, browser));
        QCOMPARE(readAddress(bus, applicationId), expected);
    }

    // Web content as the browsers show it: documents that carry their own address.
    void readsTheShownPage_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("expected");
        const QString devant = QStringLiteral("https://devant.exemple.fr/article");
        const QString fond = QStringLiteral("https://fond.exemple.fr/");
        QTest::newRow("the page's own address, not what is being typed")
            << QStringList{"--bar", "recherche en cours", "--page", devant} << devant;
        QTest::newRow("address under URI") << QStringList{"--uri", "https://webkit.exemple.org/"}
                                           << "https://webkit.exemple.org/";
        QTest::newRow("a background tab is not the front page") << QStringList{"--hidden", fond, "--page", devant}
                                                                << devant;
        QTest::newRow("two tabs say they are shown: the address bar decides")
            << QStringList{"--shown-background", fond, "--page", devant, "--bar", devant} << devant;
        QTest::newRow("two tabs say they are shown: the one the bar shows, with its scheme")
            << QStringList{"--page", fond, "--shown-background", devant, "--bar", "devant.exemple.fr/article"}
            << devant;
        QTest::newRow("two tabs say they are shown, the bar is being typed in: the first")
            << QStringList{"--page", devant, "--shown-background", fond, "--bar", "recherche"} << devant;
        QTest::newRow("a blank page: the address bar")
            << QStringList{"--page", "about:blank", "--bar", "https://exemple.fr"} << "https://exemple.fr";
        QTest::newRow("only a background tab, no address bar")
            << QStringList{"--hidden", fond}
            << "ERREUR adresse illisible — ni page ni barre d'adresse dans la fenêtre de « navigateur-essai »";
    }
    void readsTheShownPage()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, expected);
        FakeBrowserProcess browser(QStringList{QStringLiteral("--name"), kName} + arguments,
                                   QStringLiteral(FAKE_WEB_DOCUMENT));
        AtspiConnection bus;
        QVERIFY(waitUntilListed(bus, browser));
        QCOMPARE(readAddress(bus, kName), expected);
    }

    void followsTheAddressOfTheShownPage()
    {
        FakeBrowserProcess browser({QStringLiteral("--name"), kName, QStringLiteral("--label"),
                                    QStringLiteral("Saisir une adresse"), QStringLiteral("--address"),
                                    QStringLiteral("https://premier.exemple.fr")});
        AtspiConnection bus;
        QVERIFY(waitUntilListed(bus, browser));
        QCOMPARE(readAddress(bus, kName), QStringLiteral("https://premier.exemple.fr"));
        browser.send(QStringLiteral("address https://second.exemple.fr/x"));
        QTRY_COMPARE_WITH_TIMEOUT(readAddress(bus, kName), QStringLiteral("https://second.exemple.fr/x"), 10000);
    }

    // Two instances of one browser (profiles, releases): the one whose window is active.
    void readsTheActiveInstance()
    {
        AtspiConnection bus;
        const QStringList common{QStringLiteral("--name"), kName, QStringLiteral("--label"),
                                 QStringLiteral("Saisir une adresse"), QStringLiteral("--address")};
        FakeBrowserProcess behind(common + QStringList{QStringLiteral("https://derriere.exemple.fr/")});
        QVERIFY(waitUntilListed(bus, behind));
        FakeBrowserProcess front(common + QStringList{QStringLiteral("https://devant.exemple.fr/"),
                                                      QStringLiteral("--column"), QStringLiteral("1")});
        QVERIFY(front.waitForLine(QStringLiteral("ready")));
        front.send(QStringLiteral("activate 0"));
        QVERIFY(front.waitForLine(QStringLiteral("active 0")));
        QTRY_COMPARE_WITH_TIMEOUT(readAddress(bus, kName), QStringLiteral("https://devant.exemple.fr/"), 10000);
    }

    // A browser that hangs must not hold the dictation: the read gives up at its budget.
    void givesUpOnAFrozenBrowser()
    {
        FakeBrowserProcess browser({QStringLiteral("--name"), kName, QStringLiteral("--label"),
                                    QStringLiteral("Saisir une adresse"), QStringLiteral("--address"),
                                    QStringLiteral("https://exemple.fr")});
        AtspiConnection bus;
        QVERIFY(waitUntilListed(bus, browser));
        QVERIFY(browser.freeze());
        QCOMPARE(readAddress(bus, kName, 300ms),
                 QStringLiteral("ERREUR adresse illisible — le bus d'accessibilité n'a pas répondu à temps"));
        browser.thaw();
    }

    void reportsAMissingAccessibilityBus()
    {
        AtspiConnection bus(QStringLiteral("unix:path=/nonexistent/ovra-atspi-bus"));
        QVERIFY(readAddress(bus, kName).startsWith(
            QStringLiteral("ERREUR adresse illisible — connexion au bus d'accessibilité impossible")));
    }
};

QTEST_GUILESS_MAIN(TestAtspiBrowserAddress)
#include "tst_atspibrowseraddress.moc"
