#include "StatsSnapshotRefresher.h"

#include "StatsSnapshot.h"

void StatsSnapshotRefresher::refresh() { (void)refreshSnapshot(m_store, m_settings); }
