#pragma once
// Records a key combination: click (or Space/Enter when focused), then press the keys. Escape
// cancels, Backspace or Delete alone removes the combination.
#include "platform/KeyCombo.h"

#include <QWidget>
#include <optional>

class QKeyEvent;
class QLabel;
class QPushButton;

class ShortcutRecorder : public QWidget
{
    Q_OBJECT
public:
    explicit ShortcutRecorder(QWidget* parent = nullptr);

    void setCombo(const std::optional<KeyCombo>& combo);
    const std::optional<KeyCombo>& combo() const { return m_combo; }
    bool isRecording() const { return m_recording; }
    void startRecording();
    void cancelRecording();
    // Shown under the button until the next recording (e.g. a combination already taken).
    void setError(const QString& message);
    QString error() const;

    // The combination a key press describes; an error text for a key that cannot be one.
    static Expected<KeyCombo, QString> comboFor(int qtKey, Qt::KeyboardModifiers modifiers);

Q_SIGNALS:
    // The user recorded or removed a combination; the owner stores it (and may refuse it).
    void comboEdited(const std::optional<KeyCombo>& combo);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void handleKey(QKeyEvent* event);
    void refresh();

    QPushButton* m_button;
    QPushButton* m_clear;
    QLabel* m_error;
    std::optional<KeyCombo> m_combo;
    bool m_recording = false;
};
