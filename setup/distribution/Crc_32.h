#pragma once
// The CRC-32 of ZIP (reflected polynomial 0xEDB88320) that list files,
// patches and update files carry, computed by zlib.

#include <cstddef>
#include <cstdint>
#include <string>

class TStream;

// One step over length bytes without the initial and final inversion, so
// that steps chain: the standard CRC is ~UpdateCrc32(data, n, 0xFFFFFFFF).
std::uint32_t UpdateCrc32(const void* data, std::size_t length, std::uint32_t crc);

// Eight upper-case hexadecimal digits, as list files write it.
std::wstring CrcToHex(std::uint32_t crc);

// The standard CRC-32 of the whole stream, read from its start in 64 KiB
// chunks; EStreamError when the stream cannot be read.
std::uint32_t StreamCrc32(TStream& stream);

// The standard CRC-32 of a file, read in chunks; 0 when it does not exist,
// EStreamError when it cannot be read.
std::uint32_t FileCrc32(const std::wstring& fileName);

// UpdateCrc32 over the UTF-16LE bytes of the text from start, without the
// final inversion (short stable names of work folders).
std::uint32_t WideStringCrc32(const std::wstring& text, std::uint32_t start);
