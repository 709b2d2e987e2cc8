#include "HistoryReprocessor.h"

#include "AIProviderSettings.h"
#include "DictionaryInjector.h"
#include "PostProcessMetaParser.h"
#include "RewritePrompt.h"
#include "store/RecordStore.h"

#include <QElapsedTimer>

QString HistoryReprocessor::sourceText(const Transcription& t)
{
    for (const auto& candidate : {t.afterReplacementsText, t.rawWhisperText})
        if (candidate && !candidate->trimmed().isEmpty())
            return *candidate;
    return t.text;
}

QString HistoryReprocessor::finalText(const Transcription& t)
{
    if (t.userEditedText && !t.userEditedText->isEmpty())
        return *t.userEditedText;
    return t.text;
}

QString HistoryReprocessor::promptOf(const TranscriptionMode& mode) const
{
    if (mode.promptPresetID)
        if (const auto preset = m_store.find<PromptPreset>(*mode.promptPresetID))
            return preset->prompt;
    return mode.promptTemplate;
}

QCoro::Task<Expected<ReprocessProposal, QString>> HistoryReprocessor::propose(Transcription transcription,
                                                                               TranscriptionMode mode)
{
    const QString source = sourceText(transcription);
    if (source.trimmed().isEmpty())
        co_return unexpected(QStringLiteral("Cette dictée n'a plus de texte à retraiter."));
    const QString prompt = promptOf(mode);
    const QString vocabulary = DictionaryInjector::vocabularyBlock(m_store.fetch<DictionaryEntry>());
    const RewriteRequest request = RewritePrompt::buildRewriteRequest(prompt, source, vocabulary, {});
    const AIChoice choice = AIProviderSettings::forMode(mode, m_settings);
    QElapsedTimer timer;
    timer.start();
    auto sending = m_chat.send(request.messages, choice.model, request.system, RewritePrompt::kRewriteMaxTokens,
                               choice.provider);
    const auto answer = co_await sending;
    if (!answer)
        co_return unexpected(answer.error().errorDescription());
    const ParsedRewrite parsed = PostProcessMetaParser::parse(*answer);
    ReprocessProposal out;
    out.text = parsed.text;
    out.fixes = parsed.meta ? parsed.meta->fixes : std::nullopt;
    out.costUSD = m_chat.lastCostUSD();
    out.seconds = double(timer.elapsed()) / 1000.0;
    out.modeName = mode.name;
    co_return out;
}

Transcription HistoryReprocessor::applied(Transcription t, const ReprocessProposal& proposal)
{
    t.text = proposal.text;
    t.aiOutputText = proposal.text;
    t.userEditedText.reset();
    t.enhancedByAI = true;
    t.aiFixCount = proposal.fixes;
    t.aiSeconds = proposal.seconds;
    if (proposal.costUSD)
        t.aiCostUSD = t.aiCostUSD.value_or(0) + *proposal.costUSD;
    return t;
}
