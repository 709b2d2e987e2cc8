#include "MainWindow.h"

#include "AppCommands.h"
#include "MacNavigation.h"
#include "Section.h"
#include "SectionContext.h"
#include "SectionRegistry.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QListWidget>
#include <QMenuBar>
#include <QStackedWidget>

MainWindow::MainWindow(SectionContext& context, AppCommands& commands, QWidget* parent)
    : QMainWindow(parent), m_context(context), m_navigation(context.navigation)
{
    setObjectName(QStringLiteral("main"));
    setWindowTitle(QStringLiteral("Ovra"));
    setAccessibleName(QStringLiteral("Ovra"));
    setMinimumSize(kMinimumWidth, kMinimumHeight);
    resize(920, 640);

    commands.populate(menuBar());
    // The window shortcuts work even while the menu bar is hidden by the desktop.
    addActions(commands.sectionActions());
    addAction(commands.newNote());
    addAction(commands.transcribeFile());
    addAction(commands.cancelDictation());
    addAction(commands.settings());
    addAction(commands.quit());
    addAction(commands.closeWindow());

    auto* central = new QWidget(this);
    auto* layout = new QHBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_sidebar = new QListWidget(central);
    m_sidebar->setObjectName(QStringLiteral("sidebar"));
    m_sidebar->setAccessibleName(QStringLiteral("Sections"));
    m_sidebar->setAccessibleDescription(QStringLiteral("Choisir la section affichée"));
    m_sidebar->setFrameShape(QFrame::NoFrame);
    m_sidebar->setUniformItemSizes(true);
    m_sidebar->setSpacing(1);
    // Room around the titles; colours stay the desktop's.
    m_sidebar->setStyleSheet(QStringLiteral("QListWidget#sidebar { padding: 6px; } "
                                            "QListWidget#sidebar::item { padding-left: 8px; }"));
    m_sidebar->setFixedWidth(190);
    m_sidebar->setBackgroundRole(QPalette::AlternateBase);
    m_sidebar->setAutoFillBackground(true);
    for (MacSection s : allSections()) {
        auto* item = new QListWidgetItem(sectionTitle(s), m_sidebar);
        item->setData(Qt::UserRole, static_cast<int>(s));
        item->setData(Qt::AccessibleTextRole, sectionTitle(s));
        item->setSizeHint(QSize(0, 30));
    }

    m_stack = new QStackedWidget(central);
    m_stack->setObjectName(QStringLiteral("sections"));
    m_stack->setAccessibleName(QStringLiteral("Contenu de la section"));

    layout->addWidget(m_sidebar);
    layout->addWidget(m_stack, 1);
    setCentralWidget(central);

    connect(m_sidebar, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0 && row < allSections().size())
            m_navigation.select(allSections().at(row));
    });
    connect(&m_navigation, &MacNavigation::selectionChanged, this, &MainWindow::showSection);
    showSection(m_navigation.selection());
}

MainWindow::~MainWindow() = default;

void MainWindow::showSection(MacSection section)
{
    const int row = allSections().indexOf(section);
    if (m_sidebar->currentRow() != row)
        m_sidebar->setCurrentRow(row);
    Section* widget = m_sections.value(section);
    if (!widget) {
        widget = createSection(section, m_context, m_stack);
        m_sections.insert(section, widget);
        m_stack->addWidget(widget);
    }
    m_stack->setCurrentWidget(widget);
    widget->activated();
}

void MainWindow::present()
{
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
}

void MainWindow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!m_shownOnce) {
        m_shownOnce = true;
        Q_EMIT firstShown();
    }
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    event->accept();
    Q_EMIT closed();
}
