#include "dictation/MacAppModeTriggers.h"
#include "fakes/FakeFrontmostApplication.h"
#include "platform/BrowserAddress.h"
#include "store/AppSettingsKeys.h"
#include "store/DebugLog.h"
#include "store/Settings.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

// Answers with a fixed address or error and counts the requests.
struct FakeBrowserAddress : BrowserAddress
{
    Expected<QString, QString> answer = QStringLiteral("https://www.example.com/");
    int requests = 0;
    QCoro::Task<Expected<QString, QString>> frontPageAddress(QString) override
    {
        ++requests;
        co_return answer;
    }
};

QString text(const QUuid& id) { return id.toString(QUuid::WithoutBraces).toUpper(); }

} // namespace

class AppModeTriggersTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Settings> m_settings;
    std::unique_ptr<DebugLog> m_log;
    FakeFrontmostApplication m_frontmost;
    FakeBrowserAddress m_browser;
    QList<QUuid> m_triggered;
    const QUuid m_mail = QUuid::createUuid();
    const QUuid m_code = QUuid::createUuid();
    const QUuid m_fallback = QUuid::createUuid();

    std::unique_ptr<MacAppModeTriggers> triggers()
    {
        auto t = std::make_unique<MacAppModeTriggers>(*m_settings, *m_log, m_frontmost, &m_browser);
        t->start([this](const QUuid& id) { m_triggered << id; });
        return t;
    }

private Q_SLOTS:
    void init()
    {
        m_log.reset();
        m_settings.reset();
        m_dir = std::make_unique<QTemporaryDir>();
        m_settings = std::make_unique<Settings>(m_dir->filePath(QStringLiteral("config")));
        m_log = std::make_unique<DebugLog>(m_dir->path());
        m_frontmost = FakeFrontmostApplication{};
        m_browser = FakeBrowserAddress{};
        m_triggered.clear();
    }

    void normalise_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("normalised");
        QTest::newRow("full") << "  https://www.GitHub.com/Org/Repo/ \n" << "github.com/org/repo";
        QTest::newRow("http") << "http://example.org" << "example.org";
        QTest::newRow("bare") << "github.com/org/repo" << "github.com/org/repo";
        QTest::newRow("one slash only") << "mail.google.com//" << "mail.google.com/";
        QTest::newRow("www only after scheme") << "ftp://www.x.org" << "ftp://www.x.org";
    }
    void normalise()
    {
        QFETCH(QString, url);
        QFETCH(QString, normalised);
        QCOMPARE(MacAppModeTriggers::normalise(url), normalised);
    }

    void rulesPersistAndAreReadBack()
    {
        {
            auto t = triggers();
            t->setApplications(m_mail, {QStringLiteral("thunderbird"), QStringLiteral("org.gnome.Geary")});
            t->setApplications(m_code, {QStringLiteral("code")});
            t->setURLFragments(m_mail, {QStringLiteral("https://www.Mail.Google.com/")});
            t->setAutoSend(m_code, true);
            t->setDefaultMode(m_fallback);
            t->setApplications(m_mail, {QStringLiteral("thunderbird")});
        }
        m_settings->sync();
        Settings reread(m_dir->filePath(QStringLiteral("config")));
        MacAppModeTriggers t(reread, *m_log, m_frontmost, nullptr);
        QCOMPARE(t.applicationsOf(m_mail), QStringList{"thunderbird"});
        QCOMPARE(t.applicationsOf(m_code), QStringList{"code"});
        QCOMPARE(t.urlFragmentsOf(m_mail), QStringList{"mail.google.com"});
        QCOMPARE(t.autoSendModeIDs(), QSet<QString>{text(m_code)});
        QCOMPARE(reread.stringValue(AppSettingsKey::defaultModeID), text(m_fallback));
        QCOMPARE(reread.map(AppSettingsKey::modeTriggers).value(QStringLiteral("code")).toString(), text(m_code));
    }

    void modeForAppAndURL()
    {
        auto t = triggers();
        t->setApplications(m_mail, {QStringLiteral("thunderbird")});
        t->setURLFragments(m_code, {QStringLiteral("github.com")});
        QCOMPARE(t->modeForApp(QStringLiteral("thunderbird")), std::optional(m_mail));
        QCOMPARE(t->modeForApp(QStringLiteral("gimp")), std::optional<QUuid>());
        t->setDefaultMode(m_fallback);
        QCOMPARE(t->modeForApp(QStringLiteral("gimp")), std::optional(m_fallback));
        // A rule that is not a UUID falls back to the default.
        m_settings->setValue(AppSettingsKey::modeTriggers, QVariantMap{{QStringLiteral("gimp"), QStringLiteral("?")}});
        MacAppModeTriggers reloaded(*m_settings, *m_log, m_frontmost, nullptr);
        QCOMPARE(reloaded.modeForApp(QStringLiteral("gimp")), std::optional(m_fallback));

        QCOMPARE(t->modeForURL(QStringLiteral("https://www.github.com/org/repo/pulls")), std::optional(m_code));
        QCOMPARE(t->modeForURL(QStringLiteral("https://gitlab.com/org/repo")), std::optional<QUuid>());

        m_settings->setValue(AppSettingsKey::powerModeEnabled, false);
        QCOMPARE(t->modeForApp(QStringLiteral("thunderbird")), std::optional<QUuid>());
        m_settings->setValue(AppSettingsKey::powerModeEnabled, QStringLiteral("non"));
        QCOMPARE(t->modeForApp(QStringLiteral("thunderbird")), std::optional(m_mail));
    }

    void activationTriggersTheApplicationsMode()
    {
        auto t = triggers();
        t->setApplications(m_mail, {QStringLiteral("thunderbird"), QStringLiteral("ovra")});
        m_frontmost.activate(QStringLiteral("thunderbird"));
        QTRY_COMPARE(m_triggered, QList<QUuid>{m_mail});
        // This program itself, and applications without rule or default, change nothing.
        m_frontmost.activate(QStringLiteral("ovra"));
        m_frontmost.activate(QStringLiteral("gimp"));
        QTest::qWait(50);
        QCOMPARE(m_triggered, QList<QUuid>{m_mail});
        // Switched off: no switching at all.
        m_settings->setValue(AppSettingsKey::powerModeEnabled, false);
        m_frontmost.activate(QStringLiteral("thunderbird"));
        t->applyFrontmost();
        QTest::qWait(50);
        QCOMPARE(m_triggered, QList<QUuid>{m_mail});
    }

    void browserAddressOverridesTheApplicationRule()
    {
        auto t = triggers();
        t->setApplications(m_mail, {QStringLiteral("firefox")});
        t->setURLFragments(m_code, {QStringLiteral("example.com")});
        m_frontmost.current = QStringLiteral("firefox");
        t->applyFrontmost();
        QTRY_COMPARE(m_triggered, (QList<QUuid>{m_mail, m_code}));
        QCOMPARE(m_browser.requests, 1);
    }

    void unreadableAddressKeepsTheApplicationRule()
    {
        auto t = triggers();
        t->setApplications(m_mail, {QStringLiteral("firefox")});
        t->setURLFragments(m_code, {QStringLiteral("example.com")});
        m_browser.answer = unexpected(QStringLiteral("pas d'AT-SPI"));
        m_frontmost.current = QStringLiteral("firefox");
        t->applyFrontmost();
        QTRY_VERIFY(m_log->contents().contains(QStringLiteral("PowerMode URL navigateur (firefox) : pas d'AT-SPI")));
        QCOMPARE(m_triggered, QList<QUuid>{m_mail});
    }

    void noAddressReadWithoutURLRulesOrOutsideBrowsers()
    {
        auto t = triggers();
        t->setApplications(m_mail, {QStringLiteral("firefox"), QStringLiteral("thunderbird")});
        m_frontmost.current = QStringLiteral("firefox");
        t->applyFrontmost();
        t->setURLFragments(m_code, {QStringLiteral("example.com")});
        m_frontmost.current = QStringLiteral("thunderbird");
        t->applyFrontmost();
        QTest::qWait(50);
        QCOMPARE(m_browser.requests, 0);
        QCOMPARE(m_triggered, (QList<QUuid>{m_mail, m_mail}));
    }
};

QTEST_GUILESS_MAIN(AppModeTriggersTest)
#include "tst_appmodetriggers.moc"
