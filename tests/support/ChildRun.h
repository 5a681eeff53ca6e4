#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTest>

#include <functional>
#include <optional>

namespace marrowick::test {

// This test binary run once more, as a child, for what must not happen in the test process
// itself: a file-size limit (it would cut the test's own log too), a deadly signal, fork()
// in a process with threads.
struct ChildRun {
    QProcess::ExitStatus exitStatus = QProcess::CrashExit;
    int exitCode = -1; // the signal after a crash
    QByteArray output;
    QByteArray errors;
};

// Runs this binary with "--child <scenario> <arguments>", without core files, with a soft
// file-size limit of `fileSizeLimit` bytes (0: none; the child may lift it to the hard limit),
// and SIGXFSZ ignored as the program does at start, or left to kill where `fileSizeSignalKills`.
ChildRun runChild(const QString &scenario, const QStringList &arguments, qint64 fileSizeLimit,
                  bool fileSizeSignalKills = false,
                  const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment());

// The arguments after "--child <scenario>" when this process is such a child; nothing otherwise.
// Needs the application object.
std::optional<QStringList> childArguments(const QString &scenario);

// Lifts the soft file-size limit to the hard one.
bool liftFileSizeLimit();

// The main() of a test binary that also runs as its own child: the scenario's part with its
// arguments under "--child <scenario>", else the tests.
template<typename Tests>
int runTestsOrChild(int argc, char *argv[], const QString &scenario,
                    const std::function<int(const QStringList &)> &child)
{
    QCoreApplication app(argc, argv);
    if (const std::optional<QStringList> arguments = childArguments(scenario))
        return child(*arguments);
    Tests tests;
    return QTest::qExec(&tests, argc, argv);
}

} // namespace marrowick::test
