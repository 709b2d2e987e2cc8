#pragma once
// The settings: API keys, microphone, shortcuts, recorder panel, sounds, media pausing,
// retention, the AI provider of each feature, the journal and launch at login. Every change is
// written at once.
#include "ai/AIProviderSettings.h"
#include "platform/KeyCombo.h"
#include "ui/Section.h"
#include "ui/SectionContext.h"

class APIKeysPane;
class QCheckBox;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class ShortcutRecorder;

class SettingsSection : public Section
{
    Q_OBJECT
public:
    SettingsSection(SectionContext& context, QWidget* parent = nullptr);

    void activated() override;

    APIKeysPane& keys() { return *m_keys; }
    void refreshMicrophones();
    QComboBox* microphoneBox() const { return m_microphone; }
    QComboBox* primaryModeBox() const { return m_primaryMode; }
    ShortcutRecorder* recorder(const QString& shortcutName) const;
    void setShortcut(const QString& name, const std::optional<KeyCombo>& combo);
    QComboBox* panelStyleBox() const { return m_panelStyle; }
    QCheckBox* soundsBox() const { return m_sounds; }
    QCheckBox* pauseMediaBox() const { return m_pauseMedia; }
    QSpinBox* dictationRetentionBox() const { return m_dictationDays; }
    QSpinBox* noteRetentionBox() const { return m_noteDays; }
    QSpinBox* audioCountBox() const { return m_audioCount; }
    // feature none: the global choice.
    QComboBox* aiProviderBox(std::optional<AIFeature> feature) const;
    QComboBox* aiModelBox(std::optional<AIFeature> feature) const;
    QCheckBox* launchAtLoginBox() const { return m_launchAtLogin; }
    QPlainTextEdit* journalView() const { return m_journal; }
    // The bindsym lines for compositors without global shortcuts, to copy into their configuration.
    QPlainTextEdit* compositorBindingsView() const { return m_compositorBindings; }
    QLabel* sessionView() const { return m_session; }
    QPushButton* desktopShortcutsButton() const { return m_desktopShortcuts; }
    void refreshJournal();
    void copyJournal();
    void clearJournal(); // no confirmation here; the button asks
    QString launchStatus() const;

private:
    struct AIRow
    {
        std::optional<AIFeature> feature;
        QComboBox* provider = nullptr;
        QComboBox* model = nullptr;
    };
    QWidget* buildAudio();
    QWidget* buildShortcuts();
    void refreshCompositorBindings();
    QWidget* buildAI();
    QWidget* buildRetention();
    QWidget* buildJournal();
    QWidget* buildStartup();
    void loadAIRow(AIRow& row);
    void fillModels(AIRow& row, const QString& keep);
    void storeAIRow(const AIRow& row);

    SectionContext& m_context;
    APIKeysPane* m_keys = nullptr;
    QComboBox* m_microphone = nullptr;
    QLabel* m_microphoneStatus = nullptr;
    bool m_microphonesListed = false;
    QComboBox* m_primaryMode = nullptr;
    QHash<QString, ShortcutRecorder*> m_recorders;
    QComboBox* m_panelStyle = nullptr;
    QCheckBox* m_sounds = nullptr;
    QCheckBox* m_pauseMedia = nullptr;
    QSpinBox* m_dictationDays = nullptr;
    QSpinBox* m_noteDays = nullptr;
    QSpinBox* m_audioCount = nullptr;
    QList<AIRow> m_aiRows;
    QCheckBox* m_launchAtLogin = nullptr;
    QLabel* m_launchStatus = nullptr;
    QPlainTextEdit* m_journal = nullptr;
    QPlainTextEdit* m_compositorBindings = nullptr;
    QLabel* m_session = nullptr;
    QPushButton* m_desktopShortcuts = nullptr;
    bool m_loading = false;
};
