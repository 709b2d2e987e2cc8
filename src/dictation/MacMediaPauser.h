#pragma once
// Pauses the media players that are playing when a recording starts and resumes exactly those
// when it ends, so music is not recorded along with the voice.
#include "MediaPauser.h"

#include <QCoroTask>
#include <QObject>
#include <QStringList>

class DebugLog;
class MediaPlayers;
class Settings;

class MacMediaPauser : public QObject, public MediaPauser
{
    Q_OBJECT
public:
    MacMediaPauser(MediaPlayers& players, Settings& settings, DebugLog& log, QObject* parent = nullptr);

    // Does nothing when "ovra.mac.pauseMedia" is off (a missing or non-boolean value means on).
    void pause() override;
    // Undoes what pause did, whatever the setting says now.
    void resume() override;
    const QStringList& pausedByUs() const { return m_pausedByUs; }

Q_SIGNALS:
    // For tests and the journal: the asynchronous pause or resume has finished.
    void pauseFinished();
    void resumeFinished();

private:
    void startPause();
    QCoro::Task<> pauseTask();
    QCoro::Task<> resumeTask();
    void logError(const QString& player, const QString& error);

    MediaPlayers& m_players;
    Settings& m_settings;
    DebugLog& m_log;
    QStringList m_pausedByUs;
    bool m_pausing = false;
    bool m_resuming = false;
    // A resume asked for while the pause is still querying players runs when it is done.
    bool m_resumeAfterPause = false;
    // A new recording while players are being started again: the pause runs once they are, or
    // it would find them not yet playing and leave them to start during the recording.
    bool m_pauseAfterResume = false;
};
