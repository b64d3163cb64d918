#pragma once
// The CRC-32 of ZIP (reflected polynomial 0xEDB88320) that list files,
// patches and update files carry. Every CRC the system computes goes through
// UpdateCrc32, which uses libdeflate's carry-less multiplication folding.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
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

// What reading a whole file found.
struct TFileSum {
  bool Found = false;       // false for a file that does not exist, or a folder
  std::int64_t Length = 0;  // the bytes read
  std::uint32_t Crc = 0;    // their standard CRC-32
};

// Sums whole files for a run over many of them (a version check): each file
// is read through IPlatformTools in blocks into one buffer that lives as
// long as the reader, and each block is summed while it is in the cache.
// (A second thread that read ahead while this one summed made a check
// slower on a loaded machine, where waking it costs more than summing.)
class TFileCrcReader {
public:
  TFileCrcReader();
  ~TFileCrcReader();
  TFileCrcReader(const TFileCrcReader&) = delete;
  TFileCrcReader& operator=(const TFileCrcReader&) = delete;

  // Reads the file whole; EStreamError naming it when it exists but cannot
  // be opened or read.
  TFileSum Sum(const std::wstring& fileName);
  // The standard CRC-32 of a file; 0 when it does not exist or is a folder,
  // EStreamError naming the file when it cannot be opened or read.
  std::uint32_t FileCrc32(const std::wstring& fileName) { return Sum(fileName).Crc; }

  // Called by Sum each time another ProgressInterval bytes of one file have
  // been summed, so that a long file can be given up: whatever it raises
  // ends Sum (the rest of the file is not read; the reader stays usable).
  std::function<void()> OnProgress;

  // The blocks files are read in, and the bytes between two OnProgress calls.
  static constexpr std::size_t BlockSize = 256 * 1024;
  static constexpr std::int64_t ProgressInterval = 16 * 1024 * 1024;

private:
  std::unique_ptr<std::uint8_t[]> Buffer;
};

// TFileCrcReader::FileCrc32 of a reader made for the one file.
std::uint32_t FileCrc32(const std::wstring& fileName);

// UpdateCrc32 over the UTF-16LE bytes of the text from start, without the
// final inversion (short stable names of work folders).
std::uint32_t WideStringCrc32(const std::wstring& text, std::uint32_t start);
