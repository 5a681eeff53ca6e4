#pragma once

#include "MarrowickKit/Async/Cancellation.h"
#include "MarrowickKit/Async/Completion.h"
#include "MarrowickKit/Model/ProviderError.h"

#include <QAbstractSocket>
#include <QHostAddress>
#include <QTimer>

#include <QCoro/QCoroTask>

#include <algorithm>
#include <cmath>
#include <exception>
#include <functional>
#include <optional>

namespace marrowick {

// The one rule by which a failure becomes the text the user sees. A ProviderError passes
// unchanged; network failures become "timed out", "connection refused", "host unreachable",
// "host not found" or "connection closed"; anything else becomes an upstream error with its own
// text. A cancellation is no failure: callers pass it on (isCancellation) before asking for a text.
ProviderError providerError(std::exception_ptr error);
ProviderError providerError(QAbstractSocket::SocketError error, const QString &errorString);
// By errno, for failures seen on a raw socket or resolver call.
ProviderError providerErrorForErrno(int code);

ProviderError timedOutError();

// Failures of this computer rather than of a target (ProviderError::Kind::noNetwork): no route
// to the address, and no network at all.
ProviderError noRouteError();
ProviderError noNetworkError();
// Whether the kernel has a route from this computer to `address`; true where it cannot tell.
bool hasRouteTo(const QHostAddress &address);
// The failure of an attempt to reach `address`, or noRouteError() when this computer has no
// route to it: a route that went away reads as "network unreachable", as an upstream router's
// answer does, and only the routing table tells them apart.
ProviderError unlessUnrouted(const ProviderError &failure, const QHostAddress &address);
// Between failures of several attempts, the one to report: a target's answer before this
// computer's lack of a route, else the first.
void keepTellingFailure(std::optional<ProviderError> &kept, const ProviderError &failure);
// The failure of a check made from this computer, as providerError() reads it; one of this
// computer (ProviderError::Kind::noNetwork) is thrown instead: nothing reached the target, so
// the check has no verdict on it.
ProviderError checkFailure(std::exception_ptr failure);

// A TLS handshake that did not finish: "SSL handshake failed: " and why, in Qt's words for a
// fault of TLS itself (a certificate, the protocol) and in the short texts above for a failure
// of the connection under it ("SSL handshake failed: connection closed").
ProviderError handshakeError(const QString &reason);
ProviderError handshakeError(QAbstractSocket::SocketError error, const QString &errorString);

// Awaits `work` but gives up after `seconds`: the time-out calls `cancelling` (which aborts the
// socket) and fails with `onTimeout` ("timed out" unless the caller names another). A cancelled `cancel` token calls `cancelling` at
// once and throws CancellationError. The completion is finished before `cancelling` runs, so
// signals that an abort emits cannot overtake the time-out or the cancellation.
template<typename T>
QCoro::Task<T> withTimeout(double seconds, std::function<void()> cancelling, Completion<T> work,
                           CancelToken cancel, ProviderError onTimeout = timedOutError())
{
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, [work, cancelling, onTimeout] {
        if (work.isDone())
            return;
        work.fail(onTimeout);
        cancelling();
    });
    const double milliseconds = std::isfinite(seconds) ? std::clamp(seconds * 1000.0, 0.0, 2147483647.0) : 2147483647.0;
    timer.start(static_cast<int>(std::ceil(milliseconds)));
    const auto registration = cancel.onCancel([work, cancelling] {
        if (work.isDone())
            return;
        work.fail(CancellationError());
        cancelling();
    });
    T value = co_await work;
    co_return value;
}

} // namespace marrowick
