#include "Marrowick/App/MenuBarIcon.h"

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

    void iconOffersEveryTraySize()
    {
        const QIcon icon = MenuBarIcon(OverallStatus::unknown).icon();
        QList<QSize> expected;
        for (const int pixels : MenuBarIcon::traySizes)
            expected.append(QSize(pixels, pixels));
        QCOMPARE(icon.availableSizes(), expected);
    }
};

QTEST_MAIN(TestMenuBarIcon)
#include "tst_MenuBarIcon.moc"
