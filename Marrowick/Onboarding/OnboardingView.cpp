#include "Marrowick/Onboarding/OnboardingView.h"

#include "Marrowick/State/AppSettings.h"
#include "Marrowick/State/AppState.h"
#include "Marrowick/Editor/AddSourceView.h"
#include "Marrowick/Onboarding/OnboardingPages.h"
#include "Marrowick/State/NotificationSettings.h"
#include "Marrowick/Style/AccessibleRoles.h"
#include "Marrowick/Style/KeyboardScrolling.h"
#include "Marrowick/Style/MarrowickStyle.h"
#include "Marrowick/Style/PillButton.h"
#include "Marrowick/Style/StatusOrb.h"
#include "Marrowick/Style/StatusText.h"
#include "Marrowick/Style/Symbol.h"
#include "Marrowick/Style/WindowFit.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QScrollArea>
#include <QKeyEvent>
#include <QStackedLayout>
#include <QVBoxLayout>

namespace marrowick {

namespace {

// The three page dots; the current one in the accent colour. Its name gives the step.
class PageDots : public QWidget {
public:
    PageDots(const int *step, QWidget *parent) : QWidget(parent), m_step(step)
    {
        setFixedSize(3 * 7 + 2 * 6, 7);
        setAccessibleKind(this, AccessibleKind::graphic);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        QColor other = palette().color(QPalette::WindowText);
        other.setAlphaF(0.6 * 0.3);
        for (int i = 0; i < OnboardingPages::pageCount; ++i) {
            p.setBrush(i == *m_step ? marrowickAccentMark(this) : other);
            p.drawEllipse(QRectF(i * 13, 0, 7, 7));
        }
    }

private:
    const int *m_step;
};

// What the dots show, for a screen reader.
QString stepText(int step)
{
    return QStringLiteral("Step %1 of %2").arg(QLocale().toString(step + 1), QLocale().toString(OnboardingPages::pageCount));
}

// A symbol beside a text in a status colour, as a single label.
QWidget *symbolLabel(Symbol symbol, const QString &text, ServiceStatus status, qreal scale, QWidget *parent)
{
    auto *box = new QWidget(parent);
    auto *row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    auto *label = new QLabel(text, box);
    label->setTextFormat(Qt::PlainText);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * scale);
    label->setFont(font);
    // The symbol and the text both follow the box's palette.
    setStatusTextColor(box, statusColor(status));
    auto *icon = new SymbolView(symbol, label->fontMetrics().height(), box);
    row->addStretch();
    row->addWidget(icon);
    row->addWidget(label);
    row->addStretch();
    box->setAccessibleName(text);
    return box;
}

} // namespace

OnboardingView::OnboardingView(AppState *state, QWidget *parent)
    : QWidget(parent), m_state(state), m_settings(state->widgetLayoutDefaults())
{
    setObjectName(identifier);
    setWindowTitle(title);
    WindowFit::apply(this, windowSize);

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto *root = new QWidget(this);
    root->setObjectName(rootIdentifier);
    outer->addWidget(root);
    auto *column = new QVBoxLayout(root);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    // The pages scroll where a small screen leaves less room than designed; the buttons stay.
    auto *scroll = new QScrollArea(root);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->viewport()->setAutoFillBackground(false);
    KeyboardScrolling::apply(scroll);
    auto *pages = new QWidget(scroll);
    m_pages = new QStackedLayout(pages);
    for (int step = 0; step < OnboardingPages::pageCount; ++step)
        m_pages->addWidget(page(step));
    scroll->setWidget(pages);
    // After setWidget(), which turns the filling on.
    pages->setAutoFillBackground(false);
    column->addWidget(scroll, 1);

    auto *nav = new QWidget(root);
    auto *bar = new QHBoxLayout(nav);
    bar->setContentsMargins(16, 16, 16, 16);
    m_back = new PillButton(OnboardingPages::backTitle(0), PillButton::Kind::ghost, nav);
    connect(m_back, &QAbstractButton::clicked, this, &OnboardingView::goBack);
    bar->addWidget(m_back);
    bar->addStretch();
    m_dots = new PageDots(&m_step, nav);
    m_dots->setAccessibleName(stepText(m_step));
    bar->addWidget(m_dots);
    bar->addStretch();
    m_forward = new PillButton(OnboardingPages::forwardTitle(0), PillButton::Kind::prominent, nav);
    connect(m_forward, &QAbstractButton::clicked, this, &OnboardingView::goForward);
    bar->addWidget(m_forward);
    column->addWidget(nav);

    connect(state, &AppState::sourcesChanged, this, &OnboardingView::refreshSourceCount);
    refreshSourceCount();
    showNotificationStatus(m_notificationStatus);
}

QWidget *OnboardingView::bodyText(const QString &text, qreal scale, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * scale);
    label->setFont(font);
    QPalette palette = label->palette();
    QColor gray = palette.color(QPalette::WindowText);
    gray.setAlphaF(0.6);
    palette.setColor(QPalette::WindowText, gray);
    label->setPalette(palette);
    return label;
}

QWidget *OnboardingView::page(int step)
{
    static const Symbol symbols[] = {Symbol::serverRack, Symbol::plusCircle, Symbol::bellBadge};
    auto *page = new QWidget(this);
    auto *column = new QVBoxLayout(page);
    column->setContentsMargins(32, 0, 32, 0);
    column->setSpacing(16);
    column->addStretch();
    auto *symbol = new SymbolView(symbols[step], 60, page);
    symbol->setUseAccent(true);
    column->addWidget(symbol, 0, Qt::AlignHCenter);
    auto *heading = new QLabel(OnboardingPages::title(step), page);
    heading->setTextFormat(Qt::PlainText);
    heading->setAlignment(Qt::AlignCenter);
    QFont bold = heading->font();
    bold.setPointSizeF(bold.pointSizeF() * 1.6);
    bold.setBold(true);
    heading->setFont(bold);
    column->addWidget(heading);

    switch (step) {
    case 0:
        column->addWidget(bodyText(QStringLiteral("Marrowick lives in your system tray and answers one question: is "
                                                  "your homelab okay? A single green, amber, or red icon shows the "
                                                  "overall state. Click it for per-service widgets."),
                                   1.05, page));
        column->addWidget(bodyText(QStringLiteral("It watches Uptime Kuma, Beszel, game servers, HTTP and TCP checks, "
                                                  "and custom JSON."),
                                   0.85, page));
        break;
    case 1: {
        column->addWidget(bodyText(QStringLiteral("Point Marrowick at something to watch. You can add or remove "
                                                  "sources any time in Settings."),
                                   1.05, page));
        auto *add = new PillButton(QStringLiteral("Add a Source\u2026"), PillButton::Kind::prominent, page);
        connect(add, &QAbstractButton::clicked, this, &OnboardingView::showAddSource);
        column->addWidget(add, 0, Qt::AlignHCenter);
        m_sourceCountRow = symbolLabel(Symbol::checkmarkCircle, QString(), ServiceStatus::up, 0.85, page);
        m_sourceCount = m_sourceCountRow->findChild<QLabel *>();
        column->addWidget(m_sourceCountRow);
        break;
    }
    default: {
        column->addWidget(bodyText(QStringLiteral("Marrowick sends a notification when a source fails a number of "
                                                  "checks in a row. You set the number of checks for each source."),
                                   1.05, page));
        m_notificationsOn = symbolLabel(Symbol::checkmarkCircle, QStringLiteral("Notifications are on"),
                                        ServiceStatus::up, 1.0, page);
        column->addWidget(m_notificationsOn);
        m_notificationsUnavailable = new QWidget(page);
        auto *row = new QHBoxLayout(m_notificationsUnavailable);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(8);
        row->addStretch();
        auto *off = new QLabel(QStringLiteral("Notifications cannot be shown: no notification server answers."),
                               m_notificationsUnavailable);
        off->setTextFormat(Qt::PlainText);
        setStatusTextColor(off, statusColor(ServiceStatus::down));
        QFont caption = off->font();
        caption.setPointSizeF(caption.pointSizeF() * 0.85);
        off->setFont(caption);
        row->addWidget(off);
        if (canOpenNotificationSettings()) {
            auto *open = new PillButton(QStringLiteral("Open Notification Settings"), PillButton::Kind::ghost,
                                        m_notificationsUnavailable);
            connect(open, &QAbstractButton::clicked, this, [] { openNotificationSettings(); });
            row->addWidget(open);
        }
        row->addStretch();
        column->addWidget(m_notificationsUnavailable);
        m_enableNotifications =
            new PillButton(QStringLiteral("Enable Notifications"), PillButton::Kind::prominent, page);
        connect(m_enableNotifications, &QAbstractButton::clicked, this, &OnboardingView::requestNotifications);
        column->addWidget(m_enableNotifications, 0, Qt::AlignHCenter);
        break;
    }
    }
    column->addStretch();
    return page;
}

void OnboardingView::setStep(int step)
{
    m_step = std::clamp(step, 0, OnboardingPages::pageCount - 1);
    m_pages->setCurrentIndex(m_step);
    m_back->setText(OnboardingPages::backTitle(m_step));
    m_forward->setText(OnboardingPages::forwardTitle(m_step));
    m_back->updateGeometry();
    m_forward->updateGeometry();
    setAccessibleNameIfChanged(m_dots, stepText(m_step));
    m_dots->update();
}

void OnboardingView::goBack()
{
    if (m_step == 0)
        close();
    else
        setStep(m_step - 1);
}

void OnboardingView::goForward()
{
    if (m_step >= OnboardingPages::pageCount - 1)
        close();
    else
        setStep(m_step + 1);
}

void OnboardingView::showAddSource()
{
    if (m_sheet || !m_state)
        return;
    m_sheet = new AddSourceView(m_state, std::nullopt, this);
    m_sheet->open();
}

QString OnboardingView::sourceCountText() const
{
    return m_sourceCountRow->isVisibleTo(this) ? m_sourceCount->text() : QString();
}

void OnboardingView::refreshSourceCount()
{
    const qsizetype count = m_state ? m_state->sources().size() : 0;
    m_sourceCount->setText(OnboardingPages::sourceCountText(count));
    setAccessibleNameIfChanged(m_sourceCountRow, m_sourceCount->text());
    m_sourceCountRow->setVisible(count > 0);
}

QWidget *OnboardingView::notificationBlock() const
{
    switch (OnboardingPages::notificationBlock(m_notificationStatus)) {
    case OnboardingPages::NotificationBlock::on:
        return m_notificationsOn;
    case OnboardingPages::NotificationBlock::unavailable:
        return m_notificationsUnavailable;
    case OnboardingPages::NotificationBlock::enable:
        break;
    }
    return m_enableNotifications;
}

void OnboardingView::showNotificationStatus(AuthorizationStatus status)
{
    m_notificationStatus = status;
    for (QWidget *block : {m_notificationsOn, m_notificationsUnavailable, static_cast<QWidget *>(m_enableNotifications)})
        block->setVisible(block == notificationBlock());
    emit notificationStatusChanged();
}

void OnboardingView::requestNotifications()
{
    if (m_state)
        queryStatus(this, m_state->alertCenter(), true);
}

QCoro::Task<void> OnboardingView::queryStatus(QPointer<OnboardingView> self, std::shared_ptr<AlertCenter> center,
                                              bool requestFirst)
{
    // Whether the request was granted is not shown; the status asked afterwards is.
    if (requestFirst)
        co_await center->requestAuthorization();
    const AuthorizationStatus status = co_await center->authorizationStatus();
    if (self)
        self->showNotificationStatus(status);
}

void OnboardingView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (event->spontaneous())
        return;
    if (m_state)
        queryStatus(this, m_state->alertCenter(), false);
    raise();
    activateWindow();
}

void OnboardingView::hideEvent(QHideEvent *event)
{
    // A minimised window is hidden by the system and comes back; any other hide ends it.
    if (!event->spontaneous())
        markCompleted();
    QWidget::hideEvent(event);
}

void OnboardingView::keyPressEvent(QKeyEvent *event)
{
    // Return presses the right-hand button, as a default button would.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        m_forward->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void OnboardingView::closeEvent(QCloseEvent *event)
{
    markCompleted();
    QWidget::closeEvent(event);
}

void OnboardingView::markCompleted()
{
    if (m_settings)
        m_settings->setOnboardingCompleted(true);
}

} // namespace marrowick
