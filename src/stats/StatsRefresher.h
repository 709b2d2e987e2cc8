#pragma once
// Recomputes the published statistics snapshot after the records changed.
class StatsRefresher
{
public:
    virtual ~StatsRefresher() = default;
    virtual void refresh() = 0;
};
