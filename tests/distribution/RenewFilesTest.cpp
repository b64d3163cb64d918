#include "setup/distribution/diRenewFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "platform/PlatformIntfTypes.h"
#include "setup/messages/FormatText.h"
#include "setup/messages/SetupRuntimeMessages.h"
#include "support/RenewPatchWriter.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
using testsupport::Crc32Of;
using testsupport::MakePatch;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::TPatchRecord;
using testsupport::TRenewPatch;
using testsupport::WriteFile;

namespace {

std::string RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  // Few distinct values, so that zeros and the substitute byte are common.
  for (char& c : bytes) c = static_cast<char>("\x00\x20\x41\xFF\x7F"[random() % 5]);
  return bytes;
}

// The old bytes with a few changes, a cut and an appended tail.
std::string Changed(std::string bytes, unsigned seed) {
  std::mt19937 random(seed);
  for (int i = 0; i < 20 && !bytes.empty(); ++i) bytes[random() % bytes.size()] = static_cast<char>(random());
  bytes.erase(bytes.size() / 3, 17);
  return bytes + "tail of the new version";
}

TMemoryStream StreamOf(const std::string& bytes) {
  return TMemoryStream(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
}

std::wstring Name(const TempDir& dir, const std::string& name) { return (dir.path() / name).wstring(); }

std::vector<std::string> FolderNames(const TempDir& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir.path())) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Applies the patch bytes; the message of what it raised, or empty.
std::wstring ApplyError(const std::wstring& oldName, const std::wstring& newName, const std::string& patch) {
  TMemoryStream stream = StreamOf(patch);
  try {
    ApplyPatch(oldName, newName, stream);
  } catch (const std::exception& e) {
    return ExceptionMessage(e);
  }
  return {};
}

struct TRoundTrip {
  const char* Name;
  std::uint16_t Version;
  bool Compressed;
  std::uint8_t Zero;
  int VarForm;
  std::size_t BlockSize;
  std::size_t GapEvery;
};

TEST(ApplyPatch, WritesTheNewFileForEveryFormOfPatch) {
  const TRoundTrip cases[] = {
      {"stored 0x0100", 0x0100, false, 0, 0, 700, 0},
      {"stored 0x0101 with gaps", 0x0101, false, 0, 0, 300, 40},
      {"compressed 0x0102", 0x0102, true, 0, 0, 1000, 0},
      {"compressed with gaps and zero exchange 0x20", 0x0102, true, 0x20, 0, 256, 300},
      {"stored, zero exchange 0xFF", 0x0100, false, 0xFF, 0, 512, 3},
      {"var numbers as 252 + 1 byte", 0x0102, false, 0, 253, 200, 7},
      {"var numbers as 255 + 4 bytes", 0x0102, true, 0, 255, 5000, 251},
      {"one block for the whole file", 0x0102, true, 0, 0, 1 << 20, 0},
  };
  const std::string oldBytes = RandomBytes(20000, 1);
  const std::string newBytes = Changed(oldBytes, 2);
  for (const TRoundTrip& c : cases) {
    SCOPED_TRACE(c.Name);
    TempDir dir("renew");
    const std::wstring oldName = Name(dir, "old.bin"), newName = Name(dir, "new.bin");
    WriteFile(dir.path() / "old.bin", oldBytes);
    TRenewPatch patch = MakePatch(oldBytes, newBytes, c.BlockSize, c.Compressed, c.Zero, c.GapEvery);
    patch.Version = c.Version;
    patch.VarForm = c.VarForm;
    TMemoryStream stream = StreamOf(patch.Serialize());
    std::vector<int> reported;
    EXPECT_FALSE(ApplyPatch(oldName, newName, stream, [&](int percent) { reported.push_back(percent); }));
    EXPECT_EQ(ReadFile(dir.path() / "new.bin"), newBytes);
    EXPECT_EQ(ReadFile(dir.path() / "old.bin"), oldBytes);
    EXPECT_EQ(FolderNames(dir), (std::vector<std::string>{"new.bin", "old.bin"})) << "no temporary file is left";
    ASSERT_FALSE(reported.empty());
    EXPECT_EQ(reported.front(), 0);
    EXPECT_EQ(reported.back(), 100);
    EXPECT_TRUE(std::is_sorted(reported.begin(), reported.end()));
  }
}

TEST(ApplyPatch, PatchesAFileInPlaceAndIntoAMissingFolder) {
  const std::string oldBytes = RandomBytes(5000, 3);
  const std::string newBytes = Changed(oldBytes, 4);
  const std::string patch = MakePatch(oldBytes, newBytes, 400, true).Serialize();
  TempDir dir("renew");
  WriteFile(dir.path() / "same.bin", oldBytes);
  // Old and new name the same file: read whole before it is replaced.
  TMemoryStream stream = StreamOf(patch);
  EXPECT_FALSE(ApplyPatch(Name(dir, "same.bin"), Name(dir, "same.bin"), stream));
  EXPECT_EQ(ReadFile(dir.path() / "same.bin"), newBytes);

  WriteFile(dir.path() / "old.bin", oldBytes);
  TMemoryStream again = StreamOf(patch);
  EXPECT_FALSE(ApplyPatch(Name(dir, "old.bin"), (dir.path() / "a" / "b" / "new.bin").wstring(), again));
  EXPECT_EQ(ReadFile(dir.path() / "a" / "b" / "new.bin"), newBytes);

  // A patch whose result is wrong makes no folder either.
  TRenewPatch wrong = MakePatch(oldBytes, newBytes, 400, true);
  wrong.NewCrc ^= 1;
  EXPECT_EQ(ApplyError(Name(dir, "old.bin"), (dir.path() / "c" / "new.bin").wstring(), wrong.Serialize()),
            FormatText(rsRenewNewFileCrcInvalid, {(dir.path() / "c" / "new.bin").wstring()}));
  EXPECT_FALSE(fs::exists(dir.path() / "c"));
}

TEST(ApplyPatch, AnOldFileThatIsAlreadyNewIsLeftAlone) {
  const std::string oldBytes = RandomBytes(3000, 5);
  const std::string newBytes = Changed(oldBytes, 6);
  TRenewPatch good = MakePatch(oldBytes, newBytes, 500, true);
  std::string damaged = good.Serialize();
  damaged.resize(damaged.size() - 40);  // a body that could not be inflated
  damaged += std::string(10, '\xFF');
  for (const std::string& patch : {good.Serialize(), damaged}) {
    TempDir dir("renew");
    WriteFile(dir.path() / "old.bin", newBytes);
    const auto before = fs::last_write_time(dir.path() / "old.bin");
    TMemoryStream stream = StreamOf(patch);
    EXPECT_TRUE(ApplyPatch(Name(dir, "old.bin"), Name(dir, "new.bin"), stream));
    EXPECT_EQ(FolderNames(dir), std::vector<std::string>{"old.bin"});
    EXPECT_EQ(fs::last_write_time(dir.path() / "old.bin"), before);
  }
}

TEST(ApplyPatch, AnEmptyPatchCopiesTheOldFileUnlessTheNamesAreEqual) {
  TempDir dir("renew");
  WriteFile(dir.path() / "Old.bin", "old content");
  TMemoryStream empty;
  // The names differ only in case: nothing happens.
  EXPECT_FALSE(ApplyPatch(Name(dir, "Old.bin"), Name(dir, "OLD.BIN"), empty));
  EXPECT_EQ(FolderNames(dir), std::vector<std::string>{"Old.bin"});
  EXPECT_EQ(ReadFile(dir.path() / "Old.bin"), "old content");
#ifdef _WIN32
  WriteFile(dir.path() / "new.bin", "to be replaced");
  EXPECT_FALSE(ApplyPatch(Name(dir, "Old.bin"), Name(dir, "new.bin"), empty));
  EXPECT_EQ(ReadFile(dir.path() / "new.bin"), "old content");
  // Into a folder that is not there yet, as an update stages its files.
  EXPECT_FALSE(ApplyPatch(Name(dir, "Old.bin"), (dir.path() / "sub" / "deeper" / "new.bin").wstring(), empty));
  EXPECT_EQ(ReadFile(dir.path() / "sub" / "deeper" / "new.bin"), "old content");
  const std::wstring error = ApplyError(Name(dir, "missing.bin"), Name(dir, "other.bin"), "");
  EXPECT_NE(error.find(Name(dir, "other.bin")), std::wstring::npos) << testing::PrintToString(error);
  EXPECT_FALSE(fs::exists(dir.path() / "other.bin"));
#endif
}

// Patches built by hand, record by record, to show single rules of the format.
struct THandPatch {
  const char* Name;
  std::string Old;
  int Width;
  std::vector<TPatchRecord> Records;
  std::string Data;
  std::uint8_t Zero;
  std::string Expected;
};

TEST(ApplyPatch, ReadsBlocksAsTheFormatSays) {
  std::string big(65300, '\0');
  big[65280] = 10;
  big[65281] = 20;
  const THandPatch cases[] = {
      // Count 0: the data image is the new file, after the zero exchange.
      {"no blocks", "abc", 4, {}, std::string("x\0y ", 4), 0x20, std::string("x y\0", 4)},
      {"no blocks, no exchange", "abc", 1, {}, "xyz", 0, "xyz"},
      // W 2: FF FF is no source, 00 FF is offset 65280.
      {"W 2, no source", big, 2, {{-1, 0, 2}}, "AB", 0, "AB"},
      {"W 2, offset 65280", big, 2, {{0xFF00, 1, 2}}, std::string("-\x01\x02", 3), 0, std::string("-\x0B\x16", 3)},
      // The old bytes 20 00 41 are read as 00 20 41 before the differences.
      {"zero exchange in the old image", std::string("\x20\x00\x41", 3), 1, {{0, 0, 3}},
       std::string("\x01\x01\x01", 3), 0x20, std::string("\x01\x21\x42", 3)},
      // Differences wrap around modulo 256; literal bytes in gaps and after the last block.
      {"gaps and a tail", "\xF0\xF1\xF2", 3, {{1, 2, 2}, {0, 1, 1}}, std::string("ab\x10\x10" "c\x20" "de", 8), 0,
       std::string("ab\x01\x02" "c\x10" "de", 8)},
      // A block of length 0 changes nothing.
      {"empty block", "q", 4, {{0, 0, 0}, {-1, 1, 1}}, "mn", 0, "mn"},
  };
  for (const THandPatch& c : cases) {
    SCOPED_TRACE(c.Name);
    TempDir dir("renew");
    WriteFile(dir.path() / "old.bin", c.Old);
    TRenewPatch patch;
    patch.OldSize = static_cast<std::uint32_t>(c.Old.size());
    patch.OldCrc = Crc32Of(c.Old);
    patch.NewSize = static_cast<std::uint32_t>(c.Expected.size());
    patch.NewCrc = Crc32Of(c.Expected);
    patch.Width = c.Width;
    patch.Records = c.Records;
    patch.DataImage = c.Data;
    patch.ZeroSubstitute = c.Zero;
    for (bool compressed : {false, true}) {
      patch.Compressed = compressed;
      EXPECT_EQ(ApplyError(Name(dir, "old.bin"), Name(dir, "new.bin"), patch.Serialize()), L"");
      EXPECT_EQ(ReadFile(dir.path() / "new.bin"), c.Expected);
    }
  }
}

TEST(LoadBlocks, ReadsEveryFormOfVarNumberAndKeepsTheRunningPosition) {
  using testsupport::VarNumber;
  std::string body = std::string("\x03\x04\x00\x00\x00", 5);
  const auto record = [](const std::string& offset, const std::string& gap, const std::string& length) {
    return offset + gap + length;
  };
  body += record(std::string("\x01\x02\x03", 3), VarNumber(251), std::string("\xFC\x05", 2));
  body += record("\xFF\xFF\xFF", VarNumber(0, 252), VarNumber(7, 254));
  body += record(std::string("\x00\x00\x00", 3), std::string("\xFD\x00\x01", 3), VarNumber(0x10000, 255));
  body += record(std::string("\xFE\xFF\xFF", 3), std::string("\xFF\xFF\xFF\xFF\x00", 5), VarNumber(0));
  TMemoryStream stream = StreamOf(body);
  TBlockList blocks;
  blocks.LoadBlocks(stream);
  ASSERT_EQ(blocks.Count(), 4);
  const std::int64_t expected[4][3] = {
      {0x030201, 251, 5},
      {-1, 256, 7},
      {0, 263 + 256, 0x10000},
      {0xFFFFFE, 263 + 256 + 0x10000 + 0xFFFFFF, 0},
  };
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(blocks[i]->OldOffset, expected[i][0]);
    EXPECT_EQ(blocks[i]->NewOffset, expected[i][1]);
    EXPECT_EQ(blocks[i]->Length, expected[i][2]);
  }
  EXPECT_EQ(stream.Remaining(), 0);

  // 255 with four bytes is a full 32-bit value.
  TMemoryStream full = StreamOf(std::string("\x01\x01\x00\x00\x00\xFF", 6) + VarNumber(0xFFFFFFFFu, 255) +
                                VarNumber(0));
  TBlockList one;
  one.LoadBlocks(full);
  EXPECT_EQ(one[0]->NewOffset, 0xFFFFFFFFll);
}

TEST(ApplyPatch, VersionsOfTheFormat) {
  const std::string oldBytes = RandomBytes(1000, 7), newBytes = Changed(oldBytes, 8);
  for (std::uint16_t version : {0x0100, 0x0101, 0x0102, 0x0103, 0x00FF, 0x0200}) {
    SCOPED_TRACE(version);
    TempDir dir("renew");
    WriteFile(dir.path() / "old.bin", oldBytes);
    TRenewPatch patch = MakePatch(oldBytes, newBytes, 100, true);
    patch.Version = version;
    const std::wstring error = ApplyError(Name(dir, "old.bin"), Name(dir, "new.bin"), patch.Serialize());
    if (version <= 0x0102 && version >= 0x0100) {
      EXPECT_EQ(error, L"");
      EXPECT_EQ(ReadFile(dir.path() / "new.bin"), newBytes);
    } else {
      EXPECT_EQ(error, rsRenewFileUnsupportedVersion);
      EXPECT_FALSE(fs::exists(dir.path() / "new.bin"));
    }
  }
}

// Every refusal leaves the target as it was and no temporary file behind.
struct TRefusal {
  const char* Name;
  std::function<void(TRenewPatch&)> Spoil;
  enum { Invalid, Sign, Version, Type, OldCrc, OldSize, NewSize, NewCrc, ReadError } Kind;
  bool Compressed;
};

TEST(ApplyPatch, RefusesABrokenPatchAndLeavesTheTargetUntouched) {
  const std::string oldBytes = RandomBytes(4000, 9), newBytes = Changed(oldBytes, 10);
  using K = decltype(TRefusal::Kind);
  const TRefusal cases[] = {
      {"first signature", [](TRenewPatch& p) { p.Signature ^= 1; }, TRefusal::Sign, true},
      {"data header signature", [](TRenewPatch& p) { p.DataSignature = 0; }, TRefusal::Sign, false},
      {"type", [](TRenewPatch& p) { p.Type = "RDX"; }, TRefusal::Type, true},
      {"source kind", [](TRenewPatch& p) { p.SourceKind = 1; }, TRefusal::Type, false},
      {"old file CRC", [](TRenewPatch& p) { p.OldCrc ^= 1; }, TRefusal::OldCrc, true},
      {"old file size", [](TRenewPatch& p) { p.OldSize += 1; }, TRefusal::OldSize, true},
      {"new file CRC", [](TRenewPatch& p) { p.NewCrc ^= 1; }, TRefusal::NewCrc, true},
      {"W 0", [](TRenewPatch& p) { p.Width = 0; }, TRefusal::Invalid, false},
      {"W 5", [](TRenewPatch& p) { p.Width = 5; }, TRefusal::Invalid, true},
      {"Count negative", [](TRenewPatch& p) { p.Count = -1; }, TRefusal::Invalid, false},
      {"Count beyond the body", [](TRenewPatch& p) { p.Count = 0x7FFFFFFF; }, TRefusal::Invalid, false},
      {"Count beyond the body, compressed", [](TRenewPatch& p) { p.Count = 0x7FFFFFFF; }, TRefusal::Invalid, true},
      {"source beyond the old file", [](TRenewPatch& p) { p.Records[1].OldOffset = 3990; }, TRefusal::Invalid, true},
      {"source at the 32-bit end",
       [](TRenewPatch& p) { p.Records[0].OldOffset = 0xFFFFFFFE; }, TRefusal::Invalid, false},
      {"block beyond the data image",
       [](TRenewPatch& p) { p.Records.back().Length += 1; }, TRefusal::Invalid, false},
      {"gap beyond the data image",
       [](TRenewPatch& p) { p.Records.back().Gap = 0xFFFFFFF0; }, TRefusal::Invalid, true},
      {"data image longer than NewSize", [](TRenewPatch& p) { p.DataImage += "x"; }, TRefusal::NewSize, false},
      {"data image shorter than NewSize", [](TRenewPatch& p) { p.DataImage.pop_back(); }, TRefusal::NewSize, true},
      {"size hint far beyond the body", [](TRenewPatch& p) { p.SizeHint = 0xFFFFFFF0u; }, TRefusal::Invalid, true},
      {"size hint one beyond the body",
       [](TRenewPatch& p) { p.SizeHint = static_cast<std::uint32_t>(p.Body().size() + 1); }, TRefusal::Invalid, true},
      {"size hint short of the body",
       [](TRenewPatch& p) { p.SizeHint = static_cast<std::uint32_t>(p.Body().size() - 1); }, TRefusal::Invalid, true},
      {"size hint of 3 bytes", [](TRenewPatch& p) { p.SizeHint = 3; }, TRefusal::Invalid, true},
  };
  for (const TRefusal& c : cases) {
    SCOPED_TRACE(c.Name);
    TempDir dir("renew");
    WriteFile(dir.path() / "old.bin", oldBytes);
    WriteFile(dir.path() / "new.bin", "the installed file");
    TRenewPatch patch = MakePatch(oldBytes, newBytes, 600, c.Compressed);
    c.Spoil(patch);
    const std::wstring oldName = Name(dir, "old.bin"), newName = Name(dir, "new.bin");
    const std::wstring expected = [&]() -> std::wstring {
      switch (c.Kind) {
        case K::Invalid: return InvalidPatchText(newName);
        case K::Sign: return rsRenewFileSignInvalid;
        case K::Version: return rsRenewFileUnsupportedVersion;
        case K::Type: return rsRenewFileUnsupportedType;
        case K::OldCrc: return FormatText(rsRenewOldFileCrcInvalid, {oldName});
        case K::OldSize: return FormatText(rsRenewOldFileSizeInvalid, {oldName});
        case K::NewSize: return FormatText(rsRenewNewFileSizeInvalid, {newName});
        case K::NewCrc: return FormatText(rsRenewNewFileCrcInvalid, {newName});
        case K::ReadError: break;
      }
      return L"Stream read error";
    }();
    EXPECT_EQ(ApplyError(oldName, newName, patch.Serialize()), expected);
    EXPECT_EQ(ReadFile(dir.path() / "new.bin"), "the installed file");
    EXPECT_EQ(ReadFile(dir.path() / "old.bin"), oldBytes);
    EXPECT_EQ(FolderNames(dir), (std::vector<std::string>{"new.bin", "old.bin"}));
  }
}

TEST(ApplyPatch, RefusesDamagedAndTruncatedPatches) {
  const std::string oldBytes = RandomBytes(4000, 11), newBytes = Changed(oldBytes, 12);
  const std::string stored = MakePatch(oldBytes, newBytes, 600, false).Serialize();
  const std::string compressed = MakePatch(oldBytes, newBytes, 600, true).Serialize();
  TempDir dir("renew");
  WriteFile(dir.path() / "old.bin", oldBytes);
  WriteFile(dir.path() / "new.bin", "the installed file");
  const std::wstring oldName = Name(dir, "old.bin"), newName = Name(dir, "new.bin");

  std::string flipped = compressed;
  flipped[flipped.size() - 30] ^= 0x55;  // inside the deflate stream
  // The header of this writer is 72 bytes long, then the size hint.
  std::string garbage = compressed.substr(0, 76) + std::string(200, '\x07');
  TRenewPatch extraRecord = MakePatch(oldBytes, newBytes, 600, false);
  extraRecord.Count = static_cast<int>(extraRecord.Records.size()) + 1;
  const struct {
    const char* Name;
    std::string Patch;
  } cases[] = {
      {"truncated header", stored.substr(0, 20)},
      {"truncated records", stored.substr(0, 75)},
      {"truncated data image", stored.substr(0, stored.size() - 1)},
      {"truncated deflate stream", compressed.substr(0, compressed.size() - 5)},
      {"damaged deflate stream", flipped},
      {"not a deflate stream", garbage},
      {"Count one more than the records", extraRecord.Serialize()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_NE(ApplyError(oldName, newName, c.Patch), L"");
    EXPECT_EQ(ReadFile(dir.path() / "new.bin"), "the installed file");
    EXPECT_EQ(FolderNames(dir), (std::vector<std::string>{"new.bin", "old.bin"}));
  }
  EXPECT_EQ(ApplyError(oldName, newName, stored.substr(0, 20)), L"Stream read error");
  EXPECT_EQ(ApplyError(Name(dir, "missing.bin"), newName, stored), FormatText(rsFileOpenError, {Name(dir, "missing.bin")}));
}

TEST(ApplyBlocks, RefusesBlocksOutsideOrOutOfOrderWithoutChangingTheData) {
  std::uint8_t old[8] = {1, 1, 1, 1, 1, 1, 1, 1};
  const struct {
    const char* Name;
    std::vector<TBlock> Blocks;
    bool Valid;
  } cases[] = {
      {"inside", {{0, 0, 4}, {4, 4, 4}}, true},
      {"overlapping", {{0, 0, 4}, {0, 3, 2}}, false},
      {"out of order", {{0, 4, 2}, {0, 0, 2}}, false},
      {"beyond the old image", {{6, 0, 3}}, false},
      {"beyond the data image", {{-1, 0, 2}, {0, 7, 2}}, false},
      {"negative length", {{0, 0, -1}}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TBlockList blocks;
    for (const TBlock& block : c.Blocks) blocks.Add(new TBlock(block));
    std::uint8_t data[8] = {};
    TBufferStream oldImage(old, sizeof old), dataImage(data, sizeof data);
    if (c.Valid) {
      ApplyBlocks(blocks, oldImage, dataImage);
      EXPECT_EQ(data[7], 1);
      continue;
    }
    EXPECT_THROW(ApplyBlocks(blocks, oldImage, dataImage, {}, L"f"), Exception);
    EXPECT_EQ(std::string(data, data + 8), std::string(8, '\0'));
  }
}

TEST(ApplyPatch, DatesTheNewFileAtTwoSecondPrecision) {
  const std::string oldBytes = RandomBytes(100, 13), newBytes = Changed(oldBytes, 14);
  TRenewPatch patch = MakePatch(oldBytes, newBytes, 30, false);
  // 2024-03-15 12:34:57.6 local time.
  const double day = 45366.0;
  patch.NewDate = day + (12 * 3600 + 34 * 60 + 57.6) / 86400.0;
  TempDir dir("renew");
  WriteFile(dir.path() / "old.bin", oldBytes);
  ASSERT_EQ(ApplyError(Name(dir, "old.bin"), Name(dir, "new.bin"), patch.Serialize()), L"");
  const auto written = std::chrono::file_clock::to_sys(fs::last_write_time(dir.path() / "new.bin"));
  const std::int64_t utc = std::chrono::duration_cast<std::chrono::seconds>(written.time_since_epoch()).count();
  const std::int64_t local = utc - std::llround(PlatformTools().GetTimeZoneBias() * 86400.0);
  const std::int64_t expected = (45366 - 25569) * std::int64_t{86400} + 12 * 3600 + 34 * 60 + 56;
  EXPECT_EQ(local, expected);
}

}  // namespace

