#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/FileTool.h"
#include "platform/StrTool.h"
#include "platform/UniqueHandle.h"
#include "platform/Win.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {
bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The scratch drive of the test prefix (its root is a folder of the build
// tree), empty when the tests run without it.
std::wstring ScratchDrive() {
  wchar_t drive[8] = {};
  const DWORD length = ::GetEnvironmentVariableW(L"TAVREL_SCRATCH_DRIVE", drive, 8);
  if (length == 0 || length >= 8) return {};
  return ::GetDriveTypeW((std::wstring(drive) + L"\\").c_str()) == DRIVE_NO_ROOT_DIR ? std::wstring() : drive;
}
}  // namespace

TEST(CheckOSResult, RaisesWithTheSystemMessageAndTheName) {
  EXPECT_TRUE(CheckOSResult(true, L"x"));
  ::SetLastError(0);
  EXPECT_FALSE(CheckOSResult(false, L"x")) << "no reason, no exception";

  ::SetLastError(ERROR_FILE_NOT_FOUND);
  try {
    CheckOSResult(false, L"C:\\p\\\u0444\u0430\u0439\u043B.txt");
    FAIL() << "no exception";
  } catch (const EOSError& error) {
    EXPECT_EQ(error.ErrorCode(), static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
    const std::wstring& message = error.Message();
    const std::wstring tail = L" (C:\\p\\\u0444\u0430\u0439\u043B.txt)";
    ASSERT_GT(message.size(), tail.size());
    EXPECT_EQ(message.substr(message.size() - tail.size()), tail);
    EXPECT_EQ(message.substr(0, message.size() - tail.size()), SystemErrorMessage(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(message.find(L"System error"), std::wstring::npos) << "the system's own text";
    EXPECT_NE(std::string(error.what()).find("(C:\\p\\"), std::string::npos);
  }
}

TEST(SystemErrorMessage, TrimsLineBreaksAndTheFinalDot) {
  const std::wstring text = SystemErrorMessage(ERROR_ACCESS_DENIED);
  ASSERT_FALSE(text.empty());
  EXPECT_NE(text.back(), L'.');
  EXPECT_GT(text.back(), L' ');
  EXPECT_EQ(SystemErrorMessage(0x2FFFFFFF), L"System error 805306367");
}

TEST(DeleteDirectory, NeverTouchesADriveRoot) {
  const std::wstring drive = ScratchDrive();
  if (drive.empty()) GTEST_SKIP() << "no scratch drive (run through ctest)";
  const std::wstring keep = drive + L"\\keep.txt";
  WriteFile(fs::path(keep), "x");
  ASSERT_TRUE(Exists(keep));
  for (const std::wstring& root : {drive + L"\\", drive, L"  " + drive + L"\\ ", L"\t" + drive + L"\\\x01",
                                   std::wstring(L"\\"), std::wstring(L"")}) {
    EXPECT_FALSE(DeleteDirectory(root, true, true, true)) << root;
  }
  EXPECT_TRUE(Exists(keep));
  ::DeleteFileW(keep.c_str());
}

TEST(DeleteDirectory, DeletesReadOnlyFilesAndSubfolders) {
  TempDir dir("delete");
  const fs::path tree = dir.path() / "tree";
  fs::create_directories(tree / "sub" / "deeper");
  WriteFile(tree / "a.txt", "a");
  WriteFile(tree / "sub" / "ro.txt", "r");
  WriteFile(tree / "sub" / "deeper" / "h.txt", "h");
  ::SetFileAttributesW((tree / "sub" / "ro.txt").wstring().c_str(), FILE_ATTRIBUTE_READONLY);
  ::SetFileAttributesW((tree / "sub" / "deeper" / "h.txt").wstring().c_str(),
                       FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);

  // Not recursive: the files of the folder only.
  EXPECT_TRUE(DeleteDirectory(tree.wstring(), false, false, false));
  EXPECT_FALSE(fs::exists(tree / "a.txt"));
  EXPECT_TRUE(fs::exists(tree / "sub" / "ro.txt"));

  EXPECT_TRUE(DeleteDirectory(L" " + tree.wstring() + L"\\ ", true, true, false));
  EXPECT_FALSE(fs::exists(tree));
}

TEST(DeleteDirectory, AFileHeldByAnotherProcessFailsOrRaises) {
  TempDir dir("delete-held");
  const fs::path tree = dir.path() / "tree";
  fs::create_directories(tree);
  WriteFile(tree / "held.txt", "h");
  WriteFile(tree / "free.txt", "f");
  const std::wstring held = (tree / "held.txt").wstring();
  testsupport::ChildProcess holder = testsupport::HoldFileOpen(held, 0);

  EXPECT_FALSE(DeleteDirectory(tree.wstring(), true, true, true));
  EXPECT_FALSE(fs::exists(tree / "free.txt"));
  EXPECT_TRUE(fs::exists(tree / "held.txt"));

  try {
    DeleteDirectory(tree.wstring(), true, true, false);
    FAIL() << "no exception";
  } catch (const EOSError& error) {
    const std::wstring tail = L"(" + held + L")";
    EXPECT_EQ(error.Message().substr(error.Message().size() - tail.size()), tail);
  }
}

TEST(DeleteFiles, FiltersAndMasks) {
  TempDir dir("delete-files");
  for (const char* name : {"a.tmp", "b.tmp", "c.txt"}) WriteFile(dir.path() / name, "x");
  fs::create_directories(dir.path() / "d.tmp");
  ::SetFileAttributesW(dir.file(L"b.tmp").c_str(), FILE_ATTRIBUTE_READONLY);
  DeleteFiles(dir.dir(), L"*.tmp", false, [](const std::wstring& file) { return file.find(L"a.tmp") == std::wstring::npos; });
  EXPECT_TRUE(fs::exists(dir.path() / "a.tmp"));
  EXPECT_FALSE(fs::exists(dir.path() / "b.tmp"));
  EXPECT_TRUE(fs::exists(dir.path() / "c.txt"));
  EXPECT_TRUE(fs::exists(dir.path() / "d.tmp")) << "folders are not files";

  ClearDirectory(dir.dir() + L"new\\folder", true, false);
  EXPECT_TRUE(fs::is_directory(dir.path() / "new" / "folder")) << "created when missing";
  ClearDirectory(dir.dir(), false, false);
  EXPECT_FALSE(DirectoryHasEntries(dir.dir(), L"*.*", false));
  EXPECT_TRUE(DirectoryHasEntries(dir.dir(), L"*.*", true));
  EXPECT_TRUE(DirectoryHasEntries(dir.dir() + L"ne*", L"ignored", true)) << "a path with * is the pattern";
}

TEST(EnsureDirectories, CreatesTheWholeChain) {
  TempDir dir("ensure");
  const std::wstring deep = dir.dir() + L"a\\b\\\u0432\\d\\";
  EXPECT_TRUE(ForceDirectoriesQuiet(deep));
  EXPECT_TRUE(fs::is_directory(fs::path(deep)));
  EXPECT_TRUE(EnsureDirectories(deep)) << "existing chain";
  WriteFile(dir.path() / "file", "x");
  EXPECT_FALSE(EnsureDirectories(dir.dir() + L"file\\sub"));
}

namespace {
// Writes base.z0, base.z1 ... with the given sizes (0 = missing part).
void WriteParts(const TempDir& dir, std::initializer_list<std::size_t> sizes, const char* extension = ".z") {
  char fill = 'a';
  int index = 0;
  for (std::size_t size : sizes) {
    if (size) WriteFile(dir.path() / ("base" + std::string(extension) + std::to_string(index)), std::string(size, fill));
    ++fill;
    ++index;
  }
}
}  // namespace

TEST(JoinFileParts, JoinsWhileThePartsHaveTheFirstPartsSize) {
  TempDir dir("join");
  WriteParts(dir, {1000, 1000, 200, 1000});
  const std::wstring out = dir.file(L"out.bin");
  EXPECT_TRUE(JoinFileParts(dir.file(L"base.bin"), out, L".z", 0, false, false));
  const std::string joined = ReadFile(out);
  ASSERT_EQ(joined.size(), 2200u) << "the short third part is the last";
  EXPECT_EQ(joined, std::string(1000, 'a') + std::string(1000, 'b') + std::string(200, 'c'));
}

TEST(JoinFileParts, MissingPartsAndTheLocateCallback) {
  TempDir dir("join-missing");
  WriteParts(dir, {1000, 0, 1000});
  const std::wstring out = dir.file(L"out.bin");
  EXPECT_TRUE(JoinFileParts(dir.file(L"base.bin"), out, L".z", 0, false, false));
  EXPECT_EQ(ReadFile(out).size(), 1000u) << "a missing second part gives the first only";

  // The callback finds the second part elsewhere (another medium).
  fs::create_directories(dir.path() / "disk2");
  WriteFile(dir.path() / "disk2" / "base.z1", std::string(1000, 'b'));
  std::vector<std::wstring> asked;
  const auto locate = [&](std::wstring& part) {
    asked.push_back(part);
    part = dir.dir() + L"disk2\\" + ExtractFileName(part);
  };
  EXPECT_TRUE(JoinFileParts(dir.file(L"base.bin"), out, L".z", 0, false, false, locate));
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[0], dir.file(L"base.z1"));
  EXPECT_EQ(asked[1], dir.file(L"base.z3")) << "asked again for the part after the last";
  EXPECT_EQ(ReadFile(out).size(), 3000u);

  EXPECT_FALSE(JoinFileParts(dir.file(L"none.bin"), dir.file(L"none.out"), L".z", 0, false, false));
  EXPECT_FALSE(fs::exists(dir.path() / "none.out")) << "no first part, no destination";
}

TEST(JoinFileParts, BaseFirstTwoDigitsAndTheDestinationsExtension) {
  TempDir dir("join-forms");
  WriteFile(dir.path() / "setup.exe", std::string(10, 'a'));
  WriteFile(dir.path() / "setup.p01", std::string(10, 'b'));
  WriteFile(dir.path() / "setup.p02.exe", std::string(3, 'c'));  // found with the destination's extension
  EXPECT_TRUE(JoinFileParts(dir.file(L"setup.exe"), dir.file(L"joined.exe"), L".p", 0, true, true));
  EXPECT_EQ(ReadFile(dir.path() / "joined.exe"), "aaaaaaaaaabbbbbbbbbbccc");
}

TEST(JoinFileParts, PartExtensions) {
  struct Case {
    const wchar_t* Extension;
    int Index;
    bool TwoDigits;
    const wchar_t* Expected;
  };
  const Case cases[] = {
      {L".z", 0, false, L".z0"},     {L".z", 9, false, L".z9"},       {L".z", 10, false, L".z10"},
      {L".p", 3, true, L".p03"},     {L".p", 12, true, L".p12"},      {L".zip", 3, false, L".zip3"},
      {L".zip", 10, false, L".z10"}, {L".zip", 10, true, L".z10"},
  };
  for (const Case& c : cases) EXPECT_EQ(PartExtension(c.Extension, c.Index, c.TwoDigits), c.Expected) << c.Index;
}

TEST(PathText, AbsoluteSubAndNetworkPaths) {
  EXPECT_TRUE(IsSubPath(L"C:\\Program", L"c:\\program\\x"));
  EXPECT_FALSE(IsSubPath(L"C:\\Program", L"C:\\Programs\\x"));
  EXPECT_TRUE(IsSubPath(L" C:\\Program\\ ", L"C:\\PROGRAM\\x"));
  EXPECT_TRUE(IsSubPath(L"C:\\\u041F\u0440\u043E\u0433", L"c:\\\u043F\u0440\u043E\u0433\\x")) << "system upper case";
  EXPECT_FALSE(IsSubPath(L"C:\\Program", L"C:\\Program"));

  EXPECT_TRUE(IsAbsolutePath(L"C:x"));
  EXPECT_TRUE(IsAbsolutePath(L"\\\\server\\x"));
  EXPECT_FALSE(IsAbsolutePath(L"data\\x"));
  EXPECT_EQ(MakeAbsolutePath(L" data\\a.txt ", L" C:\\p "), L"C:\\p\\data\\a.txt");
  EXPECT_EQ(MakeAbsolutePath(L"D:\\a.txt", L"C:\\p"), L"D:\\a.txt");
  EXPECT_EQ(MakeAbsolutePath(L"a.txt", L""), L"a.txt");

  EXPECT_TRUE(IsNetworkPath(L"\\\\server\\share"));
  EXPECT_FALSE(IsNetworkPath(L"\\"));
  EXPECT_FALSE(IsNetworkPath(L"C:\\x"));
  EXPECT_FALSE(IsRemovablePath(L"C:\\x"));
  EXPECT_FALSE(IsRemovablePath(L"x"));
}

TEST(IsFileLocked, AFileAnotherProcessHolds) {
  TempDir dir("locked");
  const std::wstring file = dir.file(L"f.bin");
  WriteFile(file, "data");
  EXPECT_FALSE(IsFileLocked(file));
  EXPECT_FALSE(IsFileLocked(dir.file(L"missing.bin"))) << "a missing file is not locked";
  {
    testsupport::ChildProcess holder = testsupport::HoldFileOpen(file, FILE_SHARE_READ | FILE_SHARE_WRITE);
    EXPECT_TRUE(IsFileLocked(file)) << "exclusive access is refused while another process has it open";
    EXPECT_FALSE(IsFileLocked(file, OpenModeReadShareBoth)) << "shared reading is allowed";
    holder.Kill();
  }
  EXPECT_FALSE(IsFileLocked(file));
}

TEST(FilesEqual, ComparesSizeAndEveryBlock) {
  TempDir dir("equal");
  std::string content(200000, 'x');
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7);
  std::string changed = content;
  changed[140000] ^= 1;  // in the third 64 KB block
  WriteFile(dir.path() / "a", content);
  WriteFile(dir.path() / "b", content);
  WriteFile(dir.path() / "c", changed);
  WriteFile(dir.path() / "d", content.substr(1));
  bool sameSize = false;
  EXPECT_TRUE(FilesEqual(dir.file(L"a"), dir.file(L"b"), sameSize));
  EXPECT_TRUE(sameSize);
  EXPECT_FALSE(FilesEqual(dir.file(L"a"), dir.file(L"c"), sameSize));
  EXPECT_TRUE(sameSize);
  EXPECT_FALSE(FilesEqual(dir.file(L"a"), dir.file(L"d"), sameSize));
  EXPECT_FALSE(sameSize);
  EXPECT_FALSE(FilesEqual(dir.file(L"a"), dir.file(L"missing"), sameSize));
}

TEST(FileDates, SetTheLastWriteTime) {
  TempDir dir("dates");
  const std::wstring file = dir.file(L"f");
  WriteFile(file, "x");
  // 2001-02-03 04:05:06 local time as a DOS date-time.
  const std::uint32_t dos = ((2001u - 1980u) << 25) | (2u << 21) | (3u << 16) | (4u << 11) | (5u << 5) | (6u / 2);
  ASSERT_TRUE(SetFileDate(file, dos));
  WIN32_FILE_ATTRIBUTE_DATA data{};
  ASSERT_TRUE(::GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data));
  FILETIME local{};
  ::FileTimeToLocalFileTime(&data.ftLastWriteTime, &local);
  WORD date = 0, time = 0;
  ::FileTimeToDosDateTime(&local, &date, &time);
  EXPECT_EQ((static_cast<std::uint32_t>(date) << 16) | time, dos);

  // 2001-02-03 12:00 as a day count.
  ASSERT_TRUE(SetFileDateTime(file, 36925.5));
  ASSERT_TRUE(::GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data));
  ::FileTimeToLocalFileTime(&data.ftLastWriteTime, &local);
  SYSTEMTIME parts{};
  ::FileTimeToSystemTime(&local, &parts);
  EXPECT_EQ(parts.wYear, 2001);
  EXPECT_EQ(parts.wMonth, 2);
  EXPECT_EQ(parts.wDay, 3);
  EXPECT_EQ(parts.wHour, 12);
  EXPECT_TRUE(SetFileDate(file, 0)) << "nothing for 0";
}

TEST(ProgramPath, IsTheRunningExecutable) {
  EXPECT_EQ(ExtractFileName(ProgramPath()), L"platform_tests.exe");
  EXPECT_TRUE(Exists(ProgramPath()));
  EXPECT_EQ(GetFileSize(ProgramPath()), static_cast<std::int64_t>(fs::file_size(fs::path(ProgramPath()))));
}

TEST(DeleteDirectory, UnlinksALinkedFolderWithoutEnteringIt) {
  TempDir dir("delete-link");
  fs::create_directories(dir.path() / "outside");
  WriteFile(dir.path() / "outside" / "precious.txt", "keep");
  fs::create_directories(dir.path() / "tree");
  const std::wstring link = dir.dir() + L"tree\\link";
  if (!::CreateSymbolicLinkW(link.c_str(), (dir.dir() + L"outside").c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY))
    GTEST_SKIP() << "no folder links here (error " << ::GetLastError() << ")";
  ASSERT_NE(::GetFileAttributesW(link.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
  const bool followed = Exists(link + L"\\precious.txt");

  EXPECT_TRUE(DeleteDirectory(dir.dir() + L"tree", true, true, false));
  EXPECT_FALSE(Exists(dir.dir() + L"tree"));
  EXPECT_EQ(ReadFile(dir.path() / "outside" / "precious.txt"), "keep") << "the link's target is left alone";
  if (!followed) GTEST_SKIP() << "the system does not follow this folder link, so the target was never at risk";
}
