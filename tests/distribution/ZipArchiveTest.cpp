#include "setup/distribution/ZipArchive.h"

#include <gtest/gtest.h>
#include <zip.h>

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
    writer.OnEntryWritten = [&](const std::wstring& name, std::int64_t) {
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
  writer.OnEntryWritten = [](const std::wstring& name, std::int64_t) { return name != L"b.txt"; };
  writer.AddFile(dir.file(L"a.txt"));
  writer.AddFile(dir.file(L"b.txt"));
  EXPECT_FALSE(writer.Save());
  EXPECT_TRUE(writer.Cancelled());
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "out.zip"));
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
