#include "Marrowick/Style/AlertBox.h"

#include <QLabel>

namespace marrowick {

QMessageBox *AlertBox::make(QMessageBox::Icon icon, const QString &title, const QString &message, QWidget *parent)
{
    auto *box = new QMessageBox(parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setIcon(icon);
    box->setTextFormat(Qt::PlainText);
    box->setText(title);
    box->setInformativeText(message);
    // Qt sizes the box to its labels' minimum widths; a word-wrapped message alone has almost
    // none, which leaves a column a few words wide.
    if (QLabel *label = messageLabel(*box)) {
        label->setTextFormat(Qt::PlainText);
        label->setMinimumWidth(minimumTextWidth);
    }
    if (QLabel *label = titleLabel(*box)) {
        QFont font = label->font();
        font.setBold(true);
        label->setFont(font);
    }
    return box;
}

QLabel *AlertBox::titleLabel(const QMessageBox &box)
{
    return box.findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
}

QLabel *AlertBox::messageLabel(const QMessageBox &box)
{
    return box.findChild<QLabel *>(QStringLiteral("qt_msgbox_informativelabel"));
}

} // namespace marrowick
