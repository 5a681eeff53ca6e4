#include "Marrowick/Shell/MenuBarIcon.h"
#include "Marrowick/Style/MarrowickStyle.h"

#include <QPainter>

#include <QTest>

using namespace marrowick;

Q_DECLARE_METATYPE(marrowick::OverallStatus)

class TestMenuBarIcon : public QObject {
    Q_OBJECT

private slots:
    void eachStatusShowsItsDotColour_data()
    {
        QTest::addColumn<OverallStatus>("status");
        QTest::addColumn<QColor>("colour");
        QTest::newRow("up: green") << OverallStatus::up << QColor(52, 199, 89);
        QTest::newRow("degraded: yellow") << OverallStatus::degraded << QColor(255, 204, 0);
        QTest::newRow("down: red") << OverallStatus::down << QColor(255, 59, 48);
        QTest::newRow("paused: gray") << OverallStatus::paused << QColor(142, 142, 147);
        QTest::newRow("unknown: gray") << OverallStatus::unknown << QColor(142, 142, 147);
    }
    void eachStatusShowsItsDotColour()
    {
        QFETCH(OverallStatus, status);
        QFETCH(QColor, colour);
        const MenuBarIcon icon(status, Qt::black);
        for (const int pixels : MenuBarIcon::traySizes) {
            const QImage image = icon.image(pixels);
            QCOMPARE(image.size(), QSize(pixels, pixels));
            const QPoint centre = MenuBarIcon::dotRect(pixels).center().toPoint();
            QCOMPARE(image.pixelColor(centre).toRgb(), colour);
        }
    }

    void onlyTheDotChangesWithTheStatus()
    {
        const int pixels = 44;
        const QImage up = MenuBarIcon(OverallStatus::up, Qt::black).image(pixels);
        const QImage down = MenuBarIcon(OverallStatus::down, Qt::black).image(pixels);
        const QRect dot = MenuBarIcon::dotRect(pixels).toAlignedRect();
        int rackPixels = 0;
        for (int y = 0; y < pixels; ++y) {
            for (int x = 0; x < pixels; ++x) {
                if (dot.contains(x, y))
                    continue;
                QCOMPARE(up.pixel(x, y), down.pixel(x, y));
                rackPixels += qAlpha(up.pixel(x, y)) > 0;
            }
        }
        QVERIFY(rackPixels > pixels * pixels / 4);
    }

    // The panel's colour is the desktop's, not the application's: the rack must show on
    // light and dark panels whatever colour the palette gave it.
    void rackShowsOnLightAndDarkPanels_data()
    {
        QTest::addColumn<QColor>("symbol");
        QTest::addColumn<QColor>("panel");
        const QList<std::pair<const char *, QColor>> panels{{"white panel", Qt::white},
                                                            {"light panel", QColor(0xE0, 0xE0, 0xE0)},
                                                            {"mid panel", QColor(0x80, 0x80, 0x80)},
                                                            {"dark panel", QColor(0x20, 0x20, 0x20)},
                                                            {"black panel", Qt::black}};
        const QList<std::pair<const char *, QColor>> symbols{{"light symbol", Qt::white},
                                                             {"dark symbol", QColor(0x1C, 0x1C, 0x1E)}};
        for (const auto &[symbolName, symbol] : symbols) {
            for (const auto &[panelName, panel] : panels)
                QTest::addRow("%s, %s", symbolName, panelName) << symbol << panel;
        }
    }
    void rackShowsOnLightAndDarkPanels()
    {
        QFETCH(QColor, symbol);
        QFETCH(QColor, panel);
        for (const int pixels : MenuBarIcon::traySizes) {
            QImage shown(pixels, pixels, QImage::Format_RGB32);
            shown.fill(panel);
            QPainter painter(&shown);
            painter.drawImage(0, 0, MenuBarIcon(OverallStatus::up, symbol).image(pixels));
            painter.end();
            const QRect dot = MenuBarIcon::dotRect(pixels).toAlignedRect();
            int visible = 0;
            for (int y = 0; y < pixels; ++y) {
                for (int x = 0; x < dot.left(); ++x)
                    visible += contrastRatio(shown.pixelColor(x, y), panel) >= 3;
            }
            // A fifth of the rack's side of the icon, enough for its outline to read.
            QVERIFY2(visible >= dot.left() * pixels / 5, qPrintable(QString::number(pixels)));
        }
    }

    void iconOffersEveryTraySize()
    {
        const QIcon icon = MenuBarIcon(OverallStatus::unknown).icon();
        QList<QSize> expected;
        for (const int pixels : MenuBarIcon::traySizes)
            expected.append(QSize(pixels, pixels));
        QCOMPARE(icon.availableSizes(), expected);
    }

    // A tray slot on a scaled screen is drawn at its own size in device pixels, not resampled
    // from the nearest listed one.
    void iconIsDrawnAtTheSizeTheTrayAsks_data()
    {
        QTest::addColumn<int>("slot"); // device-independent pixels
        QTest::addColumn<qreal>("scale");
        QTest::addColumn<int>("pixels");
        QTest::newRow("22 at 100 %") << 22 << 1.0 << 22;
        QTest::newRow("22 at 125 %") << 22 << 1.25 << 28;
        QTest::newRow("22 at 150 %") << 22 << 1.5 << 33;
        QTest::newRow("24 at 150 %") << 24 << 1.5 << 36;
        QTest::newRow("22 at 200 %") << 22 << 2.0 << 44;
        QTest::newRow("30 at 100 %") << 30 << 1.0 << 30;
    }
    void iconIsDrawnAtTheSizeTheTrayAsks()
    {
        QFETCH(int, slot);
        QFETCH(qreal, scale);
        QFETCH(int, pixels);
        const MenuBarIcon icon(OverallStatus::down, Qt::black);
        const QImage drawn = icon.image(pixels);

        // As the X11 tray paints its slot.
        QImage slotImage(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
        slotImage.setDevicePixelRatio(scale);
        slotImage.fill(Qt::transparent);
        QPainter painter(&slotImage);
        icon.icon().paint(&painter, QRect(0, 0, slot, slot));
        painter.end();
        slotImage.setDevicePixelRatio(1);
        QCOMPARE(slotImage, drawn);

        // As a tray that asks for a pixmap.
        QImage asked = icon.icon().pixmap(QSize(slot, slot), scale).toImage().convertToFormat(drawn.format());
        asked.setDevicePixelRatio(1);
        QCOMPARE(asked, drawn);
    }
};

QTEST_MAIN(TestMenuBarIcon)
#include "tst_MenuBarIcon.moc"
