// Renders the popup in each of its states with sample sources of every kind and a fixed
// (virtual) clock. With MARROWICK_SCREENSHOTS=<folder> set, each state is written there as a PNG, so the
// popup can be looked at without a tray; otherwise the states are only rendered.
#include "Marrowick/State/DBusAlertCenter.h"
#include "Marrowick/Style/MarrowickProxyStyle.h"
#include "Marrowick/Shell/MenuBarIcon.h"
#include "Marrowick/Style/MarrowickStyle.h"

#include "Popover/PopoverRig.h"
#include "support/Pictures.h"

#include <QPainter>
#include <QPixmap>
#include <QTest>

#include <cmath>

using namespace marrowick;
using namespace marrowick::test;

namespace {

struct Samples {
    QList<AnySourceConfig> sources;
    // The answers of poll number `round`, so the sparklines have a history to draw.
    std::function<void(PopoverRig &, int round)> answer;
};

QUuid sampleID(int n)
{
    return QUuid(QStringLiteral("00000000-0000-4000-8000-%1").arg(n, 12, 10, QLatin1Char('0')));
}

Samples everyKind()
{
    Samples samples;
    samples.sources = {
        KumaConfig(sampleID(1), QStringLiteral("Uptime Kuma"), QStringLiteral("https://kuma.lan"), QStringLiteral("me"),
                   QStringLiteral("kuma-1"), std::nullopt),
        BeszelConfig(sampleID(2), QStringLiteral("Beszel"), QStringLiteral("https://beszel.lan"), QStringLiteral("b-1")),
        GameServerConfig(sampleID(3), QStringLiteral("Minecraft"), QStringLiteral("minecraft-java"),
                         QStringLiteral("mc.lan"), 25565, std::nullopt, std::nullopt, false),
        HTTPPingConfig(sampleID(4), QStringLiteral("Home Assistant"), QStringLiteral("http://ha.lan:8123")),
        TCPPortConfig(sampleID(5), QStringLiteral("Router SSH"), QStringLiteral("192.168.1.1"), 22),
        JSONWidgetConfig(sampleID(6), QStringLiteral("Solar"), QStringLiteral("http://solar.lan/api"), std::nullopt, {}),
    };
    samples.answer = [](PopoverRig &rig, int round) {
        const double wobble = std::sin(round * 1.3) * 6;
        rig.answers.insert(sampleID(1), QList<WidgetData>{
            WidgetData::service(ServiceRow{"1", "Plex", ServiceStatus::up, 38 + wobble, QStringLiteral("HTTP 200")}),
            WidgetData::service(ServiceRow{"2", "Nextcloud", ServiceStatus::warn, 412 - wobble * 9, std::nullopt}),
            WidgetData::service(ServiceRow{"3", "Jellyfin", ServiceStatus::down, std::nullopt, QStringLiteral("timeout")}),
        });
        rig.answers.insert(sampleID(2), QList<WidgetData>{
            WidgetData::host(HostStats{"nas", "nas", ServiceStatus::up, 23.4, 71.2, 92.8, {{"sda", 41.9}, {"sdb", 55.2}}}),
            WidgetData::host(HostStats{"pi", "pi", ServiceStatus::up, 4, 38, 55, {}}),
        });
        rig.answers.insert(sampleID(3), QList<WidgetData>{WidgetData::game(GameServerStatus{
            "mc", "mc", true, 5, 20, {"Alex", "Steve", "Notch", "Jeb", "Dinnerbone"}, 21 + wobble, "A Minecraft Server"})});
        rig.answers.insert(sampleID(4), QList<WidgetData>{WidgetData::check(
            CheckResult{"http", "http", ServiceStatus::up, 12 + wobble, QStringLiteral("HTTP 200")})});
        rig.answers.insert(sampleID(5), QList<WidgetData>{WidgetData::check(
            CheckResult{"tcp", "tcp", ServiceStatus::down, std::nullopt, QStringLiteral("connection refused")})});
        rig.answers.insert(sampleID(6), QList<WidgetData>{WidgetData::keyValues(
            "Solar", {{"Power", "3.2 kW"}, {"Today", "18.4 kWh"}, {"Battery", "87 %"}})});
    };
    return samples;
}

} // namespace

class TestPopoverScreenshots : public QObject {
    Q_OBJECT

private:
    // Renders the popup as it stands; writes it when a folder is given.
    void capture(PopoverView &popover, const QString &name)
    {
        popover.flushPendingChanges();
        const QPixmap image = popover.grab();
        QVERIFY(!image.isNull());
        QCOMPARE(image.width() / image.devicePixelRatio(), PopoverView::popoverWidth);
        QVERIFY(test::saveScreenshot(image.toImage(), QStringLiteral("popover-") + name));
    }

    // A rig at the fixed date whose sample sources have answered a few times.
    void openSamples(PopoverRig &rig, const Samples &samples, int rounds = 8)
    {
        samples.answer(rig, 0);
        rig.open(samples.sources);
        AccentInjector::apply(rig.popover.get(), AppSettings::defaultAccentHex);
        for (int round = 1; round < rounds; ++round) {
            samples.answer(rig, round);
            rig.pollAll();
        }
        rig.clock.advance(17);
        rig.popover->hide();
        rig.popover->show();
    }

private slots:
    // Windows drawn as the program draws them.
    void initTestCase() { MarrowickProxyStyle::install(); }

    void empty()
    {
        PopoverRig rig;
        capture(rig.open({}), QStringLiteral("empty"));
    }

    void waitingForData()
    {
        PopoverRig rig;
        capture(rig.open(everyKind().sources, true, false), QStringLiteral("waiting"));
    }

    void everyKindOfRow()
    {
        PopoverRig rig;
        openSamples(rig, everyKind());
        QVERIFY(rig.popover->isScrolling());
        capture(*rig.popover, QStringLiteral("every-kind"));
    }

    // The game row's name beside its players and sparkline; a check that is down.
    void gameAndChecks()
    {
        PopoverRig rig;
        Samples samples = everyKind();
        samples.sources = samples.sources.mid(2, 3);
        openSamples(rig, samples);
        capture(*rig.popover, QStringLiteral("game-and-checks"));
    }

    void collapsedGroups()
    {
        PopoverRig rig;
        const Samples samples = everyKind();
        WidgetLayout layout;
        layout.collapsed = {uuidTextOf(1), uuidTextOf(2)};
        layout.save(*rig.settings);
        openSamples(rig, samples);
        QVERIFY(!rig.popover->isScrolling());
        capture(*rig.popover, QStringLiteral("collapsed"));
    }

    // Accents close to the background: white, yellow, and near-black in a dark theme.
    void accents()
    {
        for (const auto &[hex, dark] : {std::pair{"#FFFFFF", false}, {"#FFFF00", false}, {"#101010", true}}) {
            const test::DesktopTheme theme(dark);
            PopoverRig rig;
            openSamples(rig, everyKind());
            AccentInjector::apply(rig.popover.get(), QString::fromLatin1(hex));
            capture(*rig.popover, QStringLiteral("accent-%1%2").arg(QString::fromLatin1(hex + 1), dark ? "-dark" : ""));
        }
    }

    void paused()
    {
        PopoverRig rig;
        openSamples(rig, everyKind());
        rig.state->setPaused(true);
        capture(*rig.popover, QStringLiteral("paused"));
    }

    void failingSource()
    {
        PopoverRig rig;
        Samples samples = everyKind();
        samples.sources = samples.sources.mid(3, 2);
        const auto answer = samples.answer;
        samples.answer = [answer](PopoverRig &rig, int round) {
            answer(rig, round);
            rig.answers.insert(sampleID(5), QStringLiteral("Could not connect to 192.168.1.1:22: the host did not "
                                                           "answer within 10 seconds, so the check gave up."));
        };
        openSamples(rig, samples);
        rig.settings->setCompactMode(true);
        capture(*rig.popover, QStringLiteral("error-compact"));
    }

    // The tray icon on light and dark panels, in a light and a dark symbol colour, beside the
    // picture that notifications carry.
    void trayIconAndNotificationMark()
    {
        const QList<QColor> panels{Qt::white, QColor(0xE0, 0xE0, 0xE0), QColor(0x20, 0x20, 0x20), Qt::black};
        const QList<QColor> symbols{Qt::white, QColor(0x1C, 0x1C, 0x1E)};
        const QList<OverallStatus> statuses{OverallStatus::up, OverallStatus::degraded, OverallStatus::down,
                                            OverallStatus::unknown};
        const int cell = 52;
        const int icons = int(symbols.size() * statuses.size());
        QImage picture(cell * icons + 60 + 72, cell * int(panels.size()), QImage::Format_RGB32);
        picture.fill(Qt::gray);
        QPainter painter(&picture);
        for (int row = 0; row < panels.size(); ++row) {
            painter.fillRect(QRect(0, row * cell, picture.width(), cell), panels[row]);
            int column = 0;
            for (const QColor &symbol : symbols) {
                for (const OverallStatus status : statuses) {
                    const MenuBarIcon icon(status, symbol);
                    painter.drawImage(column * cell + 15, row * cell + 15, icon.image(22));
                    ++column;
                }
            }
            painter.drawImage(column * cell + 8, row * cell + 4, MenuBarIcon(OverallStatus::up, symbols[row % 2]).image(44));
        }
        painter.fillRect(QRect(picture.width() - 72, 0, 72, picture.height()), Qt::white);
        painter.drawImage(picture.width() - 68, 4, appMarkImage(DBusAlertCenter::imageSide));
        painter.end();
        QVERIFY(test::saveScreenshot(picture, QStringLiteral("tray-icon-on-panels")));
    }

private:
    static QString uuidTextOf(int n) { return sampleID(n).toString(QUuid::WithoutBraces).toUpper(); }
};

QTEST_MAIN(TestPopoverScreenshots)
#include "tst_PopoverScreenshots.moc"
