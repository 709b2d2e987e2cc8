#pragma once
// Refreshes the published snapshot whenever the records changed in a way that moves the figures.
#include "StatsRefresher.h"

class RecordStore;
class Settings;

class StatsSnapshotRefresher : public StatsRefresher
{
public:
    StatsSnapshotRefresher(const RecordStore& store, Settings& settings) : m_store(store), m_settings(settings) {}
    void refresh() override;

private:
    const RecordStore& m_store;
    Settings& m_settings;
};
