#pragma once
// Turns one recording into raw text: trims silence, sends the audio to the mode's cloud
// provider, on-device model or system recogniser, applies the fallbacks, records the cost and
// keeps an observable "transcribing" flag.
#include "CloudTranscriber.h"
#include "LocalModelServices.h"
#include "TranscriptionError.h"
#include "store/Enums.h"

#include <QCoroTask>
#include <QObject>
#include <QStringList>
#include <optional>

class DebugLog;
class NetworkPathMonitor;
class Settings;
class SilenceTrimming;
class SystemRecognizer;
class UploadCompressor;
class UsageRecorder;

class TranscriptionManager : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isTranscribing READ isTranscribing NOTIFY isTranscribingChanged)
public:
    struct Dependencies
    {
        CloudTranscriber& cloud;
        UploadCompressor& compressor;
        SilenceTrimming& trimmer;
        SystemRecognizer& appleSpeech;
        LocalModelServices& localModels;
        NetworkPathMonitor& monitor;
        UsageRecorder& usage;
        Settings& settings;
        DebugLog& log;
        // Seconds of audio in a file (blocking; run off the main thread). AudioFile by default.
        std::function<std::optional<double>(const QString&)> duration = {};
    };

    explicit TranscriptionManager(Dependencies deps, QObject* parent = nullptr);

    bool isTranscribing() const { return m_isTranscribing; }
    // The cost of the last transcription when it was a successful cloud one.
    std::optional<double> lastCostUSD() const { return m_lastCostUSD; }

    QCoro::Task<Expected<QString, TranscriptionError>> transcribe(QString file, TranscriptionProvider provider,
                                                                  QString model, QString language,
                                                                  std::optional<QString> vocabularyHint = std::nullopt,
                                                                  bool trimSilence = false,
                                                                  std::optional<int> nemotronChunkOverride = std::nullopt);

    // "Groq", "OpenAI", "Google Gemini", "Apple Speech", "NVIDIA", "Whisper (local)".
    static QString shortName(TranscriptionProvider provider);

Q_SIGNALS:
    void isTranscribingChanged(bool transcribing);
    void lastCostUSDChanged();
    // The provider asked for failed and a fallback produced the text: who failed, why, and
    // which fallback answered.
    void fellBack(const QString& provider, const QString& reason, const QString& fallback);

private:
    QCoro::Task<Expected<QString, TranscriptionError>> dispatch(QString file, TranscriptionProvider provider,
                                                                QString model, QString language,
                                                                std::optional<QString> hint,
                                                                std::optional<int> chunkOverride);
    QCoro::Task<Expected<QString, TranscriptionError>> transcribeCloud(QString file, TranscriptionProvider provider,
                                                                       QString model, QString language,
                                                                       std::optional<QString> hint,
                                                                       std::optional<int> chunkOverride);
    QCoro::Task<Expected<QString, TranscriptionError>> sendOnce(QString file, TranscriptionProvider provider,
                                                                QString model, QString language,
                                                                std::optional<QString> hint);
    QCoro::Task<Expected<QString, TranscriptionError>> transcribeLocal(QString file, TranscriptionProvider provider,
                                                                       QString model, QString language,
                                                                       std::optional<int> chunkOverride);
    QCoro::Task<Expected<QString, TranscriptionError>> appleSpeech(QString file, QString language);
    int effectiveChunk(std::optional<int> chunkOverride) const;
    void setTranscribing(bool on);
    void setLastCost(std::optional<double> cost);

    Dependencies m_deps;
    bool m_isTranscribing = false;
    std::optional<double> m_lastCostUSD;
};
