#pragma once
// A real dictation controller on a temporary store and settings, with the platform's recording
// fakes, for the widget tests of the window, tray menu and recorder panel.
#include "fakes/ControllerFakes.h"
#include "dictation/FailedRecordings.h"
#include "fakes/AwaitTask.h"
#include "store/Notifications.h"
#include "store/RecordStore.h"
#include "store/Settings.h"

#include <QTemporaryDir>

struct UiRig : ControllerFakes
{
    QTemporaryDir dir;
    std::unique_ptr<RecordStore> store = std::move(RecordStore::open(dir.filePath("s.sqlite"), {}).value());
    Settings settings{dir.filePath("config")};
    Notifications notifications;
    FailedRecordings failed{dir.filePath("FailedRecordings")};
    MacDictationController controller{collaborators(2.0, &failed), settings, notifications};

    UiRig()
    {
        recorder.file = dir.filePath("rec.wav");
        controller.attachStore(store.get());
    }

    TranscriptionMode addMode(const QString& name, int sortOrder)
    {
        TranscriptionMode m;
        m.name = name;
        m.sortOrder = sortOrder;
        m.transcriptionProviderRaw = QStringLiteral("groq");
        (void)store->save([&] { return store->insert(m); });
        return m;
    }
    Transcription addDictation(const QString& text, int secondsAgo)
    {
        Transcription t;
        t.text = text;
        t.createdAt = QDateTime::currentDateTimeUtc().addSecs(-secondsAgo);
        (void)store->save([&] { return store->insert(t); });
        return t;
    }
    PromptPreset addPrompt(const QString& name, const QString& prompt, int sortOrder)
    {
        PromptPreset p;
        p.name = name;
        p.prompt = prompt;
        p.sortOrder = sortOrder;
        (void)store->save([&] { return store->insert(p); });
        return p;
    }
    void startRecording() { awaitTask(controller.start(DictationTrigger::window)); }
};
