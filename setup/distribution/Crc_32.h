#pragma once
// The CRC-32 of ZIP (reflected polynomial 0xEDB88320) that list files,
// patches and update files carry. Every CRC the system computes goes through
// UpdateCrc32, which uses libdeflate's carry-less multiplication folding.

#include <cstddef>
#include <cstdint>
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

// Sums whole files for a run over many of them (a version check). The first
// LargeFileSize bytes of a file are read and summed in small chunks that
// stay in the cache, where handing blocks to another thread would cost more
// than it saves; the rest of a larger file is read in large blocks and,
// while the next block is read, a worker thread sums the last one, so that
// summing costs little beyond the read. The
// buffers and the worker (started for the first large file) live as long
// as the reader. One thread uses a reader at a time.
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

  // The blocks the rest of a large file is read in, and the start of a file
  // read in small chunks.
  static constexpr std::size_t BlockSize = 1024 * 1024;
  static constexpr std::int64_t LargeFileSize = 4 * static_cast<std::int64_t>(BlockSize);

private:
  struct TState;
  std::unique_ptr<TState> State;
};

// TFileCrcReader::FileCrc32 of a reader made for the one file.
std::uint32_t FileCrc32(const std::wstring& fileName);

// UpdateCrc32 over the UTF-16LE bytes of the text from start, without the
// final inversion (short stable names of work folders).
std::uint32_t WideStringCrc32(const std::wstring& text, std::uint32_t start);
