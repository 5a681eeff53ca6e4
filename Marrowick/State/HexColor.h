#pragma once

#include <QString>

#include <optional>

namespace marrowick {

// The three sRGB components of a hex colour, each in 0...1.
struct ColorComponents {
    double red = 0;
    double green = 0;
    double blue = 0;

    bool operator==(const ColorComponents &) const = default;
};

// "#RRGGBB" or "RRGGBB", spaces and tabs around it allowed. Six characters after the one "#";
// a leading "+", or a "-" before all zeros, counts as a digit position. Nothing otherwise.
std::optional<ColorComponents> parseHexColor(const QString &text);

} // namespace marrowick
