#pragma once
// The main window ("main"): a sidebar of the sections in their fixed order and the selected
// section beside it, created the first time it is selected. The sidebar and the navigation
// follow each other both ways.
#include "MacSection.h"

#include <QHash>
#include <QMainWindow>

class AppCommands;
class MacNavigation;
class QListWidget;
class QStackedWidget;
class Section;
struct SectionContext;

class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    static constexpr int kMinimumWidth = 580;
    static constexpr int kMinimumHeight = 560;

    MainWindow(SectionContext& context, AppCommands& commands, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The section's widget once it has been shown; null before.
    Section* sectionWidget(MacSection section) const { return m_sections.value(section); }
    QListWidget* sidebar() const { return m_sidebar; }
    // Brings the window to the front (shown, raised, activated).
    void present();

Q_SIGNALS:
    // Emitted once, the first time the window is shown.
    void firstShown();
    // The user closed the window (the program may keep running in the tray).
    void closed();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void showSection(MacSection section);

    SectionContext& m_context;
    MacNavigation& m_navigation;
    QListWidget* m_sidebar = nullptr;
    QStackedWidget* m_stack = nullptr;
    QHash<MacSection, Section*> m_sections;
    bool m_shownOnce = false;
};
