#pragma once
// Assembly of the rewrite conversation: system prompt (vocabulary, learned style, fixed output
// rules and the meta-block request) and the one user message around the transcript.
#include "ChatMessage.h"
#include "store/Records.h"

#include <QList>
#include <QString>
#include <optional>

struct RewriteRequest
{
    QString system;
    QList<ChatMessage> messages;
};

namespace RewritePrompt {

constexpr int kRewriteMaxTokens = 2048;
constexpr int kExcerptMaxTokens = 4096;

QString contentGuard();
QString outputDiscipline();
QString metaInstruction();

// vocabulary and learnedStyle may be empty; the transcript is the text after replacements.
RewriteRequest buildRewriteRequest(const QString& prompt, const QString& transcript, const QString& vocabulary,
                                   const QString& learnedStyle);

// Accepted style rules bound to the preset in use (both absent counts as a match).
QString learnedStyleBlock(const QList<LearningSuggestion>& suggestions, const std::optional<QUuid>& presetID);

// Transforming one excerpt of a note by a free instruction; fullNote gives context when non-empty.
RewriteRequest buildExcerptRequest(const QString& instruction, const QString& excerpt, const QString& fullNote);

} // namespace RewritePrompt
