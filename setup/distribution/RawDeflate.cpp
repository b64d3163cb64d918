#include "setup/distribution/RawDeflate.h"

#include <zlib.h>

#include <algorithm>

bool InflateRaw(const std::uint8_t* data, std::size_t size, std::size_t maxSize, std::vector<std::uint8_t>& out) {
  z_stream z{};
  if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return false;
  z.next_in = const_cast<Bytef*>(data);
  z.avail_in = static_cast<uInt>(std::min<std::size_t>(size, 0x7FFFFFFF));
  out.clear();
  int status = Z_OK;
  std::uint8_t chunk[16384];
  while (status == Z_OK) {
    z.next_out = chunk;
    z.avail_out = sizeof chunk;
    status = inflate(&z, Z_NO_FLUSH);
    const std::size_t produced = sizeof chunk - z.avail_out;
    if (out.size() + produced > maxSize) {
      status = Z_MEM_ERROR;
      break;
    }
    out.insert(out.end(), chunk, chunk + produced);
    if (status == Z_BUF_ERROR && z.avail_in == 0) break;  // the input ends before the stream does
  }
  inflateEnd(&z);
  return status == Z_STREAM_END;
}

bool DeflateRaw(const std::vector<std::uint8_t>& data, std::vector<std::uint8_t>& out) {
  z_stream z{};
  if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 9, Z_DEFAULT_STRATEGY) != Z_OK) return false;
  out.resize(deflateBound(&z, static_cast<uLong>(data.size())));
  z.next_in = const_cast<Bytef*>(data.data());
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  const int status = deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return status == Z_STREAM_END;
}
