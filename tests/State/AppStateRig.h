#pragma once

#include "Marrowick/State/AlertCenter.h"
#include "Marrowick/State/AppSettings.h"
#include "Marrowick/State/AppState.h"
#include "Marrowick/State/SourcesStore.h"
#include "Marrowick/Style/MarrowickStyle.h"
#include "MarrowickKit/Credentials/InMemoryCredentialStore.h"

#include "support/FakeNetworkStatus.h"
#include "support/FakeProviders.h"
#include "support/VirtualClock.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QTextDocumentFragment>
#include <QWidget>

#include <memory>

namespace marrowick::test {

// Records what would reach the desktop's notification server.
class RecordingAlertCenter : public AlertCenter {
public:
    QList<AlertNotification> posted;
    AuthorizationStatus status = AuthorizationStatus::authorized;
    QString server;
    int statusQueries = 0;
    int requests = 0;

    QCoro::Task<AuthorizationStatus> authorizationStatus() override
    {
        ++statusQueries;
        co_return status;
    }
    QString serverName() const override { return server; }
    QCoro::Task<bool> requestAuthorization() override
    {
        ++requests;
        co_return true;
    }
    void post(const AlertNotification &notification) override { posted.append(notification); }
};

// An AppState in virtual time over a temporary data folder and settings file, with scripted
// providers. Members are destroyed state first, clock last.
struct AppStateRig {
    QTemporaryDir dir;
    VirtualClock clock;
    FakeProviders providers;
    std::shared_ptr<InMemoryCredentialStore> credentials = std::make_shared<InMemoryCredentialStore>();
    std::unique_ptr<AppSettings> settings = std::make_unique<AppSettings>(
        std::make_unique<QSettings>(dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat));
    std::shared_ptr<RecordingAlertCenter> alerts = std::make_shared<RecordingAlertCenter>();
    // The boot the next build() starts in.
    BootClock boot = clock.bootClock();
    // Set before build(): what the state's engine knows of this computer's network.
    std::shared_ptr<NetworkStatus> network;
    std::unique_ptr<AppState> state;

    ~AppStateRig()
    {
        state.reset();
        VirtualClock::settle();
    }

    QString folder() const { return dir.filePath(QStringLiteral("Marrowick")); }

    AppState &build(bool underTest = false)
    {
        state = std::make_unique<AppState>(AppStateServices{credentials, folder(), settings.get(), alerts,
                                                            providers.factory(), clock.sleepFunction(),
                                                            clock.nowFunction(), boot, underTest, network});
        return *state;
    }
};

// A source whose name makes the sources file of `others` followed by it exactly `size` bytes long.
inline AnySourceConfig paddedSource(const QUuid &id, const QList<AnySourceConfig> &others, qint64 size)
{
    TCPPortConfig source(id, QString(), QStringLiteral("127.0.0.1"), 22);
    const qint64 bare = SourcesStore::encode(others + QList<AnySourceConfig>{source}).size();
    source.displayName = QString(size - bare, u'x');
    return source;
}

// The window shows the accent setting and follows it, as the shell wires it.
inline AccentInjector *followAccent(QWidget *window, AppSettings *settings)
{
    auto *accent = new AccentInjector(window, settings->accentHex());
    QObject::connect(settings, &AppSettings::accentHexChanged, accent, &AccentInjector::setAccentHex);
    return accent;
}

// Deletes every window without a parent, picked before any goes: a sheet goes with its window.
inline void closeTopLevelWindows()
{
    QList<QPointer<QWidget>> windows;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (!window->parentWidget())
            windows.append(window);
    }
    qDeleteAll(windows);
}

// The tooltip on screen: Qt shows it in a label of its own.
inline const QLabel *shownToolTip()
{
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (window->objectName() == QLatin1String("qtooltip_label") && window->isVisible())
            return qobject_cast<QLabel *>(window);
    }
    return nullptr;
}

// Empty when the tooltip on show reads `text` as plain text, on one line up to the screen's
// width and, beyond it, on lines as wide as the screen (broken between words or inside one);
// otherwise what is wrong.
inline QString toolTipShows(const QString &text)
{
    const QLabel *tip = shownToolTip();
    if (!tip)
        return QStringLiteral("no tooltip");
    const QString shown =
        Qt::mightBeRichText(tip->text()) ? QTextDocumentFragment::fromHtml(tip->text()).toPlainText() : tip->text();
    const int width = tip->fontMetrics().horizontalAdvance(text);
    const int screenWidth = tip->screen()->geometry().width();
    const QString size = QStringLiteral(" in %1x%2 on a screen %3 wide").arg(tip->width()).arg(tip->height()).arg(screenWidth);
    if (width + 20 < screenWidth) {
        if (shown != text)
            return QStringLiteral("reads ") + shown;
        if (tip->height() >= 2 * tip->fontMetrics().lineSpacing() || tip->width() <= width)
            return QStringLiteral("not on one line") + size;
        return {};
    }
    static const QRegularExpression space(QStringLiteral("\\s"));
    if (QString(shown).remove(space) != QString(text).remove(space))
        return QStringLiteral("reads ") + shown;
    if (tip->width() > screenWidth || tip->width() < screenWidth * 3 / 4)
        return QStringLiteral("not as wide as the screen") + size;
    return {};
}

inline AnySourceConfig tcpSource(const QUuid &id, const QString &name = QStringLiteral("Router"))
{
    TCPPortConfig config(id, name, QStringLiteral("127.0.0.1"), 22);
    config.pollInterval = 5;
    return config;
}

} // namespace marrowick::test
