#include "CloudKeyValueStore.h"

#include "CloudFolder.h"
#include "store/DebugLog.h"

#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QJsonDocument>

using namespace std::chrono_literals;

CloudKeyValueStore::CloudKeyValueStore(const Settings& settings, DebugLog& log, QObject* parent)
    : QObject(parent), m_settings(settings), m_log(log)
{
    // Clients write in several steps (temporary file, rename): read once they are done.
    m_settle.setSingleShot(true);
    m_settle.setInterval(200ms);
    connect(&m_settle, &QTimer::timeout, this, &CloudKeyValueStore::readBack);
}

CloudKeyValueStore::~CloudKeyValueStore() = default;

std::optional<QJsonValue> CloudKeyValueStore::value(const QString& key) const
{
    if (const auto it = m_pending.constFind(key); it != m_pending.constEnd())
        return *it;
    const QJsonValue v = m_values.value(key);
    return v.isUndefined() ? std::nullopt : std::optional(v);
}

void CloudKeyValueStore::setValue(const QString& key, const QJsonValue& value) { m_pending.insert(key, value); }

QString CloudKeyValueStore::currentPath() const
{
    const auto folder = CloudFolder::locate(m_settings);
    return folder ? folder->filePath(QLatin1String(kFileName)) : QString();
}

bool CloudKeyValueStore::synchronize()
{
    const auto folder = CloudFolder::locate(m_settings);
    if (!folder)
        return false;
    const QString name = QLatin1String(kFileName);
    const auto bytes = folder->read(name);
    QJsonObject disk;
    QString problem;
    if (!bytes) {
        problem = bytes.error().message;
    } else if (bytes->has_value() && !(*bytes)->trimmed().isEmpty()) {
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(**bytes, &error);
        if (!doc.isObject())
            problem = QStringLiteral("« %1 » n'est pas un objet JSON : laissé tel quel.").arg(folder->filePath(name));
        else
            disk = doc.object();
    }
    if (!problem.isEmpty()) {
        if (problem != m_problemLogged)
            m_log.log(QStringLiteral("SYNC réglages : ") + problem, QStringLiteral("SYNC"));
        m_problemLogged = problem;
        return false;
    }
    m_problemLogged.clear();
    // Copies a sync client left when two devices wrote at once: what only they hold joins the
    // file (the file's own value wins a key both hold, the best score keeps the highest), then
    // they go once the file holding it is written. A copy that does not parse stays as it is.
    QStringList merged;
    bool changed = false;
    for (const QString& copy : folder->conflictCopies(name)) {
        const auto copyBytes = folder->read(copy);
        const QJsonDocument doc =
            copyBytes && copyBytes->has_value() ? QJsonDocument::fromJson(**copyBytes) : QJsonDocument();
        if (!doc.isObject()) {
            const QString skipped = QStringLiteral("copie en conflit « %1 » illisible : laissée telle quelle.").arg(copy);
            if (!m_copiesLogged.contains(copy))
                m_log.log(QStringLiteral("SYNC réglages : ") + skipped, QStringLiteral("SYNC"));
            m_copiesLogged.insert(copy);
            continue;
        }
        const QJsonObject theirs = doc.object();
        for (auto it = theirs.constBegin(); it != theirs.constEnd(); ++it) {
            const QJsonValue ours = disk.value(it.key());
            const bool higherBest = it.key() == QLatin1String(kBestScoreKey) && it->isDouble() &&
                                    (!ours.isDouble() || it->toDouble() > ours.toDouble());
            if (ours.isUndefined() || higherBest) {
                disk.insert(it.key(), *it);
                changed = true;
            }
        }
        merged << copy;
    }
    for (auto it = m_pending.constBegin(); it != m_pending.constEnd(); ++it) {
        if (disk.value(it.key()) != *it) {
            disk.insert(it.key(), *it);
            changed = true;
        }
    }
    if (changed) {
        if (auto ok = folder->write(name, QJsonDocument(disk).toJson(QJsonDocument::Indented)); !ok) {
            m_log.log(QStringLiteral("SYNC réglages : ") + ok.error().message, QStringLiteral("SYNC"));
            m_values = disk;
            return false;
        }
    }
    for (const QString& copy : merged) {
        if (auto removed = folder->remove(copy); !removed)
            m_log.log(QStringLiteral("SYNC réglages : ") + removed.error().message, QStringLiteral("SYNC"));
        else
            m_log.log(QStringLiteral("SYNC réglages : copie en conflit « %1 » fusionnée").arg(copy),
                      QStringLiteral("SYNC"));
    }
    m_pending.clear();
    m_values = disk;
    rewatch();
    return true;
}

void CloudKeyValueStore::startWatching()
{
    if (m_watcher)
        return;
    m_watcher = std::make_unique<QFileSystemWatcher>();
    connect(m_watcher.get(), &QFileSystemWatcher::fileChanged, &m_settle, qOverload<>(&QTimer::start));
    connect(m_watcher.get(), &QFileSystemWatcher::directoryChanged, &m_settle, qOverload<>(&QTimer::start));
    rewatch();
}

void CloudKeyValueStore::rewatch()
{
    if (!m_watcher)
        return;
    const QString path = currentPath();
    const QStringList wanted = path.isEmpty() ? QStringList() : QStringList{QFileInfo(path).absolutePath(), path};
    // A rename over the file drops it from the watch: it is added again each time.
    for (const QString& p : m_watcher->files() + m_watcher->directories())
        if (!wanted.contains(p) || !QFileInfo::exists(p))
            m_watcher->removePath(p);
    for (const QString& p : wanted)
        if (QFileInfo::exists(p) && !m_watcher->files().contains(p) && !m_watcher->directories().contains(p))
            m_watcher->addPath(p);
}

void CloudKeyValueStore::readBack()
{
    const QJsonObject before = m_values;
    const QHash<QString, QJsonValue> pending = m_pending;
    m_pending.clear(); // a read only: our own unsaved values are not written from here
    const bool ok = synchronize();
    for (auto it = pending.constBegin(); it != pending.constEnd(); ++it)
        m_pending.insert(it.key(), *it);
    rewatch();
    if (!ok)
        return;
    QStringList keys;
    for (auto it = m_values.constBegin(); it != m_values.constEnd(); ++it)
        if (before.value(it.key()) != *it)
            keys << it.key();
    if (!keys.isEmpty())
        Q_EMIT changedExternally(keys);
}
