#pragma once
// Per-application modes ("Power Mode"): rules map an application identifier, or a fragment of
// the address shown by a browser, to a mode; a default mode covers the other applications.
// Watches which application becomes active and reports the mode to use through a callback.
// Also holds the modes whose dictations end with Return (auto-send).
#include "AppModeSelector.h"
#include "AutoSendModes.h"

#include <QCoroTask>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QUuid>
#include <functional>
#include <optional>

class BrowserAddress;
class DebugLog;
class FrontmostApplication;
class Settings;

class MacAppModeTriggers : public QObject, public AppModeSelector, public AutoSendModes
{
    Q_OBJECT
public:
    using Trigger = std::function<void(const QUuid& modeID)>;

    // browser may be null (addresses are never read); ownApplicationId: this program, never a trigger.
    MacAppModeTriggers(Settings& settings, DebugLog& log, FrontmostApplication& frontmost, BrowserAddress* browser,
                       QString ownApplicationId = QStringLiteral("ovra"), QObject* parent = nullptr);

    // Once: watches application activation and remembers the callback.
    void start(Trigger onTrigger);
    void applyFrontmost() override;

    bool enabled() const;
    std::optional<QUuid> modeForApp(const QString& applicationId) const;
    std::optional<QUuid> modeForURL(const QString& url) const;
    static QString normalise(const QString& url);
    // The browsers whose front-page address may be read, by application identifier.
    static bool isSupportedBrowser(const QString& applicationId);

    // Rule editing: each change rewrites the three collections in the settings.
    QStringList applicationsOf(const QUuid& mode) const;
    void setApplications(const QUuid& mode, const QStringList& applicationIds);
    QStringList urlFragmentsOf(const QUuid& mode) const;
    void setURLFragments(const QUuid& mode, const QStringList& fragments);
    void setDefaultMode(const std::optional<QUuid>& mode);
    void setAutoSend(const QUuid& mode, bool on);
    QSet<QString> autoSendModeIDs() const override { return m_autoSendModeIDs; }

    const QHash<QString, QString>& table() const { return m_table; }
    const QHash<QString, QString>& urlTable() const { return m_urlTable; }

private:
    void report(const std::optional<QUuid>& mode);
    QCoro::Task<> applyBrowserAddress(QString applicationId);
    void save();
    static QString key(const QUuid& mode);

    Settings& m_settings;
    DebugLog& m_log;
    FrontmostApplication& m_frontmost;
    BrowserAddress* m_browser;
    QString m_ownId;
    Trigger m_onTrigger;
    bool m_observing = false;
    QHash<QString, QString> m_table;
    QHash<QString, QString> m_urlTable;
    QSet<QString> m_autoSendModeIDs;
};
