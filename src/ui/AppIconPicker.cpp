#include "AppIconPicker.h"

#include "AppIcons.h"
#include "stats/StatsSnapshot.h"
#include "store/AppSettingsKeys.h"
#include "store/Settings.h"

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
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
    const QString current = chosen(settings);
    const qint64 words = totalWords(settings);
    for (const QString& choice : AppIcons::appIconChoices()) {
        auto* item = new QListWidgetItem(AppIcons::appIcon(choice), AppIcons::appIconTitle(choice), m_list);
        item->setData(Qt::UserRole, choice);
        if (const QString locked = lockedText(choice, words); !locked.isEmpty()) {
            item->setFlags(item->flags() & ~(Qt::ItemIsEnabled | Qt::ItemIsSelectable));
            item->setToolTip(locked);
            item->setData(Qt::AccessibleDescriptionRole, locked);
        }
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
    if (!AppIcons::appIconChoices().contains(choice) || !lockedText(choice, totalWords(settings)).isEmpty())
        return {};
    return choice;
}

qint64 AppIconPicker::totalWords(const Settings& settings)
{
    const auto snapshot = readSnapshot(settings);
    return snapshot ? snapshot->stats.totalWords : 0;
}

QString AppIconPicker::lockedText(const QString& choice, qint64 words)
{
    const qint64 needed = AppIcons::appIconWordsNeeded(choice);
    if (words >= needed)
        return {};
    const QLocale french(QLocale::French);
    return QStringLiteral("Débloquée à %1 mots dictés (encore %2).")
        .arg(french.toString(needed), french.toString(needed - words));
}

void AppIconPicker::applyChosenIcon(Settings& settings)
{
    QApplication::setWindowIcon(AppIcons::appIcon(chosen(settings)));
}
