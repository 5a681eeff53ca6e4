#pragma once

#include <QString>

namespace marrowick {

// A claim the process holds while it must keep working in the background, so the system
// neither naps nor throttles it. Linux desktops do neither to a tray application, so there is
// nothing to hold here: the claim only records whether it is held and why.
class ProcessActivity {
public:
    static inline const QString pollingReason = QStringLiteral("Polling monitored sources");

    bool isHeld() const { return m_held; }
    const QString &reason() const { return m_reason; }
    // How often the claim was taken: tells a begun-again claim from one never released.
    int beginCount() const { return m_beginCount; }

    void begin(const QString &reason);
    void end();

private:
    bool m_held = false;
    QString m_reason;
    int m_beginCount = 0;
};

} // namespace marrowick
