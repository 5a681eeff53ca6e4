#pragma once

#include <QMessageBox>
#include <QString>

class QWidget;

namespace marrowick {

// The one way this application builds an alert: the title as the bold main text, the message
// under it, both plain text (they may come from a server or a file), in a box wide enough that
// a sentence reads as a line and the window's own title is never cut. It deletes itself when
// closed; open it with open().
class AlertBox {
public:
    // The narrowest the text column gets, in logical pixels.
    static constexpr int minimumTextWidth = 360;

    static QMessageBox *make(QMessageBox::Icon icon, const QString &title, const QString &message, QWidget *parent);
    // The labels Qt fills with the title and the message.
    static QLabel *titleLabel(const QMessageBox &box);
    static QLabel *messageLabel(const QMessageBox &box);
};

} // namespace marrowick
