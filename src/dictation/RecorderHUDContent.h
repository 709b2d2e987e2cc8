#pragma once
// What the recorder panel shows in each dictation state, as a list of items a view lays out in
// one row. Kept free of widgets so every state can be checked without a screen.
#include "store/Enums.h"

#include <QList>
#include <QString>

struct RecorderHUDItem
{
    enum class Kind { wave, stopButton, modeMenu, settingsButton, text };
    Kind kind;
    QString text;    // shown text (text items) or accessible name (buttons)
    QString help;    // tooltip
    QString symbol;  // freedesktop icon name, empty for none
    bool emphasised = false;

    bool operator==(const RecorderHUDItem&) const = default;
};

namespace RecorderHUDContent {
QString stopHelp();
QString modeMenuHelp();
QList<RecorderHUDItem> items(RecordingState state);
} // namespace RecorderHUDContent
