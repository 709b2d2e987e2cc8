#include "OfflineTranscriptionQueue.h"

#include "Transcriber.h"
#include "ai/AIProviderSettings.h"
#include "ai/CategorizationTrigger.h"
#include "ai/ChatClient.h"
#include "ai/DictionaryInjector.h"
#include "ai/PostProcessMetaParser.h"
#include "ai/RewritePrompt.h"
#include "platform/NetworkPathMonitor.h"
#include "stats/StatsRefresher.h"
#include "store/DebugLog.h"
#include "store/RecordStore.h"
#include "store/Settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QPointer>
#include <QSaveFile>
#include <QTimer>
#include <algorithm>
#include <unistd.h>

namespace {

constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
const QString kJsonSuffix = QStringLiteral(".json");

QString flowTag() { return QStringLiteral("FLOW"); }

// The copy must be on disk before the original goes.
bool syncFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadWrite) && ::fsync(f.handle()) == 0;
}

} // namespace

OfflineTranscriptionQueue::OfflineTranscriptionQueue(QString folder, Dependencies deps, QObject* parent)
    : QObject(parent), m_folder(std::move(folder)), m_deps(std::move(deps))
{
    recount();
}

OfflineTranscriptionQueue::~OfflineTranscriptionQueue()
{
    if (m_started)
        m_deps.monitor.setHandler({});
}

QDateTime OfflineTranscriptionQueue::now() const
{
    return m_deps.clock ? m_deps.clock() : QDateTime::currentDateTimeUtc();
}

QString OfflineTranscriptionQueue::metaPath(const QUuid& id) const
{
    return QDir(m_folder).filePath(uuidText(id) + kJsonSuffix);
}

void OfflineTranscriptionQueue::start(Transcriber& transcriber, ChatClient& chat)
{
    if (m_started)
        return;
    m_started = true;
    m_transcriber = &transcriber;
    m_chat = &chat;
    recount();
    m_deps.monitor.setHandler([this](NetworkPathStatus status) {
        if (status == NetworkPathStatus::satisfied)
            QTimer::singleShot(0, this, [this] { auto running = drain(); });
    });
    m_deps.monitor.start();
    QTimer::singleShot(0, this, [this] { auto running = drain(); });
}

std::optional<QString> OfflineTranscriptionQueue::enqueue(const QString& audioFile, const TranscriptionMode& mode,
                                                          const QString& prompt, double duration)
{
    return enqueueItem(audioFile, mode, prompt, duration, std::nullopt);
}

std::optional<QString> OfflineTranscriptionQueue::enqueueItem(const QString& audioFile, const TranscriptionMode& mode,
                                                              const QString& prompt, double duration,
                                                              std::optional<QUuid> transcriptionID)
{
    auto refuse = [&](const QString& why) {
        m_deps.log.log(QStringLiteral("APP offlineQueue: enqueue failed for %1: %2").arg(audioFile, why), flowTag());
        return QStringLiteral("Hors-ligne — la dictée n'a pas pu être mise en attente (%1). "
                              "L'enregistrement reste dans « %2 ».")
            .arg(why, audioFile);
    };
    QDir dir(m_folder);
    if (!dir.mkpath(QStringLiteral(".")))
        return refuse(QStringLiteral("dossier « %1 » impossible à créer").arg(m_folder));
    QFile::setPermissions(m_folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    PendingMeta meta;
    meta.id = QUuid::createUuid();
    const QString suffix = QFileInfo(audioFile).suffix();
    meta.audioFile = uuidText(meta.id) + (suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix);
    const QString target = dir.filePath(meta.audioFile);

    // 1. The recording into the folder: a rename when it can, else a copy synced to disk; the
    // original is removed only once the item is complete.
    const bool renamed = QFile::rename(audioFile, target);
    if (!renamed) {
        if (!QFile::copy(audioFile, target) || !syncFile(target)) {
            QFile::remove(target);
            return refuse(QStringLiteral("copie de l'enregistrement impossible — disque plein ?"));
        }
    }
    QFile::setPermissions(target, kOwnerOnly);

    // 2-3. The metadata, written whole or not at all.
    const AIChoice ai = AIProviderSettings::forMode(mode, m_deps.settings);
    meta.transcriptionID = transcriptionID;
    meta.modeName = mode.name;
    meta.provider = mode.transcriptionProviderRaw;
    meta.model = mode.transcriptionModel;
    meta.language = mode.language;
    meta.enableAI = mode.enableAIEnhancement;
    meta.aiProvider = rawValue(ai.provider);
    meta.aiModel = ai.model;
    meta.prompt = prompt;
    meta.duration = duration;
    meta.createdAt = double(now().toMSecsSinceEpoch()) / 1000.0;
    QSaveFile file(metaPath(meta.id));
    const QByteArray bytes = meta.encode();
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush() ||
        ::fsync(file.handle()) != 0 || !file.commit()) {
        file.cancelWriting();
        if (renamed)
            QFile::rename(target, audioFile);
        else
            QFile::remove(target);
        return refuse(QStringLiteral("écriture de « %1 » impossible — disque plein ?").arg(metaPath(meta.id)));
    }
    QFile::setPermissions(metaPath(meta.id), kOwnerOnly);
    if (!renamed)
        QFile::remove(audioFile);

    // 4-5.
    recount();
    m_deps.log.log(QStringLiteral("APP offlineQueue: enqueued ") + meta.description(), flowTag());
    prune();
    return std::nullopt;
}

QList<PendingMeta> OfflineTranscriptionQueue::pendingItems() const
{
    QList<PendingMeta> items;
    const QDir dir(m_folder);
    for (const QString& name : dir.entryList({QLatin1Char('*') + kJsonSuffix}, QDir::Files)) {
        QFile f(dir.filePath(name));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        if (auto meta = PendingMeta::decode(f.read(1 << 20)))
            items << *meta;
    }
    std::stable_sort(items.begin(), items.end(),
                     [](const PendingMeta& a, const PendingMeta& b) { return a.createdAt < b.createdAt; });
    return items;
}

void OfflineTranscriptionQueue::prune()
{
    QList<PendingMeta> items = pendingItems();
    const double cutoff = double(now().toMSecsSinceEpoch()) / 1000.0 - double(kMaxPendingAgeSeconds);
    QList<PendingMeta> kept;
    for (const PendingMeta& item : items) {
        if (item.createdAt < cutoff)
            removeItem(item, true);
        else
            kept << item;
    }
    for (qsizetype i = 0; kept.size() - i > kMaxPendingItems; ++i)
        removeItem(kept[i], true);
    recount();
}

void OfflineTranscriptionQueue::removeItem(const PendingMeta& item, bool withRecord)
{
    // The metadata first: an item without it is never processed again.
    QFile::remove(metaPath(item.id));
    QFile::remove(QDir(m_folder).filePath(item.audioFile));
    if (withRecord && item.transcriptionID && m_deps.store.find<Transcription>(*item.transcriptionID))
        (void)m_deps.store.remove<Transcription>(*item.transcriptionID);
}

void OfflineTranscriptionQueue::setAside(const QString& metaFile, const QString& why)
{
    QDir dir(m_folder);
    dir.mkpath(QLatin1String(kSetAsideFolderName));
    const QString base = QFileInfo(metaFile).completeBaseName();
    // The recording is named after the item, like its metadata.
    for (const QString& name : dir.entryList({base + QStringLiteral(".*")}, QDir::Files))
        QFile::rename(dir.filePath(name), dir.filePath(QLatin1String(kSetAsideFolderName) + QLatin1Char('/') + name));
    if (m_report)
        m_report->setAside << QStringLiteral("%1 : %2").arg(QFileInfo(metaFile).fileName(), why);
    m_deps.log.log(QStringLiteral("APP offlineQueue: set aside %1 in %2/: %3")
                       .arg(QFileInfo(metaFile).fileName(), QLatin1String(kSetAsideFolderName), why),
                   flowTag());
    recount();
}

void OfflineTranscriptionQueue::recount()
{
    const int count = int(QDir(m_folder).entryList({QLatin1Char('*') + kJsonSuffix}, QDir::Files).size());
    if (count == m_pendingCount)
        return;
    m_pendingCount = count;
    Q_EMIT pendingCountChanged(count);
}

QCoro::Task<> OfflineTranscriptionQueue::drain()
{
    if (!m_started)
        co_return;
    if (m_isProcessing) {
        m_rerunAfterDrain = true;
        co_return;
    }
    m_isProcessing = true;
    QPointer<OfflineTranscriptionQueue> self(this);
    // Held for the whole drain; only a dead holder's lock is taken over, however long it ran.
    QLockFile lock(QDir(m_folder).filePath(QStringLiteral(".drain.lock")));
    lock.setStaleLockTime(0);
    // A folder where no lock can be written is drained as before: only a live holder stops us.
    if (QFileInfo::exists(m_folder) && !lock.tryLock(0) && lock.error() == QLockFile::LockFailedError) {
        m_deps.log.log(QStringLiteral("APP offlineQueue: another process is draining"), flowTag());
        if (m_report)
            m_report->busy = true;
        m_isProcessing = false;
        Q_EMIT drained();
        co_return;
    }
    do {
        m_rerunAfterDrain = false;
        // Undecodable items go aside first, so that what remains can be taken oldest first.
        const QDir dir(m_folder);
        for (const QString& name : dir.entryList({QLatin1Char('*') + kJsonSuffix}, QDir::Files)) {
            QFile f(dir.filePath(name));
            if (f.open(QIODevice::ReadOnly) && !PendingMeta::decode(f.read(1 << 20)))
                setAside(dir.filePath(name), QStringLiteral("métadonnées illisibles"));
        }
        bool offline = false;
        for (const PendingMeta& item : pendingItems()) {
            // Removed meanwhile (pruned by an enqueue during the previous item).
            if (!QFileInfo::exists(metaPath(item.id)))
                continue;
            const Outcome outcome = co_await process(item);
            if (!self)
                co_return;
            if (outcome == Outcome::offline) {
                offline = true;
                break;
            }
        }
        if (offline && m_report)
            m_report->offline = true;
        if (offline && !m_rerunAfterDrain)
            break;
    } while (m_rerunAfterDrain);
    m_isProcessing = false;
    Q_EMIT drained();
}

QCoro::Task<OfflineTranscriptionQueue::DrainReport> OfflineTranscriptionQueue::drainOnce(Transcriber& transcriber,
                                                                                       ChatClient& chat)
{
    DrainReport report;
    if (m_started || m_isProcessing)
        co_return report; // this process's own watcher drains
    m_started = true;
    m_transcriber = &transcriber;
    m_chat = &chat;
    m_report = &report;
    auto draining = drain();
    co_await draining;
    m_report = nullptr;
    m_started = false;
    co_return report;
}

QCoro::Task<OfflineTranscriptionQueue::Outcome> OfflineTranscriptionQueue::process(PendingMeta item)
{
    QPointer<OfflineTranscriptionQueue> self(this);
    m_processingIDs.insert(item.id);
    Q_EMIT processingIDsChanged();
    auto finished = [this, &item](Outcome o) {
        m_processingIDs.remove(item.id);
        Q_EMIT processingIDsChanged();
        return o;
    };

    const QString audioPath = QDir(m_folder).filePath(item.audioFile);
    const auto provider = transcriptionProviderFromRaw(item.provider);
    if (!provider) {
        setAside(metaPath(item.id), QStringLiteral("fournisseur inconnu « %1 »").arg(item.provider));
        co_return finished(Outcome::dropped);
    }
    if (!QFileInfo::exists(audioPath)) {
        setAside(metaPath(item.id), QStringLiteral("enregistrement « %1 » introuvable").arg(item.audioFile));
        co_return finished(Outcome::dropped);
    }

    QList<DictionaryEntry> entries = m_deps.store.fetch<DictionaryEntry>();
    TranscriptionJob job{audioPath, *provider, item.model, item.language,
                         DictionaryInjector::transcriptionHint(entries), false, std::nullopt};
    auto transcribing = m_transcriber->transcribe(std::move(job));
    const auto result = co_await transcribing;
    if (!self)
        co_return Outcome::offline;
    if (!result) {
        if (isUnreachableError(result.error()))
            co_return finished(Outcome::offline);
        const QString error = result.error().description();
        // A missing or refused key is no reason to lose what the user said: the recording joins
        // the failed dictations when they can take it, and only the queue's item goes.
        const bool kept = m_deps.keepFailed && m_deps.keepFailed(audioPath, item, error);
        removeItem(item, false);
        recount();
        if (m_report)
            m_report->dropped << QStringLiteral("%1 : %2%3").arg(
                item.description(), error,
                kept ? QStringLiteral(" (enregistrement gardé : ovra retry %1)").arg(uuidText(item.id)) : QString());
        m_deps.log.log(QStringLiteral("APP offlineQueue: dropped %1: %2").arg(item.description(), error), flowTag());
        if (kept)
            m_deps.log.log(QStringLiteral("APP offlineQueue: recording of %1 kept with the failed dictations")
                               .arg(item.description()),
                           flowTag());
        co_return finished(Outcome::dropped);
    }
    const QString raw = *result;
    const std::optional<double> transcriptionCost = m_transcriber->lastCostUSD();

    const QString replaced = DictionaryInjector::applyReplacements(raw, entries);
    QString finalText = replaced;
    bool enhanced = false;
    std::optional<QString> aiOutput;
    std::optional<int> fixes;
    std::optional<QString> category;
    std::optional<double> aiCost;
    const auto aiProvider = aiProviderFromRaw(item.aiProvider);
    if (item.enableAI && aiProvider) {
        const RewriteRequest request = RewritePrompt::buildRewriteRequest(
            item.prompt, replaced, DictionaryInjector::vocabularyBlock(entries),
            RewritePrompt::learnedStyleBlock(m_deps.store.fetch<LearningSuggestion>(), std::nullopt));
        auto sending = m_chat->send(request.messages, item.aiModel, request.system, RewritePrompt::kRewriteMaxTokens,
                                    *aiProvider);
        const auto answer = co_await sending;
        if (!self)
            co_return Outcome::offline;
        const std::optional<ParsedRewrite> parsed =
            answer ? std::optional(PostProcessMetaParser::parse(*answer)) : std::nullopt;
        // An empty rewrite of a non-empty text would store nothing: keep the transcript.
        if (parsed && !(parsed->text.trimmed().isEmpty() && !replaced.trimmed().isEmpty())) {
            enhanced = true;
            finalText = parsed->text;
            aiOutput = parsed->text;
            aiCost = m_chat->lastCostUSD();
            if (parsed->meta) {
                fixes = parsed->meta->fixes;
                category = parsed->meta->category;
            }
        } else if (!answer) {
            m_deps.log.log(QStringLiteral("APP offlineQueue: AI rewrite failed for %1: %2")
                               .arg(item.description(), answer.error().errorDescription()),
                           flowTag());
        }
    }

    // The record takes the item's id when none was made for it: processing the same item again
    // after a crash rewrites the record instead of adding a second one.
    const QUuid recordID = item.transcriptionID.value_or(item.id);
    Transcription t = m_deps.store.find<Transcription>(recordID).value_or(Transcription{});
    t.id = recordID;
    if (!item.transcriptionID || !m_deps.store.find<Transcription>(recordID)) {
        t.createdAt = QDateTime::fromMSecsSinceEpoch(qint64(item.createdAt * 1000.0), Qt::UTC);
        t.duration = item.duration;
        t.modeName = item.modeName;
        t.transcriptionProvider = item.provider;
        t.transcriptionModel = item.model;
    }
    t.text = finalText;
    t.rawWhisperText = raw;
    t.afterReplacementsText = replaced;
    t.aiOutputText = aiOutput;
    t.enhancedByAI = enhanced;
    t.aiFixCount = fixes;
    t.categoryRaw = category;
    t.wasMadeOffline = true;
    t.offlinePendingAt.reset();
    t.transcriptionCostUSD = transcriptionCost;
    t.aiCostUSD = aiCost;
    const StoreResult stored = m_deps.store.save([&]() -> StoreResult {
        if (auto ok = m_deps.store.replace(t); !ok)
            return ok;
        if (enhanced && fixes) {
            TransformationStat stat;
            stat.id = QUuid::createUuidV5(item.id, QStringLiteral("transformStat"));
            stat.fixCount = *fixes;
            stat.wordCount = wordCount(finalText);
            stat.source = QStringLiteral("dictation");
            stat.createdAt = t.createdAt;
            return m_deps.store.replace(stat);
        }
        return {};
    });
    if (!stored) {
        // The item stays: the next drain tries again.
        m_deps.log.log(QStringLiteral("APP offlineQueue: store failed for %1: %2").arg(item.description(),
                                                                                        stored.error().message),
                       flowTag());
        co_return finished(Outcome::offline);
    }
    DictionaryInjector::recordUsage(finalText, entries, now(), m_deps.store);
    if (!category && m_deps.categorization)
        m_deps.categorization->maybeAutoClassify();
    if (m_deps.stats)
        m_deps.stats->refresh();

    removeItem(item, false);
    recount();
    if (m_report)
        m_report->transcribed << recordID;
    m_deps.log.log(QStringLiteral("APP offlineQueue: transcribed ") + item.description(), flowTag());
    co_return finished(Outcome::done);
}
