#include "setup/distribution/StreamHelper.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace {

std::vector<std::uint8_t> Bytes(std::initializer_list<int> values) {
  std::vector<std::uint8_t> out;
  for (int v : values) out.push_back(static_cast<std::uint8_t>(v));
  return out;
}

TEST(StreamHelper, WritesTheDocumentedBytes) {
  TMemoryStream stream;
  TStreamHelper writer(nullptr, &stream);
  writer.WriteInteger(-2);
  writer.WriteString(L"\u0410b");
  writer.WriteString(L"");
  writer.WriteStrings(std::vector<std::pair<std::wstring, std::int32_t>>{{L"x", 0x01020304}});
  EXPECT_EQ(stream.Bytes(), Bytes({0xFE, 0xFF, 0xFF, 0xFF,                          // -2
                                   0x02, 0, 0, 0, 0x10, 0x04, 0x62, 0x00,          // "Аb"
                                   0, 0, 0, 0,                                     // ""
                                   1, 0, 0, 0, 1, 0, 0, 0, 0x78, 0, 4, 3, 2, 1})); // 1 entry, object
}

TEST(StreamHelper, ReadsBackWhatItWrote) {
  TMemoryStream stream;
  TStreamHelper writer(nullptr, &stream);
  const std::vector<std::wstring> lines = {L"[SystemRuntimeMessages]", L"rsButtonYes=\u0414\u0430", L""};
  writer.WriteStrings(lines);
  writer.WriteInteger(0x7FFFFFFF);
  stream.SetPosition(0);

  int owner = 0;
  TStreamHelper reader(&owner, &stream);
  std::vector<std::wstring> read = {L"old entry"};
  reader.ReadStrings(read);
  EXPECT_EQ(read, lines);
  EXPECT_EQ(reader.LastInteger, 3);
  EXPECT_EQ(reader.ReadCount(), 0x7FFFFFFF);
  EXPECT_EQ(reader.LastInteger, 0x7FFFFFFF);
  EXPECT_EQ(reader.Owner, &owner);
  EXPECT_THROW(reader.ReadInteger(), EStreamError);
}

// Lengths and counts come from files: none may read past the end or make
// the reader allocate what the stream cannot hold.
TEST(StreamHelper, DamagedLengthsAndCountsRaiseBeforeAllocating) {
  struct Case {
    const char* what;
    std::vector<std::uint8_t> bytes;
    bool strings;
  } cases[] = {
      {"truncated integer", Bytes({1, 2, 3}), false},
      {"negative length", Bytes({0xFF, 0xFF, 0xFF, 0xFF}), false},
      {"length past the end", Bytes({3, 0, 0, 0, 0x41, 0, 0x42, 0}), false},
      {"huge length", Bytes({0xFF, 0xFF, 0xFF, 0x7F, 0x41, 0}), false},
      {"negative count", Bytes({0xFF, 0xFF, 0xFF, 0xFF}), true},
      {"huge count", Bytes({0xFF, 0xFF, 0xFF, 0x7F, 0, 0, 0, 0}), true},
      {"count beyond the entries", Bytes({2, 0, 0, 0, 0, 0, 0, 0}), true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TMemoryStream stream(c.bytes);
    TStreamHelper reader(nullptr, &stream);
    std::vector<std::wstring> list;
    if (c.strings) {
      EXPECT_THROW(reader.ReadStrings(list), EStreamError);
    } else {
      EXPECT_THROW(reader.ReadString(), EStreamError);
    }
  }
}

TEST(StreamHelper, MemoryHelperLoadsAFileAndRewinds) {
  testsupport::TempDir dir("sh");
  const auto file = dir.path() / "x.bin";
  testsupport::WriteFile(file, std::string("\x05\x00\x00\x00", 4));
  TMemoryStreamHelper helper(nullptr);
  helper.Memory().WriteBuffer("junk", 4);
  helper.LoadFromFile(file.wstring());
  EXPECT_EQ(helper.Stream->Position(), 0);
  EXPECT_EQ(helper.Stream->Size(), 4);
  EXPECT_EQ(helper.ReadInteger(), 5);
  EXPECT_THROW(helper.LoadFromFile((dir.path() / "missing").wstring()), EStreamError);
}

}  // namespace
