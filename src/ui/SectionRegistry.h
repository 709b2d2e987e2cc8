#pragma once
// The one place that says which class shows which section.
#include "MacSection.h"

class QWidget;
class Section;
struct SectionContext;

Section* createSection(MacSection section, SectionContext& context, QWidget* parent);
