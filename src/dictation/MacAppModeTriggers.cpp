#include "MacAppModeTriggers.h"

#include "platform/BrowserAddress.h"
#include "platform/FrontmostApplication.h"
#include "store/AppSettingsKeys.h"
#include "store/DebugLog.h"
#include "store/Settings.h"

#include <QPointer>
#include <QTimer>

namespace {

QHash<QString, QString> readTable(const Settings& settings, QLatin1String key)
{
    QHash<QString, QString> out;
    const QVariantMap map = settings.map(key);
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        out.insert(it.key(), it.value().toString());
    return out;
}

QVariantMap toMap(const QHash<QString, QString>& table)
{
    QVariantMap out;
    for (auto it = table.cbegin(); it != table.cend(); ++it)
        out.insert(it.key(), it.value());
    return out;
}

std::optional<QUuid> parseUuid(const QString& text)
{
    const QUuid id(text);
    return id.isNull() ? std::nullopt : std::optional<QUuid>(id);
}

} // namespace

MacAppModeTriggers::MacAppModeTriggers(Settings& settings, DebugLog& log, FrontmostApplication& frontmost,
                                       BrowserAddress* browser, QString ownApplicationId, QObject* parent)
    : QObject(parent), m_settings(settings), m_log(log), m_frontmost(frontmost), m_browser(browser),
      m_ownId(std::move(ownApplicationId))
{
    m_table = readTable(settings, AppSettingsKey::modeTriggers);
    m_urlTable = readTable(settings, AppSettingsKey::urlModeTriggers);
    const QStringList autoSend = settings.stringList(AppSettingsKey::autoSendEnter);
    m_autoSendModeIDs = QSet<QString>(autoSend.begin(), autoSend.end());
}

QString MacAppModeTriggers::key(const QUuid& mode) { return mode.toString(QUuid::WithoutBraces).toUpper(); }

bool MacAppModeTriggers::enabled() const { return m_settings.boolValue(AppSettingsKey::powerModeEnabled, true); }

bool MacAppModeTriggers::isSupportedBrowser(const QString& applicationId)
{
    static const QSet<QString> browsers = {
        QStringLiteral("firefox"), QStringLiteral("firefox-esr"), QStringLiteral("org.mozilla.firefox"),
        QStringLiteral("librewolf"), QStringLiteral("chromium"), QStringLiteral("chromium-browser"),
        QStringLiteral("org.chromium.chromium"), QStringLiteral("google-chrome"), QStringLiteral("com.google.chrome"),
        QStringLiteral("brave-browser"), QStringLiteral("com.brave.browser"), QStringLiteral("microsoft-edge"),
        QStringLiteral("com.microsoft.edge"), QStringLiteral("vivaldi-stable"), QStringLiteral("com.vivaldi.vivaldi"),
        QStringLiteral("opera"), QStringLiteral("com.opera.opera"), QStringLiteral("org.gnome.epiphany"),
    };
    return browsers.contains(applicationId.toLower());
}

QString MacAppModeTriggers::normalise(const QString& url)
{
    QString s = url.trimmed().toLower();
    if (s.startsWith(QLatin1String("https://")))
        s.remove(0, 8);
    else if (s.startsWith(QLatin1String("http://")))
        s.remove(0, 7);
    if (s.startsWith(QLatin1String("www.")))
        s.remove(0, 4);
    if (s.endsWith(QLatin1Char('/')))
        s.chop(1);
    return s;
}

std::optional<QUuid> MacAppModeTriggers::modeForApp(const QString& applicationId) const
{
    if (!enabled())
        return std::nullopt;
    if (const auto rule = parseUuid(m_table.value(applicationId)))
        return rule;
    return parseUuid(m_settings.stringValue(AppSettingsKey::defaultModeID).value_or(QString()));
}

std::optional<QUuid> MacAppModeTriggers::modeForURL(const QString& url) const
{
    const QString address = normalise(url);
    for (auto it = m_urlTable.cbegin(); it != m_urlTable.cend(); ++it)
        if (!it.key().isEmpty() && address.contains(it.key()))
            return parseUuid(it.value());
    return std::nullopt;
}

void MacAppModeTriggers::report(const std::optional<QUuid>& mode)
{
    if (mode && m_onTrigger)
        m_onTrigger(*mode);
}

void MacAppModeTriggers::start(Trigger onTrigger)
{
    if (m_observing)
        return;
    m_observing = true;
    m_onTrigger = std::move(onTrigger);
    m_frontmost.setActivationHandler([this](const QString& applicationId) {
        if (applicationId.isEmpty() || applicationId == m_ownId)
            return;
        QTimer::singleShot(0, this, [this, applicationId] { report(modeForApp(applicationId)); });
    });
}

void MacAppModeTriggers::applyFrontmost()
{
    if (!enabled())
        return;
    const QString applicationId = m_frontmost.frontmostApplicationId();
    if (applicationId.isEmpty() || applicationId == m_ownId)
        return;
    report(modeForApp(applicationId));
    if (!m_urlTable.isEmpty() && isSupportedBrowser(applicationId))
        applyBrowserAddress(applicationId);
}

QCoro::Task<> MacAppModeTriggers::applyBrowserAddress(QString applicationId)
{
    QPointer<MacAppModeTriggers> self(this);
    if (!m_browser) {
        m_log.log(QStringLiteral("PowerMode URL navigateur (") + applicationId +
                  QStringLiteral(") : lecture de l'adresse non prise en charge ici, la règle de l'application s'applique"));
        co_return;
    }
    const Expected<QString, QString> address = co_await m_browser->frontPageAddress(applicationId);
    if (!self)
        co_return;
    if (!address) {
        self->m_log.log(QStringLiteral("PowerMode URL navigateur (") + applicationId + QStringLiteral(") : ") +
                        address.error());
        co_return;
    }
    self->report(self->modeForURL(*address));
}

QStringList MacAppModeTriggers::applicationsOf(const QUuid& mode) const
{
    QStringList out;
    for (auto it = m_table.cbegin(); it != m_table.cend(); ++it)
        if (QUuid(it.value()) == mode)
            out << it.key();
    out.sort();
    return out;
}

void MacAppModeTriggers::setApplications(const QUuid& mode, const QStringList& applicationIds)
{
    m_table.removeIf([&](const auto& it) { return QUuid(it.value()) == mode; });
    for (const QString& id : applicationIds)
        if (!id.trimmed().isEmpty())
            m_table.insert(id.trimmed(), key(mode));
    save();
}

QStringList MacAppModeTriggers::urlFragmentsOf(const QUuid& mode) const
{
    QStringList out;
    for (auto it = m_urlTable.cbegin(); it != m_urlTable.cend(); ++it)
        if (QUuid(it.value()) == mode)
            out << it.key();
    out.sort();
    return out;
}

void MacAppModeTriggers::setURLFragments(const QUuid& mode, const QStringList& fragments)
{
    m_urlTable.removeIf([&](const auto& it) { return QUuid(it.value()) == mode; });
    for (const QString& f : fragments) {
        const QString n = normalise(f);
        if (!n.isEmpty())
            m_urlTable.insert(n, key(mode));
    }
    save();
}

void MacAppModeTriggers::setDefaultMode(const std::optional<QUuid>& mode)
{
    if (mode)
        m_settings.setValue(AppSettingsKey::defaultModeID, key(*mode));
    else
        m_settings.remove(AppSettingsKey::defaultModeID);
}

void MacAppModeTriggers::setAutoSend(const QUuid& mode, bool on)
{
    if (on)
        m_autoSendModeIDs.insert(key(mode));
    else
        m_autoSendModeIDs.remove(key(mode));
    save();
}

void MacAppModeTriggers::save()
{
    m_settings.setValue(AppSettingsKey::modeTriggers, toMap(m_table));
    m_settings.setValue(AppSettingsKey::urlModeTriggers, toMap(m_urlTable));
    QStringList autoSend(m_autoSendModeIDs.begin(), m_autoSendModeIDs.end());
    autoSend.sort();
    m_settings.setValue(AppSettingsKey::autoSendEnter, autoSend);
}
