// Per-address modes end to end on a real accessibility bus: a program that plays Firefox
// becomes active, the application's mode applies, then the address read from its address bar
// selects the address's mode.
#include "FakeBrowserProcess.h"
#include "dictation/MacAppModeTriggers.h"
#include "platform/linux/atspi/AtspiBrowserAddress.h"
#include "platform/linux/atspi/AtspiFrontmostApplication.h"
#include "store/DebugLog.h"
#include "store/Settings.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace std::chrono_literals;

class TestAtspiModeTriggers : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void addressRuleFollowsTheBrowser()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        // Under Firefox's program name, as the rules and the supported browsers know it.
        const QString program = dir.filePath(QStringLiteral("firefox"));
        QVERIFY(QFile::copy(QStringLiteral(FAKE_ACCESSIBLE_BROWSER), program));
        QVERIFY(QFile::setPermissions(program, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        Settings settings(dir.filePath(QStringLiteral("config")));
        DebugLog log(dir.path());
        AtspiConnection bus;
        AtspiFrontmostApplication frontmost(bus);
        // A loaded machine answers slowly; the default budget is for the desktop.
        AtspiBrowserAddress address(bus, 10s);
        MacAppModeTriggers triggers(settings, log, frontmost, &address);
        const QUuid browserMode = QUuid::createUuid();
        const QUuid mailMode = QUuid::createUuid();
        triggers.setApplications(browserMode, {QStringLiteral("firefox")});
        triggers.setURLFragments(mailMode, {QStringLiteral("mail.exemple.com")});
        QList<QUuid> triggered;
        triggers.start([&](const QUuid& mode) { triggered << mode; });

        FakeBrowserProcess browser({QStringLiteral("--name"), QStringLiteral("Firefox"), QStringLiteral("--windows"),
                                    QStringLiteral("2"), QStringLiteral("--label"),
                                    QStringLiteral("Search or enter address"), QStringLiteral("--address"),
                                    QStringLiteral("https://www.mail.exemple.com/inbox")},
                                   program);
        QVERIFY(browser.waitForLine(QStringLiteral("ready")));

        // Activation: the program may still be joining the bus when its window shows.
        QDeadlineTimer deadline(30000);
        for (int k = 0; !triggered.contains(browserMode) && !deadline.hasExpired(); ++k) {
            browser.send(QStringLiteral("activate %1").arg(k % 2));
            browser.waitForLine(QStringLiteral("active %1").arg(k % 2), 2000);
            QTest::qWait(50);
        }
        QVERIFY(triggered.contains(browserMode));
        QCOMPARE(frontmost.frontmostApplicationId(), QStringLiteral("firefox"));

        // A dictation starts: the application's mode, then the address's.
        triggered.clear();
        triggers.applyFrontmost();
        QTRY_COMPARE_WITH_TIMEOUT(triggered, (QList<QUuid>{browserMode, mailMode}), 15000);

        // Another page, another rule: its mode once the bar shows the new address.
        const QUuid docsMode = QUuid::createUuid();
        triggers.setURLFragments(docsMode, {QStringLiteral("docs.exemple.org")});
        browser.send(QStringLiteral("address docs.exemple.org/guide"));
        const auto docsModeApplies = [&] {
            triggered.clear();
            triggers.applyFrontmost();
            return QTest::qWaitFor([&] { return triggered.size() == 2; }, 3000) &&
                   triggered == QList<QUuid>{browserMode, docsMode};
        };
        QTRY_VERIFY_WITH_TIMEOUT(docsModeApplies(), 15000);
    }
};

QTEST_GUILESS_MAIN(TestAtspiModeTriggers)
#include "tst_atspimodetriggers.moc"
