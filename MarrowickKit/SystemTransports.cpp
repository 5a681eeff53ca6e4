// The process-wide default transports, each made on first use.
#include "MarrowickKit/BoundedHTTPClient.h"
#include "MarrowickKit/ByteChannel.h"
#include "MarrowickKit/DNSSDSRVResolver.h"
#include "MarrowickKit/HTTPClient.h"
#include "MarrowickKit/NWByteChannel.h"
#include "MarrowickKit/NWUDPTransport.h"
#include "MarrowickKit/ProviderError.h"
#include "MarrowickKit/SRVResolver.h"
#include "MarrowickKit/UDPTransport.h"

namespace marrowick {

std::shared_ptr<const HTTPClient> sharedHTTPClient()
{
    static const auto client = std::make_shared<const BoundedHTTPClient>();
    return client;
}

std::shared_ptr<const ByteChannelFactory> systemByteChannelFactory()
{
    static const auto factory = std::make_shared<const NWByteChannelFactory>();
    return factory;
}

std::shared_ptr<const UDPTransport> systemUDPTransport()
{
    static const auto transport = std::make_shared<const NWUDPTransport>();
    return transport;
}

std::shared_ptr<const SRVResolver> systemSRVResolver()
{
    static const auto resolver = std::make_shared<const DNSSDSRVResolver>();
    return resolver;
}

} // namespace marrowick
