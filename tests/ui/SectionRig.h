#pragma once
// Everything a window section is handed, on temporary folders: the real store, settings,
// journal and in-memory secret store of the composition root, a controller driven by fakes,
// a scripted chat client and an in-memory clipboard.
#include "app/Services.h"
#include "dictation/MacAppModeTriggers.h"
#include "fakes/ControllerFakes.h"
#include "dictation/ShortcutBindings.h"
#include "fakes/FakeFrontmostApplication.h"
#include "ui/MacNavigation.h"
#include "ui/SectionContext.h"

#include <QDir>
#include <QTemporaryDir>
#include <memory>

struct SectionRig : ControllerFakes
{
    QTemporaryDir dir;
    std::unique_ptr<Services> services;
    FakeFrontmostApplication frontmost;
    MacNavigation navigation;
    std::unique_ptr<ShortcutBindings> shortcuts;
    std::unique_ptr<MacAppModeTriggers> appModes;
    std::unique_ptr<MacDictationController> controller;
    std::unique_ptr<SectionContext> context;

    SectionRig()
    {
        qputenv("OVRA_SECRET_STORE", "memory");
        auto created = Services::create({dir.filePath(QStringLiteral("data")), dir.filePath(QStringLiteral("config"))});
        if (!created)
            qFatal("%s", qPrintable(created.error()));
        services = std::move(created.value());
        Services& s = *services;
        shortcuts = std::make_unique<ShortcutBindings>(s.settings());
        appModes = std::make_unique<MacAppModeTriggers>(s.settings(), s.log(), frontmost, nullptr);
        controller = std::make_unique<MacDictationController>(collaborators(4.0, &s.failedRecordings()),
            s.settings(), s.notifications());
        controller->attachStore(&s.store());
        context.reset(new SectionContext{s.store(), s.settings(), s.log(), s.notifications(), *controller, navigation,
                                         s.vault(), s.keychain(), s.keyVerifier(), s.usage(), s.transcription(),
                                         *shortcuts, pasteboard});
        context->chat = &chat;
        context->appModes = appModes.get();
        context->localModels = &s.localModels();
    }

    RecordStore& store() { return services->store(); }
    Settings& settings() { return services->settings(); }
};
