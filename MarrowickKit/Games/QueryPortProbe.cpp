#include "MarrowickKit/Games/QueryPortProbe.h"

#include "MarrowickKit/Games/A2SQueryClient.h"
#include "MarrowickKit/Async/Cancellation.h"
#include "MarrowickKit/Model/ProviderError.h"

#include <QStringList>

namespace marrowick {

namespace {

std::optional<quint16> portInRange(qint64 port)
{
    if (port < 1 || port > 65535)
        return std::nullopt;
    return quint16(port);
}

// Whether another port of the same host may still answer after this failure.
bool movesOn(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const CancellationError &) {
        return false;
    } catch (const A2SReplyError &) {
        return false;
    } catch (const ProviderError &providerError) {
        if (providerError.kind() != ProviderError::Kind::upstream)
            return false;
        const QString &text = providerError.payload();
        return text != QLatin1String("host not found") && text != QLatin1String("host unreachable");
    } catch (...) {
        return true;
    }
}

QString triedText(const QList<quint16> &candidates)
{
    QStringList ports;
    for (const auto port : candidates)
        ports.append(QString::number(port));
    return QStringLiteral("no query port answered (tried ") + ports.join(QStringLiteral(", ")) + QLatin1Char(')');
}

} // namespace

QList<quint16> queryPortCandidates(quint16 gamePort, const GameDefinition &game, std::optional<quint16> queryPort,
                                   std::optional<quint16> rememberedPort)
{
    if (queryPort)
        return {*queryPort};
    QList<quint16> candidates;
    const auto add = [&candidates](std::optional<quint16> port) {
        if (port && !candidates.contains(*port))
            candidates.append(*port);
    };
    add(rememberedPort);
    for (const qint64 offset : game.queryPortOffsets())
        add(portInRange(qint64(gamePort) + offset));
    if (game.fixedQueryPort())
        add(portInRange(*game.fixedQueryPort()));
    return candidates;
}

QCoro::Task<ProbeResult> probeQueryPorts(QList<quint16> candidates, PortQuery query)
{
    if (candidates.isEmpty())
        throw ProviderError::misconfigured(QStringLiteral("no query port to try"));
    QList<quint16> attempts = candidates;
    attempts.append(candidates.front());
    for (const quint16 port : attempts) {
        std::exception_ptr failure;
        try {
            GameFacts facts = co_await query(port);
            co_return ProbeResult{std::move(facts), port};
        } catch (...) {
            failure = std::current_exception();
        }
        if (!movesOn(failure))
            std::rethrow_exception(failure);
    }
    throw ProviderError::upstream(triedText(candidates));
}

} // namespace marrowick
