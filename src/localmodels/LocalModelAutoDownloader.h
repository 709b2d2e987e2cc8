#pragma once
// Downloads in the background the on-device models the user's modes need (one pass at a time,
// one more pass when asked during a pass; a model is attempted once per run), and loads the
// active mode's model at start-up so that the first dictation does not wait for it.
#include <QCoroTask>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUuid>
#include <optional>

class DebugLog;
class LocalModels;
class RecordStore;
class Settings;
struct TranscriptionMode;

class LocalModelAutoDownloader : public QObject
{
    Q_OBJECT
public:
    LocalModelAutoDownloader(RecordStore& store, Settings& settings, LocalModels& models, DebugLog& log,
                             QObject* parent = nullptr);

    QCoro::Task<> run();
    // Once per run; activeModeID is the mode the first dictation will use.
    QCoro::Task<> prewarm(QUuid activeModeID);
    // A pass after every change of the modes.
    void followModeEdits();

    // The model a mode runs on this machine, or nothing for a cloud or system provider.
    static std::optional<QString> localModelOf(const TranscriptionMode& mode);

    QSet<QString> attempted() const { return m_attempted; }
    bool isRunning() const { return m_isRunning; }
    int passes() const { return m_passes; }

Q_SIGNALS:
    void passFinished();

private:
    QCoro::Task<> pass();

    RecordStore& m_store;
    Settings& m_settings;
    LocalModels& m_models;
    DebugLog& m_log;
    QSet<QString> m_attempted;
    bool m_isRunning = false;
    bool m_rerunRequested = false;
    bool m_prewarmed = false;
    int m_passes = 0;
};
