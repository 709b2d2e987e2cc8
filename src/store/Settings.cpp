#include "Settings.h"

#include "AppSettingsKeys.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUuid>

namespace {

constexpr QLatin1String kBytesTag("@bytes");

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

// Keys are kept flat: "mirelo.ai.model" is one key, not a group path.
bool readJson(QIODevice& device, QSettings::SettingsMap& map)
{
    const QByteArray bytes = device.readAll();
    if (bytes.trimmed().isEmpty())
        return true;
    QJsonParseError err;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &err);
    if (err.error != QJsonParseError::NoError || !doc.isObject())
        return false;
    const QJsonObject o = doc.object();
    for (auto it = o.begin(); it != o.end(); ++it)
        map.insert(it.key(), fromJson(it.value()));
    return true;
}

bool writeJson(QIODevice& device, const QSettings::SettingsMap& map)
{
    QJsonObject o;
    for (auto it = map.begin(); it != map.end(); ++it)
        o.insert(it.key(), toJson(it.value()));
    return device.write(QJsonDocument(o).toJson(QJsonDocument::Indented)) >= 0;
}

QSettings::Format jsonFormat()
{
    static const QSettings::Format format = QSettings::registerFormat(QStringLiteral("json"), readJson, writeJson);
    return format;
}

constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

// Created owner-only before QSettings sees it: API keys are mirrored into these files.
std::unique_ptr<QSettings> openDomain(const QString& path)
{
    if (!QFile::exists(path)) {
        QFile f(path);
        if (f.open(QIODevice::WriteOnly))
            f.close();
    }
    QFile::setPermissions(path, kOwnerOnly);
    return std::make_unique<QSettings>(path, jsonFormat());
}

// QSettings caches parsed files per process and reports a format error only once, so the
// check is ours.
bool isReadable(const QString& path)
{
    QFile f(path);
    if (!f.exists())
        return true;
    if (!f.open(QIODevice::ReadOnly))
        return false;
    QSettings::SettingsMap ignored;
    return readJson(f, ignored);
}

} // namespace

Settings::Settings(const QString& folder, QObject* parent) : QObject(parent)
{
    QDir().mkpath(folder);
    QFile::setPermissions(folder, kOwnerOnly | QFileDevice::ExeOwner);
    const QDir dir(folder);
    // A shared file that cannot be read is left as it is; its keys go to the own domain.
    const QString sharedPath = dir.filePath(QLatin1String(kSharedFileName));
    if (isReadable(sharedPath))
        m_shared = openDomain(sharedPath);
    m_own = openDomain(dir.filePath(QLatin1String(kOwnFileName)));
}

Settings::~Settings() { sync(); }

bool Settings::isSharedKey(const QString& key)
{
    return SharedDefaults::fromKey(key).has_value() || key.startsWith(QLatin1String("mirelo.kb."));
}

QSettings& Settings::domainFor(const QString& key) const
{
    return (m_shared && isSharedKey(key)) ? *m_shared : *m_own;
}

QVariant Settings::value(const QString& key) const { return domainFor(key).value(key); }
bool Settings::contains(const QString& key) const { return domainFor(key).contains(key); }

void Settings::setValue(const QString& key, const QVariant& value)
{
    QSettings& domain = domainFor(key);
    if (domain.contains(key) && domain.value(key) == value)
        return;
    domain.setValue(key, value);
    Q_EMIT changed(key);
}

void Settings::remove(const QString& key)
{
    QSettings& domain = domainFor(key);
    if (!domain.contains(key))
        return;
    domain.remove(key);
    Q_EMIT changed(key);
}

bool Settings::boolValue(const QString& key, bool fallback) const
{
    const QVariant v = value(key);
    return v.typeId() == QMetaType::Bool ? v.toBool() : fallback;
}

std::optional<QString> Settings::stringValue(const QString& key) const
{
    const QVariant v = value(key);
    if (v.typeId() != QMetaType::QString)
        return std::nullopt;
    return v.toString();
}

QString Settings::stringValue(const QString& key, const QString& fallback) const
{
    return stringValue(key).value_or(fallback);
}

std::optional<double> Settings::numberValue(const QString& key) const
{
    const QVariant v = value(key);
    switch (v.typeId()) {
    case QMetaType::Double:
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return v.toDouble();
    default:
        return std::nullopt;
    }
}

qint64 Settings::intValue(const QString& key, qint64 fallback) const
{
    const auto n = numberValue(key);
    if (!n || !std::isfinite(*n))
        return fallback;
    return qint64(*n);
}

QStringList Settings::stringList(const QString& key) const
{
    const QVariant v = value(key);
    if (v.typeId() != QMetaType::QVariantList && v.typeId() != QMetaType::QStringList)
        return {};
    QStringList out;
    for (const QVariant& item : v.toList())
        if (item.typeId() == QMetaType::QString)
            out << item.toString();
    return out;
}

QVariantMap Settings::map(const QString& key) const
{
    const QVariant v = value(key);
    return v.typeId() == QMetaType::QVariantMap ? v.toMap() : QVariantMap{};
}

QString Settings::deviceID()
{
    const QString key = AppSettingsKey::syncDeviceID;
    if (auto id = stringValue(key); id && !QUuid::fromString(*id).isNull())
        return *id;
    const QString id = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    setValue(key, id);
    sync();
    return id;
}

void Settings::publishPinnedPresets(const QList<SharedPromptPreset>& presets)
{
    QJsonArray array;
    for (const SharedPromptPreset& p : presets)
        array.append(QJsonObject{{QStringLiteral("id"), p.id},
                                 {QStringLiteral("name"), p.name},
                                 {QStringLiteral("prompt"), p.prompt}});
    setValue(QStringLiteral("mirelo.kb.pinnedPresets"), QJsonDocument(array).toJson(QJsonDocument::Compact));
}

void Settings::sync()
{
    for (QSettings* s : {m_shared.get(), m_own.get()}) {
        if (!s || s->fileName().isEmpty())
            continue;
        s->sync();
        QFile::setPermissions(s->fileName(), kOwnerOnly);
    }
}
