#pragma once
// One settings domain on disk: a flat JSON object, owner-only. Another process may write the
// same file, so a save merges this process's edits into what is on disk now, under a lock, and
// replaces the file by atomic rename. A file that does not parse is never written.
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <optional>

class SettingsFile
{
public:
    explicit SettingsFile(QString path);

    QString path() const { return m_path; }
    // False while the file exists but cannot be read or parsed; edits then stay in memory.
    bool isUsable() const { return m_problem.isEmpty(); }
    // Why the file cannot be used (empty when it can).
    QString problem() const { return m_problem; }

    QVariant value(const QString& key) const { return m_values.value(key); }
    bool contains(const QString& key) const { return m_values.contains(key); }
    QStringList keys() const { return m_values.keys(); }

    // Both return false when the value was already so.
    bool set(const QString& key, const QVariant& value);
    bool remove(const QString& key);

    // Writes pending edits; returns the keys whose value changed meanwhile on disk.
    QStringList save();
    // Rereads the file, keeping edits not yet saved; returns the keys whose value changed.
    QStringList reload();

    // The stored form of a value: what a later read of the file gives back.
    static QVariant normalised(const QVariant& value);

private:
    enum class ReadResult { absent, parsed, failed };
    ReadResult read(QVariantMap& out, QString& problem) const;
    QStringList adopt(QVariantMap disk);

    QString m_path;
    QVariantMap m_values;
    // Edits not yet on disk: a value, or nullopt for a removal.
    QHash<QString, std::optional<QVariant>> m_pending;
    QString m_problem;
};
