#include "ShortcutRecorder.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
// The X keysym name of a Qt key, as KeyCombo::parse reads it; empty when it has none.
QString keyName(int key)
{
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return QString(QChar(char16_t('a' + (key - Qt::Key_A))));
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return QString(QChar(char16_t('0' + (key - Qt::Key_0))));
    if (key >= Qt::Key_F1 && key <= Qt::Key_F35)
        return QStringLiteral("F") + QString::number(key - Qt::Key_F1 + 1);
    switch (key) {
    case Qt::Key_Space: return QStringLiteral("space");
    case Qt::Key_Return:
    case Qt::Key_Enter: return QStringLiteral("Return");
    case Qt::Key_Tab: return QStringLiteral("Tab");
    case Qt::Key_Backspace: return QStringLiteral("BackSpace");
    case Qt::Key_Delete: return QStringLiteral("Delete");
    case Qt::Key_Insert: return QStringLiteral("Insert");
    case Qt::Key_Home: return QStringLiteral("Home");
    case Qt::Key_End: return QStringLiteral("End");
    case Qt::Key_PageUp: return QStringLiteral("Prior");
    case Qt::Key_PageDown: return QStringLiteral("Next");
    case Qt::Key_Left: return QStringLiteral("Left");
    case Qt::Key_Right: return QStringLiteral("Right");
    case Qt::Key_Up: return QStringLiteral("Up");
    case Qt::Key_Down: return QStringLiteral("Down");
    case Qt::Key_Comma: return QStringLiteral("comma");
    case Qt::Key_Period: return QStringLiteral("period");
    case Qt::Key_Slash: return QStringLiteral("slash");
    case Qt::Key_Semicolon: return QStringLiteral("semicolon");
    case Qt::Key_Apostrophe: return QStringLiteral("apostrophe");
    case Qt::Key_BracketLeft: return QStringLiteral("bracketleft");
    case Qt::Key_BracketRight: return QStringLiteral("bracketright");
    case Qt::Key_Backslash: return QStringLiteral("backslash");
    case Qt::Key_Minus: return QStringLiteral("minus");
    case Qt::Key_Equal: return QStringLiteral("equal");
    case Qt::Key_QuoteLeft: return QStringLiteral("grave");
    case Qt::Key_Print: return QStringLiteral("print");
    case Qt::Key_Pause: return QStringLiteral("pause");
    case Qt::Key_Menu: return QStringLiteral("menu");
    default: return {};
    }
}

bool isModifierKey(int key)
{
    return key == Qt::Key_Control || key == Qt::Key_Shift || key == Qt::Key_Alt || key == Qt::Key_Meta ||
           key == Qt::Key_Super_L || key == Qt::Key_Super_R || key == Qt::Key_AltGr || key == Qt::Key_Hyper_L ||
           key == Qt::Key_Hyper_R;
}
} // namespace

ShortcutRecorder::ShortcutRecorder(QWidget* parent)
    : QWidget(parent)
    , m_button(new QPushButton(this))
    , m_clear(new QPushButton(QStringLiteral("Effacer"), this))
    , m_error(new QLabel(this))
{
    setFocusProxy(m_button);
    m_button->setAccessibleName(QStringLiteral("Raccourci"));
    m_button->setAccessibleDescription(QStringLiteral("Activez puis appuyez sur la combinaison de touches voulue"));
    m_clear->setAccessibleName(QStringLiteral("Effacer le raccourci"));
    m_error->setWordWrap(true);
    m_error->setForegroundRole(QPalette::PlaceholderText);
    m_error->hide();
    m_button->installEventFilter(this);

    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(m_button, 1);
    row->addWidget(m_clear);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(row);
    layout->addWidget(m_error);

    connect(m_button, &QPushButton::clicked, this, [this] {
        if (m_recording)
            cancelRecording();
        else
            startRecording();
    });
    connect(m_clear, &QPushButton::clicked, this, [this] {
        cancelRecording();
        m_combo.reset();
        refresh();
        Q_EMIT comboEdited(std::nullopt);
    });
    refresh();
}

void ShortcutRecorder::setCombo(const std::optional<KeyCombo>& combo)
{
    m_combo = combo;
    refresh();
}

void ShortcutRecorder::startRecording()
{
    m_recording = true;
    setError({});
    m_button->setFocus();
    refresh();
}

void ShortcutRecorder::cancelRecording()
{
    if (!m_recording)
        return;
    m_recording = false;
    refresh();
}

void ShortcutRecorder::setError(const QString& message)
{
    m_error->setText(message);
    m_error->setVisible(!message.isEmpty());
    m_error->setAccessibleName(message);
}

QString ShortcutRecorder::error() const { return m_error->text(); }

Expected<KeyCombo, QString> ShortcutRecorder::comboFor(int qtKey, Qt::KeyboardModifiers modifiers)
{
    const QString key = keyName(qtKey);
    if (key.isEmpty())
        return unexpected(QStringLiteral("Cette touche ne peut pas servir de raccourci."));
    QStringList parts;
    if (modifiers & Qt::ControlModifier)
        parts << QStringLiteral("ctrl");
    if (modifiers & Qt::ShiftModifier)
        parts << QStringLiteral("shift");
    if (modifiers & Qt::AltModifier)
        parts << QStringLiteral("alt");
    if (modifiers & Qt::MetaModifier)
        parts << QStringLiteral("super");
    parts << key;
    return KeyCombo::parse(parts.join(QLatin1Char('+')));
}

bool ShortcutRecorder::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_button && m_recording) {
        if (event->type() == QEvent::KeyPress) {
            handleKey(static_cast<QKeyEvent*>(event));
            return true;
        }
        if (event->type() == QEvent::ShortcutOverride) {
            event->accept(); // every key goes to the recorder, not to the window's shortcuts
            return true;
        }
        if (event->type() == QEvent::FocusOut)
            cancelRecording();
    }
    return QWidget::eventFilter(watched, event);
}

void ShortcutRecorder::handleKey(QKeyEvent* event)
{
    const int key = event->key();
    if (isModifierKey(key))
        return;
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    if (key == Qt::Key_Escape && mods == Qt::NoModifier) {
        cancelRecording();
        return;
    }
    if ((key == Qt::Key_Backspace || key == Qt::Key_Delete) && mods == Qt::NoModifier) {
        m_recording = false;
        m_combo.reset();
        refresh();
        Q_EMIT comboEdited(std::nullopt);
        return;
    }
    auto combo = comboFor(key, mods);
    if (!combo) {
        setError(combo.error());
        return;
    }
    m_recording = false;
    m_combo = *combo;
    refresh();
    Q_EMIT comboEdited(m_combo);
}

void ShortcutRecorder::refresh()
{
    QString text;
    if (m_recording)
        text = QStringLiteral("Appuyez sur la combinaison… (Échap pour annuler)");
    else if (m_combo)
        text = m_combo->displayText();
    else
        text = QStringLiteral("Aucun raccourci");
    m_button->setText(text);
    m_button->setAccessibleDescription(m_recording ? text
                                                   : QStringLiteral("Raccourci actuel : ") + text +
                                                         QStringLiteral(". Activez pour en enregistrer un autre."));
    m_clear->setEnabled(m_combo.has_value() || m_recording);
}
