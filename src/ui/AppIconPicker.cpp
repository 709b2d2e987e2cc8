#include "AppIconPicker.h"

#include "AppIcons.h"
#include "store/AppSettingsKeys.h"
#include "store/Settings.h"

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

AppIconPicker::AppIconPicker(Settings& settings, QWidget* parent) : QWidget(parent), m_settings(settings)
{
    setObjectName(QStringLiteral("appIconPicker"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* label = new QLabel(QStringLiteral("Icône de l'application"), this);
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("appIcons"));
    m_list->setAccessibleName(QStringLiteral("Icône de l'application"));
    label->setBuddy(m_list);
    m_list->setViewMode(QListView::IconMode);
    m_list->setIconSize(QSize(48, 48));
    m_list->setFlow(QListView::LeftToRight);
    m_list->setWrapping(false);
    m_list->setMovement(QListView::Static);
    m_list->setFixedHeight(96);
    // Icons unlocked by the statistics' word count: not built yet.
    const QString current = chosen(settings);
    for (const QString& choice : AppIcons::appIconChoices()) {
        auto* item = new QListWidgetItem(AppIcons::appIcon(choice), AppIcons::appIconTitle(choice), m_list);
        item->setData(Qt::UserRole, choice);
        if (choice == current)
            m_list->setCurrentItem(item);
    }
    connect(m_list, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* item) {
        if (!item)
            return;
        m_settings.setValue(AppSettingsKey::appIcon, item->data(Qt::UserRole).toString());
        applyChosenIcon(m_settings);
    });
    layout->addWidget(label);
    layout->addWidget(m_list);
}

QString AppIconPicker::chosen(Settings& settings)
{
    const QString choice = settings.stringValue(AppSettingsKey::appIcon).value_or(QString());
    return AppIcons::appIconChoices().contains(choice) ? choice : QString();
}

void AppIconPicker::applyChosenIcon(Settings& settings)
{
    QApplication::setWindowIcon(AppIcons::appIcon(chosen(settings)));
}
