#pragma once

#include "Marrowick/Shell/AppDelegate.h"
#include "Marrowick/Shell/ExitGuard.h"
#include "Marrowick/Shell/PopupPlacement.h"

#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <chrono>
#include <memory>
#include <optional>

class QSystemTrayIcon;

namespace marrowick {

class AppSettings;
class AppState;
class MenuBarLabel;
class OnboardingView;
class PopupDismissal;
class PopoverView;
class QuitQuestion;
class SettingsView;
class SystemTrayWatch;
class TerminationSignals;

// The program's shell: builds the one AppState, puts the status icon in the tray with the
// popup beside it, keeps the settings and first-run windows, and routes every quit through
// the delegate so the history is written first. Where the desktop has no tray the popup opens
// as an ordinary window instead, and closing it quits; a tray that comes later takes the
// program in, and one that stays gone gives the window back.
class MarrowickApp : public QObject {
    Q_OBJECT

public:
    static inline const QString bundleIdentifier = QStringLiteral("dev.tobrin.marrowick");

    explicit MarrowickApp(QStringList arguments, QObject *parent = nullptr);
    ~MarrowickApp() override;

    // The installed icon where the icon theme finds it, else the mark drawn at the sizes title
    // bars and taskbars ask for: no window is left with the window manager's generic icon.
    static QIcon applicationIcon();

    // The state with the keyring, the user's data folder, the provider registry, the
    // continuous-clock sleep and the wall clock.
    static std::unique_ptr<AppState> makeAppState(AppSettings *settings);

    // Shows the tray icon (or the window) and starts the label's launch tasks.
    void start();
    // Quits once the history is written; at once before the state was handed over. Never asks:
    // a signal's quit.
    void requestQuit();
    // The user's quit (the menu, the popup, closing the window without a tray): asks first
    // when quitting would lose something, then quits as above.
    void quitFromMenu();
    QuitQuestion *quitQuestion() const { return m_quitQuestion; }
    // Opens the popup beside the icon, or the window where there is no tray.
    void showPopover();
    // How long the tray may be gone before the window comes back: a panel that restarts
    // brings no window up.
    void setTrayLossGrace(std::chrono::milliseconds grace);

    AppState *appState() const { return m_appState.get(); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Into the tray when there is one Qt can use; false otherwise.
    bool moveIntoTray();
    void showWithoutTray();
    void followTray();
    void buildTray();
    // The tray icon's place, else the cursor's, on its screen; nothing without a screen.
    std::optional<PopupAnchor> popupAnchor() const;
    void togglePopover();
    void openSettings();
    void openOnboarding();
    // The window shows the accent setting and follows its changes.
    void followAccent(QWidget *window);
    void refreshTrayIcon();
    void tellSourcesSaveFailure(const QString &error);
    // The quit path's part that needs no event loop, for a quit that goes around the delegate.
    void saveWithoutEventLoop();

    QStringList m_arguments;
    std::unique_ptr<AppSettings> m_settings;
    std::unique_ptr<AppState> m_appState;
    AppDelegate m_delegate;
    SystemTrayWatch *m_trayWatch = nullptr;
    bool m_hasTray = false;
    QTimer m_trayLoss;
    std::unique_ptr<PopoverView> m_popover;
    PopupPlacer *m_placer = nullptr; // a child of the popup
    PopupDismissal *m_dismissal = nullptr; // a child of the popup
    std::unique_ptr<SettingsView> m_settingsWindow;
    QPointer<OnboardingView> m_onboarding;
    QMenu m_trayMenu;
    QSystemTrayIcon *m_tray = nullptr;
    MenuBarLabel *m_label = nullptr;
    TerminationSignals *m_signals = nullptr;
    QuitQuestion *m_quitQuestion = nullptr;
    bool m_toldSaveFailure = false;
    std::unique_ptr<ExitGuard> m_exitGuard;
};

} // namespace marrowick
