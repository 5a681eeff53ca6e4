#include "Marrowick/Shell/MarrowickApp.h"

#include "Marrowick/State/AppSettings.h"
#include "Marrowick/State/AppState.h"
#include "Marrowick/State/DBusAlertCenter.h"
#include "Marrowick/Style/MarrowickStyle.h"
#include "Marrowick/Style/Symbol.h"
#include "Marrowick/Style/WindowFit.h"
#include "Marrowick/Shell/MenuBarLabel.h"
#include "Marrowick/Onboarding/OnboardingView.h"
#include "Marrowick/Popover/PopoverView.h"
#include "Marrowick/Shell/PopupDismissal.h"
#include "Marrowick/Shell/PopupPlacement.h"
#include "Marrowick/Shell/QuitQuestion.h"
#include "Marrowick/Shell/ScreenWorkArea.h"
#include "Marrowick/Shell/SystemTrayWatch.h"
#include "Marrowick/Settings/SettingsView.h"
#include "Marrowick/Settings/SettingsWindowFront.h"
#include "Marrowick/State/SourcesStore.h"
#include "Marrowick/Shell/TerminationSignals.h"
#include "MarrowickKit/Credentials/KeychainCredentialStore.h"
#include "MarrowickKit/Providers/ProviderRegistry.h"
#include "MarrowickKit/Transport/HostLookup.h"
#include "MarrowickKit/Transport/SystemNetworkStatus.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>

namespace marrowick {

namespace {

constexpr std::chrono::milliseconds trayLossGrace{5000};

void quitSoon()
{
    // Queued, so a quit asked for before the event loop runs is not lost. exit(), not quit():
    // quit() first asks every window to close, and the windowed popup answers a close with
    // a quit request of its own.
    QMetaObject::invokeMethod(QCoreApplication::instance(), [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
}

} // namespace

MarrowickApp::MarrowickApp(QStringList arguments, QObject *parent)
    : QObject(parent),
      m_arguments(std::move(arguments)),
      m_settings(std::make_unique<AppSettings>(std::make_unique<QSettings>())),
      m_appState(makeAppState(m_settings.get())),
      m_trayWatch(new SystemTrayWatch(QDBusConnection::sessionBus(), this))
{
    // Before any window exists; every window without an icon of its own shows this one.
    QApplication::setWindowIcon(applicationIcon());
    m_popover = std::make_unique<PopoverView>(m_appState.get());
    followAccent(m_popover.get());
    m_popover->installEventFilter(this);
    m_placer = new PopupPlacer(m_popover.get());
    m_dismissal = new PopupDismissal(m_popover.get());
    m_quitQuestion = new QuitQuestion(m_appState.get(), this);
    connect(m_popover.get(), &PopoverView::quitRequested, this, &MarrowickApp::quitFromMenu);
    connect(m_popover.get(), &PopoverView::settingsRequested, this, &MarrowickApp::openSettings);

    LaunchContext context{m_arguments, AppState::environmentIsUnderTest(),
                          [](double seconds, CancelToken cancel) { return continuousSleep(seconds, std::move(cancel)); }};
    LabelActions actions{
        [this] { m_delegate.setAppState(m_appState.get()); },
        [this] { openOnboarding(); },
        [] {}, // activation needs no call of its own here: showing a window activates it
        [this] { openSettings(); },
    };
    m_label = new MenuBarLabel(m_appState.get(), m_settings.get(), std::move(context), std::move(actions), this);
    connect(m_label, &MenuBarLabel::iconChanged, this, &MarrowickApp::refreshTrayIcon);
    connect(m_appState.get(), &AppState::sourcesSaveErrorChanged, this, &MarrowickApp::tellSourcesSaveFailure);

    // The signals are caught from the start of main(); one that came while the program started
    // is delivered once the event loop runs, and waits behind the label's start, which hands the
    // state over: the quit then writes what there is to write, as any other quit does.
    m_trayLoss.setSingleShot(true);
    m_trayLoss.setInterval(trayLossGrace);
    connect(&m_trayLoss, &QTimer::timeout, this, &MarrowickApp::showWithoutTray);
    connect(m_trayWatch, &SystemTrayWatch::availabilityChanged, this, &MarrowickApp::followTray);

    m_signals = new TerminationSignals(this);
    connect(m_signals, &TerminationSignals::received, this, &MarrowickApp::requestQuit, Qt::QueuedConnection);

    // A quit that goes around the delegate (a session manager, Qt itself, an exit() such as Qt's
    // when the X server goes away) still writes the history, unsaved sources and settings once
    // the state has been handed over; after a normal quit nothing is left to write.
    connect(qApp, &QCoreApplication::aboutToQuit, this, &MarrowickApp::saveWithoutEventLoop);
    m_exitGuard = std::make_unique<ExitGuard>([this] { saveWithoutEventLoop(); });
}

void MarrowickApp::saveWithoutEventLoop()
{
    if (!m_delegate.appState())
        return;
    // Nothing on screen follows: the windows are about to go, and the X server may be gone.
    const QSignalBlocker quietState(m_appState.get());
    const QSignalBlocker quietSettings(m_settings.get());
    // No event loop runs after this: the task is dropped, done already.
    [[maybe_unused]] auto dropped = m_appState->saveBeforeQuit();
}

MarrowickApp::~MarrowickApp()
{
    // An exit from here on has nothing left to save.
    m_exitGuard.reset();
    // The tray icon refers to its menu, and the windows read the state: they go first.
    delete m_tray;
    m_tray = nullptr;
    delete m_onboarding;
    m_popover.reset();
    m_settingsWindow.reset();
}

QIcon MarrowickApp::applicationIcon()
{
    if (QIcon::hasThemeIcon(bundleIdentifier))
        return QIcon::fromTheme(bundleIdentifier);
    QIcon mark;
    for (const int side : {16, 22, 24, 32, 48, 64, 128, 256})
        mark.addPixmap(QPixmap::fromImage(appMarkImage(side)));
    return mark;
}

std::unique_ptr<AppState> MarrowickApp::makeAppState(AppSettings *settings)
{
    AppStateServices services;
    services.credentials = std::make_shared<KeychainCredentialStore>(bundleIdentifier);
    services.sourcesDirectory = SourcesStore::defaultDirectory();
    services.settings = settings;
    auto alerts = std::make_shared<DBusAlertCenter>();
    alerts->setMark(appMarkImage(DBusAlertCenter::imageSide));
    services.alertCenter = std::move(alerts);
    services.makeProvider = [](const AnySourceConfig &config, CredentialStoreHandle credentials) {
        return ProviderRegistry::makeProvider(config, std::move(credentials));
    };
    services.sleep = [](double seconds, CancelToken cancel) { return continuousSleep(seconds, std::move(cancel)); };
    services.now = [] { return Instant::now(); };
    services.bootClock = BootClock::system();
    auto network = std::make_shared<SystemNetworkStatus>();
    // Polls made after a change do not wait on lookups begun on the network as it was.
    QObject::connect(network.get(), &NetworkStatus::changed, network.get(), &systemLookupsNetworkChanged);
    services.network = std::move(network);
    services.isUnderTest = AppState::environmentIsUnderTest();
    return std::make_unique<AppState>(std::move(services));
}

void MarrowickApp::start()
{
    if (!moveIntoTray())
        showWithoutTray();
    // The label is shown now; its tasks start once the event loop runs.
    QTimer::singleShot(0, m_label, &MenuBarLabel::appear);
}

void MarrowickApp::setTrayLossGrace(std::chrono::milliseconds grace)
{
    m_trayLoss.setInterval(grace);
}

bool MarrowickApp::moveIntoTray()
{
    // Qt's first question settles which kind of tray it uses for the whole process, so it is
    // asked only once the watch has seen one.
    if (m_trayWatch->available() == SystemTrayWatch::Kind::none)
        return false;
    const SystemTrayWatch::Kind kind = m_trayWatch->recheck();
    if (kind == SystemTrayWatch::Kind::none || !QSystemTrayIcon::isSystemTrayAvailable())
        return false;
    m_trayWatch->keepTo(kind);
    m_hasTray = true;
    m_dismissal->setEnabled(true);
    if (!m_tray)
        buildTray();
    m_popover->hide();
    m_popover->setNotice(QString());
    m_popover->setWindowFlags(PopoverView::popupWindowFlags);
    return true;
}

void MarrowickApp::showWithoutTray()
{
    m_hasTray = false;
    m_dismissal->setEnabled(false);
    m_popover->hide();
    m_popover->setWindowFlags(Qt::Window);
    m_popover->setWindowTitle(QStringLiteral("Marrowick"));
    m_popover->setNotice(QStringLiteral("No system tray was found, so Marrowick shows this window instead. "
                                        "Closing it quits Marrowick."));
    m_popover->setHeightLimit(WindowFit::room(m_popover.get()).height());
    m_popover->show();
}

void MarrowickApp::followTray()
{
    if (m_trayWatch->available() == SystemTrayWatch::Kind::none) {
        if (m_hasTray && !m_trayLoss.isActive())
            m_trayLoss.start();
        return;
    }
    m_trayLoss.stop();
    if (!m_hasTray)
        moveIntoTray();
}

void MarrowickApp::buildTray()
{
    m_tray = new QSystemTrayIcon(this);
    m_trayMenu.addAction(QStringLiteral("Open Marrowick"), this, &MarrowickApp::showPopover);
    m_trayMenu.addAction(QStringLiteral("Settings…"), this, &MarrowickApp::openSettings);
    m_trayMenu.addSeparator();
    m_trayMenu.addAction(QStringLiteral("Quit Marrowick"), this, &MarrowickApp::quitFromMenu);
    m_tray->setContextMenu(&m_trayMenu);
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            togglePopover();
    });
    refreshTrayIcon();
    m_tray->show();
}

void MarrowickApp::refreshTrayIcon()
{
    if (!m_tray)
        return;
    m_tray->setIcon(m_label->icon().icon());
    m_tray->setToolTip(QStringLiteral("Marrowick: ") + PopoverView::statusTitle(m_label->status()));
}

void MarrowickApp::togglePopover()
{
    if (m_popover->isVisible()) {
        m_popover->hide();
        return;
    }
    if (m_dismissal->justDismissed())
        return;
    showPopover();
}

std::optional<PopupAnchor> MarrowickApp::popupAnchor() const
{
    const QRect icon = m_tray ? m_tray->geometry() : QRect();
    const QPoint cursor = QCursor::pos();
    QScreen *screen = QGuiApplication::screenAt(icon.isValid() ? icon.center() : cursor);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return std::nullopt;
    return PopupAnchor{icon, cursor, screenWorkArea(screen)};
}

void MarrowickApp::showPopover()
{
    const std::optional<PopupAnchor> anchor = m_hasTray ? popupAnchor() : std::nullopt;
    // Measured against the screen it opens on, so a short one gets a scrolling list.
    if (anchor)
        m_popover->setHeightLimit(popupHeightLimit(anchor->screenArea));
    // The hidden popup has not followed the state: read it now so the size is right.
    m_popover->syncWithState();
    if (m_hasTray) {
        m_popover->adjustSize();
        if (anchor)
            m_placer->place(*anchor);
    }
    m_popover->show();
    m_popover->raise();
    m_popover->activateWindow();
}

bool MarrowickApp::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_popover.get() && !m_hasTray && event->type() == QEvent::Close) {
        // Without a tray this window is the only way back in: closing it quits.
        event->ignore();
        quitFromMenu();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void MarrowickApp::followAccent(QWidget *window)
{
    auto *accent = new AccentInjector(window, m_settings->accentHex());
    connect(m_settings.get(), &AppSettings::accentHexChanged, accent, &AccentInjector::setAccentHex);
}

void MarrowickApp::openSettings()
{
    // Built when first asked for: a window that was never shown costs nothing at start.
    if (!m_settingsWindow) {
        m_settingsWindow = std::make_unique<SettingsView>(m_appState.get(), m_arguments);
        followAccent(m_settingsWindow.get());
        connect(m_settingsWindow.get(), &SettingsView::showWelcomeRequested, this, &MarrowickApp::openOnboarding);
    }
    m_settingsWindow->show();
    bringSettingsWindowToFront();
}

void MarrowickApp::openOnboarding()
{
    if (!m_onboarding) {
        m_onboarding = new OnboardingView(m_appState.get());
        m_onboarding->setAttribute(Qt::WA_DeleteOnClose);
        followAccent(m_onboarding);
    }
    m_onboarding->show();
    m_onboarding->raise();
    m_onboarding->activateWindow();
}

void MarrowickApp::tellSourcesSaveFailure(const QString &error)
{
    if (error.isEmpty()) {
        m_toldSaveFailure = false;
        return;
    }
    // The popup keeps a line while the failure lasts; the tray says it once.
    if (m_toldSaveFailure || !m_tray)
        return;
    m_toldSaveFailure = true;
    m_tray->showMessage(QStringLiteral("Marrowick could not save your sources"), m_appState->unsavedSourcesText(),
                        QSystemTrayIcon::Warning);
}

void MarrowickApp::quitFromMenu()
{
    m_quitQuestion->ask([this] { requestQuit(); });
}

void MarrowickApp::requestQuit()
{
    // Nothing new starts or records once a quit is asked for: the history written next is the
    // last word, and no poll stands between the request and the exit.
    if (m_appState)
        m_appState->engine()->setPaused(true);
    if (m_delegate.applicationShouldTerminate(quitSoon) == AppDelegate::TerminateReply::terminateNow)
        quitSoon();
}

} // namespace marrowick
