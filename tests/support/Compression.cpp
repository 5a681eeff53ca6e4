#include "support/Compression.h"

#include <zlib.h>

namespace marrowick::test {

QByteArray gzipMember(const QByteArray &data)
{
    z_stream z{};
    if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, MAX_WBITS + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return {};
    QByteArray member(qsizetype(deflateBound(&z, uLong(data.size()))), '\0');
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.data()));
    z.avail_in = uInt(data.size());
    z.next_out = reinterpret_cast<Bytef *>(member.data());
    z.avail_out = uInt(member.size());
    const bool ended = deflate(&z, Z_FINISH) == Z_STREAM_END;
    member.truncate(ended ? qsizetype(z.total_out) : 0);
    deflateEnd(&z);
    return member;
}

} // namespace marrowick::test
