#include "platform/pdf/detail/Deflate.h"

#include <zlib.h>

#include <algorithm>
#include <stdexcept>

namespace qvpdf::detail {

std::string deflateBytes(std::string_view data) {
    // The smallest window that still sees the whole input (zlib's own minimum is 2^9).
    int windowBits = 9;
    while (windowBits < 15 && (size_t{1} << windowBits) < data.size()) ++windowBits;
    const int memLevel = std::clamp(windowBits - 6, 1, 8);

    if (data.size() > (uInt(-1) >> 1)) throw std::length_error("stream too large to compress in one step");
    z_stream z{};
    if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, windowBits, memLevel, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::bad_alloc();
    std::string out(deflateBound(&z, data.size()), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int status = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    // deflateBound is an upper bound for a single Z_FINISH call, so anything else is a fault.
    if (status != Z_STREAM_END) throw std::runtime_error("deflate did not finish");
    return out;
}

}  // namespace qvpdf::detail
