#include "setup/distribution/RawDeflate.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <new>

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

bool DeflateRaw(const std::vector<std::uint8_t>& data, std::vector<std::uint8_t>& out, int level) {
  // libdeflate at its highest level by default: whole-buffer near-optimal
  // parsing packs several percent smaller than zlib's best.
  libdeflate_compressor* compressor = libdeflate_alloc_compressor(level);
  if (!compressor) return false;
  out.resize(libdeflate_deflate_compress_bound(compressor, data.size()));
  const std::size_t size = libdeflate_deflate_compress(compressor, data.data(), data.size(), out.data(), out.size());
  libdeflate_free_compressor(compressor);
  out.resize(size);
  return size != 0;
}

struct TRawInflater::TState {
  z_stream Stream{};
  bool Ready = false;
  bool Ended = false;
};

TRawInflater::TRawInflater() : State(std::make_unique<TState>()) {
  if (inflateInit2(&State->Stream, -MAX_WBITS) != Z_OK) throw std::bad_alloc();
  State->Ready = true;
}

TRawInflater::~TRawInflater() {
  if (State->Ready) inflateEnd(&State->Stream);
}

TRawInflater::TResult TRawInflater::Inflate(const std::uint8_t*& input, std::size_t& inputSize,
                                            std::uint8_t*& output, std::size_t& outputSize) {
  z_stream& z = State->Stream;
  if (State->Ended) return TResult::End;
  // zlib counts in 32 bits: feed and fill at most 1 GiB per call.
  constexpr std::size_t Step = std::size_t{1} << 30;
  for (;;) {
    if (outputSize == 0) return TResult::OutputFull;
    // Called even without input: zlib may still hold output of what it read.
    const uInt in = static_cast<uInt>(std::min(inputSize, Step));
    const uInt out = static_cast<uInt>(std::min(outputSize, Step));
    z.next_in = const_cast<Bytef*>(input);
    z.avail_in = in;
    z.next_out = output;
    z.avail_out = out;
    const int status = inflate(&z, Z_NO_FLUSH);
    const std::size_t used = in - z.avail_in;
    const std::size_t produced = out - z.avail_out;
    input += used;
    inputSize -= used;
    output += produced;
    outputSize -= produced;
    if (status == Z_STREAM_END) {
      State->Ended = true;
      return TResult::End;
    }
    if (status != Z_OK && status != Z_BUF_ERROR) return TResult::Damaged;
    if (used == 0 && produced == 0) return inputSize == 0 ? TResult::NeedInput : TResult::Damaged;
  }
}
