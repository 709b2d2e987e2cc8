#pragma once
// Enumerations shared by the whole system. The raw value is what is stored and exchanged;
// a raw value no case has decodes to nothing and is kept as text by the records.
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

enum class AIProvider { claude, openai, gemini, groq, appleIntelligence };
enum class TranscriptionProvider { groq, openai, apple, parakeet, whisperKit, gemini };
enum class TranscriptionCategory { aiPrompt, otherTask, workMessage, document, email, personalMessage };
enum class RecordingState { idle, recording, transcribing, enhancing, finished };

QString rawValue(AIProvider p);
QString rawValue(TranscriptionProvider p);
QString rawValue(TranscriptionCategory c);
QString rawValue(RecordingState s);

std::optional<AIProvider> aiProviderFromRaw(const QString& raw);
std::optional<TranscriptionProvider> transcriptionProviderFromRaw(const QString& raw);
std::optional<TranscriptionCategory> categoryFromRaw(const QString& raw);

const QList<AIProvider>& allAIProviders();
const QList<TranscriptionProvider>& allTranscriptionProviders();
const QList<TranscriptionCategory>& allCategories();

// Cloud providers need a key and the network; the others run on this machine.
bool isCloud(TranscriptionProvider p);
QString label(TranscriptionCategory c);

// Bit set over DictionaryEntry::scopesRaw.
namespace DictionaryScopes {
constexpr int transcription = 1;
constexpr int replacement = 2;
constexpr int transformation = 4;
// Names in the order transcription, replacement, transformation.
QStringList names(int bits);
// ORs the known names, ignores the others.
int fromNames(const QStringList& names);
} // namespace DictionaryScopes
