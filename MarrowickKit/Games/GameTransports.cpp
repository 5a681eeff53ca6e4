#include "MarrowickKit/Games/GameTransports.h"

namespace marrowick {

GameTransports GameTransports::system()
{
    return GameTransports{systemByteChannelFactory(),
                          systemUDPTransport(),
                          sharedHTTPClient(),
                          systemSRVResolver(),
                          [](double seconds, CancelToken cancel) { return continuousSleep(seconds, cancel); },
                          monotonicSeconds,
                          systemHostLookup()};
}

} // namespace marrowick
