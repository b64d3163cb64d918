#include "setup/distribution/ZipArchive.h"

#include <gtest/gtest.h>
#include <zip.h>
#include <zlib.h>

#include <atomic>
#include <cstring>
#include <random>
#include <vector>

#include "platform/Win.h"
#include "setup/distribution/Crc_32.h"
#include "setup/distribution/Stream.h"
#include "support/TestSupport.h"

using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {
std::string RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (auto& c : bytes) c = static_cast<char>(random());
  return bytes;
}

std::string Compressible(std::size_t size) {
  std::string text;
  while (text.size() < size) text += "Tavrel media server line of text, repeated. ";
  text.resize(size);
  return text;
}

std::string Extract(TZipReader& reader, const std::wstring& name) {
  TMemoryStream stream;
  reader.ExtractToStream(name, stream);
  return std::string(stream.Bytes().begin(), stream.Bytes().end());
}

std::uint32_t Crc(const std::string& bytes) { return ~UpdateCrc32(bytes.data(), bytes.size(), 0xFFFFFFFFu); }

void PutLe32(std::string& bytes, std::size_t offset, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<char>(value >> (8 * i));
}
}  // namespace

TEST(ZipArchive, StoresBareNamesDeflatedAndReadsThemBackWithTheirCrc) {
  TempDir dir("zip");
  std::filesystem::create_directories(dir.path() / "sub" / "deeper");
  const std::vector<std::pair<std::wstring, std::string>> files = {
      {L"sub\\deeper\\Text.TXT", Compressible(300000)},
      {L"sub\\random.bin", RandomBytes(70000, 1)},
      {L"empty.dat", std::string()},
  };
  for (const auto& [name, bytes] : files) WriteFile(dir.path() / name, bytes);

  std::vector<std::wstring> written;
  {
    TZipWriter writer(dir.file(L"out.zip"), false);
    writer.OnEntryWritten = [&](int, const std::wstring& name, std::int64_t) {
      written.push_back(name);
      return true;
    };
    for (const auto& [name, bytes] : files) ASSERT_TRUE(writer.AddFile(dir.file(name)));
    ASSERT_TRUE(writer.Save());
  }
  EXPECT_EQ(written, (std::vector<std::wstring>{L"Text.TXT", L"random.bin", L"empty.dat"}));

  int error = 0;
  zip_t* raw = zip_open((dir.path() / "out.zip").string().c_str(), ZIP_RDONLY, &error);
  ASSERT_NE(raw, nullptr);
  for (zip_int64_t i = 0; i < zip_get_num_entries(raw, 0); ++i) {
    zip_stat_t stat;
    ASSERT_EQ(zip_stat_index(raw, i, 0, &stat), 0);
    EXPECT_EQ(std::string(stat.name).find_first_of("/\\"), std::string::npos) << stat.name;
    if (stat.size > 0) {
      EXPECT_EQ(stat.comp_method, ZIP_CM_DEFLATE) << stat.name;
    }
  }
  zip_discard(raw);

  TZipReader reader(dir.file(L"out.zip"));
  EXPECT_EQ(reader.EntryCount(), 3);
  for (const auto& [name, bytes] : files) {
    const std::wstring bare = name.substr(name.find_last_of(L'\\') + 1);
    EXPECT_EQ(reader.EntryCrc(bare), Crc(bytes));
    EXPECT_EQ(Extract(reader, bare), bytes);
  }
  EXPECT_TRUE(reader.HasEntry(L"TEXT.txt"));
  reader.ExtractToFile(L"random.bin", dir.file(L"copy.bin"));
  EXPECT_EQ(ReadFile(dir.path() / "copy.bin"), files[1].second);
}

namespace {
// The size of the best raw deflate stream zlib makes of the bytes.
std::size_t ZlibBestSize(const std::string& bytes) {
  z_stream z{};
  if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 9, Z_DEFAULT_STRATEGY) != Z_OK) return 0;
  std::vector<unsigned char> out(deflateBound(&z, static_cast<uLong>(bytes.size())));
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  z.avail_in = static_cast<uInt>(bytes.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  const int status = deflate(&z, Z_FINISH);
  const std::size_t size = z.total_out;
  deflateEnd(&z);
  return status == Z_STREAM_END ? size : 0;
}

// The Unix path of a file (the test runs under Wine), for a native program.
std::wstring UnixPath(const std::wstring& path) {
  using TUnixName = char*(__cdecl*)(const wchar_t*);
  const auto unixName = reinterpret_cast<TUnixName>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (!unixName) return {};
  char* name = unixName(path.c_str());
  if (!name) return {};
  std::wstring result(name, name + std::strlen(name));
  ::HeapFree(::GetProcessHeap(), 0, name);
  return result;
}

// Runs a native shell command from under Wine and returns its exit code;
// -1 when it cannot be started or has not ended within a minute. Wine gives
// no waitable handle of a native process: the shell writes the code into a
// file of the folder.
int RunNative(const TempDir& dir, const std::wstring& command) {
  const std::wstring codeFile = UnixPath(dir.file(L"exit-code.txt"));
  if (codeFile.empty()) return -1;
  testsupport::ChildProcess shell;
  if (!shell.Start(L"Z:\\bin\\sh -c \"" + command + L"; echo $? > '" + codeFile + L".part'; mv '" + codeFile +
                   L".part' '" + codeFile + L"'\"")) {
    return -1;
  }
  for (int i = 0; i < 600; ++i) {
    if (std::filesystem::exists(dir.path() / "exit-code.txt")) return std::stoi(ReadFile(dir.path() / "exit-code.txt"));
    ::Sleep(100);
  }
  return -1;
}

// Text of words in random order, as compressible as a program's texts.
std::string Prose(std::size_t size, unsigned seed) {
  static const char* const Words[] = {"media ", "server ", "Tavrel ", "playlist ", "stream\r\n", "UPnP ",
                                      "DLNA ", "track ", "album ", "library ", "device "};
  std::mt19937 random(seed);
  std::string text;
  while (text.size() < size) text += Words[random() % std::size(Words)];
  text.resize(size);
  return text;
}
}  // namespace

// Files up to the whole-file limit are deflated by libdeflate (smaller than
// zlib's best), larger ones by zlib as they stream; either way the archive
// reads back here, in libzip and in Info-ZIP's unzip, CRCs checked.
TEST(ZipArchive, WholeFileAndStreamedDeflateReadBackEverywhere) {
  TempDir dir("zip");
  const std::vector<std::pair<std::wstring, std::string>> files = {
      {L"text.txt", Prose(700000, 1) + RandomBytes(3000, 7) + Compressible(5000)},
      {L"random.bin", RandomBytes(1500000, 2)},
      {L"tiny.txt", "tiny"},
      // Repetitive, for libdeflate's and zlib's best levels to be quick.
      {L"limit.bin", Compressible(static_cast<std::size_t>(TZipWriter::WholeDeflateLimit))},
      {L"large.bin", Compressible(static_cast<std::size_t>(TZipWriter::WholeDeflateLimit) + 1)},
  };
  for (const auto& [name, bytes] : files) WriteFile(dir.path() / name, bytes);
  {
    TZipWriter writer(dir.file(L"out.zip"), false);
    for (const auto& [name, bytes] : files) ASSERT_TRUE(writer.AddFile(dir.file(name)));
    ASSERT_TRUE(writer.Save());
  }

  int error = 0;
  zip_t* raw = zip_open((dir.path() / "out.zip").string().c_str(), ZIP_RDONLY, &error);
  ASSERT_NE(raw, nullptr);
  for (const auto& [name, bytes] : files) {
    const std::string bare(name.begin(), name.end());
    SCOPED_TRACE(bare);
    zip_stat_t stat;
    ASSERT_EQ(zip_stat(raw, bare.c_str(), 0, &stat), 0);
    EXPECT_EQ(stat.comp_method, ZIP_CM_DEFLATE);
    EXPECT_EQ(stat.size, bytes.size());
    EXPECT_EQ(stat.crc, Crc(bytes));
    const std::size_t zlib = ZlibBestSize(bytes);
    if (bare == "large.bin") {
      EXPECT_GE(stat.comp_size, zlib - zlib / 1000) << "streamed through zlib at its best level";
    } else if (bare == "random.bin") {
      EXPECT_LE(stat.comp_size, bytes.size() + bytes.size() / 1000) << "incompressible data stays its size";
    } else if (bare == "text.txt") {
      EXPECT_LT(stat.comp_size, zlib - zlib / 50) << "deflated whole by libdeflate, 2 % smaller at least";
    }
    zip_file_t* entry = zip_fopen(raw, bare.c_str(), 0);
    ASSERT_NE(entry, nullptr);
    std::string content(bytes.size() + 1, '\0');
    const zip_int64_t got = zip_fread(entry, content.data(), content.size());
    EXPECT_EQ(zip_fclose(entry), 0);
    ASSERT_EQ(got, static_cast<zip_int64_t>(bytes.size()));
    content.resize(bytes.size());
    EXPECT_TRUE(content == bytes);
  }
  zip_discard(raw);

  TZipReader reader(dir.file(L"out.zip"));
  for (const auto& [name, bytes] : files) {
    EXPECT_EQ(reader.EntryCrc(name), Crc(bytes));
    EXPECT_TRUE(Extract(reader, name) == bytes);
  }

  if (::GetFileAttributesW(L"Z:\\usr\\bin\\unzip") == INVALID_FILE_ATTRIBUTES) GTEST_SKIP() << "no Info-ZIP unzip";
  const std::wstring archive = UnixPath(dir.file(L"out.zip"));
  ASSERT_FALSE(archive.empty());
  EXPECT_EQ(RunNative(dir, L"unzip -tqq '" + archive + L"'"), 0) << "unzip -t found a fault";
}

TEST(ZipArchive, AFileThatCannotBeOpenedFailsAloneAndTheRestIsSaved) {
  TempDir dir("zip");
  WriteFile(dir.path() / "good.txt", "good");
  std::vector<TZipFailure> failures;
  {
    TZipWriter writer(dir.file(L"out.zip"), true);
    writer.OnFailure = [&](const TZipFailure& failure) { failures.push_back(failure); };
    EXPECT_FALSE(writer.AddFile(dir.file(L"missing.txt")));
    EXPECT_TRUE(writer.AddFile(dir.file(L"good.txt")));
  }  // auto-saved
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].EntryName, L"missing.txt");
  EXPECT_EQ(failures[0].Kind, TZipFailureKind::FileOpen);
  EXPECT_EQ(failures[0].SystemError, static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));

  TZipReader reader(dir.file(L"out.zip"));
  EXPECT_EQ(reader.EntryCount(), 1);
  EXPECT_EQ(Extract(reader, L"good.txt"), "good");

  TZipWriter strict(dir.file(L"strict.zip"), false);
  EXPECT_THROW(strict.AddFile(dir.file(L"missing.txt")), EZipError);
}

TEST(ZipArchive, ACancelledSaveWritesNothing) {
  TempDir dir("zip");
  WriteFile(dir.path() / "a.txt", "a");
  WriteFile(dir.path() / "b.txt", "b");
  TZipWriter writer(dir.file(L"out.zip"), false);
  writer.OnEntryWritten = [](int, const std::wstring& name, std::int64_t) { return name != L"b.txt"; };
  writer.AddFile(dir.file(L"a.txt"));
  writer.AddFile(dir.file(L"b.txt"));
  EXPECT_FALSE(writer.Save());
  EXPECT_TRUE(writer.Cancelled());
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "out.zip"));

  // The same through the flag another thread sets, and before a file is opened.
  std::atomic<bool> flag{true};
  TZipWriter flagged(dir.file(L"flag.zip"), false);
  flagged.SetCancelFlag(&flag);
  flagged.AddFile(dir.file(L"a.txt"));
  EXPECT_FALSE(flagged.Save());
  EXPECT_TRUE(flagged.Cancelled());
  TZipWriter opening(dir.file(L"opening.zip"), false);
  opening.OnEntryOpening = [](int file, const std::wstring&) { return file == 0; };
  opening.AddFile(dir.file(L"a.txt"));
  opening.AddFile(dir.file(L"b.txt"));
  EXPECT_FALSE(opening.Save());
  EXPECT_TRUE(opening.Cancelled());
  for (const char* name : {"flag.zip", "opening.zip"}) EXPECT_FALSE(std::filesystem::exists(dir.path() / name)) << name;
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2) << "no temporary file is left";
}

namespace {
// True when nothing else holds the file open: an open without sharing fails
// while any other handle to it is open.
bool OpenNowhereElse(const std::wstring& path) {
  HANDLE handle = ::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  ::CloseHandle(handle);
  return true;
}
}  // namespace

// A file is open only while its content is read: not between AddFile and
// Save, and not while another entry is written. The numbers the callbacks
// give are those of the AddFile calls, failed ones counted.
TEST(ZipArchive, HoldsEachFileOpenOnlyWhileItIsRead) {
  TempDir dir("zip");
  std::vector<std::wstring> paths;
  for (int i = 0; i < 4; ++i) {
    paths.push_back(dir.file(L"f" + std::to_wstring(i) + L".bin"));
    WriteFile(std::filesystem::path(paths.back()), RandomBytes(20000, static_cast<unsigned>(i)));
  }
  TZipWriter writer(dir.file(L"out.zip"), false);
  std::vector<TZipFailure> failures;
  writer.OnFailure = [&](const TZipFailure& failure) { failures.push_back(failure); };
  // In the order of the AddFile calls; the second one fails.
  const std::vector<std::wstring> added = {paths[0], dir.file(L"missing.bin"), paths[1], paths[2], paths[3]};
  auto othersFree = [&](const std::wstring& current) {
    for (const std::wstring& path : paths) {
      if (path != current && !OpenNowhereElse(path)) return false;
    }
    return true;
  };
  std::vector<std::string> calls;
  writer.OnEntryOpening = [&](int file, const std::wstring&) {
    calls.push_back("open " + std::to_string(file));
    EXPECT_TRUE(othersFree(L"")) << file;
    return true;
  };
  writer.OnEntryWritten = [&](int file, const std::wstring&, std::int64_t size) {
    calls.push_back("read " + std::to_string(file) + " " + std::to_string(size));
    EXPECT_TRUE(othersFree(added[file])) << file;
    EXPECT_FALSE(OpenNowhereElse(added[file])) << "the file being read is open";
    return true;
  };
  for (std::size_t i = 0; i < added.size(); ++i) EXPECT_EQ(writer.AddFile(added[i]), i != 1) << i;
  EXPECT_TRUE(othersFree(L"")) << "added files are closed until the archive is saved";
  ASSERT_TRUE(writer.Save());
  EXPECT_TRUE(othersFree(L""));
  EXPECT_EQ(calls, (std::vector<std::string>{"open 0", "read 0 20000", "open 2", "read 2 20000", "open 3",
                                             "read 3 20000", "open 4", "read 4 20000"}));
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(TZipReader(dir.file(L"out.zip")).EntryCount(), 4);
}

// A file that goes away between AddFile and Save fails the whole archive
// with its name and the system's reason: no archive without it is written.
TEST(ZipArchive, AFileGoneBeforeTheSaveLeavesNoArchive) {
  TempDir dir("zip");
  WriteFile(dir.path() / "a.txt", "a");
  WriteFile(dir.path() / "gone.txt", "b");
  TZipWriter writer(dir.file(L"out.zip"), false);
  std::vector<TZipFailure> failures;
  writer.OnFailure = [&](const TZipFailure& failure) { failures.push_back(failure); };
  ASSERT_TRUE(writer.AddFile(dir.file(L"a.txt")));
  ASSERT_TRUE(writer.AddFile(dir.file(L"gone.txt")));
  std::filesystem::remove(dir.path() / "gone.txt");
  EXPECT_FALSE(writer.Save());
  EXPECT_FALSE(writer.Cancelled());
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].EntryName, L"gone.txt");
  EXPECT_EQ(failures[0].Kind, TZipFailureKind::FileOpen);
  EXPECT_EQ(failures[0].SystemError, static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "out.zip"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1) << "no temporary file is left";
}

// A file deflated whole that changes length between its adding and its
// reading: one that has grown (a log written to meanwhile) is taken as long
// as it was when added, so that a file growing without end cannot fill the
// memory; one that has shrunk is taken as it is now. Either way the entry's
// size and CRC describe what it holds.
TEST(ZipArchive, AFileThatChangesLengthBeforeItIsReadIsTakenAsLongAsItWasAtMost) {
  const std::string first = Compressible(300000);
  const struct {
    const char* Name;
    std::string Now;
    std::string Expected;
  } cases[] = {
      {"grown", first + RandomBytes(2 * 1024 * 1024, 3), first},
      {"shrunk", first.substr(0, 1000), first.substr(0, 1000)},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.Name);
    TempDir dir("zip");
    WriteFile(dir.path() / "log.txt", first);
    {
      TZipWriter writer(dir.file(L"out.zip"), false);
      ASSERT_TRUE(writer.AddFile(dir.file(L"log.txt")));
      writer.OnEntryOpening = [&](int, const std::wstring&) {
        WriteFile(dir.path() / "log.txt", test.Now);
        return true;
      };
      ASSERT_TRUE(writer.Save());
    }
    TZipReader reader(dir.file(L"out.zip"));
    EXPECT_EQ(reader.EntryCrc(L"log.txt"), Crc(test.Expected));
    EXPECT_TRUE(Extract(reader, L"log.txt") == test.Expected);
  }
}

// More entries in one archive than the process may hold files open at once
// (each entry a file of its own to the system: the same file under 21,000
// names, which keeps the fixture small).
TEST(ZipArchive, AnArchiveOfManyFilesNeedsNoMoreOpenFiles) {
  TempDir dir("zip");
  constexpr int Entries = 21000;
  WriteFile(dir.path() / "one.txt", "one file");
  {
    TZipWriter writer(dir.file(L"many.zip"), false);
    for (int i = 0; i < Entries; ++i) ASSERT_TRUE(writer.AddFile(dir.file(L"one.txt"), std::to_wstring(i) + L".txt"));
    ASSERT_TRUE(writer.Save());
  }
  TZipReader reader(dir.file(L"many.zip"));
  ASSERT_EQ(reader.EntryCount(), Entries);
  EXPECT_EQ(Extract(reader, L"20999.txt"), "one file");
}

// A corrupted entry never reads back as good data: a recorded CRC that does
// not match (found only once the entry was read whole) and damaged deflate
// data both raise, and a failed extraction to a file leaves no file.
TEST(ZipArchive, CorruptedEntriesRaise) {
  TempDir dir("zip");
  const std::string content = Compressible(200000);
  WriteFile(dir.path() / "data.txt", content);
  {
    TZipWriter writer(dir.file(L"good.zip"), false);
    writer.AddFile(dir.file(L"data.txt"));
    ASSERT_TRUE(writer.Save());
  }
  const std::string good = ReadFile(dir.path() / "good.zip");
  ASSERT_EQ(good.compare(0, 4, "PK\x03\x04"), 0);
  const std::size_t central = good.find("PK\x01\x02");
  ASSERT_NE(central, std::string::npos);

  std::string wrongCrc = good;
  PutLe32(wrongCrc, 14, Crc(content) ^ 1u);
  PutLe32(wrongCrc, central + 16, Crc(content) ^ 1u);
  WriteFile(dir.path() / "crc.zip", wrongCrc);

  std::string damaged = good;
  const std::size_t dataStart = 30 + 8;  // local header and the name "data.txt"
  for (std::size_t i = dataStart + 100; i < dataStart + 140; ++i) damaged[i] = static_cast<char>(damaged[i] ^ 0x5A);
  WriteFile(dir.path() / "damaged.zip", damaged);

  for (const wchar_t* name : {L"crc.zip", L"damaged.zip"}) {
    SCOPED_TRACE(testing::Message() << (name[0] == L'c' ? "crc" : "damaged"));
    TZipReader reader(dir.file(name));
    TMemoryStream sink;
    EXPECT_THROW(reader.ExtractToStream(L"data.txt", sink), EZipError);
    EXPECT_THROW(reader.ExtractToFile(L"data.txt", dir.file(L"out.txt")), EZipError);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "out.txt"));
  }
}

TEST(ZipArchive, MissingArchivesAndEntriesRaise) {
  TempDir dir("zip");
  EXPECT_THROW(TZipReader(dir.file(L"none.zip")), EZipError);
  WriteFile(dir.path() / "not.zip", "this is not an archive at all");
  EXPECT_THROW(TZipReader(dir.file(L"not.zip")), EZipError);

  WriteFile(dir.path() / "a.txt", "a");
  {
    TZipWriter writer(dir.file(L"one.zip"), true);
    writer.AddFile(dir.file(L"a.txt"));
  }
  TZipReader reader(dir.file(L"one.zip"));
  TMemoryStream sink;
  EXPECT_THROW(reader.ExtractToStream(L"b.txt", sink), EZipError);
  EXPECT_FALSE(ZipErrorText(ZIP_ER_CRC).empty());
}
