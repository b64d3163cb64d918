#include "setup/distribution/StreamHelper.h"

#include "setup/distribution/TextCodec.h"

std::int32_t TStreamHelper::ReadInteger() {
  std::uint8_t bytes[4];
  Stream->ReadBuffer(bytes, sizeof bytes);
  const std::uint32_t value = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
  return static_cast<std::int32_t>(value);
}

void TStreamHelper::WriteInteger(std::int32_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(bits), static_cast<std::uint8_t>(bits >> 8),
                                 static_cast<std::uint8_t>(bits >> 16), static_cast<std::uint8_t>(bits >> 24)};
  Stream->WriteBuffer(bytes, sizeof bytes);
}

std::int32_t TStreamHelper::ReadCount() {
  LastInteger = ReadInteger();
  return LastInteger;
}

std::int32_t TStreamHelper::ReadCheckedCount(std::int64_t minimumEntrySize) {
  const std::int32_t count = ReadCount();
  if (count < 0 || count > Stream->Remaining() / minimumEntrySize) throw EStreamError(L"Invalid count in stream");
  return count;
}

std::wstring TStreamHelper::ReadString() {
  const std::int32_t length = ReadInteger();
  if (length < 0) throw EStreamError(L"Invalid string length in stream");
  if (length == 0) return {};
  if (2 * static_cast<std::int64_t>(length) > Stream->Remaining()) RaiseReadError();
  std::string bytes(2 * static_cast<std::size_t>(length), '\0');
  Stream->ReadBuffer(bytes.data(), bytes.size());
  return Utf16LeToWide(bytes.data(), static_cast<std::size_t>(length));
}

void TStreamHelper::WriteString(const std::wstring& text) {
  const std::string bytes = WideToUtf16Le(text);
  WriteInteger(static_cast<std::int32_t>(bytes.size() / 2));
  Stream->WriteBuffer(bytes.data(), bytes.size());
}

void TStreamHelper::ReadStrings(std::vector<std::wstring>& list) {
  list.clear();
  const std::int32_t count = ReadCheckedCount(4);
  for (std::int32_t i = 0; i < count; ++i) list.push_back(ReadString());
}

void TStreamHelper::ReadStrings(std::vector<std::pair<std::wstring, std::int32_t>>& list) {
  list.clear();
  const std::int32_t count = ReadCheckedCount(8);
  for (std::int32_t i = 0; i < count; ++i) {
    std::wstring text = ReadString();
    const std::int32_t object = ReadInteger();
    list.emplace_back(std::move(text), object);
  }
}

void TStreamHelper::WriteStrings(const std::vector<std::wstring>& list) {
  WriteInteger(static_cast<std::int32_t>(list.size()));
  for (const auto& text : list) WriteString(text);
}

void TStreamHelper::WriteStrings(const std::vector<std::pair<std::wstring, std::int32_t>>& list) {
  WriteInteger(static_cast<std::int32_t>(list.size()));
  for (const auto& [text, object] : list) {
    WriteString(text);
    WriteInteger(object);
  }
}

TMemoryStreamHelper::TMemoryStreamHelper(void* owner) : TOwnedStreamHelper(owner, std::make_unique<TMemoryStream>()) {}

void TMemoryStreamHelper::LoadFromFile(const std::wstring& fileName) { Memory().LoadFromFile(fileName); }
