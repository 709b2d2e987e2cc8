#include "PinnedPresets.h"

#include "store/RecordStore.h"
#include "store/Settings.h"

void PinnedPresets::publish(const RecordStore& store, Settings& settings)
{
    QList<SharedPromptPreset> shared;
    for (const PromptPreset& p : store.fetch<PromptPreset>([](const PromptPreset& p) { return p.isPinned && !p.isTrashed; },
                                                          {{QStringLiteral("sortOrder"), true}}))
        shared.append({uuidText(p.id), p.name, p.prompt});
    settings.publishPinnedPresets(shared);
}
