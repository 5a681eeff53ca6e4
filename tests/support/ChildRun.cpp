#include "support/ChildRun.h"

#include <QCoreApplication>

#include <csignal>

#include <sys/resource.h>

namespace marrowick::test {

namespace {

const QString childArgument = QStringLiteral("--child");

} // namespace

ChildRun runChild(const QString &scenario, const QStringList &arguments, qint64 fileSizeLimit,
                  bool fileSizeSignalKills, const QProcessEnvironment &environment)
{
    QProcess child;
    child.setProcessEnvironment(environment);
    // Runs between fork and exec: only calls safe there. An ignored signal stays ignored
    // across exec; limits always do.
    child.setChildProcessModifier([fileSizeLimit, fileSizeSignalKills] {
        const rlimit noCore{0, 0};
        ::setrlimit(RLIMIT_CORE, &noCore);
        ::signal(SIGXFSZ, fileSizeSignalKills ? SIG_DFL : SIG_IGN);
        rlimit limit{};
        if (fileSizeLimit > 0 && ::getrlimit(RLIMIT_FSIZE, &limit) == 0) {
            limit.rlim_cur = rlim_t(fileSizeLimit);
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
    });
    child.start(QCoreApplication::applicationFilePath(), QStringList{childArgument, scenario} + arguments);
    ChildRun run;
    if (!child.waitForFinished(30000)) {
        child.kill();
        child.waitForFinished();
    }
    run.exitStatus = child.exitStatus();
    run.exitCode = child.exitCode();
    run.output = child.readAllStandardOutput();
    run.errors = child.readAllStandardError();
    return run;
}

std::optional<QStringList> childArguments(const QString &scenario)
{
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() < 3 || arguments.at(1) != childArgument || arguments.at(2) != scenario)
        return std::nullopt;
    return arguments.mid(3);
}

bool liftFileSizeLimit()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_FSIZE, &limit) != 0)
        return false;
    limit.rlim_cur = limit.rlim_max;
    return ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

} // namespace marrowick::test
