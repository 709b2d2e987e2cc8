#include "PlaceholderSection.h"

#include <QLabel>
#include <QVBoxLayout>

PlaceholderSection::PlaceholderSection(MacSection section, const QString& text, QWidget* parent)
    : Section(section, parent)
{
    auto* layout = new QVBoxLayout(this);
    auto* title = new QLabel(sectionTitle(section), this);
    QFont font = title->font();
    font.setPointSizeF(font.pointSizeF() * 1.6);
    font.setBold(true);
    title->setFont(font);
    auto* body = new QLabel(text, this);
    body->setWordWrap(true);
    layout->addWidget(title);
    layout->addWidget(body);
    layout->addStretch();
}
