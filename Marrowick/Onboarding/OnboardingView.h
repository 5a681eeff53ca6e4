#pragma once

#include <QPointer>
#include <QWidget>

namespace marrowick {

class AppSettings;

// The first-run window. Finishing it, or closing it, marks the first run as done, so it does
// not open again at the next launch.
class OnboardingView : public QWidget {
    Q_OBJECT

public:
    static inline const QString identifier = QStringLiteral("onboarding");
    static inline const QString title = QStringLiteral("Welcome to Marrowick");

    explicit OnboardingView(AppSettings *settings, QWidget *parent = nullptr);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    QPointer<AppSettings> m_settings;
};

} // namespace marrowick
