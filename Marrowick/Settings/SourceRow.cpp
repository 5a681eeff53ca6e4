#include "Marrowick/Settings/SourceRow.h"

#include "Marrowick/Style/AccessibleRoles.h"
#include "Marrowick/Style/ListPlace.h"
#include "Marrowick/Style/RelativeTimeText.h"
#include "Marrowick/Style/StatusOrb.h"
#include "Marrowick/Style/StatusText.h"
#include "Marrowick/Style/MarrowickStyle.h"
#include "Marrowick/Style/Symbol.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QLabel>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include <cmath>


namespace marrowick {

namespace {

QColor secondaryText(const QPalette &palette)
{
    QColor color = palette.color(QPalette::WindowText);
    color.setAlphaF(0.6);
    return color;
}

QFont scaledFont(const QFont &base, qreal factor, bool semibold = false)
{
    QFont font = base;
    font.setPointSizeF(base.pointSizeF() * factor);
    if (semibold)
        font.setWeight(QFont::DemiBold);
    return font;
}

// The wide edit button: its children only draw, the button takes every click. Its focus
// shows on the card's outline, clear of the texts it holds.
class EditButton : public QAbstractButton {
public:
    explicit EditButton(QWidget *parent) : QAbstractButton(parent)
    {
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        setFocusPolicy(Qt::StrongFocus);
    }
    QSize sizeHint() const override { return layout() ? layout()->sizeHint() : QSize(); }
    QSize minimumSizeHint() const override { return layout() ? layout()->minimumSize() : QSize(); }

protected:
    void paintEvent(QPaintEvent *) override {}
};

// The kind's symbol on a faint rounded square.
class KindIcon : public SymbolView {
public:
    explicit KindIcon(QWidget *parent) : SymbolView(Symbol::globe, 32, parent) {}

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QColor fill = palette().color(QPalette::WindowText);
        fill.setAlphaF(0.05);
        p.setPen(Qt::NoPen);
        p.setBrush(fill);
        p.drawRoundedRect(QRectF(rect()), 8, 8);
        paintSymbol(p, symbol(), QRectF(8, 8, 16, 16), color());
    }
};

Symbol kindSymbol(SourceKind kind)
{
    switch (kind) {
    case SourceKind::kuma:
        return Symbol::waveform;
    case SourceKind::beszel:
        return Symbol::gauge;
    case SourceKind::gameServer:
        return Symbol::gameController;
    case SourceKind::httpPing:
        return Symbol::globe;
    case SourceKind::tcpPort:
        return Symbol::network;
    case SourceKind::jsonWidget:
        break;
    }
    return Symbol::curlyBraces;
}

QLabel *plainLabel(QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    return label;
}

} // namespace

SmallSquareButton::SmallSquareButton(Symbol symbol, QWidget *parent) : QAbstractButton(parent), m_symbol(symbol)
{
    setFixedSize(26, 26);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
}

void SmallSquareButton::setSymbol(Symbol symbol, bool secondary)
{
    m_symbol = symbol;
    m_secondary = secondary;
    update();
}

void SmallSquareButton::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QColor fill = palette().color(QPalette::WindowText);
    fill.setAlphaF(isDown() ? 0.12 : 0.03);
    p.setPen(hasFocus() ? QPen(marrowickFocusRing(this, fill), 1.5) : Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(rect()).adjusted(0.75, 0.75, -0.75, -0.75), 6, 6);
    const QColor ink = m_secondary ? secondaryText(palette()) : palette().color(QPalette::WindowText);
    paintSymbol(p, m_symbol, QRectF(6, 6, 14, 14), ink);
}

// Not transparent for the mouse, or its tooltip would never show: the presses it ignores
// reach the button below all the same.
ElidedLabel::ElidedLabel(Qt::TextElideMode mode, QWidget *parent) : QWidget(parent), m_mode(mode)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void ElidedLabel::setText(const QString &text)
{
    if (m_text == text)
        return;
    m_text = text;
    setAccessibleName(text);
    elide();
    updateGeometry();
}

void ElidedLabel::elide()
{
    m_shown = fontMetrics().elidedText(m_text, m_mode, width());
    setToolTip(m_shown == m_text ? QString() : plainToolTip(m_text));
    update();
}

QSize ElidedLabel::sizeHint() const
{
    // Rounded up, or the text's last fraction of a pixel would cost it an ellipsis.
    const int width = static_cast<int>(std::ceil(QFontMetricsF(font()).horizontalAdvance(m_text))) + 1;
    return {width, fontMetrics().height()};
}

QSize ElidedLabel::minimumSizeHint() const
{
    return {fontMetrics().horizontalAdvance(QStringLiteral("\u2026")) * 2, fontMetrics().height()};
}

void ElidedLabel::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    elide();
}

void ElidedLabel::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        elide();
        updateGeometry();
    }
}

void ElidedLabel::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setPen(palette().color(foregroundRole()));
    p.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter, m_shown);
}

SourceRow::SourceRow(QWidget *parent) : QFrame(parent)
{
    markSurface(this, cardFillOpacity);
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(12, 12, 12, 12);
    row->setSpacing(10);

    auto *handle = new SymbolView(Symbol::dragHandle, 14, this);
    handle->setColor(QColor(128, 128, 128, 160));
    handle->setToolTip(QStringLiteral("Drag to reorder"));
    handle->setAttribute(Qt::WA_TransparentForMouseEvents, false);
    handle->setCursor(Qt::OpenHandCursor);
    handle->installEventFilter(this);
    row->addWidget(handle);

    m_edit = new EditButton(this);
    m_edit->installEventFilter(this);
    auto *label = new QHBoxLayout(m_edit);
    label->setContentsMargins(0, 0, 0, 0);
    label->setSpacing(12);
    m_kindIcon = new KindIcon(m_edit);
    label->addWidget(m_kindIcon);
    auto *texts = new QVBoxLayout;
    texts->setSpacing(3);
    auto *title = new QHBoxLayout;
    title->setSpacing(8);
    m_orb = new StatusOrb(ServiceStatus::unknown, 8, m_edit);
    m_orb->setAttribute(Qt::WA_TransparentForMouseEvents);
    title->addWidget(m_orb);
    m_name = new ElidedLabel(Qt::ElideRight, m_edit);
    m_name->setFont(scaledFont(font(), 1.0, true));
    title->addWidget(m_name, 1);
    m_state = plainLabel(m_edit);
    m_state->setFont(scaledFont(font(), 0.85, true));
    m_state->hide();
    title->addWidget(m_state);
    texts->addLayout(title);

    auto *detail = new QHBoxLayout;
    detail->setSpacing(6);
    const QFont caption = scaledFont(font(), 0.85);
    QPalette secondary = palette();
    secondary.setColor(QPalette::WindowText, secondaryText(palette()));
    // Only the age keeps its whole width: the kind and the address give way to it.
    m_typeTitle = new ElidedLabel(Qt::ElideRight, m_edit);
    m_typeTitle->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    auto *dot = plainLabel(m_edit);
    dot->setText(QStringLiteral("\u00B7"));
    m_endpoint = new ElidedLabel(Qt::ElideMiddle, m_edit);
    m_age = new RelativeTimeText({}, m_edit);
    m_age->setAttribute(Qt::WA_TransparentForMouseEvents);
    for (QWidget *piece : std::initializer_list<QWidget *>{m_typeTitle, dot, m_endpoint, m_age}) {
        piece->setFont(caption);
        piece->setPalette(secondary);
        piece->setForegroundRole(QPalette::WindowText);
    }
    detail->addWidget(m_typeTitle);
    detail->addWidget(dot);
    detail->addWidget(m_endpoint, 1);
    detail->addSpacing(8);
    detail->addWidget(m_age);
    texts->addLayout(detail);

    m_error = plainLabel(m_edit);
    m_error->setFont(scaledFont(font(), 0.8));
    m_error->setPalette(secondary);
    m_error->setForegroundRole(QPalette::WindowText);
    m_error->setWordWrap(true);
    // A word longer than the card (an address, say) is cut at its edge rather than widening
    // the card past the window.
    m_error->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    // At most two lines of a long failure text.
    m_error->setMaximumHeight(m_error->fontMetrics().lineSpacing() * 2 + 2);
    m_error->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_error->hide();
    texts->addWidget(m_error);
    label->addLayout(texts, 1);
    row->addWidget(m_edit, 1);

    m_bell = new SmallSquareButton(Symbol::bell, this);
    m_bell->setToolTip(QStringLiteral("Notify when this source, or anything it reports on, goes down"));
    row->addWidget(m_bell);
    m_trash = new SmallSquareButton(Symbol::trash, this);
    row->addWidget(m_trash);
    m_bell->installEventFilter(this);
    m_trash->installEventFilter(this);

    connect(m_edit, &QAbstractButton::clicked, this, [this] { emit editRequested(m_model.id); });
    connect(m_bell, &QAbstractButton::clicked, this, [this] { emit muteToggled(m_model.id); });
    connect(m_trash, &QAbstractButton::clicked, this, [this] { emit deleteRequested(m_model.id); });
}

void SourceRow::setModel(const SourceRowModel &model)
{
    if (m_model == model && !m_name->text().isEmpty())
        return;
    m_model = model;
    m_kindIcon->setSymbol(kindSymbol(model.kind));
    m_orb->setStatus(model.status);
    m_name->setText(model.name);
    showStatusWord(m_state, model.status);
    m_typeTitle->setText(model.typeTitle);
    m_endpoint->setText(model.endpoint);
    m_edit->setToolTip(plainToolTip(model.editTip()));
    // A poll changes the card's age every time; its names change only with what they say.
    setAccessibleNameIfChanged(m_edit, model.name + QStringLiteral(", ") + statusWord(model.status));
    m_bell->setSymbol(model.alertsEnabled ? Symbol::bell : Symbol::bellSlash, !model.alertsEnabled);
    setAccessibleNameIfChanged(m_bell, model.muteLabel());
    m_trash->setToolTip(plainToolTip(model.deleteLabel()));
    setAccessibleNameIfChanged(m_trash, model.deleteLabel());
    m_error->setText(model.error.value_or(QString()));
    m_error->setVisible(model.error.has_value());
    setNow(m_now.value_or(Instant::now()));
}

void SourceRow::setNow(Instant now)
{
    m_now = now;
    if (m_model.fetchedAt)
        m_age->setDate(*m_model.fetchedAt, now);
    m_age->setVisible(m_model.fetchedAt.has_value());
}

void SourceRow::tellPlace(qsizetype index, qsizetype count)
{
    m_edit->setAccessibleDescription(ListPlace::description(index, count));
}

QWidget *SourceRow::ageLabel() const
{
    return m_age;
}

QString SourceRow::ageText() const
{
    return m_age->isVisibleTo(this) ? m_age->QLabel::text() : QString();
}

QString SourceRow::errorText() const
{
    return m_error->isVisibleTo(this) ? m_error->text() : QString();
}

QString SourceRow::stateText() const
{
    return m_state->isVisibleTo(this) ? m_state->text() : QString();
}

void SourceRow::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF area = QRectF(rect());
    QPainterPath shape;
    shape.addRoundedRect(area, cornerRadius, cornerRadius);
    p.fillPath(shape, cardFill(palette()));
    if (m_edit->hasFocus()) {
        p.setPen(QPen(marrowickAccentMark(this), 2));
        p.drawRoundedRect(area.adjusted(1, 1, -1, -1), cornerRadius - 1, cornerRadius - 1);
    } else {
        paintCardOutline(p, area, cornerRadius, palette());
    }
}

bool SourceRow::handleKey(const QKeyEvent *event)
{
    // Delete removes the source, Alt+arrows reorder it, wherever the focus is on the card. The
    // focus goes on to the next card, so a held Delete removes only the first.
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
        if (!event->isAutoRepeat())
            emit deleteRequested(m_model.id);
        return true;
    }
    const QKeySequence pressed(event->keyCombination());
    if (pressed == ListPlace::moveUp || pressed == ListPlace::moveDown) {
        emit moveRequested(m_model.id, pressed == ListPlace::moveUp ? -1 : 1);
        return true;
    }
    return false;
}

void SourceRow::keyPressEvent(QKeyEvent *event)
{
    if (!handleKey(event))
        QFrame::keyPressEvent(event);
}

bool SourceRow::eventFilter(QObject *watched, QEvent *event)
{
    // The buttons take arrow keys for themselves; the card's own keys come first.
    if (event->type() == QEvent::KeyPress && handleKey(static_cast<QKeyEvent *>(event)))
        return true;
    if (watched == m_edit && (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut))
        update();
    // The place told after a move holds only while the focus stays.
    if (watched == m_edit && event->type() == QEvent::FocusOut && !m_edit->accessibleDescription().isEmpty())
        m_edit->setAccessibleDescription(QString());
    // A press on the card that moves becomes a drag of the whole card, not a click.
    if (event->type() == QEvent::MouseButtonPress) {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::LeftButton)
            m_pressAt = mouse->globalPosition().toPoint();
    } else if (event->type() == QEvent::MouseMove) {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if ((mouse->buttons() & Qt::LeftButton) && !m_pressAt.isNull()
            && (mouse->globalPosition().toPoint() - m_pressAt).manhattanLength() >= QApplication::startDragDistance()) {
            m_pressAt = {};
            m_edit->setDown(false);
            emit dragStarted(m_model.id);
            return true;
        }
    } else if (event->type() == QEvent::MouseButtonRelease) {
        m_pressAt = {};
    }
    return QFrame::eventFilter(watched, event);
}

} // namespace marrowick
