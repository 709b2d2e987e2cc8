#pragma once
// Rewrites a stored dictation again under another mode's prompt, for the user to compare with
// the text they have and, if they like it, keep.
#include "ChatClient.h"
#include "store/Records.h"

#include <QCoroTask>

class RecordStore;
class Settings;

struct ReprocessProposal
{
    QString text;                 // meta block removed
    std::optional<int> fixes;     // from the meta block
    std::optional<double> costUSD;
    double seconds = 0;
    QString modeName;
};

class HistoryReprocessor
{
public:
    HistoryReprocessor(ChatClient& chat, RecordStore& store, Settings& settings)
        : m_chat(chat), m_store(store), m_settings(settings)
    {
    }

    // The text the rewrite starts from: after the replacements, else the raw text, else the
    // delivered text.
    static QString sourceText(const Transcription& t);
    // The text the user has now: their correction, else the delivered text.
    static QString finalText(const Transcription& t);
    // The mode's prompt (its preset's when it names one that exists).
    QString promptOf(const TranscriptionMode& mode) const;

    // Errors carry the message to show.
    QCoro::Task<Expected<ReprocessProposal, QString>> propose(Transcription transcription, TranscriptionMode mode);
    // The record with the proposal as its AI and delivered text; the user's former correction
    // gives way to it, the cost adds up.
    static Transcription applied(Transcription t, const ReprocessProposal& proposal);

private:
    ChatClient& m_chat;
    RecordStore& m_store;
    Settings& m_settings;
};
