#pragma once
// Asks a language model what the user's past dictations and corrections teach: vocabulary to
// add to the dictionary and durable style rules for the rewrite prompt. Suggestions are stored
// as pending LearningSuggestion records; nothing is applied until the user accepts it.
#include "AIProviderSettings.h"
#include "ChatClient.h"
#include "OnDeviceLanguageModel.h"
#include "store/Records.h"

#include <QJsonObject>
#include <QObject>

class RecordStore;
class Settings;

class LearningAnalyzer : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isAnalyzing READ isAnalyzing NOTIFY isAnalyzingChanged)
    Q_PROPERTY(QString lastError READ lastErrorText NOTIFY lastErrorChanged)
public:
    static constexpr int kCaseLimit = 30;
    static constexpr int kTextLimit = 2000;
    static constexpr int kMaxTokens = 4096;

    struct Outcome
    {
        int cases = 0; // dictations sent
        int kept = 0; // suggestions stored
        bool failed = false; // the request failed; lastError says why
    };

    LearningAnalyzer(ChatClient& claude, OnDeviceLanguageModel& onDevice, Settings& settings,
                     QObject* parent = nullptr);

    bool isAnalyzing() const { return m_isAnalyzing; }
    const std::optional<QString>& lastError() const { return m_lastError; }
    QString lastErrorText() const { return m_lastError.value_or(QString()); }

    QCoro::Task<Outcome> analyze(QList<Transcription> dictations, QList<DictionaryEntry> dictionary,
                                 QList<PromptPreset> presets, RecordStore& store, AIChoice choice, bool privacyScrub,
                                 int caseLimit = kCaseLimit);
    // The same with everything read from the store and the settings ("learning" feature's
    // provider and model, privacy scrub absent = on).
    QCoro::Task<Outcome> analyzeStore(RecordStore& store);

    // What the learning section shows after a run.
    static QString outcomeMessage(const Outcome& outcome);
    static QString nothingToAnalyzeMessage();
    static QString runningMessage();
    static QString noSuggestionError();

    static QString tuningPrompt();
    static QString frenchParagraph();
    static GenerationSchema suggestionSchema();
    // Cut to the text limit, then (when asked) numbers of 4+ digits and e-mail addresses hidden.
    static QString prepareText(const QString& text, bool privacyScrub);
    static bool qualifies(const Transcription& t);
    // The dictations a run sends: qualifying ones, corrected first, then newest first, cut.
    static QList<Transcription> selectCases(const QList<Transcription>& dictations, int caseLimit);
    static QJsonObject payload(const QList<Transcription>& cases, const QList<DictionaryEntry>& dictionary,
                               const QList<PromptPreset>& presets, bool privacyScrub);
    // Suggestions from the model's answer (first "{" to last "}"), mapped and filtered; absent
    // when the answer cannot be read at all.
    static std::optional<QList<LearningSuggestion>> parseAnswer(const QString& answer);
    static std::optional<QList<LearningSuggestion>> mapSuggestions(const QJsonObject& envelope);

Q_SIGNALS:
    void isAnalyzingChanged(bool analyzing);
    void lastErrorChanged();
    // Suggestions were stored.
    void suggestionsAdded(int count);

private:
    void setAnalyzing(bool analyzing);
    void setLastError(std::optional<QString> error);

    ChatClient& m_claude;
    OnDeviceLanguageModel& m_onDevice;
    Settings& m_settings;
    bool m_isAnalyzing = false;
    std::optional<QString> m_lastError;
};
