#include "setup/distribution/Crc_32.h"

#include <libdeflate.h>

#include <cstdint>
#include <vector>

#include "platform/PlatformIntfTypes.h"
#include "setup/distribution/Stream.h"
#include "setup/distribution/TextCodec.h"

namespace {

constexpr std::size_t StreamChunkSize = 64 * 1024;

// Closes a file on every way out.
class TOpenFile {
public:
  TOpenFile(IPlatformTools& tools, Handle handle) : Tools(tools), File(handle) {}
  ~TOpenFile() { Tools.CloseHandleAndReset(File); }
  TOpenFile(const TOpenFile&) = delete;
  TOpenFile& operator=(const TOpenFile&) = delete;
  Handle Get() const { return File; }

private:
  IPlatformTools& Tools;
  Handle File;
};

// Nothing there, or a folder: not found (an empty sum); a file that is
// there but cannot be opened (held, denied) is an error naming it.
TFileSum NotOpened(IPlatformTools& tools, const std::wstring& fileName) {
  if (!tools.FileExists(fileName)) return {};
  RaiseFileOpenError(fileName);
}

}  // namespace

std::uint32_t UpdateCrc32(const void* data, std::size_t length, std::uint32_t crc) {
  // libdeflate inverts on entry and exit; undoing both gives the bare step.
  return ~libdeflate_crc32(~crc, data, length);
}

std::wstring CrcToHex(std::uint32_t crc) {
  static const wchar_t Digits[] = L"0123456789ABCDEF";
  std::wstring text(8, L'0');
  for (int i = 7; i >= 0; --i, crc >>= 4) text[i] = Digits[crc & 0xF];
  return text;
}

std::uint32_t StreamCrc32(TStream& stream) {
  stream.SetPosition(0);
  std::vector<std::uint8_t> buffer(StreamChunkSize);
  std::uint32_t crc = 0xFFFFFFFFu;
  for (;;) {
    const std::size_t n = stream.Read(buffer.data(), buffer.size());
    if (n == 0) break;
    crc = UpdateCrc32(buffer.data(), n, crc);
  }
  return ~crc;
}

TFileCrcReader::TFileCrcReader() = default;

TFileCrcReader::~TFileCrcReader() = default;

TFileSum TFileCrcReader::Sum(const std::wstring& fileName) {
  IPlatformTools& tools = PlatformTools();
  const Handle handle = tools.OpenFileHandle(fileName, OpenModeReadShareBoth, true);
  if (handle == InvalidHandle) return NotOpened(tools, fileName);
  TOpenFile file(tools, handle);
  // Once per reader: fresh memory per file (which Windows heaps map and
  // unmap for every large block) made a check several times slower.
  if (!Buffer) Buffer.reset(new std::uint8_t[BlockSize]);
  TFileSum sum;
  std::uint32_t crc = 0xFFFFFFFFu;
  std::int64_t progressAt = ProgressInterval;
  for (;;) {
    std::uint32_t length = 0;
    if (!tools.ReadFileData(file.Get(), Buffer.get(), static_cast<std::uint32_t>(BlockSize), length))
      RaiseReadError(fileName);
    if (length == 0) break;
    crc = UpdateCrc32(Buffer.get(), length, crc);
    sum.Length += length;
    if (OnProgress && sum.Length >= progressAt) {
      progressAt = sum.Length + ProgressInterval;
      OnProgress();
    }
  }
  sum.Found = true;
  sum.Crc = ~crc;
  return sum;
}

std::uint32_t FileCrc32(const std::wstring& fileName) {
  TFileCrcReader reader;
  return reader.FileCrc32(fileName);
}

std::uint32_t WideStringCrc32(const std::wstring& text, std::uint32_t start) {
  const std::string bytes = WideToUtf16Le(text);
  return UpdateCrc32(bytes.data(), bytes.size(), start);
}
