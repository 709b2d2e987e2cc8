#pragma once
// Merges a backup document into the store without duplicates and without bringing deleted
// records back. One transaction: either the whole document is merged or nothing changes.
#include "BackupPayload.h"
#include "ImportSummary.h"

class DebugLog;

class BackupImporter
{
public:
    BackupImporter(RecordStore& store, Settings& settings, DebugLog& log)
        : m_store(store), m_settings(settings), m_log(log)
    {
    }

    Expected<ImportSummary, BackupError> importPayload(const BackupPayload& payload);
    // Reads, decodes and merges a file; nothing changes when any step fails.
    Expected<ImportSummary, BackupError> importFile(const QString& path);

private:
    RecordStore& m_store;
    Settings& m_settings;
    DebugLog& m_log;
};
