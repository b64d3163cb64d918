// Whether an installed file gives way to a new one: version resources of
// two small libraries built for the tests, and plain files compared by content.

#include "setup/distribution/FileVersions.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "support/TestSupport.h"

namespace {

using namespace testsupport;
namespace fs = std::filesystem;

std::wstring Fixture(const char* name) { return (ExecutableDir() / name).wstring(); }

TEST(FileVersions, VersionNumbersComeFromTheFixedBlock) {
  std::uint32_t high = 0, low = 0;
  ASSERT_TRUE(GetFileVersionNumbers(Fixture("VersionLow.dll"), high, low));
  EXPECT_EQ(high, 0x00010002u);
  EXPECT_EQ(low, 0u);
  ASSERT_TRUE(GetFileVersionNumbers(Fixture("VersionHigh.dll"), high, low));
  EXPECT_EQ(high, 0x0001000Au);
  EXPECT_EQ(low, 0u);

  TempDir dir("versions");
  WriteFile(dir.path() / "plain.txt", "no resources here");
  EXPECT_FALSE(GetFileVersionNumbers(dir.file(L"plain.txt"), high, low));
  EXPECT_FALSE(GetFileVersionNumbers(dir.file(L"missing.dll"), high, low));
}

TEST(FileVersions, IsOlderFileByVersionElseByContent) {
  TempDir dir("older");
  WriteFile(dir.path() / "a.bin", "same bytes");
  WriteFile(dir.path() / "b.bin", "same bytes");
  WriteFile(dir.path() / "c.bin", "same bytez");
  WriteFile(dir.path() / "d.bin", "same bytes and more");
  WriteFile(dir.path() / "locked.bin", "same bytes");
  fs::copy_file(ExecutableDir() / "VersionLow.dll", dir.path() / "low-copy.dll");
  ChildProcess holder = HoldFileOpen(dir.file(L"locked.bin"), 0);

  const std::wstring low = Fixture("VersionLow.dll"), high = Fixture("VersionHigh.dll");
  const struct {
    const char* Case;
    std::wstring Existing, New;
    bool Older;
  } cases[] = {
      {"no versions, equal bytes", dir.file(L"a.bin"), dir.file(L"b.bin"), false},
      {"no versions, one byte differs", dir.file(L"a.bin"), dir.file(L"c.bin"), true},
      {"no versions, other length", dir.file(L"a.bin"), dir.file(L"d.bin"), true},
      {"existing missing", dir.file(L"missing.bin"), dir.file(L"a.bin"), true},
      {"new missing", dir.file(L"a.bin"), dir.file(L"missing.bin"), true},
      {"existing cannot be opened", dir.file(L"locked.bin"), dir.file(L"a.bin"), true},
      {"1.2.0.0 against 1.10.0.0", low, high, true},
      {"1.10.0.0 against 1.2.0.0", high, low, false},
      {"equal versions", low, dir.file(L"low-copy.dll"), false},
      {"only one has a version", low, dir.file(L"a.bin"), true},
  };
  for (const auto& c : cases) EXPECT_EQ(IsOlderFile(c.Existing, c.New), c.Older) << c.Case;
}

TEST(FileVersions, AnOrdinaryFileIsNotProtected) {
  TempDir dir("protected");
  WriteFile(dir.path() / "mine.dll", "x");
  // Twice: the protection library is looked up once and then reused.
  EXPECT_FALSE(IsFileProtected(dir.file(L"mine.dll")));
  EXPECT_FALSE(IsFileProtected(dir.file(L"mine.dll")));
}

}  // namespace
