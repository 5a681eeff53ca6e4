#pragma once

#include <QObject>

class QSocketNotifier;

namespace marrowick {

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal, so a session logout or a Ctrl-C quits
// through the same sequence as the Quit action and the history is written first. A signal
// ignored when the program started (a hang-up under nohup) stays ignored. One instance per
// process: a C signal handler can only reach a static descriptor.
class TerminationSignals : public QObject {
    Q_OBJECT

public:
    // Catches the signals from now on, before there is an application object or an event
    // loop: a signal that comes while the program starts waits for the instance, which
    // delivers it once the event loop runs. Called first thing at start.
    static void catchFromNow();

    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

signals:
    void received();

private:
    static void handle(int signal);

    QSocketNotifier *m_notifier = nullptr;
};

// A write past the file-size limit (`ulimit -f`) would end the process with SIGXFSZ, losing the
// unsaved history and leaving the lock behind. Caught, the write fails with EFBIG instead and
// takes the path of any failed save. Called once at start, before anything is written.
void ignoreFileSizeSignal();

} // namespace marrowick
