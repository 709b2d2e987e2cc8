#include "CloudSyncPane.h"

#include "store/AppSettingsKeys.h"
#include "store/Settings.h"
#include "sync/CloudFolder.h"
#include "sync/CloudSettingsSync.h"
#include "sync/ICloudSync.h"
#include "sync/SecretsBackupService.h"
#include "ui/SectionContext.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
QString frenchDate(const QDateTime& d)
{
    return QLocale(QLocale::French).toString(d.toLocalTime(), QStringLiteral("d MMMM yyyy 'à' HH:mm"));
}
} // namespace

CloudSyncPane::CloudSyncPane(SectionContext& context, ICloudSync& sync, SecretsBackupService& keyBackup,
                             CloudSettingsSync* settingsSync, QWidget* parent)
    : QGroupBox(QStringLiteral("Synchronisation entre tes ordinateurs"), parent), m_context(context), m_sync(sync),
      m_keyBackup(keyBackup), m_settingsSync(settingsSync)
{
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(
        QStringLiteral("Ovra synchronise tes modes, ton vocabulaire, tes notes et ton historique par un dossier que "
                       "ton client de synchronisation recopie déjà (Nextcloud, Dropbox, Syncthing, Seafile, une "
                       "clé USB…). Aucun serveur d'Ovra."),
        this);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    auto* folderRow = new QHBoxLayout;
    m_folder = new QLineEdit(this);
    m_folder->setReadOnly(true);
    m_folder->setPlaceholderText(QStringLiteral("Aucun dossier choisi"));
    m_folder->setAccessibleName(QStringLiteral("Dossier synchronisé"));
    auto* choose = new QPushButton(QStringLiteral("Choisir…"), this);
    folderRow->addWidget(new QLabel(QStringLiteral("Dossier :"), this));
    folderRow->addWidget(m_folder, 1);
    folderRow->addWidget(choose);
    layout->addLayout(folderRow);
    m_override = new QLabel(this);
    m_override->setWordWrap(true);
    layout->addWidget(m_override);

    m_automatic = new QCheckBox(QStringLiteral("Synchroniser au démarrage et à chaque retour dans Ovra"), this);
    layout->addWidget(m_automatic);
    auto* syncRow = new QHBoxLayout;
    m_syncButton = new QPushButton(QStringLiteral("Synchroniser maintenant"), this);
    m_syncStatus = new QLabel(this);
    m_syncStatus->setWordWrap(true);
    syncRow->addWidget(m_syncButton);
    syncRow->addWidget(m_syncStatus, 1);
    layout->addLayout(syncRow);

    auto* keysTitle = new QLabel(QStringLiteral("<b>Sauvegarde chiffrée des clés d'API</b>"), this);
    layout->addWidget(keysTitle);
    auto* keysNote = new QLabel(
        QStringLiteral("Tes clés sont chiffrées sous une phrase de passe, puis copiées dans le dossier synchronisé "
                       "(« ovra-keys.json »). La clé de chiffrement est tirée de la phrase sans étirement : choisis "
                       "une phrase longue (au moins %1 caractères, plusieurs mots).")
            .arg(SecretsBackupService::kMinimumPasswordLength),
        this);
    keysNote->setWordWrap(true);
    layout->addWidget(keysNote);
    m_backupStatus = new QLabel(this);
    layout->addWidget(m_backupStatus);
    auto* keyRow = new QGridLayout;
    m_create = new QPushButton(QStringLiteral("Créer la sauvegarde…"), this);
    m_change = new QPushButton(QStringLiteral("Changer la phrase de passe…"), this);
    m_restore = new QPushButton(QStringLiteral("Restaurer les clés…"), this);
    m_delete = new QPushButton(QStringLiteral("Supprimer la sauvegarde"), this);
    // Two by two: the four labels do not fit one row of a narrow window.
    keyRow->addWidget(m_create, 0, 0);
    keyRow->addWidget(m_change, 0, 1);
    keyRow->addWidget(m_restore, 1, 0);
    keyRow->addWidget(m_delete, 1, 1);
    keyRow->setColumnStretch(2, 1);
    layout->addLayout(keyRow);
    m_backupMessage = new QLabel(this);
    m_backupMessage->setWordWrap(true);
    layout->addWidget(m_backupMessage);

    connect(choose, &QPushButton::clicked, this, [this] {
        const QString folder = QFileDialog::getExistingDirectory(this, QStringLiteral("Dossier synchronisé"),
                                                                 m_folder->text());
        if (!folder.isEmpty())
            chooseFolder(folder);
    });
    connect(m_automatic, &QCheckBox::toggled, this,
            [this](bool on) { m_context.settings.setValue(SharedDefaultsKey::iCloudSyncEnabled, on); });
    connect(m_syncButton, &QPushButton::clicked, this, &CloudSyncPane::syncNow);
    connect(&m_sync, &ICloudSync::lastMessageChanged, this, &CloudSyncPane::refreshSync);
    connect(&m_sync, &ICloudSync::lastSyncedAtChanged, this, &CloudSyncPane::refreshSync);
    connect(&m_sync, &ICloudSync::isSyncingChanged, this, &CloudSyncPane::refreshSync);
    connect(&m_context.settings, &Settings::changed, this, [this](const QString& key) {
        if (key == AppSettingsKey::cloudFolder || key == SharedDefaults::key(SharedDefaultsKey::iCloudSyncEnabled))
            refreshSync();
    });
    connect(&m_keyBackup, &SecretsBackupService::backupChanged, this, &CloudSyncPane::refreshBackup);
    connect(m_create, &QPushButton::clicked, this, [this] {
        const QStringList p = askPasswords(QStringLiteral("Créer la sauvegarde des clés"),
                                           {QStringLiteral("Phrase de passe :"), QStringLiteral("La même, encore :")});
        if (p.size() == 2)
            createBackup(p[0], p[1]);
    });
    connect(m_change, &QPushButton::clicked, this, [this] {
        const QStringList p = askPasswords(QStringLiteral("Changer la phrase de passe"),
                                           {QStringLiteral("Phrase actuelle :"), QStringLiteral("Nouvelle phrase :"),
                                            QStringLiteral("La même, encore :")});
        if (p.size() == 3)
            changePassword(p[0], p[1], p[2]);
    });
    connect(m_restore, &QPushButton::clicked, this, [this] {
        const QStringList p = askPasswords(QStringLiteral("Restaurer les clés"), {QStringLiteral("Phrase de passe :")});
        if (p.size() == 1)
            restoreKeys(p[0]);
    });
    connect(m_delete, &QPushButton::clicked, this, [this] {
        if (QMessageBox::question(this, QStringLiteral("Supprimer la sauvegarde"),
                                  QStringLiteral("Supprimer la sauvegarde chiffrée des clés ? Les clés restent dans "
                                                 "le trousseau de ce poste.")) == QMessageBox::Yes)
            deleteBackup();
    });
    refreshSync();
    refreshBackup();
}

void CloudSyncPane::chooseFolder(const QString& folder)
{
    // The composition root syncs after the change.
    m_context.settings.setValue(AppSettingsKey::cloudFolder, folder);
    refreshSync();
}

void CloudSyncPane::syncNow()
{
    if (m_settingsSync)
        m_settingsSync->syncNow();
    m_sync.sync(); // reports through lastMessage
}

void CloudSyncPane::refreshSync()
{
    const QString env = qEnvironmentVariable(CloudFolder::kEnvironmentOverride);
    m_folder->setText(CloudFolder::chosenRoot(m_context.settings));
    m_override->setVisible(!env.isEmpty());
    m_override->setText(QStringLiteral("La variable OVRA_CLOUD_DIR impose ce dossier."));
    {
        const QSignalBlocker block(m_automatic);
        m_automatic->setChecked(m_context.settings.iCloudSyncEnabled());
    }
    m_syncButton->setEnabled(!m_sync.isSyncing());
    QString status = m_sync.isSyncing() ? QStringLiteral("Synchronisation…") : m_sync.lastMessage();
    if (const auto at = m_sync.lastSyncedAtValue(); at && !m_sync.isSyncing())
        status += QStringLiteral("\nDernière synchronisation : ") + frenchDate(*at);
    m_syncStatus->setText(status);
}

void CloudSyncPane::refreshBackup()
{
    const auto backup = m_keyBackup.currentBackup();
    m_backupStatus->setText(backup ? QStringLiteral("Sauvegarde du %1.").arg(frenchDate(backup->updatedAt))
                                   : QStringLiteral("Aucune sauvegarde des clés sur ce poste."));
    m_change->setEnabled(backup.has_value());
    m_delete->setEnabled(backup.has_value());
}

void CloudSyncPane::showBackupResult(const QString& message)
{
    m_backupMessage->setText(message);
    refreshBackup();
}

void CloudSyncPane::createBackup(const QString& password, const QString& confirmation)
{
    if (password != confirmation)
        return showBackupResult(QStringLiteral("Les deux saisies diffèrent : rien n'a changé."));
    const auto r = m_keyBackup.backup(password);
    showBackupResult(r ? QStringLiteral("Sauvegarde créée ; la prochaine synchronisation la copie dans le dossier.")
                       : r.error().message());
}

void CloudSyncPane::changePassword(const QString& current, const QString& next, const QString& confirmation)
{
    if (next != confirmation)
        return showBackupResult(QStringLiteral("Les deux saisies diffèrent : rien n'a changé."));
    const auto r = m_keyBackup.changePassword(current, next);
    showBackupResult(r ? QStringLiteral("Phrase de passe changée.") : r.error().message());
}

void CloudSyncPane::restoreKeys(const QString& password)
{
    const std::optional<CloudFolder> folder = CloudFolder::locate(m_context.settings);
    const auto r = m_keyBackup.restore(password, folder ? &*folder : nullptr);
    showBackupResult(r ? QStringLiteral("Clés restaurées dans le trousseau.") : r.error().message());
}

void CloudSyncPane::deleteBackup()
{
    const auto r = m_keyBackup.deleteBackup();
    showBackupResult(r ? QStringLiteral("Sauvegarde supprimée.") : r.error().message());
}

QStringList CloudSyncPane::askPasswords(const QString& title, const QStringList& labels)
{
    QDialog dialog(this);
    dialog.setWindowTitle(title);
    auto* form = new QFormLayout(&dialog);
    QList<QLineEdit*> fields;
    for (const QString& label : labels) {
        auto* field = new QLineEdit(&dialog);
        field->setEchoMode(QLineEdit::Password);
        form->addRow(label, field);
        fields << field;
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    QStringList out;
    for (QLineEdit* f : fields)
        out << f->text();
    return out;
}
