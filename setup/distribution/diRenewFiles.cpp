#include "setup/distribution/diRenewFiles.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/ObjList.h"
#include "platform/PlatformIntfTypes.h"
#include "setup/distribution/Crc_32.h"
#include "setup/distribution/RawDeflate.h"
#include "setup/distribution/TextCodec.h"
#include "setup/messages/FormatText.h"
#include "setup/messages/SetupRuntimeMessages.h"

namespace {

constexpr std::uint32_t PatchSignature = 0x1A484652;  // "RFH" 0x1A
constexpr std::uint32_t DataSignature = 0x1A484452;   // "RDH" 0x1A
constexpr std::int64_t MaxImageSize = 0xFFFFFFFF;     // sizes are 32-bit unsigned
// W, then Count.
constexpr std::size_t BodyPrefixSize = 5;
// The smallest and the largest record for a width: W bytes and two var
// numbers of one to five bytes each.
constexpr std::int64_t MinRecordSize(int width) { return width + 2; }
constexpr std::int64_t MaxRecordSize(int width) { return width + 10; }
// Deflate cannot expand its input more than 1032 times (a 258-byte match in
// two bits); a size hint beyond that for the compressed bytes at hand is a lie.
constexpr std::int64_t MaxInflateRatio = 1032;
constexpr std::int64_t InflateSlack = 1024;

struct TPatchHeader {
  std::uint32_t OldSize = 0;
  std::uint32_t OldCrc = 0;
  std::uint32_t NewSize = 0;
  std::uint32_t NewCrc = 0;
  double NewDate = 0;
  bool Compressed = false;
  std::uint8_t ZeroSubstitute = 0;
};

[[noreturn]] void RaiseInvalidPatch(const std::wstring& fileName) { throw EMessageError(InvalidPatchText(fileName)); }

std::uint8_t ReadByte(TStream& stream) {
  std::uint8_t value = 0;
  stream.ReadBuffer(&value, 1);
  return value;
}

std::uint64_t ReadUnsigned(TStream& stream, int size) {
  std::array<std::uint8_t, 8> bytes{};
  stream.ReadBuffer(bytes.data(), static_cast<std::size_t>(size));
  std::uint64_t value = 0;
  for (int i = size - 1; i >= 0; --i) value = (value << 8) | bytes[static_cast<std::size_t>(i)];
  return value;
}

std::uint32_t ReadUInt32(TStream& stream) { return static_cast<std::uint32_t>(ReadUnsigned(stream, 4)); }

// A zero-ended byte text; only its first bytes are kept (the callers compare
// it with a short name or skip it), so a long text costs no memory.
std::string ReadAnsiZ(TStream& stream) {
  std::string text;
  for (std::uint8_t c = ReadByte(stream); c != 0; c = ReadByte(stream)) {
    if (text.size() < 16) text += static_cast<char>(c);
  }
  return text;
}

// One byte b: 0..251 is the value; 252..255 is followed by b - 251 bytes
// holding it.
std::int64_t ReadVarNumber(TStream& stream) {
  const std::uint8_t first = ReadByte(stream);
  if (first <= 251) return first;
  return static_cast<std::int64_t>(ReadUnsigned(stream, first - 251));
}

TPatchHeader ReadHeader(TStream& patch) {
  if (ReadUInt32(patch) != PatchSignature) throw EMessageError(rsRenewFileSignInvalid);
  const std::uint64_t version = ReadUnsigned(patch, 2);
  if (version < 0x0100 || version > 0x0102) throw EMessageError(rsRenewFileUnsupportedVersion);
  if (ReadAnsiZ(patch) != "RDF") throw EMessageError(rsRenewFileUnsupportedType);
  ReadAnsiZ(patch);
  ReadAnsiZ(patch);
  ReadUInt32(patch);
  if (ReadUInt32(patch) != DataSignature) throw EMessageError(rsRenewFileSignInvalid);
  ReadUnsigned(patch, 2);
  ReadUnsigned(patch, 2);
  TPatchHeader header;
  header.OldSize = ReadUInt32(patch);
  header.OldCrc = ReadUInt32(patch);
  header.NewSize = ReadUInt32(patch);
  header.NewCrc = ReadUInt32(patch);
  const std::uint64_t dateBits = ReadUnsigned(patch, 8);
  std::memcpy(&header.NewDate, &dateBits, sizeof header.NewDate);
  header.Compressed = ReadByte(patch) == 1;
  if (ReadByte(patch) != 0) throw EMessageError(rsRenewFileUnsupportedType);
  header.ZeroSubstitute = ReadByte(patch);
  return header;
}

// Exchanges z and 0 everywhere: the patch format keeps one byte value out of
// its images this way.
void ExchangeZero(std::uint8_t* bytes, std::size_t size, std::uint8_t z) {
  if (z == 0) return;
  for (std::size_t i = 0; i < size; ++i) {
    const std::uint8_t b = bytes[i];
    bytes[i] = b == z ? 0 : b == 0 ? z : b;
  }
}

// to[i] += from[i]; the ranges never overlap (old and data images are
// separate memory), which lets the compiler vectorise the loop.
void AddBytes(std::uint8_t* __restrict to, const std::uint8_t* __restrict from, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) to[i] = static_cast<std::uint8_t>(to[i] + from[i]);
}

std::uint32_t Crc32(const std::uint8_t* bytes, std::size_t size) { return ~UpdateCrc32(bytes, size, 0xFFFFFFFF); }

// The system's text for a failed file operation: the thread's last error
// when the system left one, else the library's reason.
std::wstring SystemReason(const std::error_code& error) {
  const std::uint32_t code = PlatformTools().GetLastError();
  std::string text = code != 0 ? std::system_category().message(static_cast<int>(code)) : error.message();
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.')) text.pop_back();
  // The library gives the system's text in UTF-8 or, on Windows, in the
  // ANSI code page; text that is not valid UTF-8 is the latter.
  const std::wstring wide = Utf8ToWide(text);
  if (WideToUtf8(wide) == text) return wide;
  IPlatformTools& platform = PlatformTools();
  return platform.AnsiToUnicode(text, platform.GetAnsiCodePage());
}

[[noreturn]] void RaiseFileError(const std::wstring& format, const std::wstring& fileName,
                                 const std::error_code& error) {
  throw EStreamError(FormatText(format, {fileName}) + L" (" + SystemReason(error) + L")");
}

// The whole old file, read in one piece into memory of exactly its size.
class TOldImage {
public:
  explicit TOldImage(const std::wstring& fileName) {
    std::ifstream in(FileSystemPath(fileName), std::ios::binary);
    if (!in) RaiseFileOpenError(fileName);
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    in.seekg(0, std::ios::beg);
    if (size < 0) RaiseReadError(fileName);
    Size = static_cast<std::size_t>(size);
    Bytes.reset(new std::uint8_t[std::max<std::size_t>(Size, 1)]);
    in.read(reinterpret_cast<char*>(Bytes.get()), static_cast<std::streamsize>(Size));
    if (static_cast<std::size_t>(in.gcount()) != Size) RaiseReadError(fileName);
  }

  std::unique_ptr<std::uint8_t[]> Bytes;
  std::size_t Size = 0;
};

// The length of a file without reading it; -1 when it cannot be measured.
std::int64_t FileLength(const std::wstring& fileName) {
  std::error_code error;
  const auto size = std::filesystem::file_size(FileSystemPath(fileName), error);
  return error ? -1 : static_cast<std::int64_t>(size);
}

// W and Count at the head of a body, checked against the body they must fit
// in: every record at least MinRecordSize, and the data image NewSize after
// the records.
void CheckBodyPrefix(const std::uint8_t* prefix, std::int64_t bodySize, std::int64_t newSize,
                     const std::wstring& fileName, int& width, std::int64_t& count) {
  width = prefix[0];
  std::int32_t signedCount = 0;
  const std::uint32_t rawCount = prefix[1] | (prefix[2] << 8) | (prefix[3] << 16) | (std::uint32_t{prefix[4]} << 24);
  std::memcpy(&signedCount, &rawCount, sizeof signedCount);
  count = signedCount;
  if (width < 1 || width > 4 || count < 0) RaiseInvalidPatch(fileName);
  if (static_cast<std::int64_t>(BodyPrefixSize) + count * MinRecordSize(width) + newSize > bodySize)
    RaiseInvalidPatch(fileName);
}

// The body of a compressed patch: the size hint, then a raw deflate stream
// inflated into memory of exactly the hint's size. The hint is checked
// against what the declared NewSize and Count allow (and what the compressed
// bytes can give) before that memory is taken; inflation stops at the hint.
class TInflatedBody {
public:
  TInflatedBody(TStream& patch, std::int64_t newSize, const std::wstring& fileName) {
    const std::int64_t hint = ReadUInt32(patch);
    const std::int64_t compressed = patch.Remaining();
    if (hint > compressed * MaxInflateRatio + InflateSlack) RaiseInvalidPatch(fileName);

    std::array<std::uint8_t, BodyPrefixSize> prefix{};
    std::uint8_t* out = prefix.data();
    std::size_t room = std::min<std::size_t>(prefix.size(), static_cast<std::size_t>(hint));
    Fill(patch, out, room, fileName);
    if (room != 0) RaiseInvalidPatch(fileName);
    int width = 0;
    std::int64_t count = 0;
    CheckBodyPrefix(prefix.data(), hint, newSize, fileName, width, count);
    if (hint > static_cast<std::int64_t>(BodyPrefixSize) + count * MaxRecordSize(width) + newSize)
      RaiseInvalidPatch(fileName);

    Size = static_cast<std::size_t>(hint);
    Bytes.reset(new std::uint8_t[Size]);
    std::memcpy(Bytes.get(), prefix.data(), prefix.size());
    out = Bytes.get() + prefix.size();
    room = Size - prefix.size();
    Fill(patch, out, room, fileName);
    if (room != 0) RaiseInvalidPatch(fileName);
    // The stream must end here: one more byte would lie beyond the hint.
    std::uint8_t extra = 0;
    out = &extra;
    room = 1;
    if (!Fill(patch, out, room, fileName) || room == 0) RaiseInvalidPatch(fileName);
  }

  std::unique_ptr<std::uint8_t[]> Bytes;
  std::size_t Size = 0;

private:
  // Inflates until the room is used up or the stream ends (true). A damaged
  // stream or input that ends before the stream does is refused.
  bool Fill(TStream& patch, std::uint8_t*& out, std::size_t& room, const std::wstring& fileName) {
    for (;;) {
      if (InputLeft == 0) {
        InputLeft = patch.Read(Input.data(), Input.size());
        Next = Input.data();
      }
      const bool noInput = InputLeft == 0;
      switch (Inflater.Inflate(Next, InputLeft, out, room)) {
        case TRawInflater::TResult::End:
          return true;
        case TRawInflater::TResult::OutputFull:
          return false;
        case TRawInflater::TResult::NeedInput:
          if (noInput) RaiseInvalidPatch(fileName);
          break;
        case TRawInflater::TResult::Damaged:
          RaiseInvalidPatch(fileName);
      }
    }
  }

  TRawInflater Inflater;
  std::array<std::uint8_t, 65536> Input{};
  const std::uint8_t* Next = nullptr;
  std::size_t InputLeft = 0;
};

// DateTime (local, days since 1899-12-30) at the 2-second precision of a DOS
// file date, then as UTC seconds since 1970 with the current zone bias.
// False when the date lies outside what a DOS date can hold.
bool DosDateToUnixSeconds(double dateTime, std::int64_t& seconds) {
  if (!std::isfinite(dateTime)) return false;
  using namespace std::chrono;
  const double wholeDays = std::floor(dateTime);
  if (wholeDays < -700000 || wholeDays > 700000) return false;
  const sys_days day = sys_days(year(1899) / December / 30) + days(static_cast<int>(wholeDays));
  const year_month_day date(day);
  if (date.year() < year(1980) || date.year() > year(2107)) return false;
  auto secondOfDay = static_cast<std::int64_t>(std::floor((dateTime - wholeDays) * 86400.0 + 0.0005));
  secondOfDay = std::min<std::int64_t>(secondOfDay, 86399) / 2 * 2;
  const double bias = PlatformTools().GetTimeZoneBias();  // UTC = local + bias
  seconds = day.time_since_epoch().count() * 86400 + secondOfDay + std::llround(bias * 86400.0);
  return true;
}

std::filesystem::path TemporaryName(const std::filesystem::path& target) {
  std::random_device random;
  const std::uint32_t tag = random() ^ static_cast<std::uint32_t>(
                                           std::chrono::steady_clock::now().time_since_epoch().count());
  char hex[9] = {};
  for (int i = 7; i >= 0; --i) hex[7 - i] = "0123456789ABCDEF"[(tag >> (i * 4)) & 0xF];
  // Appended as a path: the name itself is not converted.
  std::filesystem::path name = target.filename();
  name += std::string(".~") + hex;
  return name;
}

// The new file, written to a temporary file beside the target and then
// dated and renamed over it by Commit; until then the target stays as it was,
// and a writer that is not committed removes its temporary file.
class TNewFileWriter {
public:
  explicit TNewFileWriter(const std::wstring& fileName) : FileName(fileName), Target(FileSystemPath(fileName)) {}
  ~TNewFileWriter() {
    std::error_code ignored;
    if (!Temporary.empty() && !Committed) std::filesystem::remove(Temporary, ignored);
  }
  TNewFileWriter(const TNewFileWriter&) = delete;
  TNewFileWriter& operator=(const TNewFileWriter&) = delete;

  // True when the target's folder is there already (nothing to create).
  bool FolderExists() const {
    std::error_code ignored;
    return Target.parent_path().empty() || std::filesystem::is_directory(Target.parent_path(), ignored);
  }

  // Creates the target's folder with its missing parents.
  void CreateFolder() {
    std::error_code error;
    PlatformTools().SetLastError(0);
    if (!std::filesystem::create_directories(Target.parent_path(), error) && error)
      RaiseFileError(rsFileCreateError, FileName, error);
  }

  // Creates the missing folders and writes the bytes to the temporary file.
  void Write(const std::uint8_t* bytes, std::size_t size) {
    if (!FolderExists()) CreateFolder();
    Temporary = Target.parent_path() / TemporaryName(Target);
    std::ofstream out(Temporary, std::ios::binary | std::ios::trunc);
    if (!out) RaiseFileCreateError(FileName);
    out.write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(size));
    out.close();
    if (!out) RaiseWriteError(FileName);
  }

  // Dates the written file (newDate 0: as written) and puts it in place.
  void Commit(double newDate) {
    namespace fs = std::filesystem;
    std::error_code error;
    std::int64_t seconds = 0;
    if (newDate != 0 && DosDateToUnixSeconds(newDate, seconds)) {
      const auto time = std::chrono::file_clock::from_sys(std::chrono::sys_seconds(std::chrono::seconds(seconds)));
      PlatformTools().SetLastError(0);
      fs::last_write_time(Temporary, time, error);
      if (error) RaiseFileError(rsFileCreateError, FileName, error);
    }
    PlatformTools().SetLastError(0);
    fs::rename(Temporary, Target, error);
    if (error) RaiseFileError(rsFileCreateError, FileName, error);
    Committed = true;
  }

private:
  std::wstring FileName;
  std::filesystem::path Target;
  std::filesystem::path Temporary;
  bool Committed = false;
};

// Runs work on a second thread (inline when no thread can be started) and
// hands back what it raised at Join, so that two passes over large images
// overlap.
class TBackgroundWork {
public:
  explicit TBackgroundWork(std::function<void()> work) : Work(std::move(work)) {
    try {
      Thread = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
      Run();
    }
  }
  ~TBackgroundWork() {
    if (Thread.joinable()) Thread.join();
  }
  TBackgroundWork(const TBackgroundWork&) = delete;
  TBackgroundWork& operator=(const TBackgroundWork&) = delete;

  // Waits for the work; raises what it raised.
  void Join() {
    if (Thread.joinable()) Thread.join();
    if (Error) std::rethrow_exception(std::exchange(Error, nullptr));
  }

private:
  void Run() {
    try {
      Work();
    } catch (...) {
      Error = std::current_exception();
    }
  }

  std::function<void()> Work;
  std::exception_ptr Error;
  std::thread Thread;
};

void Report(const TPatchProgress& progress, int percent) {
  if (progress) progress(percent);
}

}  // namespace

std::wstring InvalidPatchText(const std::wstring& fileName) {
  return L"Неверный формат обновления файла " + fileName;
}

void TBlockList::LoadBlocks(TStream& stream, const std::wstring& fileName) {
  const int width = ReadByte(stream);
  const auto count = static_cast<std::int32_t>(ReadUInt32(stream));
  if (width < 1 || width > 4 || count < 0) RaiseInvalidPatch(fileName);
  if (static_cast<std::int64_t>(count) * MinRecordSize(width) > stream.Remaining()) RaiseInvalidPatch(fileName);
  const std::int64_t noSource = static_cast<std::int64_t>((std::uint64_t{1} << (8 * width)) - 1);
  std::int64_t position = 0;
  for (std::int32_t i = 0; i < count; ++i) {
    auto block = std::make_unique<TBlock>();
    const auto oldOffset = static_cast<std::int64_t>(ReadUnsigned(stream, width));
    block->OldOffset = oldOffset == noSource ? -1 : oldOffset;
    block->NewOffset = position + ReadVarNumber(stream);
    block->Length = ReadVarNumber(stream);
    position = block->NewOffset + block->Length;
    // No data image is larger than 32 bits can say; this also keeps the
    // running position far from overflow.
    if (position > MaxImageSize) RaiseInvalidPatch(fileName);
    Add(block.release());
  }
}

bool TBlockList::InsideImages(std::int64_t oldSize, std::int64_t dataSize) const {
  std::int64_t end = 0;
  for (const TBlock* block : *this) {
    if (block->Length < 0 || block->NewOffset < end) return false;
    end = block->NewOffset + block->Length;
    if (end > dataSize) return false;
    if (block->OldOffset == -1) continue;
    if (block->OldOffset < 0 || block->OldOffset + block->Length > oldSize) return false;
  }
  return true;
}

void ApplyBlocks(const TBlockList& blocks, const TCustomMemoryStream& oldImage, TCustomMemoryStream& dataImage,
                 const TPatchProgress& progress, const std::wstring& fileName) {
  if (!blocks.InsideImages(oldImage.Size(), dataImage.Size())) RaiseInvalidPatch(fileName);
  const std::uint8_t* old = oldImage.Memory();
  std::uint8_t* data = dataImage.Memory();
  const std::int64_t count = blocks.Count();
  int reported = -1;
  for (std::int64_t index = 0; index < count; ++index) {
    if (progress) {
      // MulDiv: rounded to the nearest.
      const int percent = static_cast<int>((index * 100 + count / 2) / count);
      if (percent != reported) progress(reported = percent);
    }
    const TBlock& block = *blocks[static_cast<int>(index)];
    if (block.OldOffset == -1) continue;
    AddBytes(data + block.NewOffset, old + block.OldOffset, static_cast<std::size_t>(block.Length));
  }
  Report(progress, 100);
}

bool ApplyPatch(const std::wstring& oldFileName, const std::wstring& newFileName, TStream& patch,
                const TPatchProgress& progress) {
  if (patch.Size() == 0) {
    if (objlist_detail::CompareIgnoreCase(oldFileName, newFileName) != 0) {
      IPlatformTools& platform = PlatformTools();
      // The copy lands where a written file would, its folder made first
      // (an update stages files in subfolders that may not exist yet).
      TNewFileWriter folder(newFileName);
      if (!folder.FolderExists() && FileLength(oldFileName) >= 0) folder.CreateFolder();
      platform.SetLastError(0);
      if (!platform.CopyFile(oldFileName, newFileName, false)) {
        RaiseFileError(rsFileCreateError, newFileName, std::make_error_code(std::errc::io_error));
      }
    }
    return false;
  }
  Report(progress, 0);
  const TPatchHeader header = ReadHeader(patch);

  // A file of neither length cannot be used; say so without reading it.
  const std::int64_t length = FileLength(oldFileName);
  if (length >= 0 && length != header.OldSize && length != header.NewSize) {
    throw EMessageError(FormatText(rsRenewOldFileSizeInvalid, {oldFileName}));
  }
  // The old file is read and summed while a compressed body is inflated; what
  // the old file says is decided first, whatever the body turned out to be.
  std::unique_ptr<TOldImage> old;
  std::uint32_t oldCrc = 0;
  TBackgroundWork loading([&] {
    old = std::make_unique<TOldImage>(oldFileName);
    oldCrc = Crc32(old->Bytes.get(), old->Size);
  });
  std::unique_ptr<TInflatedBody> inflated;
  std::exception_ptr bodyError;
  if (header.Compressed) {
    try {
      inflated = std::make_unique<TInflatedBody>(patch, header.NewSize, newFileName);
    } catch (...) {
      bodyError = std::current_exception();
    }
  }
  loading.Join();
  if (old->Size != header.OldSize || oldCrc != header.OldCrc) {
    if (old->Size == header.NewSize && oldCrc == header.NewCrc) return true;
    throw EMessageError(FormatText(old->Size == header.OldSize ? rsRenewOldFileCrcInvalid : rsRenewOldFileSizeInvalid,
                                   {oldFileName}));
  }
  if (bodyError) std::rethrow_exception(bodyError);
  ExchangeZero(old->Bytes.get(), old->Size, header.ZeroSubstitute);
  TBufferStream oldImage(old->Bytes.get(), old->Size);

  std::unique_ptr<TBufferStream> inflatedStream;
  TStream* body = &patch;
  if (inflated) {
    inflatedStream = std::make_unique<TBufferStream>(inflated->Bytes.get(), inflated->Size);
    body = inflatedStream.get();
  } else {
    std::array<std::uint8_t, BodyPrefixSize> prefix{};
    const std::int64_t start = patch.Position();
    const std::int64_t size = patch.Remaining();
    patch.ReadBuffer(prefix.data(), prefix.size());
    int width = 0;
    std::int64_t count = 0;
    CheckBodyPrefix(prefix.data(), size, header.NewSize, newFileName, width, count);
    patch.SetPosition(start);
  }

  TBlockList blocks;
  blocks.LoadBlocks(*body, newFileName);
  if (body->Remaining() != header.NewSize) {
    throw EMessageError(FormatText(rsRenewNewFileSizeInvalid, {newFileName}));
  }
  if (!blocks.InsideImages(static_cast<std::int64_t>(old->Size), header.NewSize)) RaiseInvalidPatch(newFileName);

  // The data image: in place inside the inflated body, or read from a stored
  // body into memory of its own.
  std::unique_ptr<std::uint8_t[]> stored;
  std::uint8_t* data = nullptr;
  if (inflated) {
    data = inflated->Bytes.get() + inflatedStream->Position();
  } else {
    stored.reset(new std::uint8_t[std::max<std::size_t>(header.NewSize, 1)]);
    body->ReadBuffer(stored.get(), header.NewSize);
    data = stored.get();
  }
  TBufferStream dataImage(data, header.NewSize);
  ApplyBlocks(blocks, oldImage, dataImage, progress, newFileName);
  ExchangeZero(data, header.NewSize, header.ZeroSubstitute);
  // The old image is no longer needed: give its memory back before writing.
  old.reset();

  // The new file's sum is taken while it is written to its temporary file;
  // it is put in place only when the sum is right. Where its folder is still
  // to be made, the sum comes first, so a bad patch creates no folder.
  TNewFileWriter writer(newFileName);
  std::uint32_t newCrc = 0;
  const bool writeWhileSumming = writer.FolderExists();
  if (writeWhileSumming) {
    TBackgroundWork summing([&] { newCrc = Crc32(data, header.NewSize); });
    writer.Write(data, header.NewSize);
    summing.Join();
  } else {
    newCrc = Crc32(data, header.NewSize);
  }
  if (newCrc != header.NewCrc) throw EMessageError(FormatText(rsRenewNewFileCrcInvalid, {newFileName}));
  if (!writeWhileSumming) writer.Write(data, header.NewSize);
  writer.Commit(header.NewDate);
  Report(progress, 100);
  return false;
}
