#include "DictationActions.h"

namespace DictationActions {

QString startText() { return QStringLiteral("Dicter"); }
QString stopText() { return QStringLiteral("Arrêter la dictée"); }

QString toggleText(RecordingState state) { return state == RecordingState::recording ? stopText() : startText(); }

bool toggleEnabled(RecordingState state)
{
    return state != RecordingState::transcribing && state != RecordingState::enhancing;
}

void toggle(DictationControl& dictation, DictationTrigger trigger)
{
    switch (dictation.state()) {
    case RecordingState::idle:
    case RecordingState::finished:
        dictation.start(trigger);
        break;
    case RecordingState::recording:
        dictation.stop();
        break;
    case RecordingState::transcribing:
    case RecordingState::enhancing:
        break;
    }
}

} // namespace DictationActions
