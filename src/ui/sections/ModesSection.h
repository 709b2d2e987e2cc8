#pragma once
// The user's modes: the list in its order, every field of the selected mode, its global
// shortcut, the applications and addresses that select it, and auto-send.
#include "platform/KeyCombo.h"
#include "store/Records.h"
#include "ui/Section.h"
#include "ui/SectionContext.h"

#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QStackedWidget;
class ShortcutRecorder;

class ModesSection : public Section
{
    Q_OBJECT
public:
    ModesSection(SectionContext& context, QWidget* parent = nullptr);

    void activated() override;

    QList<TranscriptionMode> modes() const { return m_modes; }
    std::optional<QUuid> selectedID() const { return m_selected; }
    void select(const QUuid& id);

    // The record as the form shows it (the selected mode with the form's values).
    std::optional<TranscriptionMode> editedMode() const;
    // Stores the form; an error message when it cannot be stored.
    std::optional<QString> save();
    void revert();
    QUuid addMode();
    void deleteSelected(); // no confirmation here; the button asks
    void moveSelected(int delta);
    // The rules of the selected mode, one entry per line, applied at once.
    void setApplications(const QStringList& ids);
    void setAddresses(const QStringList& fragments);
    void setAutoSend(bool on);
    void setShortcut(const std::optional<KeyCombo>& combo);
    bool isDirty() const { return m_dirty; }
    QString statusText() const;

    // Widgets, for keyboard and tests.
    QLineEdit* nameEdit() const { return m_name; }
    QComboBox* providerBox() const { return m_provider; }
    QComboBox* transcriptionModelBox() const { return m_model; }
    QComboBox* languageBox() const { return m_language; }
    QCheckBox* aiBox() const { return m_ai; }
    QComboBox* aiProviderBox() const { return m_aiProvider; }
    QComboBox* aiModelBox() const { return m_aiModel; }
    QCheckBox* overrideBox() const { return m_override; }
    QComboBox* overrideProviderBox() const { return m_overrideProvider; }
    QComboBox* overrideModelBox() const { return m_overrideModel; }
    QComboBox* presetBox() const { return m_preset; }
    QPlainTextEdit* promptEdit() const { return m_prompt; }
    QCheckBox* trimBox() const { return m_trim; }
    QCheckBox* liveBox() const { return m_live; }
    QSpinBox* chunkBox() const { return m_chunk; }
    QLineEdit* iconEdit() const { return m_icon; }
    QComboBox* iconColorBox() const { return m_iconColor; }
    QComboBox* iconBackgroundBox() const { return m_iconBackground; }
    ShortcutRecorder* shortcutRecorder() const { return m_shortcut; }
    QPlainTextEdit* applicationsEdit() const { return m_apps; }
    QPlainTextEdit* addressesEdit() const { return m_urls; }
    QCheckBox* autoSendBox() const { return m_autoSend; }

private:
    void reload();
    void loadForm();
    void refreshModelChoices();
    void refreshAIModels(QComboBox* providerBox, QComboBox* modelBox, const QString& keep);
    void refreshPresets();
    void refreshEnabling();
    void markDirty();
    void setStatus(const QString& text);
    QWidget* buildForm();

    SectionContext& m_context;
    QList<TranscriptionMode> m_modes;
    std::optional<QUuid> m_selected;
    bool m_loading = false;
    bool m_dirty = false;

    QListWidget* m_list;
    QPushButton* m_add;
    QPushButton* m_remove;
    QPushButton* m_up;
    QPushButton* m_down;
    QStackedWidget* m_stack;
    QLineEdit* m_name;
    QLineEdit* m_icon;
    QComboBox* m_iconColor;
    QComboBox* m_iconBackground;
    QComboBox* m_provider;
    QComboBox* m_model;
    QComboBox* m_language;
    QCheckBox* m_trim;
    QCheckBox* m_live;
    QSpinBox* m_chunk;
    QCheckBox* m_ai;
    QComboBox* m_aiProvider;
    QComboBox* m_aiModel;
    QCheckBox* m_override;
    QComboBox* m_overrideProvider;
    QComboBox* m_overrideModel;
    QComboBox* m_preset;
    QPlainTextEdit* m_prompt;
    ShortcutRecorder* m_shortcut;
    QPlainTextEdit* m_apps;
    QPlainTextEdit* m_urls;
    QPushButton* m_applyRules;
    QCheckBox* m_autoSend;
    QPushButton* m_save;
    QPushButton* m_revert;
    QLabel* m_status;
};
