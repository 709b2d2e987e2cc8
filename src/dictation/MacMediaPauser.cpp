#include "MacMediaPauser.h"

#include "platform/MediaPlayers.h"
#include "store/AppSettingsKeys.h"
#include "store/DebugLog.h"
#include "store/Settings.h"

#include <QPointer>

MacMediaPauser::MacMediaPauser(MediaPlayers& players, Settings& settings, DebugLog& log, QObject* parent)
    : QObject(parent), m_players(players), m_settings(settings), m_log(log)
{
}

void MacMediaPauser::logError(const QString& player, const QString& error)
{
    m_log.log(QStringLiteral("MAC media pause: erreur MPRIS ") + player + QStringLiteral(" — ") + error);
}

void MacMediaPauser::pause()
{
    // A new recording while the previous pause is still querying players: that pause now
    // serves this recording, and the resume the previous one asked for must not run.
    if (m_pausing) {
        m_resumeAfterPause = false;
        return;
    }
    if (m_resuming) {
        m_pauseAfterResume = true;
        return;
    }
    startPause();
}

void MacMediaPauser::startPause()
{
    if (!m_settings.boolValue(AppSettingsKey::pauseMedia, true) || !m_players.isAvailable())
        return;
    m_pausedByUs.clear();
    pauseTask();
}

QCoro::Task<> MacMediaPauser::pauseTask()
{
    QPointer<MacMediaPauser> self(this);
    m_pausing = true;
    const QStringList running = co_await m_players.runningPlayers();
    for (const QString& player : running) {
        if (!self)
            co_return;
        const Expected<bool, QString> playing = co_await self->m_players.isPlaying(player);
        if (!self)
            co_return;
        if (!playing) {
            self->logError(player, playing.error());
            continue;
        }
        if (!*playing)
            continue;
        const Expected<void, QString> paused = co_await self->m_players.pause(player);
        if (!self)
            co_return;
        if (paused)
            self->m_pausedByUs.append(player);
        else
            self->logError(player, paused.error());
    }
    if (!self)
        co_return;
    self->m_pausing = false;
    Q_EMIT self->pauseFinished();
    if (self->m_resumeAfterPause) {
        self->m_resumeAfterPause = false;
        self->resumeTask();
    }
}

void MacMediaPauser::resume()
{
    if (m_pausing) {
        m_resumeAfterPause = true;
        return;
    }
    if (m_resuming) {
        m_pauseAfterResume = false; // the recording asked for meanwhile has ended too
        return;
    }
    resumeTask();
}

QCoro::Task<> MacMediaPauser::resumeTask()
{
    QPointer<MacMediaPauser> self(this);
    m_resuming = true;
    const QStringList paused = std::exchange(m_pausedByUs, {});
    if (!paused.isEmpty()) {
        const QStringList running = co_await m_players.runningPlayers();
        for (const QString& player : paused) {
            if (!self)
                co_return;
            // A player closed meanwhile is not started again.
            if (!running.contains(player))
                continue;
            const Expected<void, QString> played = co_await self->m_players.play(player);
            if (self && !played)
                self->logError(player, played.error());
        }
    }
    if (!self)
        co_return;
    self->m_resuming = false;
    Q_EMIT self->resumeFinished();
    if (self && std::exchange(self->m_pauseAfterResume, false))
        self->startPause();
}
