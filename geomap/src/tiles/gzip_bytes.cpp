// gzip streams in memory, for the directories and metadata of PMTiles
// archives whose internal compression is gzip.
#include <zlib.h>

#include <algorithm>
#include <limits>

#include "marovia/geomap/geomap_error.h"
#include "marovia/geomap/tile_store.h"

namespace marovia {

std::vector<uint8_t> GzipBytes(std::span<const uint8_t> Data) {
  z_stream z{};
  // 15 window bits + 16: a gzip header and trailer rather than zlib's.
  if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    throw EZYLGeoMapError("gzip: cannot start the compressor");
  std::vector<uint8_t> out(deflateBound(&z, static_cast<uLong>(Data.size())));
  z.next_in = const_cast<Bytef*>(Data.data());
  z.avail_in = static_cast<uInt>(Data.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  const int rc = deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  if (rc != Z_STREAM_END) throw EZYLGeoMapError("gzip: the compressor did not finish");
  return out;
}

std::vector<uint8_t> GunzipBytes(std::span<const uint8_t> Data, size_t MaxBytes) {
  z_stream z{};
  if (inflateInit2(&z, 15 + 16) != Z_OK) throw EZYLGeoMapError("gzip: cannot start the decoder");
  // The output grows with what the stream really holds, never with a
  // number it states: a small stream that would inflate beyond MaxBytes is
  // stopped there.
  std::vector<uint8_t> out(std::min<size_t>(std::max<size_t>(Data.size() * 4, 256), MaxBytes));
  z.next_in = const_cast<Bytef*>(Data.data());
  z.avail_in = static_cast<uInt>(std::min<size_t>(Data.size(), std::numeric_limits<uInt>::max()));
  int rc = Z_OK;
  std::string why;
  for (;;) {
    if (z.total_out == out.size()) {
      if (out.size() >= MaxBytes) {
        why = "inflates beyond " + std::to_string(MaxBytes) + " bytes";
        break;
      }
      out.resize(std::min(out.size() * 2, MaxBytes));
    }
    z.next_out = out.data() + z.total_out;
    z.avail_out = static_cast<uInt>(
        std::min<size_t>(out.size() - z.total_out, std::numeric_limits<uInt>::max()));
    rc = inflate(&z, Z_NO_FLUSH);
    if (rc == Z_STREAM_END) break;
    if (rc == Z_BUF_ERROR && z.avail_in == 0) {
      why = "the gzip stream is cut short";
      break;
    }
    if (rc != Z_OK && rc != Z_BUF_ERROR) {
      why = std::string("not a valid gzip stream (") + (z.msg ? z.msg : "damaged") + ")";
      break;
    }
  }
  const size_t produced = z.total_out;
  const bool trailing = rc == Z_STREAM_END && z.avail_in != 0;
  inflateEnd(&z);
  if (!why.empty()) throw EZYLGeoMapError(why);
  if (trailing) throw EZYLGeoMapError("bytes follow the gzip stream");
  out.resize(produced);
  return out;
}

}  // namespace marovia
