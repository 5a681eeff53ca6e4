// Feeds arbitrary bytes, read as UTF-8 the way the provider reads a metrics page, to the parser.
#include "MarrowickKit/Providers/KumaMetricsParser.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    for (const auto &row : marrowick::KumaMetricsParser::parse(text)) {
        if (row.id != row.name || row.detail)
            std::abort();
        if (row.latencyMs && (!std::isfinite(*row.latencyMs) || *row.latencyMs < 0))
            std::abort();
    }
    return 0;
}
