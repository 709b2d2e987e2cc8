#include "CliArgs.h"
#include "CliCommand.h"
#include "NearestName.h"
#include "Services.h"
#include "Terminal.h"
#include "localmodels/WhisperModel.h"
#include "transcription/FallbackTranscriptionModel.h"

#include <QCoroTimer>
#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <csignal>

namespace {

const QString kFlow = QStringLiteral("FLOW");

struct Row
{
    QString id;
    QString name;
    QString engine; // "whisperKit", "parakeet" or "vad"
    const WhisperModel* whisper = nullptr;
};

QList<Row> catalogue()
{
    QList<Row> rows;
    for (const WhisperModel& m : WhisperModel::catalogue())
        rows.append({m.variant, FallbackTranscriptionModel::localModelName(m.variant), QStringLiteral("whisperKit"), &m});
    for (const QString& id : FallbackTranscriptionModel::localModelIDs(TranscriptionProvider::parakeet))
        rows.append({id, FallbackTranscriptionModel::localModelName(id), QStringLiteral("parakeet"), nullptr});
    rows.append({QString::fromLatin1(SileroModelStore::modelID), QStringLiteral("Silero VAD"), QStringLiteral("vad"), nullptr});
    return rows;
}

// "openai_whisper-tiny", "Whisper Tiny" or "tiny".
Expected<Row, CliError> findModel(const QString& typed)
{
    QStringList known;
    for (const Row& row : catalogue()) {
        const QString shortName = row.id.startsWith(QLatin1String("openai_whisper-")) ? row.id.mid(15) : row.id;
        if (typed == row.id || typed.compare(row.name, Qt::CaseInsensitive) == 0 ||
            typed.compare(shortName, Qt::CaseInsensitive) == 0)
            return row;
        known << row.id;
        if (row.whisper)
            known << shortName;
    }
    QString message = QStringLiteral("Modèle inconnu : ") + typed;
    if (const auto near = nearestName(typed, known))
        message += QStringLiteral("\nVouliez-vous dire « ") + *near + QStringLiteral(" » ?");
    message += QStringLiteral("\nLes modèles : ovra models list");
    return unexpected(CliError{message, 1});
}

// The process downloading a model in another `ovra`, from the file it keeps in the folder.
qint64 downloadingProcess(const QString& folder)
{
    QFile file(WhisperKitModelStore::downloadPidFile(folder));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const qint64 pid = file.readAll().trimmed().toLongLong();
    if (pid <= 0 || pid == QCoreApplication::applicationPid())
        return 0;
    // A file left by a process that died is stale; its number may belong to another program now.
    QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (!cmdline.open(QIODevice::ReadOnly) || !cmdline.readAll().contains("ovra"))
        return 0;
    return pid;
}

bool hasPartialFiles(const QString& folder)
{
    QDirIterator it(folder, {QStringLiteral("*.partial")}, QDir::Files, QDirIterator::Subdirectories);
    return it.hasNext();
}

QString stateOf(LocalModels& models, const Row& row, QString* json)
{
    const QString folder = row.whisper                          ? models.whisperStore().folderFor(row.id)
                           : LocalModels::isParakeet(row.id)        ? models.parakeet().folder()
                           : LocalModels::isVoiceDetector(row.id) ? QFileInfo(models.voiceDetectorFile()).path()
                                                                    : QString();
    if (models.isDownloaded(row.id))
        return *json = QStringLiteral("downloaded"), QStringLiteral("téléchargé");
    if (!folder.isEmpty() && downloadingProcess(folder) > 0)
        return *json = QStringLiteral("downloading"), QStringLiteral("téléchargement en cours");
    if (!folder.isEmpty() && hasPartialFiles(folder))
        return *json = QStringLiteral("partial"), QStringLiteral("partiel (reprise possible)");
    return *json = QStringLiteral("notDownloaded"), QStringLiteral("non téléchargé");
}

QString megabytes(qint64 bytes)
{
    return QString::number(double(bytes) / 1e6, 'f', bytes >= 10'000'000 ? 0 : 1) + QStringLiteral(" Mo");
}

int listModels(CliContext& ctx, bool json)
{
    LocalModels& models = ctx.services.localModels();
    QJsonArray array;
    for (const Row& row : catalogue()) {
        QString stateKey;
        const QString state = stateOf(models, row, &stateKey);
        const qint64 onDisk = models.sizeOnDisk(row.id);
        if (json) {
            QJsonObject o{{QStringLiteral("id"), row.id},
                          {QStringLiteral("name"), row.name},
                          {QStringLiteral("engine"), row.engine},
                          {QStringLiteral("state"), stateKey},
                          {QStringLiteral("bytesOnDisk"), onDisk}};
            if (row.whisper) {
                o.insert(QStringLiteral("sizeMB"), row.whisper->sizeMB);
                o.insert(QStringLiteral("multilingual"), row.whisper->multilingual);
                o.insert(QStringLiteral("description"), row.whisper->description);
            }
            const QString file = row.whisper                            ? models.whisperStore().modelFile(row.id)
                                 : !models.isDownloaded(row.id)         ? QString()
                                 : LocalModels::isVoiceDetector(row.id) ? models.voiceDetectorFile()
                                                                        : models.parakeet().modelFile();
            o.insert(QStringLiteral("path"), file.isEmpty() ? QJsonValue() : QJsonValue(file));
            array.append(o);
            continue;
        }
        const QString size = row.whisper ? QString::number(row.whisper->sizeMB) + QStringLiteral(" Mo") : QStringLiteral("—");
        ctx.out << row.id.leftJustified(42) << row.name.leftJustified(36) << size.rightJustified(8) << "  "
                << state.leftJustified(26) << (onDisk > 0 ? megabytes(onDisk) + QStringLiteral(" sur disque") : QString())
                << "\n";
    }
    if (json)
        ctx.out << QJsonDocument(array).toJson(QJsonDocument::Indented);
    return 0;
}

QString progressText(const QString& id, double fraction, qint64 received, qint64 total, qint64 elapsedMs)
{
    QString text = id + QStringLiteral("  ") + QString::number(int(fraction * 100)) + QStringLiteral(" %");
    if (elapsedMs > 500 && received > 0) {
        const double rate = double(received) / (double(elapsedMs) / 1000.0);
        text += QStringLiteral("  ") + QString::number(rate / 1e6, 'f', 1) + QStringLiteral(" Mo/s");
        if (total > received && rate > 0)
            text += QStringLiteral("  reste ") + QString::number(qint64(double(total - received) / rate) + 1) +
                    QStringLiteral(" s");
    }
    return text;
}

QCoro::Task<int> downloadParakeet(CliContext& ctx, Row row)
{
    LocalModels& models = ctx.services.localModels();
    if (models.isDownloaded(row.id)) {
        ctx.out << "Déjà téléchargé : " << models.parakeet().modelFile() << "\n";
        co_return 0;
    }
    int lastTenth = -1;
    QObject guard;
    ParakeetTranscriptionService& parakeet = models.parakeet();
    QObject::connect(&parakeet, &ParakeetTranscriptionService::stateChanged, &guard, [&] {
        const double fraction = parakeet.downloadProgress();
        if (ctx.terminal.errorIsTerminal()) {
            ctx.terminal.showProgress(row.id + QStringLiteral("  ") + QString::number(int(fraction * 100)) +
                                      QStringLiteral(" %"));
        } else if (int(fraction * 10) > lastTenth) {
            lastTenth = int(fraction * 10);
            ctx.err << row.id << " : " << lastTenth * 10 << " %\n";
            ctx.err.flush();
        }
    });
    auto running = models.download(row.id);
    const auto result = co_await running;
    ctx.terminal.clearProgress();
    if (!result) {
        ctx.err << row.id << " : " << result.error().message << "\n";
        co_return 1;
    }
    ctx.out << "Modèle téléchargé : " << parakeet.modelFile() << "\n";
    co_return 0;
}

QCoro::Task<int> downloadVoiceDetector(CliContext& ctx, Row row)
{
    LocalModels& models = ctx.services.localModels();
    if (models.isDownloaded(row.id)) {
        ctx.out << "Déjà téléchargé : " << models.voiceDetectorFile() << "\n";
        co_return 0;
    }
    // Under a megabyte: no progress to show.
    auto running = models.download(row.id);
    const auto result = co_await running;
    if (!result) {
        ctx.err << row.id << " : " << result.error().message << "\n";
        co_return 1;
    }
    ctx.out << "Modèle téléchargé : " << models.voiceDetectorFile() << "\n";
    co_return 0;
}

QCoro::Task<int> download(CliContext& ctx, Row row)
{
    LocalModels& models = ctx.services.localModels();
    if (LocalModels::isVoiceDetector(row.id)) {
        auto running = downloadVoiceDetector(ctx, row);
        co_return co_await running;
    }
    if (LocalModels::isParakeet(row.id)) {
        auto running = downloadParakeet(ctx, row);
        co_return co_await running;
    }
    if (!row.whisper) {
        ctx.err << row.name << " : moteur indisponible sur ce système\n";
        co_return 1;
    }
    if (models.isDownloaded(row.id)) {
        ctx.out << "Déjà téléchargé : " << models.whisperStore().modelFile(row.id) << "\n";
        co_return 0;
    }
    if (downloadingProcess(models.whisperStore().folderFor(row.id)) > 0) {
        ctx.err << row.id << " est déjà en cours de téléchargement par un autre ovra.\n";
        co_return 1;
    }
    WhisperKitModelStore& store = models.whisperStore();
    QElapsedTimer clock;
    clock.start();
    int lastTenth = -1;
    // The first bytes of a resumed download were not received now: the rate counts from there.
    qint64 startBytes = -1;
    QObject guard;
    QObject::connect(&store, &WhisperKitModelStore::changed, &guard, [&] {
        const auto [received, total] = store.transferred(row.id);
        if (total <= 0)
            return;
        if (startBytes < 0)
            startBytes = received;
        const double fraction = double(received) / double(total);
        if (ctx.terminal.errorIsTerminal()) {
            ctx.terminal.showProgress(progressText(row.id, fraction, received - startBytes, total - startBytes,
                                                   clock.elapsed()));
        } else if (int(fraction * 10) > lastTenth) {
            lastTenth = int(fraction * 10);
            ctx.err << row.id << " : " << lastTenth * 10 << " %\n";
            ctx.err.flush();
        }
    });
    auto running = models.download(row.id);
    const auto result = co_await running;
    ctx.terminal.clearProgress();
    if (!result) {
        ctx.err << row.id << " : " << result.error().message << "\n";
        co_return 1;
    }
    ctx.out << "Modèle téléchargé : " << store.modelFile(row.id) << "\n";
    co_return 0;
}

QCoro::Task<int> cancel(CliContext& ctx, Row row)
{
    LocalModels& models = ctx.services.localModels();
    if (LocalModels::isParakeet(row.id) || LocalModels::isVoiceDetector(row.id)) {
        auto cancelling = models.cancel(row.id);
        co_await cancelling;
        ctx.out << "Fichiers partiels de " << row.id << " supprimés.\n";
        co_return 0;
    }
    if (!row.whisper) {
        ctx.err << row.name << " : moteur indisponible sur ce système\n";
        co_return 1;
    }
    const QString folder = models.whisperStore().folderFor(row.id);
    const qint64 pid = downloadingProcess(folder);
    if (pid <= 0) {
        auto cancelling = models.cancel(row.id);
        co_await cancelling;
        ctx.out << "Aucun téléchargement en cours pour " << row.id << " ; les fichiers partiels sont supprimés.\n";
        co_return 0;
    }
    // The download runs in another ovra: it is stopped, and given the same 20 s as one of ours.
    DebugLog& log = ctx.services.log();
    log.log(QStringLiteral("APP WhisperKit: annulation ") + row.id, kFlow);
    ::kill(pid_t(pid), SIGTERM);
    const QDeadlineTimer deadline(WhisperKitModelStore::kCancelGrace);
    while (QFileInfo::exists(QStringLiteral("/proc/%1").arg(pid)) && !deadline.hasExpired()) {
        QTimer tick;
        tick.setSingleShot(true);
        tick.start(100);
        co_await tick;
    }
    if (QFileInfo::exists(QStringLiteral("/proc/%1").arg(pid))) {
        log.log(QStringLiteral("APP WhisperKit: ") + row.id + QStringLiteral(" — tâche encore active, partiels conservés"),
                kFlow);
        ctx.err << "Le téléchargement de " << row.id << " ne s'est pas arrêté ; les fichiers partiels sont conservés.\n";
        co_return 1;
    }
    QFile::remove(WhisperKitModelStore::downloadPidFile(folder));
    WhisperKitModelStore::removePartialFiles(folder, log);
    log.log(QStringLiteral("APP WhisperKit: ") + row.id + QStringLiteral(" annulé, partiels supprimés"), kFlow);
    ctx.out << "Téléchargement de " << row.id << " annulé.\n";
    co_return 0;
}

QCoro::Task<int> modelsCommand(CliContext& ctx, QStringList args)
{
    const auto parsed = CliArgs::parse(args, {QStringLiteral("json")}, {});
    if (!parsed)
        co_return usageError(ctx, parsed.error());
    const QString verb = parsed->at(0);
    if (verb == QLatin1String("list") && parsed->positional().size() == 1)
        co_return listModels(ctx, parsed->flag(QStringLiteral("json")));
    const bool oneName = parsed->positional().size() == 2 && !parsed->flag(QStringLiteral("json"));
    if (!oneName || (verb != QLatin1String("download") && verb != QLatin1String("cancel") &&
                     verb != QLatin1String("delete")))
        co_return usageError(ctx);
    const auto row = findModel(parsed->at(1));
    if (!row)
        co_return refuse(ctx, row.error());
    if (verb == QLatin1String("download")) {
        auto running = download(ctx, *row);
        co_return co_await running;
    }
    if (verb == QLatin1String("cancel")) {
        auto running = cancel(ctx, *row);
        co_return co_await running;
    }
    LocalModels& models = ctx.services.localModels();
    const bool present = models.sizeOnDisk(row->id) > 0 || models.isDownloaded(row->id);
    models.remove(row->id);
    ctx.out << (present ? QStringLiteral("Modèle supprimé : ") : QStringLiteral("Rien à supprimer : ")) << row->id
            << "\n";
    co_return 0;
}

} // namespace

QList<CliCommand> modelCommands()
{
    return {{QStringLiteral("models"), QStringLiteral("Les modèles de transcription sur l'appareil : liste, téléchargement."),
             &modelsCommand,
             {},
             {{QStringLiteral("list"), QStringLiteral("[--json]"),
               QStringLiteral("Liste les modèles, leur état et leur place sur le disque."), Services::StoreUse::none},
              {QStringLiteral("download"), QStringLiteral("MODÈLE"),
               QStringLiteral("Télécharge un modèle (reprend un téléchargement interrompu)."), Services::StoreUse::none},
              {QStringLiteral("cancel"), QStringLiteral("MODÈLE"),
               QStringLiteral("Arrête un téléchargement et supprime ses fichiers partiels."), Services::StoreUse::none},
              {QStringLiteral("delete"), QStringLiteral("MODÈLE"), QStringLiteral("Supprime un modèle téléchargé."),
               Services::StoreUse::none}},
             QStringLiteral("MODÈLE : l'identifiant (openai_whisper-tiny), le nom (« Whisper Tiny ») ou le\n"
                            "nom court (tiny). Les modèles viennent de l'hôte nommé par OVRA_MODELS_BASE_URL\n"
                            "(Hugging Face sinon) ; leur taille et leur empreinte SHA-256 sont vérifiées.\n"
                            "Options :\n"
                            "  --json   la liste avec l'état, la taille sur disque et le chemin de chaque modèle"),
             Services::StoreUse::none}};
}
