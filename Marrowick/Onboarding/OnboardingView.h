#pragma once

#include "Marrowick/State/AlertCenter.h"
#include "Marrowick/Editor/AddSourceView.h"

#include <QPointer>
#include <QWidget>

#include <memory>

class QLabel;
class QStackedLayout;

namespace marrowick {

class AddSourceView;
class AppSettings;
class AppState;
class PillButton;

// The first-run window: a welcome, the first source, and notifications, one page each.
// However it goes away (Skip, Done, the close button), the first run counts as done, so it
// does not open by itself again.
class OnboardingView : public QWidget {
    Q_OBJECT

public:
    static inline const QString identifier = QStringLiteral("onboarding");
    static inline const QString rootIdentifier = QStringLiteral("onboarding.root");
    static inline const QString title = QStringLiteral("Welcome to Marrowick");
    // The designed size; a screen with less room gets a smaller window whose pages scroll.
    static constexpr QSize windowSize{520, 560};

    explicit OnboardingView(AppState *state, QWidget *parent = nullptr);

    int step() const { return m_step; }
    void goBack();
    void goForward();
    void showAddSource();
    AddSourceView *sheet() const { return m_sheet; }
    void requestNotifications();
    AuthorizationStatus notificationStatus() const { return m_notificationStatus; }

    PillButton *backButton() const { return m_back; }
    PillButton *forwardButton() const { return m_forward; }
    QString sourceCountText() const;
    // The label or button the notification page shows now.
    QWidget *notificationBlock() const;

signals:
    void notificationStatusChanged();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    QWidget *page(int step);
    QWidget *bodyText(const QString &text, qreal scale, QWidget *parent);
    void setStep(int step);
    void refreshSourceCount();
    void showNotificationStatus(AuthorizationStatus status);
    void markCompleted();
    static QCoro::Task<void> queryStatus(QPointer<OnboardingView> self, std::shared_ptr<AlertCenter> center,
                                         bool requestFirst);

    QPointer<AppState> m_state;
    QPointer<AppSettings> m_settings;
    int m_step = 0;
    AuthorizationStatus m_notificationStatus = AuthorizationStatus::notDetermined;
    QStackedLayout *m_pages;
    QWidget *m_dots;
    PillButton *m_back;
    PillButton *m_forward;
    QWidget *m_sourceCountRow;
    QLabel *m_sourceCount;
    QWidget *m_notificationsOn;
    QWidget *m_notificationsUnavailable;
    PillButton *m_enableNotifications;
    QPointer<AddSourceView> m_sheet;
};

} // namespace marrowick
