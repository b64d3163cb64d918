#pragma once
// Raw deflate streams (no zlib or gzip header), as the localization file
// carries its payload.

#include <cstddef>
#include <cstdint>
#include <vector>

// Inflates data into out; false when the stream is damaged, ends early or
// would inflate beyond maxSize bytes (out is then incomplete).
bool InflateRaw(const std::uint8_t* data, std::size_t size, std::size_t maxSize, std::vector<std::uint8_t>& out);

// Deflates data at the highest compression level; false if zlib fails.
bool DeflateRaw(const std::vector<std::uint8_t>& data, std::vector<std::uint8_t>& out);
