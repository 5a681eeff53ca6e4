// The process-wide default transports, each made on first use.
#include "MarrowickKit/Transport/BoundedHTTPClient.h"
#include "MarrowickKit/Transport/ByteChannel.h"
#include "MarrowickKit/Transport/DNSSDSRVResolver.h"
#include "MarrowickKit/Transport/HTTPClient.h"
#include "MarrowickKit/Transport/HostLookup.h"
#include "MarrowickKit/Transport/NWByteChannel.h"
#include "MarrowickKit/Transport/NWUDPTransport.h"
#include "MarrowickKit/Model/ProviderError.h"
#include "MarrowickKit/Transport/SRVResolver.h"
#include "MarrowickKit/Transport/UDPTransport.h"

namespace marrowick {

std::shared_ptr<HostLookup> systemHostLookup()
{
    static const auto lookup = std::make_shared<HostLookup>();
    return lookup;
}

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

namespace {

std::shared_ptr<const DNSSDSRVResolver> systemDNSSDResolver()
{
    static const auto resolver = std::make_shared<const DNSSDSRVResolver>();
    return resolver;
}

} // namespace

std::shared_ptr<const SRVResolver> systemSRVResolver()
{
    return systemDNSSDResolver();
}

void systemLookupsNetworkChanged()
{
    systemHostLookup()->networkChanged();
    systemDNSSDResolver()->networkChanged();
}

} // namespace marrowick
