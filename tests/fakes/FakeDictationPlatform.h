#pragma once
// Recording fakes of everything the dictation controller drives on the desktop: recorder, live
// recogniser, delivery, recorder panel, media pausing, Escape monitors, sounds, auto-send modes.
#include "dictation/AudioRecorder.h"
#include "dictation/AutoSendModes.h"
#include "dictation/DictationDelivery.h"
#include "dictation/EscapeMonitors.h"
#include "dictation/LiveRecognizer.h"
#include "dictation/MediaPauser.h"
#include "dictation/RecorderPanel.h"
#include "platform/SoundPlayer.h"

#include <QFile>
#include <functional>
#include <QStringList>

class FakeAudioRecorder : public AudioRecorder
{
public:
    bool permission = true;
    std::optional<QString> startError;
    // What stop() yields; the file is created on start so deletions can be checked.
    std::optional<QString> file;
    double recordedSeconds = 2.0;
    DictationLevelStats stats;
    bool recording = false;
    int starts = 0;
    int stops = 0;
    int cancels = 0;
    // Runs inside stop(), while the caller awaits it (a cancel arriving meanwhile).
    std::function<void()> whileStopping;

    QCoro::Task<bool> requestPermission() override { co_return permission; }
    Expected<void, QString> start() override
    {
        if (startError)
            return unexpected(*startError);
        ++starts;
        recording = true;
        if (file) {
            QFile f(*file);
            if (f.open(QIODevice::WriteOnly))
                f.write("RIFF");
        }
        return {};
    }
    QCoro::Task<std::optional<QString>> stop() override
    {
        ++stops;
        recording = false;
        if (whileStopping)
            whileStopping();
        std::optional<QString> out = file; // a copy: the member must survive the co_return
        co_return out;
    }
    // Like the real recorder: discards the last file, even one already yielded by stop().
    void cancel() override
    {
        ++cancels;
        recording = false;
        if (file)
            QFile::remove(*file);
        recordedSeconds = 0;
    }
    bool isRecording() const override { return recording; }
    double elapsed() const override { return recordedSeconds; }
    DictationLevelStats levelStats() const override { return stats; }
};

class FakeLiveRecognizer : public LiveRecognizer
{
public:
    std::optional<QString> startError;
    QString text;
    double seconds = 2.0;
    DictationLevelStats stats;
    bool running = false;
    QStringList languages;
    int cancels = 0;
    std::function<void()> whileStopping;

    QCoro::Task<Expected<void, QString>> start(QString language) override
    {
        if (startError)
            co_return unexpected(*startError);
        languages << language;
        running = true;
        co_return Expected<void, QString>{};
    }
    QCoro::Task<> stop() override
    {
        running = false;
        if (whileStopping)
            whileStopping();
        co_return;
    }
    void cancel() override
    {
        ++cancels;
        running = false;
    }
    bool isRunning() const override { return running; }
    double elapsed() const override { return seconds; }
    QString finalText() const override { return text; }
    DictationLevelStats levelStats() const override { return stats; }
};

class FakeDelivery : public DictationDelivery
{
public:
    bool trusted = true;
    std::optional<QString> selection;
    QStringList pasted;
    QStringList copied;
    int returns = 0;
    int trustRequests = 0;

    bool pasteAtCursor(const QString& text) override
    {
        copied << text; // the paste goes through the clipboard
        if (!trusted)
            return false;
        pasted << text;
        return true;
    }
    void pressReturn() override { ++returns; }
    void copyToClipboard(const QString& text) override { copied << text; }
    QCoro::Task<std::optional<QString>> readSelectedText() override
    {
        std::optional<QString> out = selection;
        co_return out;
    }
    bool isTrusted() const override { return trusted; }
    void requestTrust() override { ++trustRequests; }
};

class FakeRecorderPanel : public RecorderPanel
{
public:
    bool visible = false;
    int shows = 0;
    void show() override
    {
        ++shows;
        visible = true;
    }
    void hide() override { visible = false; }
};

class FakeMediaPauser : public MediaPauser
{
public:
    bool paused = false;
    int pauses = 0;
    void pause() override
    {
        ++pauses;
        paused = true;
    }
    void resume() override { paused = false; }
};

class FakeEscapeMonitors : public EscapeMonitors
{
public:
    bool installed = false;
    void install() override { installed = true; }
    void remove() override { installed = false; }
};

class FakeSoundPlayer : public SoundPlayer
{
public:
    QList<SystemSound> played;
    void play(SystemSound sound) override { played << sound; }
};

class FakeAutoSendModes : public AutoSendModes
{
public:
    QSet<QString> ids;
    QSet<QString> autoSendModeIDs() const override { return ids; }
};
