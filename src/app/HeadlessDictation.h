#pragma once
// The dictation controller as the command line uses it: no panel, sounds or media pausing;
// the text goes to the clipboard when a display is present.
#include "ProgressLine.h"
#include "dictation/AutoSendModes.h"
#include "dictation/DictationDelivery.h"
#include "dictation/EscapeMonitors.h"
#include "dictation/LiveRecognizer.h"
#include "dictation/MacAudioRecorder.h"
#include "dictation/MacDictationController.h"
#include "dictation/MediaPauser.h"
#include "dictation/RecorderPanel.h"
#include "platform/SoundPlayer.h"
#include "transcription/ManagedTranscriber.h"

class QTextStream;
class Services;

// Copies through xclip, which keeps serving the selection after this process has ended.
class ClipboardCommandDelivery : public DictationDelivery
{
public:
    static bool displayPresent();

    bool pasteAtCursor(const QString& text) override;
    void pressReturn() override {}
    void copyToClipboard(const QString& text) override;
    QCoro::Task<std::optional<QString>> readSelectedText() override;
    bool isTrusted() const override { return false; }
    void requestTrust() override {}
};

class HeadlessDictation
{
public:
    explicit HeadlessDictation(Services& services);
    ~HeadlessDictation();
    MacDictationController& controller() { return m_controller; }
    // What the progress line shows at this point of the dictation.
    ProgressLine::State progress(double limitSeconds = 0) const;
    // After a dictation: its message on err, its text on out; the exit code. A message without a
    // stored dictation is a failure; with one (the AI step failed, the transcript was kept) it
    // is a warning. A text a fallback produced comes with one line saying so.
    int reportOutcome(QTextStream& out, QTextStream& err) const;

private:
    struct Quiet : RecorderPanel, MediaPauser, EscapeMonitors, SoundPlayer, AutoSendModes
    {
        void show() override {}
        void hide() override {}
        void pause() override {}
        void resume() override {}
        void install() override {}
        void remove() override {}
        void play(SystemSound) override {}
        QSet<QString> autoSendModeIDs() const override { return {}; }
    };

    MacAudioRecorder& m_recorder;
    ClipboardCommandDelivery m_delivery;
    QString m_fallbackNotice;
    QMetaObject::Connection m_fallbackWatch;
    Quiet m_quiet;
    ManagedTranscriber m_transcriber;
    MacDictationController m_controller;
};
