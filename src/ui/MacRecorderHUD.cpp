#include "MacRecorderHUD.h"

#include "AppIcons.h"
#include "VoiceWaveWidget.h"
#include "dictation/MacDictationController.h"
#include "dictation/RecorderHUDContent.h"
#include "platform/FloatingPanelSupport.h"
#include "store/AppSettingsKeys.h"
#include "store/RecordStore.h"
#include "store/Settings.h"

#include <QActionGroup>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QToolButton>

class MacRecorderHUD::View : public QWidget
{
public:
    View()
        : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                               Qt::WindowDoesNotAcceptFocus | Qt::NoDropShadowWindowHint)
    {
        setObjectName(QStringLiteral("recorderPanel"));
        setAccessibleName(QStringLiteral("Panneau de dictée"));
        setWindowTitle(QStringLiteral("Ovra — dictée"));
        setAttribute(Qt::WA_ShowWithoutActivating);
        setAttribute(Qt::WA_TranslucentBackground);
        setAttribute(Qt::WA_X11DoNotAcceptFocus);
        setFocusPolicy(Qt::NoFocus);
        auto* row = new QHBoxLayout(this);
        row->setContentsMargins(14, 0, 14, 0);
        row->setSpacing(12);
        // Dark whatever the desktop's palette.
        QPalette p = palette();
        p.setColor(QPalette::WindowText, Qt::white);
        p.setColor(QPalette::ButtonText, Qt::white);
        p.setColor(QPalette::Text, Qt::white);
        setPalette(p);
    }

    QHBoxLayout* row() { return static_cast<QHBoxLayout*>(layout()); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QColor background(Qt::black);
        background.setAlphaF(0.92);
        const double radius = std::min(30.0, height() / 2.0);
        painter.setPen(Qt::NoPen);
        painter.setBrush(background);
        painter.drawRoundedRect(QRectF(rect()), radius, radius);
    }

    // Dragging the background moves the panel.
    void mousePressEvent(QMouseEvent* event) override
    {
        m_dragOffset = event->globalPosition().toPoint() - frameGeometry().topLeft();
    }
    void mouseMoveEvent(QMouseEvent* event) override
    {
        if (event->buttons() & Qt::LeftButton)
            move(event->globalPosition().toPoint() - m_dragOffset);
    }

private:
    QPoint m_dragOffset;
};

MacRecorderHUD::MacRecorderHUD(Dependencies d, QObject* parent) : QObject(parent), m_d(std::move(d)) {}

void MacRecorderHUD::attach(MacDictationController* controller)
{
    if (m_controller)
        disconnect(m_controller, nullptr, this, nullptr);
    m_controller = controller;
    if (!controller)
        return;
    connect(controller, &MacDictationController::stateChanged, this, [this](RecordingState s) {
        if (m_view)
            showState(s);
    });
}

MacRecorderHUD::~MacRecorderHUD() = default;

QWidget* MacRecorderHUD::panel() const { return m_view.get(); }

RecorderHUDStyle MacRecorderHUD::style() const
{
    return RecorderHUDStyles::fromRaw(m_d.settings.stringValue(AppSettingsKey::hudStyle).value_or(QString()));
}

QScreen* MacRecorderHUD::targetScreen() const
{
    if (const auto frame = m_d.window.focusedWindowFrame())
        if (QScreen* s = QGuiApplication::screenAt(frame->center()))
            return s;
    return QGuiApplication::primaryScreen();
}

void MacRecorderHUD::show()
{
    if (!m_view) {
        m_view = std::make_unique<View>();
        showState(m_controller ? m_controller->state() : RecordingState::idle);
    }
    place();
    m_view->show();
    m_view->raise();
    m_d.window.markAsFloatingPanel(m_view->winId());
}

void MacRecorderHUD::hide()
{
    if (m_view)
        m_view->hide();
}

void MacRecorderHUD::place()
{
    const RecorderHUDStyle s = style();
    m_view->setFixedSize(RecorderHUDStyles::contentSize(s));
    // No screen at all: the panel keeps its place.
    if (QScreen* screen = targetScreen())
        m_view->move(RecorderHUDStyles::origin(s, screen->geometry(), screen->availableGeometry()));
}

void MacRecorderHUD::showState(RecordingState state)
{
    if (!m_view)
        m_view = std::make_unique<View>();
    QHBoxLayout* row = m_view->row();
    while (QLayoutItem* item = row->takeAt(0)) {
        if (QWidget* w = item->widget())
            w->deleteLater();
        delete item;
    }
    const QList<RecorderHUDItem> items = RecorderHUDContent::items(state);
    const bool single = items.size() == 1;
    if (single)
        row->addStretch();
    for (const RecorderHUDItem& item : items) {
        using K = RecorderHUDItem::Kind;
        switch (item.kind) {
        case K::wave:
            row->addWidget(new VoiceWaveWidget(m_d.level, m_view.get()));
            row->addStretch();
            break;
        case K::stopButton:
        case K::settingsButton:
        case K::modeMenu: {
            auto* b = new QToolButton(m_view.get());
            b->setFocusPolicy(Qt::NoFocus);
            b->setAutoRaise(true);
            b->setAccessibleName(item.text);
            b->setToolTip(item.help);
            b->setIconSize(QSize(18, 18));
            if (item.kind == K::stopButton) {
                b->setObjectName(QStringLiteral("stopButton"));
                b->setIcon(AppIcons::panelIcon(item.symbol));
                connect(b, &QToolButton::clicked, this, [this] {
                    if (m_controller && m_controller->state() == RecordingState::recording)
                        m_controller->stop();
                });
            } else if (item.kind == K::settingsButton) {
                b->setObjectName(QStringLiteral("settingsButton"));
                b->setIcon(AppIcons::panelIcon(item.symbol));
                connect(b, &QToolButton::clicked, this, &MacRecorderHUD::openSettingsRequested);
            } else {
                b->setObjectName(QStringLiteral("modeMenu"));
                b->setPopupMode(QToolButton::InstantPopup);
                b->setToolButtonStyle(Qt::ToolButtonTextOnly);
                auto* menu = new QMenu(b);
                menu->setObjectName(QStringLiteral("panelModes"));
                auto* group = new QActionGroup(menu);
                const QUuid active = m_controller ? m_controller->activeModeID().value_or(QUuid()) : QUuid();
                const QList<TranscriptionMode> modes =
                    m_d.store.fetch<TranscriptionMode>({}, {{QStringLiteral("sortOrder"), true}});
                QString current = modes.isEmpty() ? QStringLiteral("Normal") : modes.first().name;
                for (const TranscriptionMode& m : modes) {
                    QAction* a = menu->addAction(m.name);
                    a->setCheckable(true);
                    const bool isActive = !active.isNull() ? m.id == active : &m == &modes.first();
                    a->setChecked(isActive);
                    if (isActive)
                        current = m.name;
                    group->addAction(a);
                    const QUuid id = m.id;
                    connect(a, &QAction::triggered, this, [this, id, b] {
                        if (const auto mode = m_d.store.find<TranscriptionMode>(id); mode && m_controller) {
                            m_controller->setActiveMode(*mode);
                            b->setText(b->fontMetrics().elidedText(mode->name, Qt::ElideRight, 90));
                        }
                    });
                }
                b->setMenu(menu);
                b->setText(b->fontMetrics().elidedText(current, Qt::ElideRight, 90));
            }
            row->addWidget(b);
            break;
        }
        case K::text: {
            if (!item.symbol.isEmpty()) {
                auto* icon = new QLabel(m_view.get());
                icon->setPixmap(AppIcons::panelIcon(item.symbol).pixmap(18, 18));
                row->addWidget(icon);
            }
            auto* label = new QLabel(item.text, m_view.get());
            label->setObjectName(QStringLiteral("panelText"));
            QFont f = label->font();
            f.setBold(item.emphasised || state == RecordingState::finished);
            label->setFont(f);
            row->addWidget(label);
            break;
        }
        }
    }
    if (single)
        row->addStretch();
}
