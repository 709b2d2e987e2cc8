#pragma once
// A small key-value dictionary replicated between the user's devices: "ovra-settings.json" in
// the cloud folder, written like the sync file (lock + atomic rename) and watched for the
// changes another device's client brings in (also across the rename such clients do).
#include <QHash>
#include <QJsonObject>
#include <QObject>
#include <QSet>
#include <QTimer>
#include <memory>
#include <optional>

class DebugLog;
class QFileSystemWatcher;
class Settings;

class CloudKeyValueStore : public QObject
{
    Q_OBJECT
public:
    static constexpr const char* kFileName = "ovra-settings.json";
    // The one key whose value only ever goes up, on every device.
    static constexpr const char* kBestScoreKey = "mirelo.stats.dictatedWordsBest";

    // settings: where the cloud folder is chosen; it may change while the program runs.
    CloudKeyValueStore(const Settings& settings, DebugLog& log, QObject* parent = nullptr);
    ~CloudKeyValueStore() override;

    std::optional<QJsonValue> value(const QString& key) const;
    // Kept in memory until synchronize() writes it.
    void setValue(const QString& key, const QJsonValue& value);

    // Reads the file, keeps our unsaved values over it and writes them. False when there is no
    // folder or the file cannot be used (a file that does not parse is never replaced).
    bool synchronize();
    // From now on, changes of the file made elsewhere emit changedExternally().
    void startWatching();

Q_SIGNALS:
    // The keys whose value another device changed.
    void changedExternally(const QStringList& keys);

private:
    void rewatch();
    void readBack();
    QString currentPath() const;

    const Settings& m_settings;
    DebugLog& m_log;
    QJsonObject m_values;
    QHash<QString, QJsonValue> m_pending;
    std::unique_ptr<QFileSystemWatcher> m_watcher;
    QTimer m_settle;
    QString m_problemLogged;
    QSet<QString> m_copiesLogged;
};
