#include "DesktopApplication.h"

#include "Services.h"
#include "dictation/MacAppModeTriggers.h"
#include "dictation/MacDictationController.h"
#include "dictation/MacMediaPauser.h"
#include "dictation/MacPrimaryShortcutHandler.h"
#include "dictation/RecorderPanel.h"
#include "dictation/ShortcutRegistry.h"
#include "dictation/TextDelivery.h"
#include "platform/linux/clipboard/QtPasteboard.h"
#include "platform/linux/dbus/MprisPlayers.h"
#include "platform/linux/signals/TerminationSignals.h"
#include "platform/linux/sound/PulseSoundPlayer.h"
#include "platform/linux/x11/NoBrowserAddress.h"
#include "platform/linux/x11/X11Connection.h"
#include "platform/linux/x11/X11FrontmostApplication.h"
#include "platform/linux/x11/X11KeySynthesizer.h"
#include "platform/linux/x11/X11Keyboard.h"
#include "platform/linux/x11/X11SelectionOwner.h"
#include "transcription/ManagedTranscriber.h"

#include <QDir>
#include <QGuiApplication>
#include <QLockFile>
#include <QTextStream>

namespace {

// The panel is not drawn on Linux yet.
struct HiddenRecorderPanel : RecorderPanel
{
    void show() override {}
    void hide() override {}
};

// At logout (SIGTERM) or on Ctrl-C: a dictation being recorded ends as the shortcut would end
// it, through the pipeline, before the application quits.
QCoro::Task<> finishThenQuit(MacDictationController& controller)
{
    if (controller.state() == RecordingState::recording) {
        auto stopping = controller.stop();
        co_await stopping;
    }
    QCoreApplication::quit();
}

QString lockPath(const Services& services)
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return QDir(runtime.isEmpty() ? services.folders().data : runtime).filePath(QStringLiteral("ovra.lock"));
}

} // namespace

namespace DesktopApplication {

int run(Services& services)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    QLockFile lock(lockPath(services));
    if (!lock.tryLock(0)) {
        err << "Ovra est déjà lancé.\n";
        return 1;
    }
    DebugLog& log = services.log();
    Settings& settings = services.settings();
    RecordStore& store = services.store();
    // The command line may change settings and records while the application runs.
    settings.followExternalChanges();
    store.followExternalChanges();

    // Without an X server the shortcuts are unavailable and the text stays on the clipboard.
    std::unique_ptr<X11Connection> x = X11Connection::open();
    if (!x) {
        log.log(QStringLiteral("MAC raccourci : pas de serveur X — raccourcis globaux et collage indisponibles"));
        err << "Pas de serveur X : raccourcis globaux et collage automatique indisponibles.\n";
    }
    QtPasteboard pasteboard;
    X11KeySynthesizer keys(x.get());
    X11FrontmostApplication frontmost(x.get());
    X11Keyboard keyboard(x.get());
    X11SelectionOwner selectionOwner(x.get(), frontmost);
    TextDelivery delivery(pasteboard, keys, &frontmost, &selectionOwner);
    MprisPlayers players;
    if (!players.isAvailable())
        log.log(QStringLiteral("MAC media pause: pas de bus de session — pause des médias indisponible"));
    MacMediaPauser media(players, settings, log);
    PulseSoundPlayer sounds;
    HiddenRecorderPanel panel;
    NoBrowserAddress browser;
    MacAppModeTriggers appModes(settings, log, frontmost, &browser);
    MacPrimaryShortcutHandler handler(settings, log, keyboard,
                                      [&store](const QUuid& id) { return store.find<TranscriptionMode>(id); });
    ManagedTranscriber transcriber(services.transcription());
    MacDictationController controller(
        {services.recorder(), services.liveTranscriber(), delivery, panel, media, handler, sounds, appModes,
         [&transcriber]() -> Transcriber& { return transcriber; },
         [&services]() -> ChatClient& { return services.claude(); }, &services.offlineQueue(), nullptr, nullptr,
         &services.statsRefresher(), {},
         &services.failedRecordings()},
        settings, services.notifications());
    controller.attachStore(&store);
    QObject::connect(&controller, &MacDictationController::stateChanged, [&out](RecordingState s) {
        out << "état : " << rawValue(s) << Qt::endl;
    });
    QObject::connect(&controller, &MacDictationController::errorMessageChanged, [&controller, &err] {
        if (controller.errorMessage())
            err << *controller.errorMessage() << Qt::endl;
    });

    appModes.start([&store, &controller](const QUuid& id) {
        if (const auto mode = store.find<TranscriptionMode>(id))
            controller.setActiveMode(*mode);
    });

    ShortcutBindings bindings(settings);
    ShortcutRegistry registry(keyboard, bindings, log);
    QObject::connect(&registry, &ShortcutRegistry::shortcutUnavailable,
                     [&err](const QString&, const QString& message) { err << message << Qt::endl; });
    handler.attach(&controller);
    handler.setAppModeSelector(&appModes);
    QList<QUuid> modes;
    for (const TranscriptionMode& m : store.fetch<TranscriptionMode>({}, {{QStringLiteral("sortOrder"), true}}))
        modes << m.id;
    if (x)
        handler.registerActions(registry, modes);

    services.recorder().prewarm();
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::requested, &controller,
                     [&controller] { finishThenQuit(controller); });

    services.startDataUpkeep();
    err << "Ovra est prêt." << Qt::endl;
    const int rc = QGuiApplication::exec();
    handler.attach(nullptr);
    return rc;
}

} // namespace DesktopApplication
