#include "MarrowickKit/Transport/UDPTransport.h"

namespace marrowick {

QCoro::Task<QByteArray> UDPTransport::query(QString host, quint16 port, QByteArray request, double timeout,
                                            CancelToken cancel) const
{
    auto flow = co_await session(host, port, timeout, cancel);
    try {
        co_await flow->send(request);
        auto reply = co_await flow->receive();
        flow->close();
        co_return reply;
    } catch (...) {
        flow->close();
        throw;
    }
}

} // namespace marrowick
