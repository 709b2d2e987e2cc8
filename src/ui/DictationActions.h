#pragma once
// The dictation toggle shared by the window's "Dictée" menu and the tray: its label per state,
// when it can be used, and what it does.
#include "dictation/DictationControl.h"

namespace DictationActions {
QString startText();
QString stopText();
QString toggleText(RecordingState state);
// Nothing to toggle while transcribing or enhancing.
bool toggleEnabled(RecordingState state);
// Starts when idle or finished, stops when recording, does nothing otherwise.
void toggle(DictationControl& dictation, DictationTrigger trigger);
} // namespace DictationActions
