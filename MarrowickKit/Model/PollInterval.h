#pragma once

namespace marrowick::PollInterval {

inline constexpr double minimum = 5.0;
inline constexpr double maximum = 3600.0;
inline constexpr double standard = 60.0;
inline constexpr double frequent = 30.0;

// The interval the engine actually waits: 60 when not finite, otherwise held to 5...3600.
double clamped(double seconds);

} // namespace marrowick::PollInterval
