#include "BackupFileActions.h"

#include "stats/StatsSnapshot.h"
#include "store/DebugLog.h"
#include "sync/BackupImporter.h"
#include "sync/BackupPayload.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QStandardPaths>

BackupFileActions::BackupFileActions(RecordStore& store, Settings& settings, DebugLog& log, QObject* parent)
    : QObject(parent), m_store(store), m_settings(settings), m_log(log),
      m_export(new QAction(QStringLiteral("Exporter…"), this)),
      m_import(new QAction(QStringLiteral("Importer une sauvegarde…"), this)),
      m_savePicker([](QWidget* parent, const QString& proposed) {
          return QFileDialog::getSaveFileName(parent, QStringLiteral("Exporter les données d'Ovra"), proposed,
                                              QStringLiteral("Document JSON (*.json)"));
      }),
      m_openPicker([](QWidget* parent, const QString& start) {
          return QFileDialog::getOpenFileName(parent, QStringLiteral("Importer une sauvegarde d'Ovra"), start,
                                              QStringLiteral("Document JSON (*.json);;Tous les fichiers (*)"));
      })
{
    m_export->setObjectName(QStringLiteral("exportData"));
    m_import->setObjectName(QStringLiteral("importBackup"));
    const auto documents = [] {
        const QString dir = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        return dir.isEmpty() ? QDir::homePath() : dir;
    };
    connect(m_export, &QAction::triggered, this, [this, documents] {
        const QString path = m_savePicker(m_dialogParent, QDir(documents()).filePath(QLatin1String(kProposedName)));
        if (!path.isEmpty())
            exportTo(path);
    });
    connect(m_import, &QAction::triggered, this, [this, documents] {
        const QString path = m_openPicker(m_dialogParent, documents());
        if (!path.isEmpty())
            importFrom(path);
    });
}

void BackupFileActions::exportTo(const QString& path)
{
    if (const auto ok = exportBackupFile(m_store, m_settings, path); !ok) {
        Q_EMIT failed(QStringLiteral("Export impossible : ") + ok.error().message);
        return;
    }
    Q_EMIT succeeded(QStringLiteral("Données exportées dans « %1 ».").arg(QDir::toNativeSeparators(path)));
}

void BackupFileActions::importFrom(const QString& path)
{
    const auto summary = BackupImporter(m_store, m_settings, m_log).importFile(path);
    if (!summary) {
        Q_EMIT failed(QStringLiteral("Import impossible : ") + summary.error().message);
        return;
    }
    (void)refreshSnapshot(m_store, m_settings);
    Q_EMIT succeeded(summaryText(*summary));
}
