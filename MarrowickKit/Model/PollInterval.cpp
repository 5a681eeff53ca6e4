#include "MarrowickKit/Model/PollInterval.h"

#include <cmath>

namespace marrowick::PollInterval {

double clamped(double seconds)
{
    if (!std::isfinite(seconds))
        return standard;
    if (seconds <= minimum)
        seconds = minimum;
    return seconds > maximum ? maximum : seconds;
}

} // namespace marrowick::PollInterval
