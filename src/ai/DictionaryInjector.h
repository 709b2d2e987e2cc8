#pragma once
// The user's dictionary at the three points of a dictation: a spelling hint for speech-to-text,
// deterministic replacements on the raw transcript, and the vocabulary block of the AI rewrite;
// plus the usage accounting that orders the hint.
#include "store/Records.h"
#include "store/RecordStore.h"

#include <QList>
#include <QString>
#include <optional>

namespace DictionaryInjector {

constexpr int kHintTokenBudget = 224;

// "Vocabulary: a, b (also: c, d)." within 4 characters per token; pinned entries always first.
std::optional<QString> transcriptionHint(const QList<DictionaryEntry>& entries, int tokenBudget = kHintTokenBudget);

// Replacement-scope entries, in order, each on the previous one's output. Whole words,
// any letter case; the target text is inserted literally.
QString applyReplacements(const QString& text, const QList<DictionaryEntry>& entries);

// Transformation-scope entries followed by the extra entries not already listed; empty when
// there is nothing to say.
QString vocabularyBlock(const QList<DictionaryEntry>& entries, const QList<DictionaryEntry>& extra = {});

// Counts one use per entry found in the text and stamps lastUsedAt. Returns the entries that
// changed (also updated in place).
QList<DictionaryEntry> recordUsage(const QString& finalText, QList<DictionaryEntry>& entries, const QDateTime& now);
// Same on the entries as stored now (entries is replaced by them), counted and written in one
// transaction; a failure is ignored.
void recordUsage(const QString& finalText, QList<DictionaryEntry>& entries, const QDateTime& now, RecordStore& store);

// The pronunciations as this step reads them: split on ",", trimmed, empty pieces dropped.
QStringList pronunciations(const DictionaryEntry& entry);

} // namespace DictionaryInjector
