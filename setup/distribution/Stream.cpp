#include "setup/distribution/Stream.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "setup/distribution/TextCodec.h"
#include "setup/messages/FormatText.h"
#include "setup/messages/SetupRuntimeMessages.h"

namespace {

std::wstring Naming(const std::wstring& text, const std::wstring& fileName) {
  return fileName.empty() ? text : text + L" (" + fileName + L")";
}

}  // namespace

void RaiseFileOpenError(const std::wstring& fileName) { throw EStreamError(FormatText(rsFileOpenError, {fileName})); }

void RaiseFileCreateError(const std::wstring& fileName) {
  throw EStreamError(FormatText(rsFileCreateError, {fileName}));
}

void RaiseReadError(const std::wstring& fileName) { throw EStreamError(Naming(L"Stream read error", fileName)); }

void RaiseWriteError(const std::wstring& fileName) { throw EStreamError(Naming(L"Stream write error", fileName)); }

void TStream::ReadBuffer(void* buffer, std::size_t count) {
  if (count != 0 && Read(buffer, count) != count) RaiseReadError();
}

void TStream::WriteBuffer(const void* buffer, std::size_t count) {
  if (count != 0 && Write(buffer, count) != count) RaiseWriteError();
}

std::int64_t TStream::Remaining() const { return std::max<std::int64_t>(0, Size() - Position()); }

std::size_t TMemoryStream::Read(void* buffer, std::size_t count) {
  if (Pos >= Data.size()) return 0;
  const std::size_t n = std::min(count, Data.size() - Pos);
  std::memcpy(buffer, Data.data() + Pos, n);
  Pos += n;
  return n;
}

std::size_t TMemoryStream::Write(const void* buffer, std::size_t count) {
  if (count == 0) return 0;
  if (Pos + count > Data.size()) Data.resize(Pos + count);
  std::memcpy(Data.data() + Pos, buffer, count);
  Pos += count;
  return count;
}

void TMemoryStream::SetPosition(std::int64_t position) {
  Pos = static_cast<std::size_t>(std::clamp<std::int64_t>(position, 0, Size()));
}

void TMemoryStream::LoadFromFile(const std::wstring& fileName) {
  std::ifstream in(FileSystemPath(fileName), std::ios::binary);
  if (!in) RaiseFileOpenError(fileName);
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) RaiseReadError(fileName);
  Data = std::move(bytes);
  Pos = 0;
}

void TMemoryStream::SaveToFile(const std::wstring& fileName) const {
  std::ofstream out(FileSystemPath(fileName), std::ios::binary | std::ios::trunc);
  if (!out) RaiseFileCreateError(fileName);
  out.write(reinterpret_cast<const char*>(Data.data()), static_cast<std::streamsize>(Data.size()));
  out.flush();
  if (!out) RaiseWriteError(fileName);
}

void TMemoryStream::Clear() {
  Data.clear();
  Pos = 0;
}

std::size_t TCustomMemoryStream::Read(void* buffer, std::size_t count) {
  if (Pos >= MemorySize) return 0;
  const std::size_t n = std::min(count, MemorySize - Pos);
  std::memcpy(buffer, Bytes + Pos, n);
  Pos += n;
  return n;
}

void TCustomMemoryStream::SetPosition(std::int64_t position) {
  Pos = static_cast<std::size_t>(std::clamp<std::int64_t>(position, 0, Size()));
}

void TCustomMemoryStream::SetPointer(std::uint8_t* memory, std::size_t size) {
  Bytes = memory;
  MemorySize = memory ? size : 0;
  Pos = 0;
}

std::size_t TBufferStream::Write(const void* buffer, std::size_t count) {
  if (Pos >= static_cast<std::size_t>(Size())) return 0;
  const std::size_t n = std::min(count, static_cast<std::size_t>(Size()) - Pos);
  std::memcpy(Memory() + Pos, buffer, n);
  Pos += n;
  return n;
}

TFileStream::TFileStream(const std::wstring& fileName, Mode mode) {
  const auto flags = mode == Mode::OpenRead ? std::ios::in | std::ios::binary
                                            : std::ios::in | std::ios::out | std::ios::binary | std::ios::trunc;
  File.open(FileSystemPath(fileName), flags);
  if (!File.is_open()) {
    if (mode == Mode::OpenRead) RaiseFileOpenError(fileName);
    RaiseFileCreateError(fileName);
  }
  File.seekg(0, std::ios::end);
  FileSize = static_cast<std::int64_t>(File.tellg());
  File.seekg(0, std::ios::beg);
  if (FileSize < 0) RaiseReadError(fileName);
}

std::size_t TFileStream::Read(void* buffer, std::size_t count) {
  File.clear();
  File.seekg(Pos);
  File.read(static_cast<char*>(buffer), static_cast<std::streamsize>(count));
  const auto n = static_cast<std::size_t>(File.gcount());
  Pos += static_cast<std::int64_t>(n);
  return n;
}

std::size_t TFileStream::Write(const void* buffer, std::size_t count) {
  File.clear();
  File.seekp(Pos);
  File.write(static_cast<const char*>(buffer), static_cast<std::streamsize>(count));
  if (!File) return 0;
  Pos += static_cast<std::int64_t>(count);
  FileSize = std::max(FileSize, Pos);
  return count;
}

std::int64_t TFileStream::Position() const { return Pos; }

void TFileStream::SetPosition(std::int64_t position) { Pos = std::max<std::int64_t>(0, position); }
