#pragma once
// The two settings domains: the shared one (keys shared with companion components) and the
// program's own. Each is a JSON file in the configuration folder, readable by its owner only.
// A file that does not parse is left as it is: its keys read as defaults, edits stay in memory.
#include "SharedDefaultsKey.h"

#include <QObject>
#include <QSet>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <memory>
#include <optional>

class QFileSystemWatcher;
class SettingsFile;

struct SharedPromptPreset
{
    QString id;
    QString name;
    QString prompt;
};

class Settings : public QObject
{
    Q_OBJECT
public:
    static constexpr const char* kSharedFileName = "shared.json";
    static constexpr const char* kOwnFileName = "settings.json";

    explicit Settings(const QString& folder, QObject* parent = nullptr);
    ~Settings() override;

    // False when the shared file cannot be used; its keys then live in the own domain.
    bool sharedDomainAvailable() const;

    // Receives, once per file, why a settings file is left alone (journal and standard error);
    // what happened before the call is handed over at once.
    void setProblemReporter(std::function<void(const QString&)> reporter);
    // From now on, changes another process makes to the files are read back, with one
    // changed() per key whose value changed.
    void followExternalChanges();
    // Rereads both files now (what the file watcher triggers).
    void reload();

    // Raw access by key string; the domain follows from the key.
    QVariant value(const QString& key) const;
    void setValue(const QString& key, const QVariant& value);
    void remove(const QString& key);
    bool contains(const QString& key) const;

    QVariant value(SharedDefaultsKey key) const { return value(SharedDefaults::key(key)); }
    void setValue(SharedDefaultsKey key, const QVariant& v) { setValue(SharedDefaults::key(key), v); }

    // Typed reads: an absent or ill-typed value gives the fallback.
    bool boolValue(const QString& key, bool fallback) const;
    std::optional<QString> stringValue(const QString& key) const;
    QString stringValue(const QString& key, const QString& fallback) const;
    std::optional<double> numberValue(const QString& key) const;
    qint64 intValue(const QString& key, qint64 fallback) const;
    QStringList stringList(const QString& key) const;
    QVariantMap map(const QString& key) const;
    bool boolValue(SharedDefaultsKey k, bool fallback) const { return boolValue(SharedDefaults::key(k), fallback); }
    std::optional<QString> stringValue(SharedDefaultsKey k) const { return stringValue(SharedDefaults::key(k)); }
    qint64 intValue(SharedDefaultsKey k, qint64 fallback) const { return intValue(SharedDefaults::key(k), fallback); }

    // Sync on by default: absent or not a Boolean means enabled.
    bool iCloudSyncEnabled() const { return boolValue(SharedDefaultsKey::iCloudSyncEnabled, true); }
    // This device's sync identifier, a UUID made on first use.
    QString deviceID();

    // "mirelo.kb.pinnedPresets": the presets offered to the keyboard extension.
    void publishPinnedPresets(const QList<SharedPromptPreset>& presets);

    // Writes pending changes to disk now (otherwise done once control is back in the event loop).
    void sync();

    // Keys the shared domain holds: the shared vocabulary and the values published for companions.
    static bool isSharedKey(const QString& key);

Q_SIGNALS:
    void changed(const QString& key);

private:
    SettingsFile& domainFor(const QString& key) const;
    void persist(SettingsFile& file);
    void saveSoon();
    void checkUsable();
    void report(const QString& message);
    void emitChanged(const SettingsFile& file, const QStringList& keys);

    std::unique_ptr<SettingsFile> m_shared;
    std::unique_ptr<SettingsFile> m_own;
    std::unique_ptr<QFileSystemWatcher> m_watcher;
    std::function<void(const QString&)> m_reporter;
    QStringList m_unreported;
    // Files already reported unusable, so that each is said once.
    QSet<QString> m_reported;
    bool m_sharedWasUsable = true;
    bool m_saveQueued = false;
};
