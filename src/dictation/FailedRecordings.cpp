#include "FailedRecordings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <algorithm>

namespace {

constexpr QFileDevice::Permissions kOwnerOnlyFile = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
constexpr QFileDevice::Permissions kOwnerOnlyFolder =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;

QString idText(const QUuid& id) { return id.toString(QUuid::WithoutBraces).toUpper(); }

std::optional<FailedRecording> parse(const QByteArray& bytes, const QDir& folder)
{
    const QJsonDocument doc = QJsonDocument::fromJson(bytes);
    if (!doc.isObject())
        return std::nullopt;
    const QJsonObject o = doc.object();
    FailedRecording r;
    r.id = QUuid::fromString(o.value(QLatin1String("id")).toString());
    const QString audio = o.value(QLatin1String("audioFile")).toString();
    // Only a plain file name beside the description: never a path elsewhere.
    if (r.id.isNull() || audio.isEmpty() || audio.contains(QLatin1Char('/')) || audio.startsWith(QLatin1Char('.')))
        return std::nullopt;
    if (QFileInfo(audio).completeBaseName() != idText(r.id))
        return std::nullopt;
    r.audioFile = folder.filePath(audio);
    const QUuid mode = QUuid::fromString(o.value(QLatin1String("modeID")).toString());
    if (!mode.isNull())
        r.modeID = mode;
    r.modeName = o.value(QLatin1String("mode")).toString();
    r.date = QDateTime::fromString(o.value(QLatin1String("date")).toString(), Qt::ISODateWithMs);
    r.error = o.value(QLatin1String("error")).toString();
    r.duration = o.value(QLatin1String("duration")).toDouble();
    if (!r.date.isValid())
        return std::nullopt;
    return r;
}

} // namespace

FailedRecordings::FailedRecordings(QString folder, QObject* parent) : QObject(parent), m_folder(std::move(folder)) {}

QString FailedRecordings::descriptionPath(const QUuid& id) const
{
    return QDir(m_folder).filePath(idText(id) + QStringLiteral(".json"));
}

Expected<void, QString> FailedRecordings::writeDescription(const FailedRecording& r) const
{
    QJsonObject o;
    o.insert(QLatin1String("id"), idText(r.id));
    o.insert(QLatin1String("audioFile"), QFileInfo(r.audioFile).fileName());
    if (r.modeID)
        o.insert(QLatin1String("modeID"), idText(*r.modeID));
    o.insert(QLatin1String("mode"), r.modeName);
    o.insert(QLatin1String("date"), r.date.toUTC().toString(Qt::ISODateWithMs));
    o.insert(QLatin1String("error"), r.error);
    o.insert(QLatin1String("duration"), r.duration);
    const QString path = descriptionPath(r.id);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(o).toJson()) < 0 || !file.commit())
        return unexpected(QStringLiteral("Impossible d'écrire ") + path + QStringLiteral(" : ") + file.errorString());
    QFile::setPermissions(path, kOwnerOnlyFile);
    return {};
}

Expected<FailedRecording, QString> FailedRecordings::keep(const QString& audioFile, const FailedRecording& description)
{
    QDir dir(m_folder);
    if (!dir.mkpath(QStringLiteral(".")))
        return unexpected(QStringLiteral("Impossible de créer le dossier ") + m_folder);
    QFile::setPermissions(m_folder, kOwnerOnlyFolder);

    FailedRecording r = description;
    r.id = QUuid::createUuid();
    if (!r.date.isValid())
        r.date = QDateTime::currentDateTimeUtc();
    const QString suffix = QFileInfo(audioFile).suffix();
    r.audioFile = dir.filePath(idText(r.id) + (suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix));

    // The description first: a recording moved without one would not be offered again.
    if (auto written = writeDescription(r); !written)
        return unexpected(written.error());
    QFile source(audioFile);
    // QFile::rename copies across file systems (the runtime folder is often a tmpfs).
    if (!source.rename(r.audioFile)) {
        QFile::remove(descriptionPath(r.id));
        return unexpected(QStringLiteral("Impossible de déplacer ") + audioFile + QStringLiteral(" vers ") + m_folder +
                          QStringLiteral(" : ") + source.errorString());
    }
    QFile::setPermissions(r.audioFile, kOwnerOnlyFile);
    prune();
    Q_EMIT changed();
    return r;
}

Expected<void, QString> FailedRecordings::updateError(const QUuid& id, const QString& error)
{
    std::optional<FailedRecording> r = find(id);
    if (!r)
        return unexpected(QStringLiteral("Enregistrement introuvable : ") + idText(id));
    r->error = error;
    auto written = writeDescription(*r);
    if (written)
        Q_EMIT changed();
    return written;
}

void FailedRecordings::remove(const QUuid& id)
{
    const std::optional<FailedRecording> r = find(id);
    if (!r)
        return;
    // The audio first: a description left alone is harmless, a lone recording is not listed.
    QFile::remove(r->audioFile);
    QFile::remove(descriptionPath(id));
    Q_EMIT changed();
}

QList<FailedRecording> FailedRecordings::list() const
{
    QList<FailedRecording> out;
    const QDir dir(m_folder);
    const QStringList names = dir.entryList({QStringLiteral("*.json")}, QDir::Files);
    for (const QString& name : names) {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        std::optional<FailedRecording> r = parse(file.read(64 * 1024), dir);
        // A description must be named after its own id, or removing it would hit another file.
        if (!r || name != idText(r->id) + QStringLiteral(".json") || !QFileInfo::exists(r->audioFile))
            continue;
        out << *r;
    }
    std::sort(out.begin(), out.end(),
              [](const FailedRecording& a, const FailedRecording& b) { return a.date > b.date; });
    return out;
}

std::optional<FailedRecording> FailedRecordings::find(const QUuid& id) const
{
    QFile file(descriptionPath(id));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    std::optional<FailedRecording> r = parse(file.read(64 * 1024), QDir(m_folder));
    if (!r || r->id != id || !QFileInfo::exists(r->audioFile))
        return std::nullopt;
    return r;
}

std::optional<FailedRecording> FailedRecordings::last() const
{
    const QList<FailedRecording> all = list();
    if (all.isEmpty())
        return std::nullopt;
    return all.first();
}

void FailedRecordings::prune()
{
    const QList<FailedRecording> all = list();
    for (qsizetype i = kKept; i < all.size(); ++i) {
        QFile::remove(all[i].audioFile);
        QFile::remove(descriptionPath(all[i].id));
    }
}
