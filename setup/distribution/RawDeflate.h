#pragma once
// Raw deflate streams (no zlib or gzip header), as the localization file
// carries its payload.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// Inflates data into out; false when the stream is damaged, ends early or
// would inflate beyond maxSize bytes (out is then incomplete).
bool InflateRaw(const std::uint8_t* data, std::size_t size, std::size_t maxSize, std::vector<std::uint8_t>& out);

// Deflates data at a libdeflate compression level (1 to 12, 12 the highest
// and slowest); false when the compressor cannot be made.
bool DeflateRaw(const std::vector<std::uint8_t>& data, std::vector<std::uint8_t>& out, int level = 12);

// Inflates a raw deflate stream that arrives in pieces into buffers the
// caller sizes, so that a stream never inflates beyond the room it is given
// and large output is written once, in place.
class TRawInflater {
public:
  enum class TResult {
    OutputFull,  // the output buffer is full and the stream goes on
    NeedInput,   // all input is used up and the stream goes on
    End,         // the stream ended (the output may have room left)
    Damaged,     // not a valid deflate stream
  };

  TRawInflater();
  ~TRawInflater();
  TRawInflater(const TRawInflater&) = delete;
  TRawInflater& operator=(const TRawInflater&) = delete;

  // Inflates from input into output; both are advanced past what was
  // used and produced.
  TResult Inflate(const std::uint8_t*& input, std::size_t& inputSize, std::uint8_t*& output,
                  std::size_t& outputSize);

private:
  struct TState;
  std::unique_ptr<TState> State;
};
