#pragma once
// The sync part of the settings: the folder the user's cloud client synchronises, "Synchroniser
// maintenant" with the last sync and its message, and the encrypted backup of the API keys.
#include <QGroupBox>

class CloudSettingsSync;
class ICloudSync;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class SecretsBackupService;
struct SectionContext;

class CloudSyncPane : public QGroupBox
{
    Q_OBJECT
public:
    CloudSyncPane(SectionContext& context, ICloudSync& sync, SecretsBackupService& keyBackup,
                  CloudSettingsSync* settingsSync, QWidget* parent = nullptr);

    // What the buttons do once the folder or passwords are known (the tests call these).
    void chooseFolder(const QString& folder);
    void syncNow();
    void createBackup(const QString& password, const QString& confirmation);
    void changePassword(const QString& current, const QString& next, const QString& confirmation);
    void restoreKeys(const QString& password);
    void deleteBackup();

    QLabel* syncStatus() const { return m_syncStatus; }
    QLabel* backupStatus() const { return m_backupStatus; }
    QLabel* backupMessage() const { return m_backupMessage; }
    QLineEdit* folderField() const { return m_folder; }
    QPushButton* syncButton() const { return m_syncButton; }

private:
    void refreshSync();
    void refreshBackup();
    void showBackupResult(const QString& message);
    // Asks for passwords in a dialog; empty when cancelled.
    QStringList askPasswords(const QString& title, const QStringList& labels);

    SectionContext& m_context;
    ICloudSync& m_sync;
    SecretsBackupService& m_keyBackup;
    CloudSettingsSync* m_settingsSync;
    QLineEdit* m_folder = nullptr;
    QLabel* m_override = nullptr;
    QCheckBox* m_automatic = nullptr;
    QPushButton* m_syncButton = nullptr;
    QLabel* m_syncStatus = nullptr;
    QLabel* m_backupStatus = nullptr;
    QLabel* m_backupMessage = nullptr;
    QPushButton* m_create = nullptr;
    QPushButton* m_change = nullptr;
    QPushButton* m_restore = nullptr;
    QPushButton* m_delete = nullptr;
};
