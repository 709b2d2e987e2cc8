#include "SectionRegistry.h"

#include "sections/DictationSection.h"
#include "sections/DictionarySection.h"
#include "sections/HistorySection.h"
#include "sections/LearningSection.h"
#include "sections/ModelsSection.h"
#include "sections/ModesSection.h"
#include "sections/NotesSection.h"
#include "sections/OvraHelperSection.h"
#include "sections/PlaceholderSection.h"
#include "sections/PromptsSection.h"
#include "sections/SettingsSection.h"
#include "sections/StatsSection.h"

Section* createSection(MacSection section, SectionContext& context, QWidget* parent)
{
    // A section that is built gets its case here.
    switch (section) {
    case MacSection::dictation: return new DictationSection(context, parent);
    case MacSection::history: return new HistorySection(context, parent);
    case MacSection::notes: return new NotesSection(context, parent);
    case MacSection::learning: return new LearningSection(context, parent);
    case MacSection::modes: return new ModesSection(context, parent);
    case MacSection::models: return new ModelsSection(context, parent);
    case MacSection::ovraHelper: return new OvraHelperSection(context, parent);
    case MacSection::dictionary: return new DictionarySection(context, parent);
    case MacSection::prompts: return new PromptsSection(context, parent);
    case MacSection::settings: return new SettingsSection(context, parent);
    case MacSection::stats: return new StatsSection(context, parent);
    default:
        return new PlaceholderSection(section, QStringLiteral("Cette section arrive dans une prochaine version."), parent);
    }
}
