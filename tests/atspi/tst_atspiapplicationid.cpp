// Which accessible application an identifier names, and the identifier given to one; which
// labels are those of an address bar.
#include "platform/linux/atspi/AtspiApplicationId.h"
#include "platform/linux/atspi/AtspiBrowserAddress.h"

#include <QTest>

class TestAtspiApplicationId : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void matches_data()
    {
        QTest::addColumn<QString>("applicationId");
        QTest::addColumn<QString>("accessibleName");
        QTest::addColumn<QString>("executable");
        QTest::addColumn<bool>("expected");
        QTest::newRow("Firefox ESR by its program") << "firefox-esr" << "Firefox" << "/usr/lib/firefox-esr/firefox-esr" << true;
        QTest::newRow("Firefox ESR by its name") << "firefox-esr" << "Firefox" << "" << true;
        QTest::newRow("reverse-DNS id") << "org.mozilla.firefox" << "Firefox" << "/app/lib/firefox/firefox" << true;
        QTest::newRow("desktop file name") << "firefox.desktop" << "Firefox" << "" << true;
        QTest::newRow("name with a space") << "google-chrome" << "Google Chrome" << "/opt/google/chrome/chrome" << true;
        QTest::newRow("reverse-DNS id, program") << "com.google.chrome" << "Google Chrome" << "/opt/google/chrome/chrome" << true;
        QTest::newRow("packaging suffix") << "chromium-browser" << "Chromium" << "/usr/lib/chromium/chromium" << true;
        QTest::newRow("release channel") << "vivaldi-stable" << "Vivaldi" << "/opt/vivaldi/vivaldi-bin" << true;
        QTest::newRow("case") << "Firefox" << "firefox" << "" << true;
        QTest::newRow("another browser") << "firefox" << "Chromium" << "/usr/lib/chromium/chromium" << false;
        QTest::newRow("a part is not enough") << "fire" << "Firefox" << "/usr/bin/firefox" << false;
        QTest::newRow("an interpreter is not the application") << "python3" << "Mon outil" << "/usr/bin/python3.11" << false;
        QTest::newRow("empty id") << "" << "" << "" << false;
        QTest::newRow("suffix alone") << "-esr" << "Firefox" << "/usr/bin/esr" << false;
    }
    void matches()
    {
        QFETCH(QString, applicationId);
        QFETCH(QString, accessibleName);
        QFETCH(QString, executable);
        QFETCH(bool, expected);
        QCOMPARE(AtspiApplicationId::matches(applicationId, accessibleName, executable), expected);
    }

    void identifierOf_data()
    {
        QTest::addColumn<QString>("executable");
        QTest::addColumn<QString>("accessibleName");
        QTest::addColumn<QString>("expected");
        QTest::newRow("program file") << "/usr/lib/firefox-esr/firefox-esr" << "Firefox" << "firefox-esr";
        QTest::newRow("upper-case program") << "/opt/App/MonApp" << "Mon App" << "monapp";
        QTest::newRow("replaced program") << "/usr/bin/gedit (deleted)" << "gedit" << "gedit";
        QTest::newRow("interpreter: the name") << "/usr/bin/python3.11" << "Mon Outil" << "mon-outil";
        QTest::newRow("script runtime: the name") << "/usr/bin/gjs-console" << "org.gnome.Maps" << "org.gnome.maps";
        QTest::newRow("unreadable process: the name") << "" << "Terminal" << "terminal";
        QTest::newRow("nothing known") << "" << "" << "";
    }
    void identifierOf()
    {
        QFETCH(QString, executable);
        QFETCH(QString, accessibleName);
        QFETCH(QString, expected);
        QCOMPARE(AtspiApplicationId::identifierOf(executable, accessibleName), expected);
    }

    void addressBarNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("expected");
        QTest::newRow("Firefox") << "Search or enter address" << true;
        QTest::newRow("Firefox, French") << "Rechercher ou saisir une adresse" << true;
        QTest::newRow("Chromium") << "Address and search bar" << true;
        QTest::newRow("Chromium, French") << "Barre d'adresse et de recherche" << true;
        QTest::newRow("German") << "Adresse eingeben" << true;
        QTest::newRow("location") << "Location" << true;
        QTest::newRow("URL") << "URL" << true;
        QTest::newRow("find in page") << "Rechercher dans la page" << false;
        QTest::newRow("word inside another") << "Curlew" << false;
        QTest::newRow("empty") << "" << false;
    }
    void addressBarNames()
    {
        QFETCH(QString, name);
        QFETCH(bool, expected);
        QCOMPARE(AtspiBrowserAddress::isAddressBarName(name), expected);
    }
};

QTEST_GUILESS_MAIN(TestAtspiApplicationId)
#include "tst_atspiapplicationid.moc"
