#include "Editor/EditorRig.h"
#include "Marrowick/State/AppSettings.h"
#include "Marrowick/Style/MarrowickProxyStyle.h"
#include "Marrowick/Editor/TestResultBadge.h"
#include "Marrowick/Onboarding/OnboardingView.h"
#include "Marrowick/Popover/LatencyPill.h"
#include "Marrowick/Popover/MetricRing.h"
#include "Marrowick/Popover/RowTrailing.h"
#include "Marrowick/Settings/AccentSection.h"
#include "Marrowick/Settings/GeneralSettingsView.h"
#include "Marrowick/Settings/SettingsTexts.h"
#include "Marrowick/Settings/SettingsView.h"
#include "Marrowick/Settings/SourceRow.h"
#include "Marrowick/Settings/SwitchButton.h"
#include "Marrowick/Style/AlertBox.h"
#include "Marrowick/Style/MarrowickStyle.h"
#include "Marrowick/Style/PillButton.h"
#include "Marrowick/Style/Symbol.h"
#include "Popover/PopoverRig.h"
#include "State/AppStateRig.h"
#include "support/Pictures.h"
#include "support/StorageFaults.h"

#include <QAbstractItemView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QStyleOption>
#include <QTemporaryDir>
#include <QTest>

using namespace marrowick;

namespace {

// A part of a window as the window draws it, at four times its size: every stem of a small
// text then has pixels wholly in the text's colour, whatever the font.
class SharpShot {
public:
    static constexpr int scale = 4;

    explicit SharpShot(QWidget *part) : m_part(part)
    {
        QWidget *window = part->window();
        m_image = QImage(part->size() * scale, QImage::Format_ARGB32_Premultiplied);
        m_image.setDevicePixelRatio(scale);
        m_image.fill(Qt::transparent);
        window->render(&m_image, QPoint(), QRegion(QRect(part->mapTo(window, QPoint()), part->size())));
    }

    // The colour in the middle of a pixel of `widget` (the part or inside it).
    QColor at(const QWidget *widget, QPoint point) const
    {
        return m_image.pixelColor(widget->mapTo(m_part, point) * scale + QPoint(scale / 2, scale / 2));
    }

    // The colour at a point of `widget` given in its own pixels, fractions included.
    QColor atFraction(const QWidget *widget, QPointF point) const
    {
        return m_image.pixelColor(((point + widget->mapTo(m_part, QPoint())) * scale).toPoint());
    }

    // The strongest contrast with `against` among the pixels of `area` of `widget`.
    double strongest(const QWidget *widget, const QRect &area, const QColor &against) const
    {
        const QRect scaled(widget->mapTo(m_part, area.topLeft()) * scale, area.size() * scale);
        double best = 1;
        for (int y = scaled.top(); y <= scaled.bottom(); ++y) {
            for (int x = scaled.left(); x <= scaled.right(); ++x)
                best = std::max(best, contrastRatio(m_image.pixelColor(x, y), against));
        }
        return best;
    }

private:
    QWidget *m_part;
    QImage m_image;
};

// A window in a light or dark theme with an accent, as the shell shows it.
void dress(QWidget *window, const QString &hex, bool dark)
{
    window->setPalette(test::themePalette(dark));
    AccentInjector::apply(window, hex);
}

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

    QStringList m_shortfalls;

    void need(const char *what, double ratio, double least)
    {
        if (ratio < least)
            m_shortfalls.append(QStringLiteral("%1 %2:1").arg(QLatin1String(what)).arg(ratio, 0, 'f', 2));
    }

    // Text of `widget` within `area` against the colour right outside the area's top left.
    void checkText(const char *what, QWidget *widget, const QRect &area)
    {
        const SharpShot shot(widget->window());
        need(what, shot.strongest(widget, area, shot.at(widget, area.topLeft() - QPoint(2, 2))), 4.5);
    }
    void checkText(const char *what, QWidget *widget) { checkText(what, widget, widget->rect()); }

    // A field's edge, or its focus ring, where it crosses the top of `field` at `x`: every pixel
    // of it against the fill just inside and against the window just outside.
    void checkEdge(const QString &what, QWidget *field, int x)
    {
        const bool focused = field->hasFocus();
        const SharpShot shot(field->parentWidget());
        const QColor outside = shot.at(field, {x, -2});
        const QColor inside = shot.at(field, {x, 3});
        for (int y = 0; y <= (focused ? 1 : 0); ++y) {
            const QColor edge = shot.at(field, {x, y});
            need(qPrintable(what + QStringLiteral(" on its fill")), contrastRatio(edge, inside), 3);
            need(qPrintable(what + QStringLiteral(" on the window")), contrastRatio(edge, outside), 3);
        }
    }
    // The edge, then the focus ring, of a field that takes the keyboard.
    void checkEdgeAndFocus(const QString &what, QWidget *field, int x)
    {
        field->window()->setFocus();
        checkEdge(what + QStringLiteral("'s edge"), field, x);
        field->setFocus(Qt::TabFocusReason);
        QVERIFY2(field->hasFocus(), qPrintable(what));
        checkEdge(what + QStringLiteral("'s focus ring"), field, x);
    }

    // A focus ring where it crosses the top of `edge` (the control, or the card whose outline
    // shows its focus) at `x`: the ring as the change between `target` unfocused and focused,
    // its core against what lies right above it and right below it unfocused.
    void checkFocusRing(const QString &what, QWidget *target, QWidget *edge, int x)
    {
        QWidget *part = edge->parentWidget();
        while (part->parentWidget() && edge->mapTo(part, QPoint()).y() < 2)
            part = part->parentWidget();
        target->window()->setFocus();
        const SharpShot plain(part);
        target->setFocus(Qt::TabFocusReason);
        QVERIFY2(target->hasFocus(), qPrintable(what));
        const SharpShot focused(part);
        const auto offAt = [&](qreal y) { return contrastRatio(plain.atFraction(edge, QPointF(x + 0.5, y)), focused.atFraction(edge, QPointF(x + 0.5, y))); };
        const qreal step = 1.0 / SharpShot::scale;
        qreal first = 0;
        while (first < 8 && offAt(first) < 1.5)
            first += step;
        qreal last = first;
        while (last + step < 10 && offAt(last + step) >= 1.5)
            last += step;
        if (first >= 8) {
            need(qPrintable(what + QStringLiteral(" shows")), 1, 3);
            return;
        }
        const QColor ring = focused.atFraction(edge, QPointF(x + 0.5, (first + last) / 2));
        need(qPrintable(what + QStringLiteral(" against what lies outside it")),
             contrastRatio(ring, plain.atFraction(edge, QPointF(x + 0.5, first - 0.75))), 3);
        need(qPrintable(what + QStringLiteral(" against what lies inside it")),
             contrastRatio(ring, plain.atFraction(edge, QPointF(x + 0.5, last + 0.75))), 3);
    }

    // A scroll bar halfway down: the handle in its middle against the track beside it.
    void checkScrollBar(const char *what, QScrollBar *bar)
    {
        QVERIFY(bar->isVisible() && bar->maximum() > 0);
        bar->setValue(bar->maximum() / 2);
        const SharpShot shot(bar);
        const int middle = bar->height() / 2;
        need(what, contrastRatio(shot.at(bar, {bar->width() / 2, middle}), shot.at(bar, {1, middle})), 3);
    }

    // A capsule filled with the accent that carries a label (a chosen tab, a window's main
    // action): the fill read beside its rounded end, the label `inset` inside its edges. The
    // fill against what lies right above the capsule, the label against the fill.
    void checkFilledCapsule(const char *what, QAbstractButton *capsule, const QMargins &inset, bool onWindow)
    {
        const SharpShot shot(capsule->parentWidget());
        const int middle = capsule->height() / 2;
        const QColor fill = shot.at(capsule, {middle, middle});
        if (onWindow)
            need(qPrintable(QStringLiteral("%1 on the window").arg(QLatin1String(what))),
                 contrastRatio(fill, shot.at(capsule, {capsule->width() / 2, -4})), 3);
        need(qPrintable(QStringLiteral("%1's text").arg(QLatin1String(what))),
             shot.strongest(capsule, capsule->rect() - inset, fill), 4.5);
    }

    // The General tab: the chosen tab on its bar; a switch on its card, on and off, with its
    // knob and focus ring; a swatch's focus ring on its card; the chosen swatch. The Sources
    // tab: its chosen tab and its main action.
    void checkSettingsWindow(const QString &hex, bool dark)
    {
        test::AppStateRig rig;
        rig.build(true);
        rig.alerts->status = AuthorizationStatus::denied;
        const QUuid failing = QUuid::createUuid();
        rig.providers.failNext(failing, QStringLiteral("connection refused"), 100);
        rig.state->addSource(test::tcpSource(failing));
        SettingsView window(rig.state.get(), {}, {});
        dress(&window, hex, dark);
        window.setTab(SettingsView::SettingsTab::general);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        rig.clock.settle();
        GeneralSettingsView *general = window.generalTab();
        const QList<QLabel *> labels = general->findChildren<QLabel *>();
        const auto permission = std::find_if(labels.cbegin(), labels.cend(), [](const QLabel *label) {
            return label->text() == SettingsTexts::permissionMessage(AuthorizationStatus::denied);
        });
        QVERIFY(permission != labels.cend());
        checkText("denied permission's text", *permission);
        auto *custom = general->findChild<AccentSection *>()->findChild<QLineEdit *>();
        general->findChild<QScrollArea *>()->ensureWidgetVisible(custom);
        checkEdgeAndFocus(QStringLiteral("custom accent field"), custom, custom->width() - 6);
        checkScrollBar("settings scroll bar's handle on its track",
                       general->findChild<QScrollArea *>()->verticalScrollBar());

        QAbstractButton *tab = window.tabButton(SettingsView::SettingsTab::general);
        const SharpShot bar(tab->parentWidget());
        need("chosen tab on its bar", contrastRatio(bar.at(tab, {6, 10}), bar.at(tab->parentWidget(), {2, 10})), 3);
        checkFilledCapsule("chosen tab", tab, QMargins(14, 4, 14, 4), false);

        // Switch 42 by 26: the track inset 3, its knob 16 wide at one end; off, the track is
        // outlined and its knob is 12 wide.
        SwitchButton *toggle = general->switchNamed(QStringLiteral("Sound alerts"));
        toggle->setChecked(true);
        const SharpShot on(toggle);
        toggle->setChecked(false);
        const SharpShot off(toggle);
        const QColor card = on.at(toggle, {0, 0});
        const QColor onTrack = on.at(toggle, {8, 13});
        const QColor offTrack = off.at(toggle, {33, 13});
        const QColor offEdge = off.at(toggle, {30, 3});
        need("on track on its card", contrastRatio(onTrack, card), 3);
        need("off track's edge on its card", contrastRatio(offEdge, card), 3);
        need("off track's edge on its inside", contrastRatio(offEdge, offTrack), 3);
        need("on track against off", contrastRatio(onTrack, offTrack), 1.5);
        need("knob on the on track", contrastRatio(on.at(toggle, {29, 13}), onTrack), 3);
        need("knob on the off track", contrastRatio(off.at(toggle, {13, 13}), offTrack), 3);
        for (const bool checked : {true, false}) {
            toggle->setChecked(checked);
            toggle->setFocus();
            need("switch focus ring", SharpShot(toggle).strongest(toggle, QRect(15, 0, 12, 2), card), 3);
        }

        // Swatch 24 by 24: the 18-point circle inset 3, its ring at the circle's edge.
        const QList<AccentSwatch *> swatches = general->findChild<AccentSection *>()->swatches();
        general->findChild<QScrollArea *>()->ensureWidgetVisible(swatches[1]);
        // A swatch stands out of its card by its colour or, where that is too close, by its edge.
        for (AccentSwatch *swatch : swatches) {
            if (swatch->isChecked())
                continue;
            const SharpShot shot(swatch);
            const QColor fill = shot.at(swatch, {12, 12});
            const QColor around = shot.at(swatch, {1, 12});
            const QColor edge = shot.at(swatch, {12, 3});
            if (contrastRatio(fill, around) < 3) {
                need(qPrintable(swatch->hex() + QStringLiteral(" swatch's edge on its card")), contrastRatio(edge, around), 3);
                need(qPrintable(swatch->hex() + QStringLiteral(" swatch's edge on its colour")), contrastRatio(edge, fill), 3);
            }
        }
        swatches[1]->setFocus();
        const SharpShot focused(swatches[1]);
        need("swatch focus ring", focused.strongest(swatches[1], QRect(9, 0, 6, 2), focused.at(swatches[1], {0, 0})), 3);
        if (const qsizetype preset = AccentPresets::all().indexOf(hex); preset >= 0) {
            swatches[preset]->setChecked(true);
            const QColor chosen = SharpShot(swatches[preset]).at(swatches[preset], {12, 4});
            swatches[preset]->setChecked(false);
            need("chosen swatch", contrastRatio(chosen, SharpShot(swatches[preset]).at(swatches[preset], {12, 4})), 2);
        }

        window.setTab(SettingsView::SettingsTab::sources);
        checkFilledCapsule("chosen Sources tab", window.tabButton(SettingsView::SettingsTab::sources), QMargins(14, 4, 14, 4),
                           false);
        // The card of a source that is down says so beside its name.
        const QList<SourceRow *> cards = window.cards();
        QVERIFY(!cards.isEmpty());
        QCOMPARE(cards[0]->stateText(), QStringLiteral("Down"));
        const QList<QLabel *> cardLabels = cards[0]->findChildren<QLabel *>();
        const auto state = std::find_if(cardLabels.cbegin(), cardLabels.cend(), [](const QLabel *label) {
            return label->isVisible() && label->text() == QLatin1String("Down");
        });
        QVERIFY(state != cardLabels.cend());
        checkText("card's state", *state);
        auto *add = window.findChild<PillButton *>(SettingsView::addButtonIdentifier);
        QVERIFY(add && add->isVisible());
        checkFilledCapsule("Add Source button", add, QMargins(16, 6, 16, 6), true);
        checkFocusRing(QStringLiteral("Add Source button's focus ring"), add, add, add->width() / 2);
        SourceRow *source = window.cards().value(0);
        QVERIFY(source);
        checkFocusRing(QStringLiteral("source card's focus ring"), source->editButton(), source, source->width() / 2);
        checkFocusRing(QStringLiteral("bell's focus ring"), source->bellButton(), source->bellButton(), 13);
        checkFocusRing(QStringLiteral("chosen tab's focus ring"), window.tabButton(SettingsView::SettingsTab::sources),
                       window.tabButton(SettingsView::SettingsTab::sources), 30);
        checkFocusRing(QStringLiteral("other tab's focus ring"), window.tabButton(SettingsView::SettingsTab::general),
                       window.tabButton(SettingsView::SettingsTab::general), 30);
        // Standard widgets draw selections in the palette's highlight.
        const QPalette palette = add->palette();
        need("selected text", contrastRatio(palette.color(QPalette::HighlightedText), palette.color(QPalette::Highlight)), 4.5);

        {
            const test::FileSizeLimit full(1);
            rig.state->setSources(rig.state->sources());
        }
        auto *notice = window.findChild<QLabel *>(QStringLiteral("settings.saveNotice"));
        QVERIFY(notice && notice->isVisible());
        checkText("changes not saved", notice, notice->contentsRect());
    }

    // The source sheet in a desktop theme: the validation message, the test badges on their tint,
    // the edges and focus rings of its fields and its check box, and the chosen game in the list.
    void checkEditor(const QString &hex, bool dark)
    {
        const test::DesktopTheme theme(dark);
        test::EditorRig rig;
        rig.buildEditorState();
        rig.settings->setAccentHex(hex);
        rig.open();
        rig.sheet->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(rig.sheet));
        rig.click(QStringLiteral("editor.type.tcpPort"));
        rig.click(QStringLiteral("editor.next"));
        rig.fill({"name=SSH", "host=bad host"});
        checkText("validation message", rig.find(QStringLiteral("editor.message")));

        auto *badge = rig.find<TestResultBadge>(QStringLiteral("editor.testBadge"));
        for (const bool passed : {true, false}) {
            badge->setResult(passed, passed ? QStringLiteral("Connected") : QStringLiteral("connection refused"));
            badge->show();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
            const SharpShot shot(badge);
            // The text starts after the padding, the dot and the gap: 8 + 6 + 6.
            need(passed ? "passed test's badge" : "failed test's badge",
                 shot.strongest(badge, badge->rect().adjusted(20, 3, -8, -3), shot.at(badge, {4, badge->height() / 2})),
                 4.5);
        }

        QLineEdit *name = rig.find<LabeledTextField>(QStringLiteral("editor.name"))->lineEdit();
        checkEdgeAndFocus(QStringLiteral("text field"), name, name->width() * 3 / 4);
        // An empty field's prompt, against the field's fill just inside its edge.
        name->window()->setFocus();
        const QString typed = name->text();
        name->clear();
        name->setPlaceholderText(QStringLiteral("nas.home.arpa"));
        checkText("field's prompt", name, name->rect().adjusted(6, 6, -6, -6));
        name->setText(typed);
        rig.fill({"host=nas.lan"});
        auto *test = rig.find<PillButton>(QStringLiteral("editor.test"));
        QVERIFY(test->isEnabled());
        checkFocusRing(QStringLiteral("Test Connection's focus ring"), test, test, test->width() / 2);
        auto *threshold = rig.find<QSpinBox>(QStringLiteral("editor.alertThreshold"));
        checkEdgeAndFocus(QStringLiteral("spin box"), threshold, 4);
        auto *alerts = rig.find<QCheckBox>(QStringLiteral("editor.alerts"));
        // Focus rings of buttons show while the keyboard moves the focus.
        QLineEdit *before = rig.find<LabeledTextField>(QStringLiteral("editor.pollSeconds"))->lineEdit();
        before->setFocus();
        QTest::keyClick(before, Qt::Key_Tab);
        QVERIFY(alerts->hasFocus());
        QStyleOptionButton option;
        option.initFrom(alerts);
        option.text = alerts->text();
        const QRect indicator = alerts->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, alerts);
        const QRect label = alerts->style()->subElementRect(QStyle::SE_CheckBoxFocusRect, &option, alerts);
        const SharpShot box(alerts->parentWidget());
        const QPoint edge = indicator.topLeft() + QPoint(2, 0);
        const QColor around = box.at(alerts, edge - QPoint(0, 2));
        need("check box's edge", contrastRatio(box.at(alerts, edge), around), 3);
        need("check box's edge on its fill", contrastRatio(box.at(alerts, edge), box.at(alerts, edge + QPoint(0, 2))), 3);
        need("check box's focus", box.strongest(alerts, QRect(label.left() + 2, label.top(), label.width() - 4, 1), around),
             3);

        rig.click(QStringLiteral("editor.back"));
        rig.click(QStringLiteral("editor.type.gameServer"));
        rig.click(QStringLiteral("editor.next"));
        rig.fill({"game=rust"});
        auto *picker = rig.find<QComboBox>(QStringLiteral("editor.gamePicker"));
        checkEdgeAndFocus(QStringLiteral("game picker"), picker, picker->width() / 2);
        picker->showPopup();
        QTRY_VERIFY(picker->view()->isVisible());
        QAbstractItemView *list = picker->view();
        const QRect chosen = list->visualRect(list->currentIndex()).intersected(list->viewport()->rect());
        const SharpShot shown(list);
        const QColor fill = shown.at(list->viewport(), {chosen.right() - 3, chosen.center().y()});
        need("chosen game", shown.strongest(list->viewport(), chosen.adjusted(4, 2, -4, -2), fill), 4.5);
        picker->hidePopup();
    }

    // The words of rows that are not up, drawn before their latency pills.
    void checkStatusWords(const PopoverView &popover, const SharpShot &shot, const QList<const char *> &words)
    {
        const QList<RowTrailing *> rows = popover.findChildren<RowTrailing *>(QStringLiteral("trailing"));
        for (const char *word : words) {
            const auto found = std::find_if(rows.cbegin(), rows.cend(), [word](const RowTrailing *row) {
                return row->isVisible() && row->accessibleName().startsWith(QLatin1String(word));
            });
            QVERIFY2(found != rows.cend(), word);
            const QSize pill = LatencyPill::pillSize((*found)->font(), (*found)->latencyText());
            const int textRight = (*found)->width() - pill.width() - RowTrailing::spacing;
            need(word, shot.strongest(*found, QRect(0, 0, textRight, (*found)->height()), shot.at(*found, {textRight + 2, 0})),
                 4.5);
        }
    }

    // A pending service, an unknown check and a host that is down say so in words.
    void checkPopoverStates(const QString &hex, bool dark)
    {
        using test::find;
        test::PopoverRig rig;
        const AnySourceConfig pending = test::tcp(QStringLiteral("Queue"));
        const AnySourceConfig unknown = test::tcp(QStringLiteral("Old"));
        const AnySourceConfig host = test::tcp(QStringLiteral("Hub"));
        rig.answers.insert(pending.id(), QList<WidgetData>{
            WidgetData::service(ServiceRow{"q", "Queue", ServiceStatus::warn, 12, std::nullopt})});
        rig.answers.insert(unknown.id(), QList<WidgetData>{test::checkWidget("o", ServiceStatus::unknown, 12)});
        rig.answers.insert(host.id(), QList<WidgetData>{
            WidgetData::host(HostStats{"hub", "hub", ServiceStatus::down, std::nullopt, std::nullopt, std::nullopt, {}})});
        PopoverView &popover = rig.open({pending, unknown, host});
        dress(&popover, hex, dark);
        popover.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&popover));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        const SharpShot shot(&popover);
        checkStatusWords(popover, shot, {"Warning", "Unknown"});
        const auto *state = find<QLabel>(*find(popover, "hostRow"), "state");
        QVERIFY(state && state->isVisible());
        need("host's state", shot.strongest(state, state->rect(), shot.at(state, {-2, -2})), 4.5);
    }

    // The popup: the brand, a row's sparkline and latency pill on its card, a group's pill, a
    // host's ring on its track, a toolbar focus ring on its capsule and the paused banner.
    void checkPopover(const QString &hex, bool dark)
    {
        using test::find;
        test::PopoverRig rig;
        const AnySourceConfig single = test::tcp(QStringLiteral("Lab"));
        const AnySourceConfig group = test::tcp(QStringLiteral("Kuma"));
        const AnySourceConfig host = test::tcp(QStringLiteral("Beszel"));
        const AnySourceConfig check = test::tcp(QStringLiteral("Router"));
        const AnySourceConfig service = test::tcp(QStringLiteral("NAS"));
        rig.answers.insert(check.id(), QList<WidgetData>{test::checkWidget("r", ServiceStatus::down, std::nullopt)});
        rig.answers.insert(service.id(), QList<WidgetData>{
            WidgetData::service(ServiceRow{"s", "Plex", ServiceStatus::down, std::nullopt, std::nullopt})});
        rig.answers.insert(group.id(), QList<WidgetData>{test::checkWidget("1", ServiceStatus::up, 30),
                                                         test::checkWidget("2", ServiceStatus::up, 50)});
        rig.answers.insert(host.id(), QList<WidgetData>{
            WidgetData::host(HostStats{"nas", "nas", ServiceStatus::up, 23, 40, 50, {}})});
        PopoverView &popover = rig.open({single, group, host, check, service});
        // Dressed after its rows were made: they follow a new theme and accent.
        dress(&popover, hex, dark);
        for (int poll = 0; poll < 3; ++poll) {
            rig.answers.insert(single.id(), QList<WidgetData>{test::checkWidget("c", ServiceStatus::up, 20 + poll * 7)});
            rig.pollAll();
        }
        popover.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&popover));
        auto *settings = find<QAbstractButton>(popover, "popover.settings");
        settings->setFocus();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        const SharpShot shot(&popover);

        const QWidget *header = find(popover, "popover.header");
        const QLabel *brand = header->findChildren<QLabel *>().value(0);
        QCOMPARE(brand->text(), QStringLiteral("MARROWICK"));
        need("brand", shot.strongest(brand, brand->rect(), shot.at(header, {2, 2})), 4.5);

        const auto *trailing = find<RowTrailing>(*find(popover, "checkRow"), "trailing");
        QVERIFY(trailing->showsSparkline());
        const QSize pill = LatencyPill::pillSize(trailing->font(), trailing->latencyText());
        const QRect pillArea(QPoint(trailing->width() - pill.width(), (trailing->height() - pill.height()) / 2), pill);
        const QSize spark = RowTrailing::sparklineSize;
        const int sparkRight = pillArea.left() - RowTrailing::spacing;
        const QColor card = shot.at(trailing, {sparkRight + 4, 0});
        need("sparkline", shot.strongest(trailing, QRect(QPoint(sparkRight - spark.width(), 0), spark), card), 3);
        // The text starts after the padding, the symbol and the gap: 8 + 9 + 5.
        const auto pillText = [&shot](const QWidget *widget, const QRect &area) {
            const QColor fill = shot.at(widget, area.topLeft() + QPoint(4, area.height() / 2));
            return shot.strongest(widget, area.adjusted(22, 2, -8, -2), fill);
        };
        need("row's latency pill", pillText(trailing, pillArea), 4.5);
        const auto *groupPill = find<LatencyPill>(*find(popover, "groupHeaderRow"), "latencyPill");
        need("group's latency pill", pillText(groupPill, groupPill->rect()), 4.5);
        checkStatusWords(popover, shot, {"Down", "Unreachable"});

        // A ring 26 wide, its line 3 wide: 23 % fills it from twelve o'clock; its left is track.
        const auto *ring = find(popover, "hostRow")->findChildren<MetricRing *>().value(0);
        const int left = (ring->width() - 26) / 2;
        need("ring on its track", shot.strongest(ring, QRect(left + 15, 0, 3, 3), shot.at(ring, {left + 1, 13})), 3);
        need("toolbar focus ring", shot.strongest(settings, QRect(12, 0, 4, 2), shot.at(settings, {0, 0})), 3);
        auto *refresh = find<QAbstractButton>(popover, "popover.refresh");
        checkFocusRing(QStringLiteral("Refresh now's focus ring"), refresh, refresh, refresh->width() / 2);
        auto *groupHeader = find<QAbstractButton>(popover, "groupHeaderRow");
        checkFocusRing(QStringLiteral("group header's focus ring"), groupHeader, groupHeader->parentWidget(),
                       groupHeader->width() / 2);

        rig.state->setPaused(true);
        popover.flushPendingChanges();
        QWidget *banner = find(popover, "popover.pausedBanner");
        const SharpShot paused(banner);
        const QColor tint = paused.at(banner, {4, banner->height() / 2});
        const QLabel *heading = find<QLabel>(*banner, "title");
        need("paused banner heading", paused.strongest(heading, heading->rect(), tint), 4.5);
        const auto *symbol = banner->findChild<SymbolView *>();
        need("paused banner symbol", paused.strongest(symbol, symbol->rect(), tint), 3);
    }

    // The first-run window's page symbol on the window.
    void checkOnboarding(const QString &hex, bool dark)
    {
        test::AppStateRig rig;
        OnboardingView window(&rig.build(true));
        dress(&window, hex, dark);
        window.show();
        const QList<SymbolView *> symbols = window.findChildren<SymbolView *>();
        const auto symbol = std::find_if(symbols.cbegin(), symbols.cend(),
                                         [](const SymbolView *s) { return s->isVisible() && s->width() == 60; });
        QVERIFY(symbol != symbols.cend());
        const SharpShot shot((*symbol)->parentWidget());
        need("page symbol", shot.strongest(*symbol, (*symbol)->rect(), shot.at((*symbol)->parentWidget(), {2, 2})), 3);
        const QList<PillButton *> pills = window.findChildren<PillButton *>();
        const auto forward = std::find_if(pills.cbegin(), pills.cend(), [](const PillButton *pill) {
            return pill->isVisible() && pill->kind() == PillButton::Kind::prominent;
        });
        QVERIFY(forward != pills.cend());
        checkFilledCapsule("first-run window's main button", *forward, QMargins(16, 6, 16, 6), true);

        rig.state->addSource(test::tcpSource(QUuid::createUuid()));
        window.goForward();
        QLabel *count = [&window] {
            for (QLabel *label : window.findChildren<QLabel *>()) {
                if (label->isVisible() && label->text() == QLatin1String("1 source added"))
                    return label;
            }
            return static_cast<QLabel *>(nullptr);
        }();
        QVERIFY(count);
        checkText("source count", count);
        for (const auto status : {AuthorizationStatus::authorized, AuthorizationStatus::denied}) {
            rig.alerts->status = status;
            OnboardingView notifications(rig.state.get());
            dress(&notifications, hex, dark);
            notifications.show();
            rig.clock.settle();
            notifications.goForward();
            notifications.goForward();
            QLabel *line = notifications.notificationBlock()->findChild<QLabel *>();
            QVERIFY(line && line->isVisible());
            checkText(status == AuthorizationStatus::denied ? "notifications off" : "notifications on", line);
        }
    }

private slots:
    // Windows drawn as the program draws them.
    void initTestCase() { MarrowickProxyStyle::install(); }

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

    // Every accent, preset or custom, in a light and a dark theme, on real renders: accent text,
    // text in a status colour and text on an accent fill stand 4.5:1, and accent marks, lines,
    // the fill of a main action, the edges and focus rings of controls and a scroll bar's handle
    // 3:1 apart from what lies right beside them.
    void accentStandsOutWhereverItIsDrawn_data()
    {
        QTest::addColumn<QString>("hex");
        QTest::addColumn<bool>("dark");
        QStringList accents = AccentPresets::all();
        accents << QStringLiteral("#000000") << QStringLiteral("#101010") << QStringLiteral("#808080")
                << QStringLiteral("#FFFF00") << QStringLiteral("#FFE600") << QStringLiteral("#353535")
                << QStringLiteral("#EFEFEF") << QStringLiteral("#111111") << QStringLiteral("#7F7F7F");
        for (const QString &hex : accents) {
            QTest::addRow("%s light", qPrintable(hex)) << hex << false;
            QTest::addRow("%s dark", qPrintable(hex)) << hex << true;
        }
    }
    void accentStandsOutWhereverItIsDrawn()
    {
        QFETCH(QString, hex);
        QFETCH(bool, dark);
        m_shortfalls.clear();
        checkSettingsWindow(hex, dark);
        checkPopover(hex, dark);
        checkPopoverStates(hex, dark);
        checkOnboarding(hex, dark);
        checkEditor(hex, dark);
        QVERIFY2(m_shortfalls.isEmpty(), qPrintable(m_shortfalls.join(QStringLiteral(", "))));
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
