#include "Marrowick/Onboarding/OnboardingPages.h"

#include <QLocale>

namespace marrowick::OnboardingPages {

QString title(int step)
{
    switch (step) {
    case 0:
        return QStringLiteral("Welcome to Marrowick");
    case 1:
        return QStringLiteral("Add your first source");
    default:
        return QStringLiteral("Get told when something breaks");
    }
}

QString backTitle(int step)
{
    return step == 0 ? QStringLiteral("Skip") : QStringLiteral("Back");
}

QString forwardTitle(int step)
{
    return step >= pageCount - 1 ? QStringLiteral("Done") : QStringLiteral("Next");
}

QString sourceCountText(qsizetype count)
{
    if (count <= 0)
        return {};
    return QLocale().toString(count) + QStringLiteral(" source") + (count == 1 ? QString() : QStringLiteral("s"))
        + QStringLiteral(" added");
}

NotificationBlock notificationBlock(AuthorizationStatus status)
{
    switch (status) {
    case AuthorizationStatus::authorized:
    case AuthorizationStatus::provisional:
    case AuthorizationStatus::ephemeral:
        return NotificationBlock::on;
    case AuthorizationStatus::denied:
        return NotificationBlock::unavailable;
    case AuthorizationStatus::notDetermined:
        break;
    }
    return NotificationBlock::enable;
}

} // namespace marrowick::OnboardingPages
