#pragma once

#include <QDateTime>

#include <compare>

namespace marrowick {

// A point in wall-clock time held as seconds since 2001-01-01 00:00:00 UTC, the form the stored
// files use, so a value written and read back compares equal to the original.
struct Instant {
    static constexpr double unixOffset = 978307200.0;

    double sinceReference = 0;

    static Instant now();
    static Instant fromDateTime(const QDateTime &dateTime);
    static Instant fromUnix(double seconds) { return Instant{seconds - unixOffset}; }

    QDateTime toDateTime() const;
    double unix() const { return sinceReference + unixOffset; }
    Instant advanced(double seconds) const { return Instant{sinceReference + seconds}; }

    auto operator<=>(const Instant &) const = default;
};

} // namespace marrowick
