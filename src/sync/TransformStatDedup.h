#pragma once
// Removes, once per installation, the TransformationStat duplicates that older syncs created.
class DebugLog;
class RecordStore;
class Settings;

class TransformStatDedup
{
public:
    // Does nothing once the flag is set; the flag is set only after a successful save.
    static void runOnce(RecordStore& store, Settings& settings, DebugLog& log);
};
