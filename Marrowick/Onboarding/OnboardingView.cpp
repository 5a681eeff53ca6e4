#include "Marrowick/Onboarding/OnboardingView.h"

#include "Marrowick/App/AppSettings.h"
#include "Marrowick/Style/PillButton.h"

#include <QCloseEvent>
#include <QLabel>
#include <QVBoxLayout>

namespace marrowick {

OnboardingView::OnboardingView(AppSettings *settings, QWidget *parent) : QWidget(parent), m_settings(settings)
{
    setObjectName(identifier);
    setWindowTitle(title);
    setMinimumWidth(420);

    auto *layout = new QVBoxLayout(this);
    auto *heading = new QLabel(title, this);
    QFont font = heading->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 1.4);
    heading->setFont(font);
    layout->addWidget(heading);
    auto *text = new QLabel(QStringLiteral("Marrowick lives in your system tray and tells you at a glance whether "
                                           "everything in your home lab is up. It polls each source you add and "
                                           "notifies you when one stays down and when it recovers."),
                            this);
    text->setWordWrap(true);
    layout->addWidget(text);
    layout->addStretch();
    auto *start = new PillButton(QStringLiteral("Get Started"), PillButton::Kind::prominent, this);
    layout->addWidget(start, 0, Qt::AlignRight);
    connect(start, &QAbstractButton::clicked, this, &QWidget::close);
}

void OnboardingView::closeEvent(QCloseEvent *event)
{
    if (m_settings)
        m_settings->setOnboardingCompleted(true);
    QWidget::closeEvent(event);
}

} // namespace marrowick
