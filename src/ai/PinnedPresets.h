#pragma once
// The prompts offered to the keyboard companion: the pinned presets that are not in the trash.
class RecordStore;
class Settings;

namespace PinnedPresets {
// Writes "mirelo.kb.pinnedPresets" from the store; call after any change of a preset.
void publish(const RecordStore& store, Settings& settings);
} // namespace PinnedPresets
