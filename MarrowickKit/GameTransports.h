#pragma once

#include "MarrowickKit/ByteChannel.h"
#include "MarrowickKit/HTTPClient.h"
#include "MarrowickKit/MonotonicClock.h"
#include "MarrowickKit/SRVResolver.h"
#include "MarrowickKit/Sleep.h"
#include "MarrowickKit/UDPTransport.h"

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

    static GameTransports system();
};

} // namespace marrowick
