#include "setup/distribution/ZipArchive.h"

#include <libdeflate.h>
#include <zip.h>

#include <ctime>
#include <algorithm>
#include <filesystem>
#include <new>
#include <vector>

#include "platform/StrTool.h"
#include "setup/distribution/Crc_32.h"
#include "setup/distribution/Stream.h"
#include "setup/distribution/TextCodec.h"
#include "setup/distribution/ZipArchiveSystem.h"
#include "setup/messages/FormatText.h"
#include "setup/messages/SetupRuntimeMessages.h"

namespace {
std::string ToUtf8(const std::wstring& text) { return WideToUtf8(text); }

std::wstring FromUtf8(const char* text) { return text ? Utf8ToWide(text) : std::wstring(); }

[[noreturn]] void RaiseZip(int code, const std::wstring& subject) {
  throw EZipError(ZipErrorText(code) + L" (" + subject + L")", code);
}

// Files up to TZipWriter::WholeDeflateLimit are deflated whole by libdeflate
// at its highest level before libzip writes them, several percent smaller
// than zlib's best. libdeflate holds a file and its deflated form in memory
// and cannot be interrupted, so larger files stream through libzip's zlib as
// they are read: the memory of a save and the wait for a cancel stay bounded.
constexpr int WholeDeflateLevel = 12;
// The blocks a file is read in: a cancel is seen between two of them.
constexpr std::size_t ReadBlockSize = 1024 * 1024;
// General purpose flag bits 1 and 2 of a deflated entry: "maximum".
constexpr zip_uint16_t DeflateMaximumFlags = 1 << 1;
constexpr zip_uint16_t DeflateOptionMask = 3 << 1;

// What the files of one writer share while it saves: the writer's
// callbacks, its cancel flag, the first failure of a file, and the one
// compressor of its whole-file deflates (a writer saves on one thread).
struct TSaveHooks {
  const std::function<bool(int, const std::wstring&)>* Opening = nullptr;
  const std::function<bool(int, const std::wstring&, std::int64_t)>* Written = nullptr;
  const std::atomic<bool>* const* CancelFlag = nullptr;
  bool* Cancelled = nullptr;
  bool HasFailure = false;
  TZipFailure Failure{};
  libdeflate_compressor* Compressor = nullptr;

  TSaveHooks() = default;
  TSaveHooks(const TSaveHooks&) = delete;
  TSaveHooks& operator=(const TSaveHooks&) = delete;
  ~TSaveHooks() {
    if (Compressor) libdeflate_free_compressor(Compressor);
  }
  // Null when the memory for it cannot be had.
  libdeflate_compressor* WholeFileCompressor() {
    if (!Compressor) Compressor = libdeflate_alloc_compressor(WholeDeflateLevel);
    return Compressor;
  }

  void Record(const TZipFailure& failure) {
    if (HasFailure) return;
    HasFailure = true;
    Failure = failure;
  }
  bool CancelRequested() const { return *CancelFlag && (*CancelFlag)->load(std::memory_order_relaxed); }
};

// One file added to an archive: libzip reads it through this source while
// the archive is saved. The file is open only between libzip's open and
// close of the source, so a large archive never holds more than one. A file
// of at most WholeDeflateLimit bytes is read whole on open and handed to
// libzip already deflated, with its CRC-32 and size; a larger one is handed
// over as it is read, for libzip to deflate.
struct TFileSource {
  std::wstring Path;
  TZipInputFile File;
  std::int64_t Size = 0;
  std::int64_t Done = 0;
  time_t WriteTime = 0;
  std::wstring EntryName;
  int Number = 0;
  bool Reported = false;
  zip_error_t Error{};
  TSaveHooks* Hooks = nullptr;
  bool Predeflated = false;            // chosen when added, by the size
  std::vector<std::uint8_t> Deflated;  // the deflated content, while open
  std::size_t Served = 0;              // of Deflated, handed to libzip
  std::uint32_t Crc = 0;               // of the content read
  bool Complete = false;               // Deflated, Crc and Done describe the whole file

  zip_int64_t Cancel() {
    *Hooks->Cancelled = true;
    zip_error_set(&Error, ZIP_ER_CANCELLED, 0);
    return -1;
  }

  zip_int64_t ReadFailure() {
    Hooks->Record({EntryName, TZipFailureKind::Library, ZIP_ER_READ, 0});
    zip_error_set(&Error, ZIP_ER_READ, 0);
    return -1;
  }

  zip_int64_t Open() {
    Done = 0;
    Reported = false;
    Complete = false;
    if (Hooks->CancelRequested()) return Cancel();
    if (*Hooks->Opening && !(*Hooks->Opening)(Number, EntryName)) return Cancel();
    if (!File.Open(Path)) {
      Hooks->Record({EntryName, TZipFailureKind::FileOpen, 0, File.LastError});
      zip_error_set(&Error, ZIP_ER_OPEN, 0);
      return -1;
    }
    if (!Predeflated) return 0;
    try {
      return DeflateWhole();
    } catch (const std::bad_alloc&) {
      zip_error_set(&Error, ZIP_ER_MEMORY, 0);
      return -1;
    }
  }

  // Reads the file as long as it was when added, a block at a time so that
  // a cancel is seen, and deflates it. A file that has grown since is cut
  // there: what is held in memory stays bounded by the size that chose
  // this way (a file written to meanwhile, a log, could grow without end).
  zip_int64_t DeflateWhole() {
    std::vector<std::uint8_t> content(static_cast<std::size_t>(Size));
    std::size_t at = 0;
    std::uint32_t crc = 0xFFFFFFFFu;
    while (at < content.size()) {
      if (Hooks->CancelRequested()) return Cancel();
      const std::int64_t got = File.Read(content.data() + at, std::min(ReadBlockSize, content.size() - at));
      if (got < 0) return ReadFailure();
      if (got == 0) break;  // it has shrunk
      crc = UpdateCrc32(content.data() + at, static_cast<std::size_t>(got), crc);
      at += static_cast<std::size_t>(got);
    }
    content.resize(at);
    libdeflate_compressor* compressor = Hooks->WholeFileCompressor();
    if (!compressor) {
      zip_error_set(&Error, ZIP_ER_MEMORY, 0);
      return -1;
    }
    Deflated.resize(libdeflate_deflate_compress_bound(compressor, content.size()));
    const std::size_t size =
        libdeflate_deflate_compress(compressor, content.data(), content.size(), Deflated.data(), Deflated.size());
    if (size == 0) {
      zip_error_set(&Error, ZIP_ER_INTERNAL, 0);
      return -1;
    }
    Deflated.resize(size);
    Served = 0;
    Crc = ~crc;
    Done = static_cast<std::int64_t>(content.size());
    Complete = true;
    return 0;
  }

  zip_int64_t Read(void* data, zip_uint64_t length) {
    if (Hooks->CancelRequested()) return Cancel();
    if (Predeflated) {
      const std::size_t part = static_cast<std::size_t>(std::min<zip_uint64_t>(length, Deflated.size() - Served));
      std::copy_n(Deflated.data() + Served, part, static_cast<std::uint8_t*>(data));
      Served += part;
      if (part == 0 && !Reported) return Finish();
      return static_cast<zip_int64_t>(part);
    }
    const std::int64_t got = File.Read(data, static_cast<std::size_t>(std::min<zip_uint64_t>(length, 1u << 30)));
    if (got < 0) return ReadFailure();
    Done += got;
    if (got == 0 && !Reported) return Finish();
    return got;
  }

  zip_int64_t Finish() {
    Reported = true;
    if (*Hooks->Written && !(*Hooks->Written)(Number, EntryName, Done)) return Cancel();
    return 0;
  }

  void Close() {
    File.Close();
    std::vector<std::uint8_t>().swap(Deflated);
  }

  // Before the file is read: its size and time, and for a file deflated
  // here that it comes deflated (libzip then neither deflates nor sums it).
  // After: what was read, which libzip records in the entry.
  zip_int64_t Stat(void* data, zip_uint64_t length) {
    zip_stat_t* stat = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, length, &Error);
    if (!stat) return -1;
    zip_stat_init(stat);
    stat->size = static_cast<zip_uint64_t>(Size);
    stat->mtime = WriteTime;
    stat->valid |= ZIP_STAT_SIZE | ZIP_STAT_MTIME;
    if (Predeflated) {
      stat->comp_method = ZIP_CM_DEFLATE;
      stat->valid |= ZIP_STAT_COMP_METHOD;
    }
    if (Predeflated && Complete) {
      stat->size = static_cast<zip_uint64_t>(Done);
      stat->crc = Crc;
      stat->comp_size = Deflated.size();
      stat->valid |= ZIP_STAT_CRC | ZIP_STAT_COMP_SIZE;
    }
    return sizeof(zip_stat_t);
  }

  // For a file deflated here, the deflate option bits libzip's own deflate
  // would set at level 9.
  zip_int64_t FileAttributes(void* data, zip_uint64_t length) {
    if (length < sizeof(zip_file_attributes_t)) {
      zip_error_set(&Error, ZIP_ER_INVAL, 0);
      return -1;
    }
    auto* attributes = static_cast<zip_file_attributes_t*>(data);
    if (Predeflated) {
      attributes->valid |= ZIP_FILE_ATTRIBUTES_GENERAL_PURPOSE_BIT_FLAGS;
      attributes->general_purpose_bit_mask = DeflateOptionMask;
      attributes->general_purpose_bit_flags = DeflateMaximumFlags;
    }
    return sizeof(zip_file_attributes_t);
  }

  static zip_int64_t Callback(void* state, void* data, zip_uint64_t length, zip_source_cmd_t command) {
    auto* self = static_cast<TFileSource*>(state);
    switch (command) {
      case ZIP_SOURCE_OPEN: return self->Open();
      case ZIP_SOURCE_READ: return self->Read(data, length);
      case ZIP_SOURCE_CLOSE: self->Close(); return 0;
      case ZIP_SOURCE_STAT: return self->Stat(data, length);
      case ZIP_SOURCE_GET_FILE_ATTRIBUTES: return self->FileAttributes(data, length);
      case ZIP_SOURCE_ERROR: return zip_error_to_data(&self->Error, data, length);
      case ZIP_SOURCE_FREE:
        zip_error_fini(&self->Error);
        delete self;
        return 0;
      case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                              ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, ZIP_SOURCE_GET_FILE_ATTRIBUTES, -1);
      default: zip_error_set(&self->Error, ZIP_ER_OPNOTSUPP, 0); return -1;
    }
  }
};

// Opens an archive file through libzip's wide-path source.
zip_t* OpenArchive(const std::wstring& fileName, int flags) {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = CreateArchiveFileSource(fileName, &error);
  zip_t* archive = source ? zip_open_from_source(source, flags, &error) : nullptr;
  if (!archive) {
    if (source) zip_source_free(source);
    const int code = zip_error_code_zip(&error);
    zip_error_fini(&error);
    RaiseZip(code, fileName);
  }
  zip_error_fini(&error);
  return archive;
}
}  // namespace

std::wstring ZipErrorText(int libraryCode) {
  zip_error_t error;
  zip_error_init_with_code(&error, libraryCode);
  std::wstring text = FromUtf8(zip_error_strerror(&error));
  zip_error_fini(&error);
  return text;
}

struct TZipWriter::TState {
  zip_t* Archive = nullptr;
  TSaveHooks Hooks;
};

TZipWriter::TZipWriter(const std::wstring& fileName, bool autoSave)
    : State(std::make_unique<TState>()), ArchiveName(fileName), AutoSaveOnDestroy(autoSave) {
  State->Hooks.Opening = &OnEntryOpening;
  State->Hooks.Written = &OnEntryWritten;
  State->Hooks.CancelFlag = &CancelFlag;
  State->Hooks.Cancelled = &WasCancelled;
  State->Archive = OpenArchive(fileName, ZIP_CREATE | ZIP_TRUNCATE);
}

TZipWriter::~TZipWriter() {
  if (!State->Archive) return;
  if (AutoSaveOnDestroy) {
    try {
      Save();
      return;
    } catch (...) {
    }
  }
  if (State->Archive) zip_discard(State->Archive);
}

int TZipWriter::EntryCount() const {
  return State->Archive ? static_cast<int>(zip_get_num_entries(State->Archive, 0)) : 0;
}

void TZipWriter::Fail(const TZipFailure& failure) {
  if (OnFailure) {
    OnFailure(failure);
    return;
  }
  const std::wstring subject = failure.EntryName.empty() ? ArchiveName : ArchiveName + L": " + failure.EntryName;
  if (failure.Kind == TZipFailureKind::Library) RaiseZip(failure.LibraryCode, subject);
  const std::wstring& text = failure.Kind == TZipFailureKind::FileCreate ? rsFileCreateError : rsFileOpenError;
  throw EZipError(FormatText(text, {ZipSystemErrorText(failure.SystemError)}) + L" (" + subject + L")", 0);
}

bool TZipWriter::AddFile(const std::wstring& path, const std::wstring& storedName) {
  const int number = FilesAdded++;
  std::wstring entryName = storedName.empty() ? ExtractFileName(path) : storedName;
  for (wchar_t& c : entryName) {
    if (c == L'\\') c = L'/';
  }
  // Opened here only to learn that it can be read and how large it is.
  TZipInputFile file;
  std::int64_t size = 0;
  if (!file.Open(path) || !file.Size(size)) {
    Fail({entryName, TZipFailureKind::FileOpen, 0, file.LastError});
    return false;
  }
  auto* source = new TFileSource;
  source->Path = path;
  source->EntryName = entryName;
  source->Number = number;
  source->Size = size;
  source->WriteTime = file.WriteTime();
  source->Hooks = &State->Hooks;
  // An empty file is stored; libzip does that itself.
  source->Predeflated = source->Size > 0 && source->Size <= TZipWriter::WholeDeflateLimit;
  zip_error_init(&source->Error);

  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* zipSource = zip_source_function_create(&TFileSource::Callback, source, &error);
  if (!zipSource) {
    zip_error_fini(&source->Error);
    delete source;
    const int code = zip_error_code_zip(&error);
    zip_error_fini(&error);
    Fail({entryName, TZipFailureKind::Library, code, 0});
    return false;
  }
  zip_error_fini(&error);
  const std::string name = ToUtf8(entryName);
  const zip_int64_t index = zip_file_add(State->Archive, name.c_str(), zipSource, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8);
  if (index < 0) {
    zip_source_free(zipSource);
    Fail({entryName, TZipFailureKind::Library, zip_error_code_zip(zip_get_error(State->Archive)), 0});
    return false;
  }
  zip_set_file_compression(State->Archive, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, 9);
  return true;
}

bool TZipWriter::Save() {
  if (!State->Archive) return true;
  WasCancelled = false;
  State->Hooks.HasFailure = false;
  if (zip_close(State->Archive) == 0) {
    State->Archive = nullptr;
    return true;
  }
  // libzip removes its temporary file: no part of the archive is left.
  const int code = zip_error_code_zip(zip_get_error(State->Archive));
  zip_discard(State->Archive);
  State->Archive = nullptr;
  if (WasCancelled) return false;
  Fail(State->Hooks.HasFailure ? State->Hooks.Failure : TZipFailure{std::wstring(), TZipFailureKind::Library, code, 0});
  return false;
}

struct TZipReader::TState {
  zip_t* Archive = nullptr;
};

TZipReader::TZipReader(const std::wstring& fileName) : State(std::make_unique<TState>()), ArchiveName(fileName) {
  State->Archive = OpenArchive(fileName, ZIP_RDONLY);
}

TZipReader::~TZipReader() {
  if (State->Archive) zip_discard(State->Archive);
}

int TZipReader::EntryCount() const { return static_cast<int>(zip_get_num_entries(State->Archive, 0)); }

std::wstring TZipReader::EntryName(int index) const {
  return FromUtf8(zip_get_name(State->Archive, static_cast<zip_uint64_t>(index), 0));
}

std::int64_t TZipReader::Locate(const std::wstring& name) const {
  const std::string utf8 = ToUtf8(name);
  return zip_name_locate(State->Archive, utf8.c_str(), ZIP_FL_NOCASE | ZIP_FL_NODIR);
}

bool TZipReader::HasEntry(const std::wstring& name) const { return Locate(name) >= 0; }

std::uint32_t TZipReader::EntryCrc(const std::wstring& name) const {
  const std::int64_t index = Locate(name);
  zip_stat_t stat;
  if (index < 0 || zip_stat_index(State->Archive, static_cast<zip_uint64_t>(index), 0, &stat) != 0)
    RaiseZip(ZIP_ER_NOENT, ArchiveName + L": " + name);
  return stat.crc;
}

TZipEntryInfo TZipReader::EntryInfo(const std::wstring& name) const {
  const std::int64_t index = Locate(name);
  zip_stat_t stat;
  if (index < 0 || zip_stat_index(State->Archive, static_cast<zip_uint64_t>(index), 0, &stat) != 0)
    RaiseZip(ZIP_ER_NOENT, ArchiveName + L": " + name);
  TZipEntryInfo info;
  if (stat.valid & ZIP_STAT_NAME) info.StoredName = FromUtf8(stat.name);
  if (stat.valid & ZIP_STAT_CRC) info.Crc = stat.crc;
  if (stat.valid & ZIP_STAT_SIZE) info.Size = static_cast<std::int64_t>(stat.size);
  if ((stat.valid & ZIP_STAT_MTIME) && stat.mtime > 0) info.ModifiedTime = static_cast<std::int64_t>(stat.mtime);
  return info;
}

void TZipReader::ExtractToStream(const std::wstring& name, TStream& stream) {
  const std::wstring subject = ArchiveName + L": " + name;
  const std::uint32_t expected = EntryCrc(name);
  zip_file_t* entry = zip_fopen_index(State->Archive, static_cast<zip_uint64_t>(Locate(name)), 0);
  if (!entry) RaiseZip(zip_error_code_zip(zip_get_error(State->Archive)), subject);

  // Large blocks: each one is a system write for the caller's file.
  std::vector<std::uint8_t> buffer(1 << 20);
  std::uint32_t crc = 0xFFFFFFFFu;
  for (;;) {
    const zip_int64_t got = zip_fread(entry, buffer.data(), buffer.size());
    if (got < 0) {
      const int code = zip_error_code_zip(zip_file_get_error(entry));
      zip_fclose(entry);
      RaiseZip(code, subject);
    }
    if (got == 0) break;
    crc = UpdateCrc32(buffer.data(), static_cast<std::size_t>(got), crc);
    try {
      stream.WriteBuffer(buffer.data(), static_cast<std::size_t>(got));
    } catch (...) {
      zip_fclose(entry);
      throw;
    }
  }
  // libzip may report a bad CRC only here, once the whole entry was read.
  const int closed = zip_fclose(entry);
  if (closed != 0) RaiseZip(closed, subject);
  if (~crc != expected) RaiseZip(ZIP_ER_CRC, subject);
}

void TZipReader::ExtractToFile(const std::wstring& name, const std::wstring& fileName) {
  auto file = std::make_unique<TFileStream>(fileName, TFileStream::Mode::Create);
  try {
    ExtractToStream(name, *file);
  } catch (...) {
    file.reset();
    std::error_code ignored;
    std::filesystem::remove(FileSystemPath(fileName), ignored);
    throw;
  }
}
