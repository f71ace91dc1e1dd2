#pragma once
// Flate compression for the streams we write ourselves.

#include <string>
#include <string_view>

namespace qvpdf::detail {

// `data` compressed as a zlib stream (the /FlateDecode format). Small inputs get a window and
// hash table sized to them: a full-size compressor state costs more to set up than most of
// our streams take to compress.
std::string deflateBytes(std::string_view data);

}  // namespace qvpdf::detail
