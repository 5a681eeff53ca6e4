#pragma once

#include "MarrowickKit/Transport/ByteChannel.h"
#include "MarrowickKit/Transport/HTTPClient.h"
#include "MarrowickKit/Transport/HostLookup.h"
#include "MarrowickKit/Async/MonotonicClock.h"
#include "MarrowickKit/Transport/SRVResolver.h"
#include "MarrowickKit/Async/Sleep.h"
#include "MarrowickKit/Transport/UDPTransport.h"

#include <memory>

namespace marrowick {

// How a game query reaches the network and reads time. The system's transports and clocks by
// default; tests substitute any of them.
struct GameTransports {
    std::shared_ptr<const ByteChannelFactory> channels;
    std::shared_ptr<const UDPTransport> udp;
    std::shared_ptr<const HTTPClient> http;
    std::shared_ptr<const SRVResolver> resolver;
    // Bounds the Minecraft status exchange.
    SleepFunction sleep;
    // Measures latency and keeps the Steam query's deadline.
    MonotonicClock clock;
    // Where the transports above look names up; asked first, so that the latency is the
    // server's and not the resolver's. None: the query looks up alone.
    std::shared_ptr<HostLookup> hosts;

    static GameTransports system();
};

} // namespace marrowick
