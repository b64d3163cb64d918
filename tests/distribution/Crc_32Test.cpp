#include "setup/distribution/Crc_32.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/PlatformIntfTypes.h"
#include "setup/distribution/Stream.h"
#include "support/PlatformToolsForwarder.h"
#include "support/TestSupport.h"

namespace {

std::uint32_t ZlibCrc(const std::string& bytes) {
  return static_cast<std::uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

// Bytes that differ along the whole file, so that a skipped or repeated
// chunk changes the result.
std::string Pattern(std::size_t size) {
  std::string bytes(size, '\0');
  std::uint32_t x = 12345;
  for (auto& b : bytes) {
    x = x * 1103515245u + 12345u;
    b = static_cast<char>(x >> 24);
  }
  return bytes;
}

TEST(Crc32, StepsChainToTheStandardCheckValue) {
  const std::string text = "123456789";
  EXPECT_EQ(~UpdateCrc32(text.data(), text.size(), 0xFFFFFFFFu), 0xCBF43926u);
  const std::uint32_t half = UpdateCrc32(text.data(), 4, 0xFFFFFFFFu);
  EXPECT_EQ(~UpdateCrc32(text.data() + 4, 5, half), 0xCBF43926u);
  EXPECT_EQ(UpdateCrc32(text.data(), 0, 0x12345678u), 0x12345678u);
}

TEST(Crc32, AgreesWithZlibForEveryShortLengthAtEveryAlignment) {
  std::mt19937 random(20261211);
  std::vector<unsigned char> bytes(4096 + 16);
  for (auto& b : bytes) b = static_cast<unsigned char>(random());
  for (std::size_t start = 0; start < 16; ++start) {
    const unsigned char* data = bytes.data() + start;
    for (std::size_t length = 0; length <= 4096; ++length) {
      const auto expected = static_cast<std::uint32_t>(crc32(0, data, static_cast<uInt>(length)));
      ASSERT_EQ(~UpdateCrc32(data, length, 0xFFFFFFFFu), expected) << "start " << start << " length " << length;
      // Chained in two steps, the second one starting anywhere.
      const std::size_t split = length / 3;
      ASSERT_EQ(~UpdateCrc32(data + split, length - split, UpdateCrc32(data, split, 0xFFFFFFFFu)), expected)
          << "start " << start << " length " << length;
    }
  }
}

TEST(Crc32, HexIsEightUpperCaseDigits) {
  EXPECT_EQ(CrcToHex(0x0A1B2C3Du), L"0A1B2C3D");
  EXPECT_EQ(CrcToHex(0), L"00000000");
  EXPECT_EQ(CrcToHex(0xFFFFFFFFu), L"FFFFFFFF");
}

TEST(Crc32, StreamIsReadFromItsStart) {
  const std::string bytes = Pattern(200000);
  TMemoryStream stream(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
  stream.SetPosition(stream.Size());
  EXPECT_EQ(StreamCrc32(stream), ZlibCrc(bytes));
  TMemoryStream empty;
  EXPECT_EQ(StreamCrc32(empty), 0u);
}

TEST(Crc32, FilesOnBothSidesOfTheStreamingLimitAgreeWithZlib) {
  testsupport::TempDir dir("crc");
  for (std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{29999999}, std::size_t{30000000},
                           std::size_t{30000000 + 65536 + 7}}) {
    SCOPED_TRACE(size);
    const auto file = dir.path() / "data.bin";
    const std::string bytes = Pattern(size);
    testsupport::WriteFile(file, bytes);
    EXPECT_EQ(FileCrc32(file.wstring()), ZlibCrc(bytes));
  }
  EXPECT_EQ(FileCrc32((dir.path() / "missing.bin").wstring()), 0u);
  EXPECT_EQ(FileCrc32(dir.path().wstring()), 0u) << "a folder is not a file";
}

// One reader over files of sizes around its block size, small and large
// mixed: each file starts from a clean sum whatever the blocks before it
// left in the reader's buffer.
TEST(Crc32, OneReaderSumsFilesOfEverySizeAroundItsBlocks) {
  testsupport::TempDir dir("crc");
  constexpr std::size_t Block = TFileCrcReader::BlockSize;
  std::vector<std::pair<std::wstring, std::string>> files;
  for (std::size_t size : {Block + 1, std::size_t{0}, Block - 1, Block, std::size_t{5}, 2 * Block, 3 * Block + 17,
                           4 * Block, 4 * Block + 1, 5 * Block - 1, std::size_t{1}, 9 * Block + 4096}) {
    const auto file = dir.path() / ("data" + std::to_string(files.size()) + ".bin");
    files.emplace_back(file.wstring(), Pattern(size + 7).substr(7));
    testsupport::WriteFile(file, files.back().second);
  }
  const std::string last = Pattern(3 * Block);
  testsupport::WriteFile(dir.path() / "last.bin", last);
  TFileCrcReader reader;
  for (const auto& [file, bytes] : files) {
    SCOPED_TRACE(bytes.size());
    const TFileSum sum = reader.Sum(file);
    EXPECT_TRUE(sum.Found);
    EXPECT_EQ(sum.Length, static_cast<std::int64_t>(bytes.size()));
    EXPECT_EQ(sum.Crc, ZlibCrc(bytes));
  }
  EXPECT_FALSE(reader.Sum((dir.path() / "missing.bin").wstring()).Found);
  EXPECT_FALSE(reader.Sum(dir.path().wstring()).Found) << "a folder is not a file";
  EXPECT_EQ(reader.FileCrc32((dir.path() / "last.bin").wstring()), ZlibCrc(last)) << "after a missing file";
}

// The platform tools of the process for the scope, counting the files the
// reader opens and closes and the bytes it reads; the read numbered FailRead
// (from 1) fails as a damaged disk would.
class TReadWatch : public TPlatformToolsForwarder {
public:
  TReadWatch() : TPlatformToolsForwarder(RefPtr<IPlatformTools>(&PlatformTools())) {}
  Handle OpenFileHandle(const std::wstring& path, std::uint8_t openMode, bool openExisting) override {
    const Handle handle = TPlatformToolsForwarder::OpenFileHandle(path, openMode, openExisting);
    if (handle != InvalidHandle) ++Open;
    return handle;
  }
  void CloseHandleAndReset(Handle& handle) override {
    if (handle != InvalidHandle) --Open;
    TPlatformToolsForwarder::CloseHandleAndReset(handle);
  }
  bool ReadFileData(Handle file, void* buffer, std::uint32_t count, std::uint32_t& read) override {
    if (++Reads == FailRead) {
      read = 0;
      SetLastError(23);  // ERROR_CRC: the disk's data error
      return false;
    }
    const bool ok = TPlatformToolsForwarder::ReadFileData(file, buffer, count, read);
    BytesRead += read;
    return ok;
  }
  int Open = 0;
  int Reads = 0;
  int FailRead = 0;
  std::int64_t BytesRead = 0;
};

struct TWatchedPlatform {
  TWatchedPlatform() : Watch(new TReadWatch), Previous(SetPlatformTools(RefPtr<IPlatformTools>(Watch))) {}
  ~TWatchedPlatform() { SetPlatformTools(Previous); }
  TReadWatch* Watch;
  RefPtr<IPlatformTools> Previous;
};

// A read that fails half-way through a file is an error naming it, not a
// short or a missing file; a progress handler that raises gives up a long
// file before its end. Either way the file is closed and the reader sums
// the next file whole.
TEST(Crc32, AFailedReadOrAGivenUpSumClosesTheFileAndTheReaderGoesOn) {
  testsupport::TempDir dir("crc");
  const std::int64_t longSize = 2 * TFileCrcReader::ProgressInterval + 5;
  const std::string bytes = Pattern(static_cast<std::size_t>(longSize));
  const std::wstring file = (dir.path() / "long.bin").wstring();
  testsupport::WriteFile(file, bytes);
  {
    TWatchedPlatform platform;
    TReadWatch& watch = *platform.Watch;
    TFileCrcReader reader;
    int progress = 0;
    reader.OnProgress = [&] { ++progress; };
    EXPECT_EQ(reader.FileCrc32(file), ZlibCrc(bytes));
    EXPECT_EQ(progress, 2) << "once per interval read";

    watch.FailRead = watch.Reads + 3;
    try {
      reader.Sum(file);
      ADD_FAILURE() << "a failed read was not reported";
    } catch (const EStreamError& e) {
      EXPECT_NE(e.Message().find(file), std::wstring::npos) << e.Message();
    }
    EXPECT_EQ(watch.Open, 0);

    reader.OnProgress = [] { throw std::runtime_error("given up"); };
    watch.BytesRead = 0;
    EXPECT_THROW(reader.Sum(file), std::runtime_error);
    EXPECT_EQ(watch.Open, 0);
    EXPECT_LT(watch.BytesRead, TFileCrcReader::ProgressInterval + static_cast<std::int64_t>(TFileCrcReader::BlockSize));

    reader.OnProgress = nullptr;
    const TFileSum sum = reader.Sum(file);
    EXPECT_TRUE(sum.Found);
    EXPECT_EQ(sum.Length, longSize);
    EXPECT_EQ(sum.Crc, ZlibCrc(bytes));
    EXPECT_EQ(watch.Open, 0);
  }
}

#ifdef _WIN32
// A file another process holds without sharing cannot be opened: the error
// names it, and the reader goes on with the next file.
TEST(Crc32, AFileThatCannotBeOpenedIsNamedAndTheReaderGoesOn) {
  testsupport::TempDir dir("crc");
  const std::string bytes = Pattern(3 * TFileCrcReader::BlockSize + 99);
  testsupport::WriteFile(dir.path() / "held.bin", bytes);
  testsupport::WriteFile(dir.path() / "free.bin", bytes);
  const std::wstring held = (dir.path() / "held.bin").wstring();
  TFileCrcReader reader;
  EXPECT_EQ(reader.FileCrc32((dir.path() / "free.bin").wstring()), ZlibCrc(bytes));
  {
    testsupport::ChildProcess holder = testsupport::HoldFileOpen(held, 0);
    try {
      reader.FileCrc32(held);
      ADD_FAILURE() << "a held file was read";
    } catch (const EStreamError& e) {
      EXPECT_NE(e.Message().find(held), std::wstring::npos) << e.Message();
    }
  }
  EXPECT_EQ(reader.FileCrc32((dir.path() / "free.bin").wstring()), ZlibCrc(bytes));
  EXPECT_EQ(reader.FileCrc32(held), ZlibCrc(bytes));
}
#endif

TEST(Crc32, WideStringUsesUtf16LeBytesWithoutFinalInversion) {
  const unsigned char bytes[] = {0x41, 0x00, 0x11, 0x04, 0x3D, 0xD8, 0x00, 0xDE};
  const std::wstring text = std::wstring(L"A\u0411") + (sizeof(wchar_t) == 2 ? std::wstring(L"\xD83D\xDE00")
                                                                                 : std::wstring(1, wchar_t(0x1F600)));
  EXPECT_EQ(WideStringCrc32(text, 0xFFFFFFFFu), UpdateCrc32(bytes, sizeof bytes, 0xFFFFFFFFu));
  EXPECT_EQ(WideStringCrc32(L"", 7u), 7u);
}

}  // namespace
