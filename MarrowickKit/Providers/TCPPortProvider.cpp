#include "MarrowickKit/Providers/TCPPortProvider.h"

#include "MarrowickKit/Model/UuidText.h"
#include "MarrowickKit/Transport/NetworkErrors.h"

#include <QElapsedTimer>

namespace marrowick {

TCPPortProvider::TCPPortProvider(const AnySourceConfig &config, CredentialStoreHandle,
                                 std::shared_ptr<const ByteChannelFactory> channels)
    : m_config(requireConfig<TCPPortConfig>(config, SourceKind::tcpPort)), m_channels(std::move(channels))
{
}

QCoro::Task<SourceSnapshot> TCPPortProvider::fetch(CancelToken cancel)
{
    const quint16 port = validatePort(m_config.port, QStringLiteral("port"));
    CheckResult check;
    check.id = uuidText(m_config.id);
    check.name = m_config.displayName;
    QElapsedTimer clock;
    clock.start();
    try {
        const auto channel = co_await m_channels->connect(m_config.host, port, cancel);
        channel->close();
        // The connection's own time where the transport has it: a slow lookup of the name is
        // the resolver's time, not the service's.
        const double elapsed = static_cast<double>(clock.nsecsElapsed()) / 1e9;
        check.latencyMs = channel->connectSeconds().value_or(elapsed) * 1000.0;
        check.status = ServiceStatus::up;
    } catch (const CancellationError &) {
        throw;
    } catch (...) {
        checkFailure(std::current_exception());
        // Refused, unreachable, unknown or silent: all the same to the user.
        check.status = ServiceStatus::down;
        check.detail = QStringLiteral("closed");
    }
    co_return SourceSnapshot{m_config.id, Instant::now(), {WidgetData::check(std::move(check))}};
}

} // namespace marrowick
