#pragma once
// The platform and AI fakes a real dictation controller runs on, for its own tests and the
// widget tests.
#include "dictation/MacDictationController.h"
#include "fakes/FakeAIServices.h"
#include "fakes/FakeDictationPlatform.h"
#include "fakes/FakePasteboard.h"

struct ControllerFakes
{
    FakeAudioRecorder recorder;
    FakeLiveRecognizer live;
    FakeDelivery delivery;
    FakeRecorderPanel panel;
    FakeMediaPauser media;
    FakeEscapeMonitors escape;
    FakeSoundPlayer sounds;
    FakeAutoSendModes autoSend;
    FakeTranscriber transcriber;
    FakeChatClient chat;
    FakeFollowUps followUps;
    FakePasteboard pasteboard;

    // mediaSeconds: what the decoder reports for a transcribed file.
    MacDictationController::Collaborators collaborators(double mediaSeconds, FailedRecordings* failed = nullptr,
                                                        OfflineQueue* offline = nullptr, KeptRecordings* kept = nullptr)
    {
        return {recorder,
                live,
                delivery,
                panel,
                media,
                escape,
                sounds,
                autoSend,
                [this]() -> Transcriber& { return transcriber; },
                [this]() -> ChatClient& { return chat; },
                offline,
                &followUps,
                &followUps,
                &followUps,
                [mediaSeconds](QString) -> QCoro::Task<double> { co_return mediaSeconds; },
                failed,
                kept};
    }
};
