#include "setup/distribution/Crc_32.h"

#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

#include "setup/distribution/Stream.h"
#include "setup/distribution/TextCodec.h"

namespace {

constexpr std::size_t ChunkSize = 64 * 1024;

}  // namespace

std::uint32_t UpdateCrc32(const void* data, std::size_t length, std::uint32_t crc) {
  // zlib inverts on entry and exit; undoing both gives the bare table step.
  uLong value = ~crc & 0xFFFFFFFFu;
  const auto* bytes = static_cast<const Bytef*>(data);
  while (length > 0) {
    const auto part = static_cast<uInt>(std::min<std::size_t>(length, 1u << 30));
    value = crc32(value, bytes, part);
    bytes += part;
    length -= part;
  }
  return ~static_cast<std::uint32_t>(value);
}

std::wstring CrcToHex(std::uint32_t crc) {
  static const wchar_t Digits[] = L"0123456789ABCDEF";
  std::wstring text(8, L'0');
  for (int i = 7; i >= 0; --i, crc >>= 4) text[i] = Digits[crc & 0xF];
  return text;
}

std::uint32_t StreamCrc32(TStream& stream) {
  stream.SetPosition(0);
  std::vector<std::uint8_t> buffer(ChunkSize);
  std::uint32_t crc = 0xFFFFFFFFu;
  for (;;) {
    const std::size_t n = stream.Read(buffer.data(), buffer.size());
    if (n == 0) break;
    crc = UpdateCrc32(buffer.data(), n, crc);
  }
  return ~crc;
}

std::uint32_t FileCrc32(const std::wstring& fileName) {
  const std::filesystem::path path(fileName);
  // Read in small chunks whatever the size: loading files whole into fresh
  // memory (or large chunks, which Windows heaps map and unmap per block)
  // made checking an installed copy several times slower than reading it.
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return 0;
    RaiseFileOpenError(fileName);
  }
  std::vector<char> buffer(ChunkSize);
  std::uint32_t crc = 0xFFFFFFFFu;
  while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
    crc = UpdateCrc32(buffer.data(), static_cast<std::size_t>(in.gcount()), crc);
  }
  if (in.bad()) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return 0;  // a folder opens on some systems
    RaiseReadError(fileName);
  }
  return ~crc;
}

std::uint32_t WideStringCrc32(const std::wstring& text, std::uint32_t start) {
  const std::string bytes = WideToUtf16Le(text);
  return UpdateCrc32(bytes.data(), bytes.size(), start);
}
