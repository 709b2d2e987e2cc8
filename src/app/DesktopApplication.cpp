#include "DesktopApplication.h"

#include "DesktopControl.h"
#include "DesktopPlatform.h"
#include "HelperTextDelivery.h"
#include "Services.h"
#include "dictation/MacAppModeTriggers.h"
#include "dictation/MacDictationController.h"
#include "dictation/MacMediaPauser.h"
#include "dictation/MacPrimaryShortcutHandler.h"
#include "dictation/ModeShortcuts.h"
#include "dictation/ShortcutRegistry.h"
#include "dictation/TextDelivery.h"
#include "helper/HostDisplayName.h"
#include "helper/MacHelperReceiver.h"
#include "platform/GlobalKeyboard.h"
#include "platform/linux/autostart/XdgAutostartEntry.h"
#include "platform/linux/avahi/AvahiServiceAdvertiser.h"
#include "platform/linux/dbus/DBusControlClient.h"
#include "platform/linux/dbus/DBusControlService.h"
#include "platform/linux/dbus/MprisPlayers.h"
#include "platform/linux/signals/TerminationSignals.h"
#include "platform/linux/sound/PulseSoundPlayer.h"
#include "store/AppSettingsKeys.h"
#include "transcription/ManagedTranscriber.h"
#include "ui/AppCommands.h"
#include "ui/AppIconPicker.h"
#include "ui/AppIcons.h"
#include "ui/BackupFileActions.h"
#include "ui/MacNavigation.h"
#include "ui/MacRecorderHUD.h"
#include "ui/MainWindow.h"
#include "ui/SectionContext.h"
#include "ui/TrayItem.h"
#include "ui/TrayMenu.h"
#include "ui/UpdateChecker.h"
#include "ui/WhatsNewDialog.h"

#include <QCoroTask>
#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QLockFile>
#include <QMessageBox>
#include <QPushButton>
#include <QPointer>
#include <QTextStream>
#include <QTimer>

namespace {

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

// Dialogs need someone to see them; the offscreen platform (tests, no display) has no one.
bool canShowDialogs()
{
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

constexpr const char* kNoTrayNoticeKey = "ovra.mac.noTrayNoticeShown";

} // namespace

// Everything the desktop session owns, in construction order (destroyed in reverse).
struct DesktopApplication::Parts
{
    Parts(Services& s, std::unique_ptr<DesktopPlatform> session)
        : platform(std::move(session)),
          delivery(platform->pasteboard(), platform->keys(), &platform->frontmost(), platform->selectionOwner()),
          helperDelivery(delivery), media(players, s.settings(), s.log()),
          appModes(s.settings(), s.log(), platform->frontmost(), &platform->browser()),
          handler(s.settings(), s.log(), platform->monitor(),
                  [&s](const QUuid& id) { return s.store().find<TranscriptionMode>(id); }),
          transcriber(s.transcription()), bindings(s.settings()), registry(platform->grabber(), bindings, s.log())
    {
    }

    std::unique_ptr<DesktopPlatform> platform;
    TextDelivery delivery;
    HelperTextDelivery helperDelivery;
    MprisPlayers players;
    MacMediaPauser media;
    PulseSoundPlayer sounds;
    MacAppModeTriggers appModes;
    MacPrimaryShortcutHandler handler;
    ManagedTranscriber transcriber;
    ShortcutBindings bindings;
    ShortcutRegistry registry;
    XdgAutostartEntry loginItem;
    AvahiServiceAdvertiser advertiser;
    TerminationSignals termination;

    std::unique_ptr<UpdateChecker> updater;
    std::unique_ptr<QAction> checkForUpdates;
    std::unique_ptr<MacRecorderHUD> panel;
    std::unique_ptr<MacDictationController> controller;
    std::unique_ptr<ModeShortcuts> modeShortcuts;
    std::unique_ptr<MacHelperReceiver> helper;
    MacNavigation navigation;
    std::unique_ptr<SectionContext> sectionContext;
    std::unique_ptr<BackupFileActions> backup;
    std::unique_ptr<AppCommands> commands;
    std::unique_ptr<TrayMenu> trayMenu;
    std::unique_ptr<TrayItem> tray;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<DesktopControl> control;
    std::unique_ptr<DBusControlService> controlService;
};

int DesktopApplication::run(Services& services, const Options& options)
{
    QLockFile lock(lockPath(services));
    if (!lock.tryLock(0))
        return showRunningInstance(options);
    DesktopApplication app(services, options);
    const int rc = QApplication::exec();
    return rc;
}

int DesktopApplication::showRunningInstance(const Options& options)
{
    QTextStream err(stderr);
    if (options.hidden) {
        // Started at login while already running: nothing to show.
        err << "Ovra est déjà lancé.\n";
        return 0;
    }
    DBusControlClient running;
    // An instance still starting takes its name on the bus once its window exists.
    if (!running.waitUntilRunning(std::chrono::seconds(10))) {
        err << "Ovra est déjà lancé, mais ne répond pas sur le bus de session.\n";
        return 1;
    }
    const auto shown = running.showWindow(options.section ? sectionKey(*options.section) : QString());
    if (!shown) {
        err << "Ovra est déjà lancé. " << shown.error() << "\n";
        return 1;
    }
    err << "Ovra est déjà lancé : sa fenêtre est affichée.\n";
    return 0;
}

DesktopApplication::DesktopApplication(Services& services, const Options& options)
    : m_services(services), m_options(options)
{
    launch();
    showScenes();
}

DesktopApplication::~DesktopApplication()
{
    if (m_p) {
        // No more requests from other processes while the rest goes away.
        m_p->controlService.reset();
        // Closing windows first: their sections hold references to the services below.
        m_p->window.reset();
        m_p->handler.attach(nullptr);
    }
}

void DesktopApplication::launch()
{
    DebugLog& log = m_services.log();
    Settings& settings = m_services.settings();
    RecordStore& store = m_services.store();
    // The command line may change settings and records while the application runs.
    settings.followExternalChanges();
    store.followExternalChanges();

    // Without a way to paste, the text stays on the clipboard; without grabs, the shortcuts are the
    // compositor's bindings of `ovra toggle`.
    m_p = std::make_unique<Parts>(m_services, DesktopPlatform::forSession(log, settings));
    Parts& p = *m_p;
    if (!p.players.isAvailable())
        log.log(QStringLiteral("MAC media pause: pas de bus de session — pause des médias indisponible"));

    // 1. The updater.
    p.updater = std::make_unique<UpdateChecker>(settings, QCoreApplication::applicationVersion());
    p.checkForUpdates = std::make_unique<QAction>(QStringLiteral("Rechercher les mises à jour…"));
    p.checkForUpdates->setObjectName(QStringLiteral("checkForUpdates"));
    p.checkForUpdates->setEnabled(p.updater->canCheck());
    connect(p.updater.get(), &UpdateChecker::canCheckChanged, p.checkForUpdates.get(), &QAction::setEnabled);
    connect(p.checkForUpdates.get(), &QAction::triggered, this, &DesktopApplication::checkForUpdates);

    // 2. The record store (opened by the services) and the dictation controller.
    p.panel = std::make_unique<MacRecorderHUD>(MacRecorderHUD::Dependencies{
        store, settings, p.platform->panelSupport(), [&r = m_services.recorder()] { return double(r.currentLevel()); }});
    p.controller = std::make_unique<MacDictationController>(
        MacDictationController::Collaborators{m_services.recorder(), m_services.liveTranscriber(), p.delivery,
                                              *p.panel, p.media, p.handler, p.sounds, p.appModes,
                                              [&t = p.transcriber]() -> Transcriber& { return t; },
                                              [&s = m_services]() -> ChatClient& { return s.claude(); },
                                              &m_services.offlineQueue(), &m_services.categorization(),
                                              &m_services.learningTrigger(),
                                              &m_services.statsRefresher(), {}, &m_services.failedRecordings(),
                                              &m_services.keptRecordings()},
        settings, m_services.notifications());
    p.controller->attachStore(&store);
    m_services.recorder().prewarm();
    p.panel->attach(p.controller.get());
    // 3, 6, 10, 11. Retention purges, the one-time statistics purge, the statistics snapshot and
    // the offline queue (given the controller's transcription and AI services above).
    m_services.startDataUpkeep();
    // 4, 5, 7, 9. Key backup (in the services), cloud settings, cloud-folder sync at launch, on
    // each activation (unless iCloudSyncEnabled is off) and after a change of the folder.
    m_services.settingsSync().start();
    auto syncIfEnabled = [this] {
        if (m_services.settings().iCloudSyncEnabled())
            m_services.cloudSync().sync();
    };
    syncIfEnabled();
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [syncIfEnabled](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive)
            syncIfEnabled();
    });
    // A leaderboard refresh that failed is tried again when the user comes back.
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive)
            m_services.leaderboard().applicationActivated();
    });
    connect(&settings, &Settings::changed, this, [this](const QString& key) {
        if (key == AppSettingsKey::cloudFolder)
            m_services.cloudSync().sync();
    });
    // 8. Local models: the active mode's model loaded ahead of the first dictation, the models
    // the modes need downloaded, again after every mode edit.
    LocalModelAutoDownloader& models = m_services.localModelAutoDownloader();
    QCoro::connect(models.prewarm(QUuid::fromString(
                       settings.stringValue(SharedDefaultsKey::activeModeID).value_or(QString()))),
                   this, [] {});
    QCoro::connect(models.run(), this, [] {});
    models.followModeEdits();
    // 12. Per-application modes.
    p.appModes.start([&store, c = p.controller.get()](const QUuid& id) {
        if (const auto mode = store.find<TranscriptionMode>(id))
            c->setActiveMode(*mode);
    });

    // Services of the session the launch sequence leaves implicit: first keychain scan off the
    // main thread, network path monitor.
    m_services.vault().start();
    m_services.networkMonitor().start();
    log.log(QStringLiteral("APP launch: Ovra ") + QCoreApplication::applicationVersion());

    QObject::connect(p.controller.get(), &MacDictationController::stateChanged, this, [](RecordingState s) {
        QTextStream(stdout) << "état : " << rawValue(s) << Qt::endl;
    });
    QObject::connect(p.controller.get(), &MacDictationController::errorMessageChanged, this, [c = p.controller.get()] {
        if (c->errorMessage())
            QTextStream(stderr) << *c->errorMessage() << Qt::endl;
    });
    QObject::connect(&p.registry, &ShortcutRegistry::shortcutUnavailable, this,
                     [](const QString&, const QString& message) { QTextStream(stderr) << message << Qt::endl; });
    p.handler.attach(p.controller.get());
    p.handler.setAppModeSelector(&p.appModes);
    p.modeShortcuts = std::make_unique<ModeShortcuts>(store, settings, p.handler, p.registry);
    QObject::connect(&p.termination, &TerminationSignals::requested, p.controller.get(),
                     [c = p.controller.get()] { finishThenQuit(*c); });

    // The phone receiver exists from here so its section shows it; it listens once the scenes run.
    p.helper = std::make_unique<MacHelperReceiver>(settings, m_services.keychain(), p.helperDelivery, log,
                                                   &p.advertiser,
                                                   MacHelperReceiver::Options{HostDisplayName::read()});

    p.sectionContext = std::make_unique<SectionContext>(SectionContext{
        store, settings, log, m_services.notifications(), *p.controller, p.navigation, m_services.vault(),
        m_services.keychain(), m_services.keyVerifier(), m_services.usage(), m_services.transcription(), p.bindings,
        p.platform->pasteboard()});
    p.sectionContext->chat = &m_services.claude();
    p.sectionContext->learning = &m_services.learning();
    p.sectionContext->leaderboard = &m_services.leaderboard();
    p.sectionContext->localModel = &m_services.onDeviceModel();
    p.sectionContext->localModels = &m_services.localModels();
    p.sectionContext->audioCapture = &m_services.audioCapture();
    p.sectionContext->appModes = &p.appModes;
    p.sectionContext->cloudSync = &m_services.cloudSync();
    p.sectionContext->keyBackup = &m_services.keyBackup();
    p.sectionContext->settingsSync = &m_services.settingsSync();
    p.sectionContext->helper = p.helper.get();
    p.sectionContext->sessionDescription = p.platform->description();
    p.sectionContext->configureDesktopShortcuts = p.platform->shortcutsConfigurator();
    p.sectionContext->launchAtLoginEnabled = [&l = p.loginItem] { return l.isEnabled(); };
    p.sectionContext->setLaunchAtLogin = [&l = p.loginItem](bool on) { return l.setEnabled(on); };
    p.backup = std::make_unique<BackupFileActions>(store, settings, log);
    p.commands = std::make_unique<AppCommands>(
        AppCommands::Dependencies{*p.controller, store, p.navigation, *p.checkForUpdates, p.backup.get()});
    p.trayMenu = std::make_unique<TrayMenu>(
        TrayMenu::Dependencies{*p.controller, store, settings, p.platform->pasteboard(), *p.checkForUpdates});
    connect(p.commands.get(), &AppCommands::activateRequested, this, &DesktopApplication::openWindow);
    connect(p.commands.get(), &AppCommands::quitRequested, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    connect(p.commands.get(), &AppCommands::aboutRequested, this, &DesktopApplication::showAbout);
    const auto warn = [](const QString& message) {
        QTextStream(stderr) << message << Qt::endl;
        if (canShowDialogs())
            QMessageBox::warning(nullptr, QStringLiteral("Ovra"), message);
    };
    connect(p.commands.get(), &AppCommands::failed, this, warn);
    connect(p.backup.get(), &BackupFileActions::failed, this, warn);
    connect(p.backup.get(), &BackupFileActions::succeeded, this, [](const QString& message) {
        QTextStream(stdout) << message << Qt::endl;
        if (canShowDialogs())
            QMessageBox::information(nullptr, QStringLiteral("Ovra"), message);
    });
    connect(p.trayMenu.get(), &TrayMenu::openWindowRequested, this, &DesktopApplication::openWindow);
    connect(p.trayMenu.get(), &TrayMenu::openSettingsRequested, this, &DesktopApplication::openSettings);
    connect(p.panel.get(), &MacRecorderHUD::openSettingsRequested, this, &DesktopApplication::openSettings);
    connect(p.trayMenu.get(), &TrayMenu::quitRequested, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

void DesktopApplication::showScenes()
{
    Parts& p = *m_p;
    Settings& settings = m_services.settings();
    QApplication::setQuitOnLastWindowClosed(false);

    // The window first: it is the one reachable without a tray.
    p.window = std::make_unique<MainWindow>(*p.sectionContext, *p.commands);
    p.backup->setDialogParent(p.window.get());
    connect(p.window.get(), &MainWindow::firstShown, this, &DesktopApplication::wireShortcuts);
    connect(p.window.get(), &MainWindow::closed, this, &DesktopApplication::onWindowClosed);
    connect(p.commands.get(), &AppCommands::closeWindowRequested, p.window.get(), &QWidget::close);
    if (m_options.section)
        p.navigation.select(*m_options.section);

    const bool trayHost = TrayItem::isHostAvailable();
    p.tray = std::make_unique<TrayItem>(*p.controller, *p.trayMenu);
    connect(p.tray.get(), &TrayItem::activated, this, &DesktopApplication::openWindow);
    p.tray->show();
    if (!trayHost)
        m_services.log().log(QStringLiteral("APP tray: aucune zone de notification — la fenêtre reste ouverte"));

    if (!m_options.hidden || !trayHost)
        p.window->present();
    else
        wireShortcuts(); // started at login without a window: the shortcuts still work

    if (!trayHost && !settings.boolValue(QString::fromLatin1(kNoTrayNoticeKey), false)) {
        settings.setValue(QString::fromLatin1(kNoTrayNoticeKey), true);
        QTextStream(stderr) << "Pas de zone de notification : Ovra reste dans sa fenêtre et dans le menu des "
                               "applications ; fermer la fenêtre quitte Ovra.\n";
        if (canShowDialogs()) {
            auto* box = new QMessageBox(QMessageBox::Information, QStringLiteral("Ovra"),
                                        QStringLiteral("Votre bureau n'affiche pas de zone de notification."),
                                        QMessageBox::Ok, p.window.get());
            box->setInformativeText(QStringLiteral(
                "Ovra reste accessible par cette fenêtre et par le menu des applications (« Ovra »). "
                "Fermer la fenêtre quitte Ovra."));
            box->setAttribute(Qt::WA_DeleteOnClose);
            box->open();
        }
    }

    // Once the scenes run: the phone receiver, then the chosen application icon.
    QTimer::singleShot(0, this, [this] {
        m_p->helper->start();
        AppIconPicker::applyChosenIcon(m_services.settings());
        const QString version = QCoreApplication::applicationVersion();
        if (WhatsNewDialog::shouldShow(m_services.settings(), version) && canShowDialogs()) {
            WhatsNewDialog::markSeen(m_services.settings(), version);
            auto* dialog = new WhatsNewDialog(version, m_p->window->isVisible() ? m_p->window.get() : nullptr);
            dialog->setAttribute(Qt::WA_DeleteOnClose);
            dialog->open();
        }
    });
    // Other processes (`ovra toggle`, a second `ovra`, compositor bindings) reach us from here.
    p.control = std::make_unique<DesktopControl>(p.handler, *p.helper, [this](std::optional<MacSection> section) {
        showWindow(section);
    });
    p.controlService = std::make_unique<DBusControlService>(*p.control);
    if (const auto published = p.controlService->publish(); !published) {
        m_services.log().log(QStringLiteral("APP commande à distance indisponible : ") + published.error());
        QTextStream(stderr) << "Commandes à distance (ovra toggle…) indisponibles : " << published.error() << Qt::endl;
    }
    QTextStream(stderr) << "Ovra est prêt." << Qt::endl;
}

void DesktopApplication::wireShortcuts()
{
    Parts& p = *m_p;
    if (p.modeShortcuts->isWired() || !p.platform->grabber().isAvailable())
        return;
    p.modeShortcuts->wire();
}

void DesktopApplication::openWindow() { m_p->window->present(); }

void DesktopApplication::showWindow(std::optional<MacSection> section)
{
    if (section)
        m_p->navigation.select(*section);
    m_services.log().log(QStringLiteral("APP fenêtre affichée à la demande d'un autre processus (section %1)")
                             .arg(sectionKey(m_p->navigation.selection())));
    m_p->window->present();
}

void DesktopApplication::openSettings()
{
    m_p->navigation.select(MacSection::settings);
    m_p->window->present();
}

void DesktopApplication::onWindowClosed()
{
    // Without a tray item the program would be unreachable once its window is gone.
    if (!TrayItem::isHostAvailable())
        QCoreApplication::quit();
}

void DesktopApplication::showAbout()
{
    QMessageBox::about(m_p->window.get(), QStringLiteral("À propos d'Ovra"),
                       QStringLiteral("<b>Ovra</b> %1<br>Dictée vocale pour le bureau.")
                           .arg(QCoreApplication::applicationVersion().toHtmlEscaped()));
}

void DesktopApplication::checkForUpdates()
{
    QPointer<DesktopApplication> self(this);
    [](QPointer<DesktopApplication> self) -> QCoro::Task<> {
        const UpdateChecker::Result result = co_await self->m_p->updater->check();
        if (!self)
            co_return;
        QWidget* parent = self->m_p->window->isVisible() ? self->m_p->window.get() : nullptr;
        if (std::holds_alternative<UpdateChecker::UpToDate>(result)) {
            QMessageBox::information(parent, QStringLiteral("Mises à jour"),
                                     QStringLiteral("Ovra est à jour (version %1).")
                                         .arg(QCoreApplication::applicationVersion()));
        } else if (const auto* available = std::get_if<UpdateChecker::Available>(&result)) {
            QMessageBox box(QMessageBox::Information, QStringLiteral("Mises à jour"),
                            QStringLiteral("La version %1 d'Ovra est disponible.").arg(available->version),
                            QMessageBox::NoButton, parent);
            box.setInformativeText(available->notes);
            QPushButton* open = available->url.isValid()
                                    ? box.addButton(QStringLiteral("Ouvrir la page"), QMessageBox::AcceptRole)
                                    : nullptr;
            box.addButton(QStringLiteral("Plus tard"), QMessageBox::RejectRole);
            box.exec();
            if (open && box.clickedButton() == open)
                QDesktopServices::openUrl(available->url);
        } else if (const auto* failed = std::get_if<UpdateChecker::Failed>(&result); failed && !failed->message.isEmpty()) {
            QMessageBox::warning(parent, QStringLiteral("Mises à jour"), failed->message);
        }
    }(self);
}
