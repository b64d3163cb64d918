#pragma once
// Binary reader and writer over a stream: 32-bit little-endian integers and
// strings stored as a 32-bit length in UTF-16 code units followed by the
// UTF-16LE text. The localization file is built from these.
//
// Reading treats the stream as untrusted: a length or count that is negative
// or larger than what the rest of the stream can hold raises EStreamError
// before anything is allocated for it.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "setup/distribution/Stream.h"

class TStreamHelper {
public:
  // Stream is not owned; Owner is kept for the helper's user only.
  TStreamHelper(void* owner, TStream* stream) : Owner(owner), Stream(stream) {}
  virtual ~TStreamHelper() = default;
  TStreamHelper(const TStreamHelper&) = delete;
  TStreamHelper& operator=(const TStreamHelper&) = delete;

  // One signed 32-bit integer; EStreamError past the end.
  std::int32_t ReadInteger();
  void WriteInteger(std::int32_t value);
  // ReadInteger that also keeps the value in LastInteger.
  std::int32_t ReadCount();

  // A length-prefixed UTF-16 text; EStreamError when the length is negative
  // or runs past the end.
  virtual std::wstring ReadString();
  void WriteString(const std::wstring& text);

  // A count, then that many strings; the list is replaced. EStreamError on a
  // negative count or one the rest of the stream cannot hold.
  void ReadStrings(std::vector<std::wstring>& list);
  // The same with a 32-bit object value after each string.
  void ReadStrings(std::vector<std::pair<std::wstring, std::int32_t>>& list);
  void WriteStrings(const std::vector<std::wstring>& list);
  void WriteStrings(const std::vector<std::pair<std::wstring, std::int32_t>>& list);

  void* Owner;
  TStream* Stream;
  std::int32_t LastInteger = 0;

protected:
  // A count read from the stream, checked against the bytes left: every entry
  // takes at least minimumEntrySize bytes.
  std::int32_t ReadCheckedCount(std::int64_t minimumEntrySize);
};

// A helper that owns its stream.
class TOwnedStreamHelper : public TStreamHelper {
public:
  TOwnedStreamHelper(void* owner, std::unique_ptr<TStream> stream)
      : TStreamHelper(owner, stream.get()), OwnedStream(std::move(stream)) {}

private:
  std::unique_ptr<TStream> OwnedStream;
};

// A helper over its own memory stream.
class TMemoryStreamHelper : public TOwnedStreamHelper {
public:
  explicit TMemoryStreamHelper(void* owner);
  // Loads the whole file and rewinds; EStreamError when it cannot be read.
  void LoadFromFile(const std::wstring& fileName);
  TMemoryStream& Memory() { return *static_cast<TMemoryStream*>(Stream); }
};
