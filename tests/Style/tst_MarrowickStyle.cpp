#include "Marrowick/State/AppSettings.h"
#include "Marrowick/Style/AlertBox.h"
#include "Marrowick/Style/MarrowickStyle.h"
#include "Marrowick/Style/PillButton.h"
#include "State/AppStateRig.h"

#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>

using namespace marrowick;

namespace {

// Components as whole 0...255 values, so the table reads like the hex it came from.
QList<int> bytes(const ColorComponents &c)
{
    return {qRound(c.red * 255), qRound(c.green * 255), qRound(c.blue * 255)};
}

QString gray(int value)
{
    return QStringLiteral("#%1%1%1").arg(value, 2, 16, QLatin1Char('0'));
}

} // namespace

class TestMarrowickStyle : public QObject {
    Q_OBJECT

private slots:
    void parsesHexColours_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<int>>("expected"); // empty: not a colour
        const QList<int> accent{0x8B, 0xB8, 0xE8};
        QTest::newRow("with #") << "#8BB8E8" << accent;
        QTest::newRow("without #") << "8BB8E8" << accent;
        QTest::newRow("lower case") << "#8bb8e8" << accent;
        QTest::newRow("spaces and tabs around") << " \t#8BB8E8\t " << accent;
        QTest::newRow("no-break space around") << QStringLiteral("\u00A0#8BB8E8") << accent;
        QTest::newRow("plus sign") << "+8BB8E" << QList<int>{0x08, 0xBB, 0x8E};
        QTest::newRow("minus before zeros") << "-00000" << QList<int>{0, 0, 0};
        QTest::newRow("minus before a digit") << "-00001" << QList<int>{};
        QTest::newRow("two signs") << "+-0000" << QList<int>{};
        QTest::newRow("sign alone") << "#+" << QList<int>{};
        QTest::newRow("five digits") << "#8BB8E" << QList<int>{};
        QTest::newRow("eight digits") << "#8BB8E8FF" << QList<int>{};
        QTest::newRow("0x prefix") << "0x8BB8" << QList<int>{};
        QTest::newRow("two #") << "##8BB8E" << QList<int>{};
        QTest::newRow("inner space") << "#8B B8E" << QList<int>{};
        QTest::newRow("trailing line break") << "#8BB8E8\n" << QList<int>{};
        QTest::newRow("not hexadecimal") << "#8BB8EG" << QList<int>{};
        QTest::newRow("empty") << "" << QList<int>{};
        QTest::newRow("arabic-indic digits") << QStringLiteral("\u0661\u0662\u0663\u0664\u0665\u0666") << QList<int>{};
    }
    void parsesHexColours()
    {
        QFETCH(QString, text);
        QFETCH(QList<int>, expected);
        const auto parsed = parseHexColor(text);
        QCOMPARE(parsed.has_value(), !expected.isEmpty());
        if (parsed)
            QCOMPARE(bytes(*parsed), expected);
    }

    void unparsableAccentFallsBackToTheDefault()
    {
        QCOMPARE(accentColor(QStringLiteral("nonsense")), accentColor(QStringLiteral("#8BB8E8")));
        QCOMPARE(accentColor(QStringLiteral("#FF0000")), QColor(255, 0, 0));
        QCOMPARE(onAccentColor(QStringLiteral("")), onAccentColor(QStringLiteral("#8BB8E8")));
    }

    void onAccentPicksTheHigherContrast_data()
    {
        QTest::addColumn<QString>("hex");
        QTest::addColumn<bool>("dark");
        QTest::newRow("default accent") << "#8BB8E8" << true;
        QTest::newRow("white") << "#FFFFFF" << true;
        QTest::newRow("black") << "#000000" << false;
        QTest::newRow("pure red") << "#FF0000" << true;
        QTest::newRow("pure blue") << "#0000FF" << false;
        QTest::newRow("gray 124, just below the switch") << gray(124) << false;
        QTest::newRow("gray 125, just above the switch") << gray(125) << true;
    }
    void onAccentPicksTheHigherContrast()
    {
        QFETCH(QString, hex);
        QFETCH(bool, dark);
        QCOMPARE(onAccentColor(hex), dark ? QColor(28, 28, 30) : QColor(Qt::white));
    }

    void injectorSetsTheAccentBelowItAndFollowsTheSetting()
    {
        QTemporaryDir dir;
        AppSettings settings(std::make_unique<QSettings>(dir.filePath("s.ini"), QSettings::IniFormat));
        QWidget window;
        auto *inner = new QWidget(&window);
        auto *button = new PillButton(QStringLiteral("Save"), PillButton::Kind::prominent, inner);
        QWidget outside;
        // A window without an accent of its own shows the setting's default.
        QCOMPARE(defaultAccentHex, AppSettings::defaultAccentHex);
        QCOMPARE(marrowickAccent(button), accentColor(AppSettings::defaultAccentHex));

        test::followAccent(&window, &settings);
        settings.setAccentHex(QStringLiteral("#000000"));
        QCOMPARE(marrowickAccent(button), QColor(0, 0, 0));
        QCOMPARE(marrowickOnAccent(button), QColor(Qt::white));
        QCOMPARE(button->palette().color(QPalette::Highlight), QColor(0, 0, 0));
        QCOMPARE(marrowickAccent(&outside), accentColor(AppSettings::defaultAccentHex));
        QCOMPARE(marrowickOnAccent(&outside), QColor(28, 28, 30));
    }

    void pressedPillsAreTranslucent_data()
    {
        QTest::addColumn<bool>("prominent");
        QTest::addColumn<bool>("pressed");
        QTest::addColumn<double>("opacity");
        QTest::newRow("prominent") << true << false << 1.0;
        QTest::newRow("prominent pressed") << true << true << 0.8;
        QTest::newRow("ghost") << false << false << 1.0;
        QTest::newRow("ghost pressed") << false << true << 0.6;
    }
    void pressedPillsAreTranslucent()
    {
        QFETCH(bool, prominent);
        QFETCH(bool, pressed);
        QFETCH(double, opacity);
        // Paint an empty label on a large pill and read the opacity back from the fill's middle.
        QImage image(200, 40, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        QPalette palette;
        palette.setColor(QPalette::WindowText, Qt::black);
        if (prominent)
            MarrowickProminentPillStyle::paint(painter, image.rect(), {}, QFont(), pressed, Qt::red, Qt::white);
        else
            MarrowickGhostPillStyle::paint(painter, image.rect(), {}, QFont(), pressed, palette);
        painter.end();
        const double fillAlpha = prominent ? 1.0 : 0.05;
        QCOMPARE(qRound(image.pixelColor(100, 20).alphaF() * 100), qRound(fillAlpha * opacity * 100));
    }

    // A symbol leads the label: the pill grows by it, and its ink lands left of the text.
    void pillSymbolLeadsTheLabel_data()
    {
        QTest::addColumn<bool>("prominent");
        QTest::newRow("prominent") << true;
        QTest::newRow("ghost") << false;
    }
    void pillSymbolLeadsTheLabel()
    {
        QFETCH(bool, prominent);
        const auto kind = prominent ? PillButton::Kind::prominent : PillButton::Kind::ghost;
        PillButton plain(QStringLiteral("Add Source\u2026"), kind);
        PillButton withSymbol(QStringLiteral("Add Source\u2026"), kind);
        withSymbol.setSymbol(Symbol::plus);
        QCOMPARE(withSymbol.symbol(), std::optional<Symbol>(Symbol::plus));
        const int growth = withSymbol.sizeHint().width() - plain.sizeHint().width();
        QVERIFY(growth >= 10);
        QCOMPARE(withSymbol.sizeHint().height(), plain.sizeHint().height());

        withSymbol.resize(withSymbol.sizeHint());
        const QImage image = withSymbol.grab().toImage();
        const QColor fill = image.pixelColor(4, image.height() / 2);
        const int symbolLeft = int(prominent ? MarrowickProminentPillStyle::padding.left()
                                             : MarrowickGhostPillStyle::padding.left());
        int ink = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = symbolLeft; x < symbolLeft + growth; ++x)
                ink += contrastRatio(image.pixelColor(x, y), fill) >= 2;
        }
        QVERIFY2(ink >= 6, qPrintable(QString::number(ink)));
    }

    void alertsShowTheirTitleBoldAndTheirMessageReadably_data()
    {
        QTest::addColumn<int>("icon");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("message");
        QTest::newRow("notice") << int(QMessageBox::NoIcon) << "Import Complete"
                                << "3 sources were imported. Enter the secrets of Beszel and Kuma again.";
        QTest::newRow("warning") << int(QMessageBox::Warning) << "Couldn't Save Source"
                                 << "The name org.freedesktop.secrets was not provided by any .service files";
        QTest::newRow("short") << int(QMessageBox::NoIcon) << "Up to Date" << "Yes.";
        QTest::newRow("markup stays text") << int(QMessageBox::Warning) << "<b>Down</b>" << "<img src=x> &amp; more";
    }
    void alertsShowTheirTitleBoldAndTheirMessageReadably()
    {
        QFETCH(int, icon);
        QFETCH(QString, title);
        QFETCH(QString, message);
        QWidget window;
        QPointer<QMessageBox> box = AlertBox::make(QMessageBox::Icon(icon), title, message, &window);
        box->open();
        QCoreApplication::processEvents();

        const QLabel *titleLabel = AlertBox::titleLabel(*box);
        const QLabel *messageLabel = AlertBox::messageLabel(*box);
        QVERIFY(titleLabel && messageLabel);
        QCOMPARE(titleLabel->text(), title);
        QCOMPARE(titleLabel->textFormat(), Qt::PlainText);
        QVERIFY(titleLabel->font().bold());
        QVERIFY(!messageLabel->font().bold());
        QCOMPARE(messageLabel->text(), message);
        QCOMPARE(messageLabel->textFormat(), Qt::PlainText);
        // Qt alone sizes a box by its word-wrapped message, a column a few words wide.
        QVERIFY2(messageLabel->width() >= AlertBox::minimumTextWidth, qPrintable(QString::number(messageLabel->width())));
        QVERIFY(box->width() > AlertBox::minimumTextWidth);

        box->close();
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(box.isNull());
    }
};

QTEST_MAIN(TestMarrowickStyle)
#include "tst_MarrowickStyle.moc"
