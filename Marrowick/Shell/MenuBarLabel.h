#pragma once

#include "Marrowick/State/AlertCenter.h"
#include "Marrowick/Shell/MenuBarIcon.h"
#include "MarrowickKit/Async/Cancellation.h"
#include "MarrowickKit/Async/Sleep.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <functional>
#include <memory>

namespace marrowick {

class AppSettings;
class AppState;

// What the label's launch tasks read of the process: its arguments (the program's path
// included), whether an automated UI test runs it, and how to wait.
struct LaunchContext {
    QStringList arguments;
    bool isUnderTest = false;
    SleepFunction sleep;
};

// What the label's launch tasks may do to the shell.
struct LabelActions {
    std::function<void()> handStateToDelegate;
    std::function<void()> openOnboarding;
    std::function<void()> activate;
    std::function<void()> openSettings;
};

// The tray item's label: the status icon of the overall state, and the tasks that run once it
// is first shown (hand the state to the delegate, ask for notification permission when
// sources exist, open the first-run window, and a test hook that opens the settings).
class MenuBarLabel : public QObject {
    Q_OBJECT

public:
    static inline const QString demoSourcesArgument = QStringLiteral("-uiTestDemoSources");
    static inline const QString showOnboardingArgument = QStringLiteral("-uiTestShowOnboarding");
    static inline const QString showSettingsArgument = QStringLiteral("-uiTestShowSettings");
    static constexpr double showSettingsDelay = 1.0;

    MenuBarLabel(AppState *state, AppSettings *settings, LaunchContext context, LabelActions actions,
                 QObject *parent = nullptr);
    ~MenuBarLabel() override;

    OverallStatus status() const;
    MenuBarIcon icon() const { return MenuBarIcon(status()); }
    // Starts the launch tasks; the first call only.
    void appear();

    // Arguments match as whole elements only.
    static bool hasArgument(const QStringList &arguments, const QString &argument);
    // Whether the first-run window opens at launch.
    static bool shouldOpenOnboarding(const QStringList &arguments, bool isUnderTest, bool onboardingCompleted);

signals:
    void iconChanged();

private:
    void restartPermissionTask();
    static QCoro::Task<void> askPermission(std::shared_ptr<AlertCenter> center, qsizetype sourceCount,
                                           bool isUnderTest, CancelToken cancel);
    static QCoro::Task<void> showSettingsLater(QPointer<MenuBarLabel> self, SleepFunction sleep, CancelToken cancel);

    QPointer<AppState> m_state;
    AppSettings *m_settings;
    LaunchContext m_context;
    LabelActions m_actions;
    bool m_hasAppeared = false;
    bool m_sourcesWereEmpty = true;
    CancelSource m_permissionTask;
    CancelSource m_settingsHook;
};

} // namespace marrowick
