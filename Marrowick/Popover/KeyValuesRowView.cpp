#include "Marrowick/Popover/KeyValuesRowView.h"

#include "Marrowick/Popover/PopoverText.h"
#include "Marrowick/Popover/RowParts.h"

#include <QHBoxLayout>
#include <QLabel>

namespace marrowick {

KeyValuesRowView::KeyValuesRowView(const QString &title, const QList<JSONFieldValue> &fields,
                                   const RowSettings &settings, QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("keyValuesRow"));
    m_layout = new QVBoxLayout(this);
    m_layout->setSpacing(4);
    m_title = plainLabel(QString(), textFont(font(), TextStyle::callout, QFont::DemiBold), this);
    m_title->setObjectName(QStringLiteral("name"));
    m_title->setWordWrap(true);
    m_layout->addWidget(m_title);
    set(title, fields, settings);
}

KeyValuesRowView::Line KeyValuesRowView::addLine()
{
    auto *line = new QWidget(this);
    auto *layout = new QHBoxLayout(line);
    layout->setContentsMargins(0, 0, 0, 0);
    QLabel *label = plainLabel(QString(), textFont(font(), TextStyle::caption), line);
    label->setObjectName(QStringLiteral("fieldLabel"));
    setLabelColor(label, secondaryColor(palette()));
    // The label may wrap; the value keeps to one line and gives way at the end.
    label->setWordWrap(true);
    auto *value = new LimitedLabel(QString(), textFont(font(), TextStyle::caption), 1, line);
    value->setObjectName(QStringLiteral("fieldValue"));
    value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    layout->addWidget(label);
    layout->addStretch();
    layout->addWidget(value, 1);
    m_layout->addWidget(line);
    return Line{line, label, value};
}

void KeyValuesRowView::set(const QString &title, const QList<JSONFieldValue> &fields, const RowSettings &settings)
{
    applyRowChrome(m_layout, settings);
    setLine(m_title, title);
    while (m_lines.size() < fields.size())
        m_lines.append(addLine());
    while (m_lines.size() > fields.size())
        delete m_lines.takeLast().line;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        setLine(m_lines[i].label, fields[i].label);
        setLine(m_lines[i].value, fields[i].value);
    }
}

} // namespace marrowick
