#pragma once
// The window's sections, in sidebar order, with their French titles.
#include <QList>
#include <QString>

enum class MacSection { dictation, history, notes, modes, powerMode, ovraHelper, dictionary, prompts, learning, stats, models, settings };

QList<MacSection> allSections();
QString sectionTitle(MacSection section);
// Stable identifier ("dictation", "powerMode", ...) for object names and the command line.
QString sectionKey(MacSection section);
