#include "sondehub/gzip.h"

#include <zlib.h>

namespace nimbrix {

std::optional<std::string> Gzip(std::string_view data) {
  z_stream stream{};
  // 15 window bits plus 16: a gzip header and trailer around the deflate stream.
  if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) !=
      Z_OK) {
    return std::nullopt;
  }
  std::string out(deflateBound(&stream, static_cast<uLong>(data.size())), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  const int result = deflate(&stream, Z_FINISH);
  const std::size_t written = out.size() - stream.avail_out;
  deflateEnd(&stream);
  if (result != Z_STREAM_END) return std::nullopt;
  out.resize(written);
  return out;
}

}  // namespace nimbrix
