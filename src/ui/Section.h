#pragma once
// One section of the main window. Each section is one class, listed once in SectionRegistry.cpp.
#include "MacSection.h"

#include <QWidget>

class Section : public QWidget
{
    Q_OBJECT
public:
    explicit Section(MacSection section, QWidget* parent = nullptr) : QWidget(parent), m_section(section)
    {
        setObjectName(sectionKey(section));
        setAccessibleName(sectionTitle(section));
    }

    MacSection section() const { return m_section; }
    // Called each time the section becomes the visible one (refresh lazily here).
    virtual void activated() {}

private:
    MacSection m_section;
};
