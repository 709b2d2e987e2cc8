#pragma once
// The window's "Exporter…" and "Importer une sauvegarde…": the whole data as one JSON document
// written where the user says, and a document merged back without duplicates.
#include <QObject>
#include <functional>

class DebugLog;
class QAction;
class QWidget;
class RecordStore;
class Settings;

class BackupFileActions : public QObject
{
    Q_OBJECT
public:
    static constexpr const char* kProposedName = "ovra-donnees.json";

    // Asks for a path: (parent, proposed path) → the chosen one, empty when cancelled.
    using PathPicker = std::function<QString(QWidget*, const QString&)>;

    BackupFileActions(RecordStore& store, Settings& settings, DebugLog& log, QObject* parent = nullptr);

    QAction* exportAction() const { return m_export; }
    QAction* importAction() const { return m_import; }

    void setSavePicker(PathPicker picker) { m_savePicker = std::move(picker); }
    void setOpenPicker(PathPicker picker) { m_openPicker = std::move(picker); }
    // Where the dialogs are centred.
    void setDialogParent(QWidget* parent) { m_dialogParent = parent; }

    void exportTo(const QString& path);
    void importFrom(const QString& path);

Q_SIGNALS:
    // What was done, for the user.
    void succeeded(const QString& message);
    void failed(const QString& message);

private:
    RecordStore& m_store;
    Settings& m_settings;
    DebugLog& m_log;
    QAction* m_export;
    QAction* m_import;
    PathPicker m_savePicker;
    PathPicker m_openPicker;
    QWidget* m_dialogParent = nullptr;
};
