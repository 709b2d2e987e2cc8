#include "Settings.h"

#include "AppSettingsKeys.h"

#include "SettingsFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUuid>

Settings::Settings(const QString& folder, QObject* parent) : QObject(parent)
{
    QDir().mkpath(folder);
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const QDir dir(folder);
    m_shared = std::make_unique<SettingsFile>(dir.filePath(QLatin1String(kSharedFileName)));
    m_own = std::make_unique<SettingsFile>(dir.filePath(QLatin1String(kOwnFileName)));
    m_sharedWasUsable = m_shared->isUsable();
    checkUsable();
}

Settings::~Settings() { sync(); }

bool Settings::sharedDomainAvailable() const { return m_shared->isUsable(); }

void Settings::setProblemReporter(std::function<void(const QString&)> reporter)
{
    m_reporter = std::move(reporter);
    if (!m_reporter)
        return;
    for (const QString& message : std::exchange(m_unreported, {}))
        m_reporter(message);
}

void Settings::report(const QString& message)
{
    if (m_reporter)
        m_reporter(message);
    else
        m_unreported << message;
}

void Settings::checkUsable()
{
    for (SettingsFile* f : {m_shared.get(), m_own.get()}) {
        if (f->isUsable()) {
            m_reported.remove(f->path());
            continue;
        }
        if (m_reported.contains(f->path()))
            continue;
        m_reported.insert(f->path());
        if (f == m_own.get())
            report(QStringLiteral("Le fichier de réglages %1 ne peut pas être lu (%2) : il est laissé tel quel, "
                                  "les valeurs par défaut sont utilisées et les changements ne sont pas "
                                  "enregistrés tant qu'il n'est pas réparé.")
                       .arg(f->path(), f->problem()));
        else
            report(QStringLiteral("Le fichier de réglages partagés %1 ne peut pas être lu (%2) : il est laissé "
                                  "tel quel et les réglages partagés sont lus et enregistrés dans %3.")
                       .arg(f->path(), f->problem(), m_own->path()));
    }
}

void Settings::emitChanged(const SettingsFile& file, const QStringList& keys)
{
    for (const QString& key : keys)
        if (&domainFor(key) == &file)
            Q_EMIT changed(key);
}

void Settings::persist(SettingsFile& file)
{
    emitChanged(file, file.save());
    checkUsable();
}

void Settings::reload()
{
    const QStringList shared = m_shared->reload();
    const QStringList own = m_own->reload();
    checkUsable();
    if (m_shared->isUsable() != m_sharedWasUsable) {
        // The shared keys now come from the other file.
        m_sharedWasUsable = m_shared->isUsable();
        QSet<QString> keys;
        for (const QString& k : m_shared->keys() + m_own->keys())
            if (isSharedKey(k))
                keys.insert(k);
        for (const QString& k : keys)
            Q_EMIT changed(k);
    }
    emitChanged(*m_shared, shared);
    emitChanged(*m_own, own);
}

void Settings::followExternalChanges()
{
    if (m_watcher)
        return;
    m_watcher = std::make_unique<QFileSystemWatcher>();
    const QString folder = QFileInfo(m_own->path()).absolutePath();
    m_watcher->addPath(folder);
    // Saves replace the files by rename, which drops them from the watch: add them back.
    const auto rewatch = [this] {
        for (const SettingsFile* f : {m_shared.get(), m_own.get()})
            if (!m_watcher->files().contains(f->path()) && QFile::exists(f->path()))
                m_watcher->addPath(f->path());
    };
    rewatch();
    const auto onChange = [this, rewatch] {
        reload();
        rewatch();
    };
    connect(m_watcher.get(), &QFileSystemWatcher::directoryChanged, this, onChange);
    connect(m_watcher.get(), &QFileSystemWatcher::fileChanged, this, onChange);
}

bool Settings::isSharedKey(const QString& key)
{
    return SharedDefaults::fromKey(key).has_value() || key.startsWith(QLatin1String("mirelo.kb."));
}

SettingsFile& Settings::domainFor(const QString& key) const
{
    return (m_shared->isUsable() && isSharedKey(key)) ? *m_shared : *m_own;
}

QVariant Settings::value(const QString& key) const { return domainFor(key).value(key); }
bool Settings::contains(const QString& key) const { return domainFor(key).contains(key); }

void Settings::setValue(const QString& key, const QVariant& value)
{
    SettingsFile& domain = domainFor(key);
    if (!domain.set(key, value))
        return;
    Q_EMIT changed(key);
    saveSoon();
}

void Settings::remove(const QString& key)
{
    SettingsFile& domain = domainFor(key);
    if (!domain.remove(key))
        return;
    Q_EMIT changed(key);
    saveSoon();
}

void Settings::saveSoon()
{
    // Edits made in one go are written together, when control returns to the event loop (or
    // at sync() / destruction, for a command that exits first).
    if (m_saveQueued)
        return;
    m_saveQueued = true;
    QMetaObject::invokeMethod(this, &Settings::sync, Qt::QueuedConnection);
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
    // A hand-edited 1e300 has no 64-bit value: converting it would be undefined.
    constexpr double kLimit = 9223372036854775808.0; // 2^63
    if (!n || !std::isfinite(*n) || *n >= kLimit || *n < -kLimit)
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
    m_saveQueued = false;
    persist(*m_shared);
    persist(*m_own);
}
