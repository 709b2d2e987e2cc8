#include "TranscriptionManager.h"

#include "FallbackTranscriptionModel.h"
#include "SilenceTrimming.h"
#include "SystemRecognizer.h"
#include "UploadCompressor.h"
#include "audio/AudioFile.h"
#include "network/Pricing.h"
#include "network/UsageRecorder.h"
#include "platform/Bcp47.h"
#include "platform/NetworkPathMonitor.h"
#include "store/DebugLog.h"
#include "store/Records.h"
#include "store/Settings.h"

#include <QCoroFuture>
#include <QFile>
#include <QLocale>
#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>

// The manager and its collaborators belong to the composition root and live for the whole
// run, so the coroutines below use them after suspension points. Awaited tasks are named
// locals: GCC 12 mishandles temporaries inside a co_await expression.

namespace {

const QString kFlow = QStringLiteral("FLOW");

QString localeFor(const QString& language)
{
    return Bcp47::resolveAuto(language);
}

bool isNemotronMultilingual(const QString& model)
{
    return model == QLatin1String("nemotron-latin-0.6b") || model == QLatin1String("nemotron-multilingual-0.6b");
}

LocalEngine engineFor(TranscriptionProvider provider, const QString& model)
{
    if (provider == TranscriptionProvider::whisperKit)
        return LocalEngine::whisperKit;
    if (isNemotronMultilingual(model))
        return LocalEngine::nemotronMultilingual;
    if (model == QLatin1String("nemotron-en-0.6b"))
        return LocalEngine::nemotronEnglish;
    if (model == QLatin1String("parakeet-unified-0.6b"))
        return LocalEngine::parakeetUnified;
    return LocalEngine::parakeetTDT;
}

bool shouldUseFallback(const TranscriptionError& e, bool networkUp)
{
    if (e.kind != TranscriptionError::Kind::api)
        return false;
    switch (e.api.kind()) {
    case APIError::Kind::serverError:
    case APIError::Kind::invalidResponse:
    case APIError::Kind::decodingFailed:
        return true;
    default:
        return isUnreachableError(e.api) && networkUp;
    }
}

bool isConnectionLost(const TranscriptionError& e)
{
    const auto url = e.kind == TranscriptionError::Kind::api ? e.api.urlError() : std::nullopt;
    return url && url->code == URLError::Code::networkConnectionLost;
}

// Removes a temporary file when the scope ends, whatever the path out.
struct TemporaryFile
{
    QString path;
    ~TemporaryFile()
    {
        if (!path.isEmpty())
            QFile::remove(path);
    }
};

} // namespace

TranscriptionManager::TranscriptionManager(Dependencies deps, QObject* parent) : QObject(parent), m_deps(std::move(deps))
{
    if (!m_deps.duration)
        m_deps.duration = [](const QString& file) -> std::optional<double> {
            const auto seconds = AudioFile::duration(file);
            return seconds ? std::optional<double>(seconds.value()) : std::nullopt;
        };
}

QString TranscriptionManager::shortName(TranscriptionProvider provider)
{
    switch (provider) {
    case TranscriptionProvider::groq:
        return QStringLiteral("Groq");
    case TranscriptionProvider::openai:
        return QStringLiteral("OpenAI");
    case TranscriptionProvider::gemini:
        return QStringLiteral("Google Gemini");
    case TranscriptionProvider::apple:
        return QStringLiteral("Apple Speech");
    case TranscriptionProvider::parakeet:
        return QStringLiteral("NVIDIA");
    case TranscriptionProvider::whisperKit:
        return QStringLiteral("Whisper (local)");
    }
    return {};
}

void TranscriptionManager::setTranscribing(bool on)
{
    if (m_isTranscribing == on)
        return;
    m_isTranscribing = on;
    Q_EMIT isTranscribingChanged(on);
}

void TranscriptionManager::setLastCost(std::optional<double> cost)
{
    if (m_lastCostUSD == cost)
        return;
    m_lastCostUSD = cost;
    Q_EMIT lastCostUSDChanged();
}

QCoro::Task<Expected<QString, TranscriptionError>>
TranscriptionManager::transcribe(QString file, TranscriptionProvider provider, QString model, QString language,
                                 std::optional<QString> vocabularyHint, bool trimSilence,
                                 std::optional<int> nemotronChunkOverride)
{
    setTranscribing(true);
    setLastCost(std::nullopt);
    TemporaryFile trimmed;
    QString audio = file;
    if (trimSilence) {
        QCoro::Task<TrimOutcome> trimming = m_deps.trimmer.trim(file);
        const TrimOutcome outcome = co_await trimming;
        if (outcome.kind == TrimOutcome::Kind::empty) {
            setTranscribing(false);
            co_return unexpected(TranscriptionError::noSpeechDetected());
        }
        if (outcome.kind == TrimOutcome::Kind::trimmed && outcome.file != file) {
            trimmed.path = outcome.file;
            audio = outcome.file;
        }
    }
    auto dispatching = dispatch(audio, provider, model, language, vocabularyHint, nemotronChunkOverride);
    auto result = co_await dispatching;
    setTranscribing(false);
    co_return result;
}

QCoro::Task<Expected<QString, TranscriptionError>>
TranscriptionManager::dispatch(QString file, TranscriptionProvider provider, QString model, QString language,
                               std::optional<QString> hint, std::optional<int> chunkOverride)
{
    switch (provider) {
    case TranscriptionProvider::whisperKit:
    case TranscriptionProvider::parakeet: {
        auto local = transcribeLocal(file, provider, model, language, chunkOverride);
        co_return co_await local;
    }
    case TranscriptionProvider::apple: {
        auto apple = appleSpeech(file, language);
        co_return co_await apple;
    }
    case TranscriptionProvider::groq:
    case TranscriptionProvider::openai:
    case TranscriptionProvider::gemini:
        break;
    }
    auto cloud = transcribeCloud(file, provider, model, language, hint, chunkOverride);
    co_return co_await cloud;
}

QCoro::Task<Expected<QString, TranscriptionError>>
TranscriptionManager::appleSpeech(QString file, QString language)
{
    const QString locale = localeFor(language);
    auto recognizing = m_deps.appleSpeech.transcribe(file, locale);
    auto text = co_await recognizing;
    if (!text) {
        // Silence is not a failure of the recogniser.
        const auto kind = text.error().kind == AppleSpeechError::Kind::noResult ? TranscriptionError::Kind::noSpeech
                                                                               : TranscriptionError::Kind::appleSpeech;
        co_return unexpected(TranscriptionError{kind, {}, text.error().message()});
    }
    co_return text.value();
}

int TranscriptionManager::effectiveChunk(std::optional<int> chunkOverride) const
{
    auto valid = [](qint64 ms) { return ms == 560 || ms == 1120 || ms == 2240; };
    if (chunkOverride && valid(*chunkOverride))
        return *chunkOverride;
    const qint64 stored = m_deps.settings.intValue(SharedDefaultsKey::nemotronChunkMs, 1120);
    return valid(stored) ? int(stored) : 1120;
}

QCoro::Task<Expected<QString, TranscriptionError>>
TranscriptionManager::transcribeLocal(QString file, TranscriptionProvider provider, QString model, QString language,
                                      std::optional<int> chunkOverride)
{
    const LocalEngine engine = engineFor(provider, model);
    const std::optional<int> chunk =
        engine == LocalEngine::nemotronMultilingual ? std::optional<int>(effectiveChunk(chunkOverride)) : std::nullopt;
    auto running = m_deps.localModels.transcribe(engine, file, model, language, chunk);
    auto text = co_await running;
    if (text)
        co_return text.value();

    const LocalModelError failure = text.error();
    if (failure.cancelled)
        co_return unexpected(TranscriptionError{TranscriptionError::Kind::cancelled, {}, failure.message});
    if (provider == TranscriptionProvider::parakeet) {
        const bool multilingualOrEnglish =
            engine == LocalEngine::nemotronMultilingual || engine == LocalEngine::nemotronEnglish;
        m_deps.localModels.checkIntegrity(engine, model,
                                          multilingualOrEnglish ? std::optional<int>(effectiveChunk(chunkOverride))
                                                                : std::nullopt);
    }
    m_deps.log.log(QStringLiteral("APP transcribe: modèle local en échec (") + failure.message +
                       QStringLiteral(") → repli Apple Speech"),
                   kFlow);
    const QString locale = localeFor(language);
    auto recognizing = m_deps.appleSpeech.transcribe(file, locale);
    auto fallback = co_await recognizing;
    if (fallback) {
        m_deps.log.log(QStringLiteral("APP transcribe: dictée transcrite en secours par Apple Speech (") +
                           QString::number(characterCount(fallback.value())) + QStringLiteral(" car.)"),
                       kFlow);
        Q_EMIT fellBack(shortName(provider), failure.message, shortName(TranscriptionProvider::apple));
        co_return fallback.value();
    }
    m_deps.log.log(QStringLiteral("APP transcribe: repli Apple Speech échoué (") + fallback.error().message() +
                       QStringLiteral(") — erreur d'origine relancée"),
                   kFlow);
    co_return unexpected(TranscriptionError{TranscriptionError::Kind::localModel, {}, failure.message});
}

QCoro::Task<Expected<QString, TranscriptionError>>
TranscriptionManager::sendOnce(QString file, TranscriptionProvider provider, QString model, QString language,
                               std::optional<QString> hint)
{
    if (provider == TranscriptionProvider::gemini) {
        auto gemini = m_deps.cloud.transcribeGemini(file, model, language, hint);
        co_return co_await gemini;
    }
    auto multipart = m_deps.cloud.transcribeMultipart(provider, file, model, language, hint);
    co_return co_await multipart;
}

QCoro::Task<Expected<QString, TranscriptionError>>
TranscriptionManager::transcribeCloud(QString file, TranscriptionProvider provider, QString model, QString language,
                                      std::optional<QString> hint, std::optional<int> chunkOverride)
{
    const QString raw = rawValue(provider);
    if (m_deps.monitor.isStarted() && m_deps.monitor.currentStatus() == NetworkPathStatus::unsatisfied) {
        m_deps.log.log(QStringLiteral("APP transcribe: hors-ligne (moniteur) → file hors-ligne, pas de secours (") + raw +
                           QStringLiteral(")"),
                       kFlow);
        co_return unexpected(TranscriptionError::fromAPI(APIError::transport(URLError::Code::notConnectedToInternet)));
    }

    std::optional<Expected<QString, TranscriptionError>> result;
    {
        TemporaryFile compressed;
        auto compressing = m_deps.compressor.compressForUploadIfBeneficial(file);
        const QString upload = co_await compressing;
        if (upload != file)
            compressed.path = upload;
        auto first = sendOnce(upload, provider, model, language, hint);
        result.emplace(co_await first);
        if (!*result && isConnectionLost(result->error())) {
            auto second = sendOnce(upload, provider, model, language, hint);
            result.emplace(co_await second);
        }
    }

    if (*result) {
        QFuture<std::optional<double>> measuring = QtConcurrent::run(m_deps.duration, file);
        const std::optional<double> seconds = co_await measuring;
        const double audioSeconds = seconds.value_or(0);
        m_deps.usage.recordTranscription(provider, model, audioSeconds);
        setLastCost(transcriptionCost(model, audioSeconds));
        co_return result->value();
    }

    const TranscriptionError cloudError = result->error();
    const bool networkUp = m_deps.monitor.currentStatus() == NetworkPathStatus::satisfied;
    if (!shouldUseFallback(cloudError, networkUp))
        co_return unexpected(cloudError);

    const auto choice = FallbackTranscriptionModel::resolve(m_deps.settings, m_deps.localModels);
    m_deps.log.log(QStringLiteral("APP transcribe: ") + raw + QStringLiteral(" injoignable RÉSEAU PRÉSENT (") +
                       cloudError.description() + QStringLiteral(") → secours ") + choice.name,
                   kFlow);
    auto fallingBack = choice.provider == TranscriptionProvider::apple
                           ? appleSpeech(file, language)
                           : dispatch(file, choice.provider, choice.model, language, std::nullopt, chunkOverride);
    auto fallback = co_await fallingBack;
    if (fallback) {
        m_deps.log.log(QStringLiteral("APP transcribe: dictée transcrite en secours par ") + choice.name +
                           QStringLiteral(" (") + QString::number(characterCount(fallback.value())) + QStringLiteral(" car.)"),
                       kFlow);
        Q_EMIT fellBack(shortName(provider), cloudError.description(), choice.name);
        co_return fallback.value();
    }
    m_deps.log.log(QStringLiteral("APP transcribe: secours ") + choice.name + QStringLiteral(" échoué (") +
                       fallback.error().description() + QStringLiteral(") — erreur d'origine relancée"),
                   kFlow);
    if (cloudError.api.kind() == APIError::Kind::serverError && cloudError.api.status() == 403)
        co_return unexpected(TranscriptionError::fromAPI(APIError::serverError(
            403, QStringLiteral("Accès refusé par ") + shortName(provider) +
                     QStringLiteral(". Un VPN ou un pare-feu bloque peut-être la connexion — essaie sans VPN, ou change "
                                    "de fournisseur de transcription dans ton mode."))));
    co_return unexpected(cloudError);
}
