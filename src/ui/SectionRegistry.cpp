#include "SectionRegistry.h"

#include "sections/PlaceholderSection.h"

Section* createSection(MacSection section, SectionContext& context, QWidget* parent)
{
    Q_UNUSED(context);
    // A section that is built gets its case here.
    switch (section) {
    default:
        return new PlaceholderSection(section, QStringLiteral("Cette section arrive dans une prochaine version."), parent);
    }
}
