#include "SettingsFile.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QSaveFile>

namespace {

constexpr QLatin1String kBytesTag("@bytes");
constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

QJsonValue toJson(const QVariant& v)
{
    if (v.typeId() == QMetaType::QByteArray)
        return QJsonObject{{kBytesTag, QString::fromLatin1(v.toByteArray().toBase64())}};
    if (v.typeId() == QMetaType::QVariantMap) {
        QJsonObject o;
        const QVariantMap m = v.toMap();
        for (auto it = m.begin(); it != m.end(); ++it)
            o.insert(it.key(), toJson(it.value()));
        return o;
    }
    if (v.typeId() == QMetaType::QVariantList || v.typeId() == QMetaType::QStringList) {
        QJsonArray a;
        for (const QVariant& item : v.toList())
            a.append(toJson(item));
        return a;
    }
    return QJsonValue::fromVariant(v);
}

QVariant fromJson(const QJsonValue& j)
{
    if (j.isObject()) {
        const QJsonObject o = j.toObject();
        if (o.size() == 1 && o.contains(kBytesTag))
            return QByteArray::fromBase64(o.value(kBytesTag).toString().toLatin1());
        QVariantMap m;
        for (auto it = o.begin(); it != o.end(); ++it)
            m.insert(it.key(), fromJson(it.value()));
        return m;
    }
    if (j.isArray()) {
        QVariantList l;
        for (const QJsonValue& item : j.toArray())
            l.append(fromJson(item));
        return l;
    }
    return j.toVariant();
}

QByteArray encode(const QVariantMap& values)
{
    QJsonObject o;
    for (auto it = values.begin(); it != values.end(); ++it)
        o.insert(it.key(), toJson(it.value()));
    return QJsonDocument(o).toJson(QJsonDocument::Indented);
}

} // namespace

SettingsFile::SettingsFile(QString path) : m_path(std::move(path))
{
    QVariantMap disk;
    if (read(disk, m_problem) == ReadResult::parsed)
        m_values = std::move(disk);
    if (QFile::exists(m_path) && m_problem.isEmpty())
        QFile::setPermissions(m_path, kOwnerOnly);
}

QVariant SettingsFile::normalised(const QVariant& value)
{
    return fromJson(toJson(value));
}

SettingsFile::ReadResult SettingsFile::read(QVariantMap& out, QString& problem) const
{
    problem.clear();
    QFile f(m_path);
    if (!f.exists())
        return ReadResult::absent;
    if (!f.open(QIODevice::ReadOnly)) {
        problem = f.errorString();
        return ReadResult::failed;
    }
    const QByteArray bytes = f.readAll();
    // An empty file is what a crash between creation and first write leaves: no settings yet.
    if (bytes.trimmed().isEmpty())
        return ReadResult::parsed;
    QJsonParseError err;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &err);
    if (err.error != QJsonParseError::NoError) {
        problem = QStringLiteral("%1 (offset %2)").arg(err.errorString()).arg(err.offset);
        return ReadResult::failed;
    }
    if (!doc.isObject()) {
        problem = QStringLiteral("not a JSON object");
        return ReadResult::failed;
    }
    const QJsonObject o = doc.object();
    for (auto it = o.begin(); it != o.end(); ++it)
        out.insert(it.key(), fromJson(it.value()));
    return ReadResult::parsed;
}

bool SettingsFile::set(const QString& key, const QVariant& value)
{
    const QVariant stored = normalised(value);
    if (m_values.contains(key) && m_values.value(key) == stored)
        return false;
    m_values.insert(key, stored);
    m_pending.insert(key, stored);
    return true;
}

bool SettingsFile::remove(const QString& key)
{
    if (!m_values.contains(key))
        return false;
    m_values.remove(key);
    m_pending.insert(key, std::nullopt);
    return true;
}

QStringList SettingsFile::adopt(QVariantMap disk)
{
    for (auto it = m_pending.begin(); it != m_pending.end(); ++it) {
        if (it.value())
            disk.insert(it.key(), *it.value());
        else
            disk.remove(it.key());
    }
    QStringList changed;
    for (auto it = disk.begin(); it != disk.end(); ++it)
        if (!m_values.contains(it.key()) || m_values.value(it.key()) != it.value())
            changed << it.key();
    for (auto it = m_values.begin(); it != m_values.end(); ++it)
        if (!disk.contains(it.key()))
            changed << it.key();
    m_values = std::move(disk);
    return changed;
}

QStringList SettingsFile::save()
{
    if (m_pending.isEmpty())
        return {};
    // Two processes saving at once must not drop each other's edits.
    QLockFile lock(m_path + QStringLiteral(".lock"));
    lock.setStaleLockTime(10000);
    if (!lock.tryLock(5000))
        return {};
    QVariantMap disk;
    if (read(disk, m_problem) == ReadResult::failed)
        return {};
    const QStringList changed = adopt(std::move(disk));
    QSaveFile out(m_path);
    if (!out.open(QIODevice::WriteOnly))
        return changed;
    out.setPermissions(kOwnerOnly);
    out.write(encode(m_values));
    if (out.commit())
        m_pending.clear();
    return changed;
}

QStringList SettingsFile::reload()
{
    QVariantMap disk;
    if (read(disk, m_problem) == ReadResult::failed)
        return {};
    return adopt(std::move(disk));
}
