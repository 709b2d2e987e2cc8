#pragma once
// Sorts dictations into the six categories by asking a language model, in batches of 20, and
// stores each answer in the dictation's categoryRaw. Runs by itself once 20 dictations wait.
#include "AIProviderSettings.h"
#include "CategorizationTrigger.h"
#include "ChatClient.h"
#include "OnDeviceLanguageModel.h"
#include "store/Enums.h"
#include "store/Records.h"

#include <QObject>
#include <QPointer>

class DebugLog;
class RecordStore;
class Settings;

class CategorizationManager : public QObject, public CategorizationTrigger
{
    Q_OBJECT
    Q_PROPERTY(bool isClassifying READ isClassifying NOTIFY isClassifyingChanged)
    Q_PROPERTY(QString lastSummary READ lastSummary NOTIFY lastSummaryChanged)
public:
    static constexpr int kBatchSize = 20;
    static constexpr int kAutoThreshold = 20;
    static constexpr int kItemLength = 240;
    static constexpr int kMaxTokens = 1024;

    CategorizationManager(OnDeviceLanguageModel& onDevice, Settings& settings, DebugLog& log,
                          QObject* parent = nullptr);

    // Both are handed over at start-up; while either is missing nothing runs.
    void setClaude(ChatClient* claude) { m_claude = claude; }
    void setModelContext(RecordStore* store) { m_store = store; }

    bool isClassifying() const { return m_isClassifying; }
    QString lastSummary() const { return m_lastSummary.value_or(QString()); }

    void maybeAutoClassify() override;
    // Classifies every uncategorised dictation; earlier batches stay stored when one fails.
    QCoro::Task<> classifyPending();
    // One batch: the category of each dictation, in order (absent when the answer gave none).
    QCoro::Task<Expected<QList<std::optional<TranscriptionCategory>>, APIError>>
    classifyBatch(QList<Transcription> batch, AIChoice choice);

    static QString systemPrompt();
    static QString onDeviceInstructions();
    static GenerationSchema classificationSchema();
    // "i: text" lines of a batch.
    static QString items(const QList<Transcription>& batch);
    // The positions and categories of a cloud answer (a JSON array of {i, category}).
    static QList<std::optional<TranscriptionCategory>> parseCloudAnswer(const QString& answer, qsizetype batchSize);
    // Lower-cased, then a raw value or a text containing one; the schema's case names too.
    static std::optional<TranscriptionCategory> matchCategory(const QString& text);
    static bool hasText(const Transcription& t);

Q_SIGNALS:
    void isClassifyingChanged(bool classifying);
    void lastSummaryChanged();

private:
    void setClassifying(bool classifying);
    int store(const QList<Transcription>& batch, const QList<std::optional<TranscriptionCategory>>& categories);

    OnDeviceLanguageModel& m_onDevice;
    Settings& m_settings;
    DebugLog& m_log;
    ChatClient* m_claude = nullptr;
    RecordStore* m_store = nullptr;
    bool m_isClassifying = false;
    std::optional<QString> m_lastSummary;
};
