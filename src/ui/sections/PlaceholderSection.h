#pragma once
// Stands in for a section that is not built yet: its title and one sentence.
#include "ui/Section.h"

class PlaceholderSection : public Section
{
    Q_OBJECT
public:
    PlaceholderSection(MacSection section, const QString& text, QWidget* parent = nullptr);
};
