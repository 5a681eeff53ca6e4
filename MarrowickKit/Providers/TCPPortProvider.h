#pragma once

#include "MarrowickKit/Transport/ByteChannel.h"
#include "MarrowickKit/Engine/SourceProvider.h"

namespace marrowick {

// Opens one TCP connection and closes it as soon as it is ready: up with the connect latency,
// or down with "closed". Only a port outside 1...65535 fails the poll.
class TCPPortProvider : public SourceProvider {
public:
    TCPPortProvider(const AnySourceConfig &config, CredentialStoreHandle credentials,
                    std::shared_ptr<const ByteChannelFactory> channels = systemByteChannelFactory());

    QCoro::Task<SourceSnapshot> fetch(CancelToken cancel = {}) override;

private:
    TCPPortConfig m_config;
    std::shared_ptr<const ByteChannelFactory> m_channels;
};

} // namespace marrowick
