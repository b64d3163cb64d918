#pragma once
// Byte streams of the format code: an abstract stream with exact-size reads
// and writes, a growable memory stream and a file stream. Platform-neutral;
// files are opened through the C++ library with the wide path.

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "platform/Exception.h"

// A stream read or write that could not be completed (past the end, short
// write, file that cannot be opened).
class EStreamError : public Exception {
public:
  using Exception::Exception;
};

// rsFileOpenError / rsFileCreateError naming the file.
[[noreturn]] void RaiseFileOpenError(const std::wstring& fileName);
[[noreturn]] void RaiseFileCreateError(const std::wstring& fileName);
// A read or write that stopped short; the file's name is added when given.
[[noreturn]] void RaiseReadError(const std::wstring& fileName = std::wstring());
[[noreturn]] void RaiseWriteError(const std::wstring& fileName = std::wstring());

class TStream {
public:
  virtual ~TStream() = default;
  // Reads up to count bytes; returns how many were read (0 at the end).
  virtual std::size_t Read(void* buffer, std::size_t count) = 0;
  // Writes up to count bytes; returns how many were written.
  virtual std::size_t Write(const void* buffer, std::size_t count) = 0;
  virtual std::int64_t Position() const = 0;
  // Moves to an absolute position (clamped to 0..Size for reading streams).
  virtual void SetPosition(std::int64_t position) = 0;
  virtual std::int64_t Size() const = 0;

  // Reads exactly count bytes; raises EStreamError when fewer are left.
  void ReadBuffer(void* buffer, std::size_t count);
  // Writes exactly count bytes; raises EStreamError on a short write.
  void WriteBuffer(const void* buffer, std::size_t count);
  // Bytes between the position and the end.
  std::int64_t Remaining() const;
};

// A stream over a byte vector that grows on write.
class TMemoryStream : public TStream {
public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::vector<std::uint8_t> bytes) : Data(std::move(bytes)) {}

  std::size_t Read(void* buffer, std::size_t count) override;
  std::size_t Write(const void* buffer, std::size_t count) override;
  std::int64_t Position() const override { return static_cast<std::int64_t>(Pos); }
  void SetPosition(std::int64_t position) override;
  std::int64_t Size() const override { return static_cast<std::int64_t>(Data.size()); }

  // Replaces the content with the whole file and rewinds; EStreamError when
  // the file cannot be read.
  void LoadFromFile(const std::wstring& fileName);
  // Writes the whole content to the file; EStreamError on failure.
  void SaveToFile(const std::wstring& fileName) const;
  void Clear();

  const std::vector<std::uint8_t>& Bytes() const { return Data; }

private:
  std::vector<std::uint8_t> Data;
  std::size_t Pos = 0;
};

// A stream over a block of memory of fixed size: reads and seeks within it.
// Who owns the memory and whether writes are allowed is the descendant's.
class TCustomMemoryStream : public TStream {
public:
  std::size_t Read(void* buffer, std::size_t count) override;
  std::int64_t Position() const override { return static_cast<std::int64_t>(Pos); }
  // Clamped to 0..Size.
  void SetPosition(std::int64_t position) override;
  std::int64_t Size() const override { return static_cast<std::int64_t>(MemorySize); }

  std::uint8_t* Memory() const { return Bytes; }

protected:
  // Points the stream at other memory and rewinds.
  void SetPointer(std::uint8_t* memory, std::size_t size);
  std::size_t Pos = 0;

private:
  std::uint8_t* Bytes = nullptr;
  std::size_t MemorySize = 0;
};

// A view over memory owned by someone else (pointer and size given at
// creation): never grows or frees it; a write copies into the memory at the
// position and is cut short at its end.
class TBufferStream : public TCustomMemoryStream {
public:
  TBufferStream(void* memory, std::size_t size) { SetPointer(static_cast<std::uint8_t*>(memory), size); }

  std::size_t Write(const void* buffer, std::size_t count) override;
};

// A file opened for reading (shared with other readers and writers) or
// created for writing.
class TFileStream : public TStream {
public:
  enum class Mode { OpenRead, Create };
  // Opens or creates the file; EStreamError when that fails.
  TFileStream(const std::wstring& fileName, Mode mode);

  std::size_t Read(void* buffer, std::size_t count) override;
  std::size_t Write(const void* buffer, std::size_t count) override;
  std::int64_t Position() const override;
  void SetPosition(std::int64_t position) override;
  std::int64_t Size() const override { return FileSize; }

private:
  mutable std::fstream File;
  std::int64_t FileSize = 0;
  std::int64_t Pos = 0;
};
