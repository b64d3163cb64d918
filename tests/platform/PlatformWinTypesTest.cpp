#include <gtest/gtest.h>

#include <cwctype>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/PlatformWinTypes.h"
#include "platform/UniqueHandle.h"
#include "platform/Win.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
using testsupport::TempDir;

namespace {
std::wstring Environment(const wchar_t* name) {
  wchar_t buffer[32768] = {};
  const DWORD length = ::GetEnvironmentVariableW(name, buffer, 32768);
  return std::wstring(buffer, length);
}

// Sets an environment variable for the scope and restores it afterwards.
class ScopedVariable {
public:
  ScopedVariable(const wchar_t* name, const std::wstring& value) : Name(name), Had(false) {
    wchar_t probe[1];
    Had = ::GetEnvironmentVariableW(name, probe, 1) != 0 || ::GetLastError() != ERROR_ENVVAR_NOT_FOUND;
    Old = Environment(name);
    ::SetEnvironmentVariableW(name, value.c_str());
  }
  ~ScopedVariable() { ::SetEnvironmentVariableW(Name, Had ? Old.c_str() : nullptr); }

private:
  const wchar_t* Name;
  bool Had;
  std::wstring Old;
};

// Creates a folder with Win32 calls (the \\?\ form allows any depth).
void CreateFolderChain(const std::wstring& path) {
  std::wstring current;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find(L'\\', start);
    if (end == std::wstring::npos) end = path.size();
    current = path.substr(0, end);
    if (current.size() > 2) ::CreateDirectoryW((L"\\\\?\\" + current).c_str(), nullptr);
    start = end + 1;
  }
}
}  // namespace

TEST(RuntimeEnvironment, DetectsWineOnLinux) {
  const TRuntimeEnvironment& env = RuntimeEnvironment();
  EXPECT_TRUE(env.IsWindowsNT);
  EXPECT_TRUE(env.IsWine);
  EXPECT_TRUE(env.IsWineOnLinux);
  EXPECT_FALSE(env.IsWineOnMacOS);
  EXPECT_FALSE(env.IsCrossOver);
  EXPECT_TRUE(env.IsWindows2000OrLater);
  EXPECT_TRUE(env.IsWindowsVistaOrLater);
  EXPECT_FALSE(env.IsWow64) << "a 64-bit process";
  EXPECT_FALSE(env.IsPackagedApp);
}

TEST(GetTempPath, FallsBackToTmpTempAndTheWindowsDrive) {
  struct Case {
    const wchar_t *System, *Tmp, *Temp, *Expected;
  };
  const Case cases[] = {
      {L"C:\\users\\me\\Temp\\", L"D:\\t", L"E:\\x", L"C:\\users\\me\\Temp\\"},
      {L"", L"D:\\t", L"E:\\x", L"D:\\t\\"},
      {L"", L"", L"E:\\x\\", L"E:\\x\\"},
      {L"", L"", L"", L"C:\\TEMP\\"},
  };
  for (const Case& c : cases) EXPECT_EQ(ComposeTempPath(c.System, c.Tmp, c.Temp, L"C:\\windows"), c.Expected);
}

TEST(GetTempPath, ReturnsAFolderLongerThanMaxPathWhole) {
  TempDir root("temp-long");
  std::wstring deep = root.dir() + std::wstring(120, L'a') + L"\\" + std::wstring(120, L'b') + L"\\" +
                      std::wstring(60, L'c');
  ASSERT_GT(deep.size(), static_cast<std::size_t>(MAX_PATH));
  CreateFolderChain(deep);
  ScopedVariable tmp(L"TMP", deep);
  const std::wstring path = PlatformTools().GetTempPath();
  EXPECT_EQ(path, deep + L"\\");
}

TEST(GetTempPath, EndsWithABackslash) {
  const std::wstring path = PlatformTools().GetTempPath();
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(path.back(), L'\\');
  EXPECT_TRUE(PlatformTools().DirectoryExists(path));
}

// The child side of the deep-folder test below: run from a copy of this
// executable, it checks that the operation reports its whole path.
TEST(GetModuleFileName, IsTheWholePathOfTheRunningProgram) {
  const std::wstring expected = Environment(L"TAVREL_EXPECTED_MODULE");
  const std::wstring path = PlatformTools().GetModuleFileName(nullptr);
  if (!expected.empty()) {
    EXPECT_EQ(path, expected);
  }
  EXPECT_TRUE(PlatformTools().FileExists(path)) << path.size();
}

TEST(GetModuleFileName, ProgramWhosePathExceeds255Characters) {
  // 256 to 259 characters: a program Windows (and Wine) can start, whose
  // path a 255-character buffer would cut.
  TempDir root("module-long");
  const std::wstring self = PlatformTools().GetModuleFileName(nullptr);
  const std::wstring name = L"\\platform_tests.exe";
  std::wstring deep = root.dir() + std::wstring(100, L'd');
  const std::size_t wanted = 258;
  ASSERT_LT(deep.size() + 2 + name.size(), wanted);
  deep += L"\\" + std::wstring(wanted - deep.size() - 1 - name.size(), L'e');
  CreateFolderChain(deep);
  const std::wstring copy = deep + name;
  ASSERT_EQ(copy.size(), wanted);
  ASSERT_TRUE(::CopyFileW(self.c_str(), copy.c_str(), FALSE)) << ::GetLastError();
  ScopedVariable expected(L"TAVREL_EXPECTED_MODULE", copy);
  testsupport::ChildProcess child;
  ASSERT_TRUE(child.Start(L"\"" + copy + L"\" --gtest_filter=GetModuleFileName.IsTheWholePathOfTheRunningProgram"))
      << ::GetLastError();
  EXPECT_EQ(child.Wait(60000), 0);
}

TEST(ReplaceFileInUse, ReplacesAFileHeldOpenByAnotherProcess) {
  TempDir dir("replace");
  const std::wstring existing = dir.file(L"a.dll"), update = dir.file(L"u.bin"), old = dir.file(L"a.old");
  testsupport::WriteFile(existing, "old content");
  testsupport::WriteFile(update, "new content");

  // Remember the pending-rename list so that the test leaves it as it was.
  const wchar_t* sessionKey = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
  UniqueRegKey session;
  ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, sessionKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, session.put()), 0);
  const auto readPending = [&](DWORD& type) {
    DWORD size = 0;
    type = REG_NONE;
    if (::RegQueryValueExW(session.get(), L"PendingFileRenameOperations", nullptr, &type, nullptr, &size) != 0)
      return std::wstring();
    std::wstring data(size / sizeof(wchar_t), L'\0');
    ::RegQueryValueExW(session.get(), L"PendingFileRenameOperations", nullptr, &type,
                       reinterpret_cast<BYTE*>(data.data()), &size);
    return data;
  };
  DWORD previousType = REG_NONE;
  const std::wstring previous = readPending(previousType);

  testsupport::ChildProcess holder =
      testsupport::HoldFileOpen(existing, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
  ::SetLastError(4242);
  EXPECT_TRUE(PlatformTools().ReplaceFileInUse(existing, update));
  EXPECT_EQ(::GetLastError(), 4242u) << "the caller's last error survives";
  EXPECT_EQ(testsupport::ReadFile(existing), "new content");
  EXPECT_EQ(testsupport::ReadFile(old), "old content");

  DWORD type = REG_NONE;
  const std::wstring pending = readPending(type);
  EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
  EXPECT_NE(pending.find(old), std::wstring::npos) << "the old file's delete is recorded for restart";

  if (previousType == REG_NONE) {
    ::RegDeleteValueW(session.get(), L"PendingFileRenameOperations");
  } else {
    ::RegSetValueExW(session.get(), L"PendingFileRenameOperations", 0, previousType,
                     reinterpret_cast<const BYTE*>(previous.data()),
                     static_cast<DWORD>(previous.size() * sizeof(wchar_t)));
  }
}

TEST(ReplaceFileInUse, PutsTheOriginalBackWhenTheCopyFails) {
  TempDir dir("replace-fail");
  const std::wstring existing = dir.file(L"a.dll"), old = dir.file(L"a.old");
  testsupport::WriteFile(existing, "old content");
  ::SetLastError(77);
  EXPECT_FALSE(PlatformTools().ReplaceFileInUse(existing, dir.file(L"missing.bin")));
  EXPECT_EQ(::GetLastError(), 77u);
  EXPECT_EQ(testsupport::ReadFile(existing), "old content");
  EXPECT_FALSE(PlatformTools().FileExists(old));
}

TEST(ReplaceFileInUse, OldNameReplacesOrAddsTheExtension) {
  EXPECT_EQ(ReplacedFileName(L"C:\\p\\a.dll"), L"C:\\p\\a.old");
  EXPECT_EQ(ReplacedFileName(L"C:\\p.d\\jom"), L"C:\\p.d\\jom.old");
}

TEST(CreateGuidString, HexFormsAndRegistryForm) {
  IPlatformTools& tools = PlatformTools();
  const std::wstring plain = tools.CreateGuidString(true, true, false);
  ASSERT_EQ(plain.size(), 32u);
  for (wchar_t c : plain) EXPECT_TRUE((c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F')) << plain;
  EXPECT_NE(plain, tools.CreateGuidString(true, true, false));

  const std::wstring dashed = tools.CreateGuidString(true, false, true);
  ASSERT_EQ(dashed.size(), 36u);
  for (std::size_t i : {8u, 13u, 18u, 23u}) EXPECT_EQ(dashed[i], L'-') << dashed;

  const std::wstring lower = tools.CreateGuidString(false, true, false);
  ASSERT_EQ(lower.size(), 36u) << "registry form without braces";
  for (wchar_t c : lower) EXPECT_FALSE(c >= L'A' && c <= L'F') << lower;
  const std::wstring upper = tools.CreateGuidString(false, false, false);
  EXPECT_NE(upper.find_first_of(L"ABCDEF0123456789"), std::wstring::npos);
  EXPECT_EQ(upper.find_first_of(L"abcdef{}"), std::wstring::npos) << upper;
}

TEST(WaitProcessingMessages, WaitsAtLeastTheTimeAndDrainsTheQueue) {
  IPlatformTools& tools = PlatformTools();
  for (std::uint32_t wait : {0u, 30u}) {
    ::PostThreadMessageW(::GetCurrentThreadId(), WM_APP, 0, 0);
    const std::uint64_t start = tools.GetTickCount();
    tools.WaitProcessingMessages(wait);
    const std::uint64_t elapsed = tools.GetTickCount() - start;
    EXPECT_GE(elapsed, std::max<std::uint64_t>(wait, 10)) << wait;
    MSG left{};
    EXPECT_FALSE(::PeekMessageW(&left, nullptr, 0, 0, PM_NOREMOVE)) << "posted message was processed";
  }
}

TEST(ProcessPendingMessages, StopsAtAQuitMessage) {
  IPlatformTools& tools = PlatformTools();
  ::PostThreadMessageW(::GetCurrentThreadId(), WM_APP, 0, 0);
  ::PostThreadMessageW(::GetCurrentThreadId(), WM_QUIT, 0, 0);
  ::PostThreadMessageW(::GetCurrentThreadId(), WM_APP + 1, 0, 0);
  EXPECT_FALSE(tools.ProcessPendingMessages());
  EXPECT_TRUE(tools.ProcessPendingMessages()) << "the quit message was consumed";
  EXPECT_FALSE(tools.ProcessOneMessage());
}

TEST(FileAndDirectoryExists, TrimBlanksAndControlCharacters) {
  TempDir dir("exists");
  const std::wstring file = dir.file(L"f.txt");
  testsupport::WriteFile(file, "x");
  const std::wstring folder = dir.dir();
  IPlatformTools& tools = PlatformTools();
  struct Case {
    std::wstring Path;
    bool File, Directory;
  };
  const Case cases[] = {
      {file, true, false},
      {L"  " + file + L" \t", true, false},
      {L"\r\n" + file + L"\x01", true, false},
      {folder, false, true},
      {L" \x1f" + folder + L"  ", false, true},
      {file + L"x", false, false},
      {L"", false, false},
      {L" \t ", false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(tools.FileExists(c.Path), c.File) << c.Path;
    EXPECT_EQ(tools.DirectoryExists(c.Path), c.Directory) << c.Path;
  }
}

TEST(ScaleForDpi, ScalesFrom96DotsPerInch) {
  struct Case {
    int Value, Dpi, Expected;
  };
  for (const Case c : {Case{16, 144, 24}, Case{16, 96, 16}, Case{10, 120, 13}, Case{-16, 144, -24}, Case{1, 144, 2},
                       Case{0, 192, 0}}) {
    EXPECT_EQ(ScaleForDpiAt(c.Value, c.Dpi), c.Expected) << c.Value << "@" << c.Dpi;
  }
  HDC screen = ::GetDC(nullptr);
  const int dpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSX) : 96;
  if (screen) ::ReleaseDC(nullptr, screen);
  EXPECT_EQ(PlatformTools().ScaleForDpi(96), dpi);
}

TEST(GetTickCount, IsMonotonicAndAdvances) {
  IPlatformTools& tools = PlatformTools();
  std::uint64_t last = tools.GetTickCount();
  for (int i = 0; i < 10000; ++i) {
    const std::uint64_t now = tools.GetTickCount();
    ASSERT_GE(now, last);
    last = now;
  }
  ::Sleep(50);
  EXPECT_GE(tools.GetTickCount() - last, 40u);
}

namespace {
struct TTestWindows {
  TTestWindows() {
    WNDCLASSW plain{};
    plain.lpfnWndProc = ::DefWindowProcW;
    plain.hInstance = ::GetModuleHandleW(nullptr);
    plain.lpszClassName = L"TavrelTestWindow";
    ::RegisterClassW(&plain);
    WNDCLASSW application = plain;
    application.lpszClassName = L"TApplication";
    ::RegisterClassW(&application);
  }
  static HWND Create(const wchar_t* className, bool visible) {
    return ::CreateWindowExW(0, className, L"t", WS_OVERLAPPEDWINDOW | (visible ? WS_VISIBLE : 0), 0, 0, 50, 50,
                             nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
  }
};
}  // namespace

TEST(DisableTaskWindows, LeavesHiddenDisabledKeptAndApplicationWindowsAlone) {
  TTestWindows classes;
  HWND normal = TTestWindows::Create(L"TavrelTestWindow", true);
  if (!normal) GTEST_SKIP() << "no display for windows";
  HWND second = TTestWindows::Create(L"TavrelTestWindow", true);
  HWND hidden = TTestWindows::Create(L"TavrelTestWindow", false);
  HWND disabled = TTestWindows::Create(L"TavrelTestWindow", true);
  HWND application = TTestWindows::Create(L"TApplication", true);
  HWND keep = TTestWindows::Create(L"TavrelTestWindow", true);
  ::EnableWindow(disabled, FALSE);

  IPlatformTools& tools = PlatformTools();
  TTaskWindowList list = tools.DisableTaskWindows(keep);
  EXPECT_FALSE(::IsWindowEnabled(normal));
  EXPECT_FALSE(::IsWindowEnabled(second));
  EXPECT_TRUE(::IsWindowEnabled(hidden));
  EXPECT_TRUE(::IsWindowEnabled(application));
  EXPECT_TRUE(::IsWindowEnabled(keep));
  int count = 0;
  for (TTaskWindowNode* node = list; node; node = node->Next) ++count;
  EXPECT_EQ(count, 2);

  ::DestroyWindow(second);  // a window that went away meanwhile is skipped
  tools.EnableTaskWindows(list);
  EXPECT_EQ(list, nullptr);
  EXPECT_TRUE(::IsWindowEnabled(normal));
  EXPECT_FALSE(::IsWindowEnabled(disabled)) << "a window disabled before stays disabled";
  for (HWND window : {normal, hidden, disabled, application, keep}) ::DestroyWindow(window);
}

class RegistryTest : public testing::Test {
protected:
  void SetUp() override {
    Key = L"Software\\TavrelTest\\" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
          std::to_wstring(::GetTickCount64());
  }
  void TearDown() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, Key.c_str()); }
  std::wstring Key;
};

TEST_F(RegistryTest, WritesAndReadsValuesOfTheRightType) {
  IPlatformTools& tools = PlatformTools();
  EXPECT_FALSE(tools.RegistryKeyExists(RegistryRoot::CurrentUser, Key));
  ASSERT_TRUE(tools.WriteRegistryDword(RegistryRoot::CurrentUser, Key, L"Count", 42));
  ASSERT_TRUE(tools.WriteRegistryString(RegistryRoot::CurrentUser, Key, L"Name", L"\u0422\u0430\u0432\u0440\u0435\u043B"));
  ASSERT_TRUE(tools.WriteRegistryString(RegistryRoot::CurrentUser, Key, L"Empty", L""));
  EXPECT_TRUE(tools.RegistryKeyExists(RegistryRoot::CurrentUser, Key));

  std::uint32_t number = 0;
  EXPECT_TRUE(tools.ReadRegistryDword(RegistryRoot::CurrentUser, Key, L"Count", number));
  EXPECT_EQ(number, 42u);
  std::wstring text;
  EXPECT_TRUE(tools.ReadRegistryString(RegistryRoot::CurrentUser, Key, L"Name", text, 0));
  EXPECT_EQ(text, L"\u0422\u0430\u0432\u0440\u0435\u043B");

  text = L"unchanged";
  EXPECT_FALSE(tools.ReadRegistryString(RegistryRoot::CurrentUser, Key, L"Empty", text, 0)) << "empty value";
  EXPECT_FALSE(tools.ReadRegistryString(RegistryRoot::CurrentUser, Key, L"Count", text, 0)) << "wrong type";
  EXPECT_FALSE(tools.ReadRegistryDword(RegistryRoot::CurrentUser, Key, L"Name", number)) << "wrong type";
  EXPECT_FALSE(tools.ReadRegistryString(RegistryRoot::CurrentUser, Key, L"Missing", text, 0));
  EXPECT_EQ(tools.GetLastError(), static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(text, L"unchanged");

  EXPECT_TRUE(tools.DeleteRegistryKey(RegistryRoot::CurrentUser, Key));
  EXPECT_FALSE(tools.RegistryKeyExists(RegistryRoot::CurrentUser, Key));
}

TEST_F(RegistryTest, WriteFailureLeavesTheRegistryErrorAsLastError) {
  IPlatformTools& tools = PlatformTools();
  ::SetLastError(0);
  // A key path may not start with a backslash.
  EXPECT_FALSE(tools.WriteRegistryDword(RegistryRoot::CurrentUser, L"\\" + Key, L"x", 1));
  EXPECT_NE(tools.GetLastError(), 0u);
}

TEST(OpenFileHandle, OpenModesSelectAccessAndSharing) {
  TempDir dir("open-mode");
  const std::wstring file = dir.file(L"f.bin");
  testsupport::WriteFile(file, "data");
  IPlatformTools& tools = PlatformTools();
  EXPECT_EQ(tools.OpenFileHandle(file, 0x03, true), InvalidHandle) << "access 3 is invalid";
  EXPECT_EQ(tools.OpenFileHandle(file, 0x50, true), InvalidHandle) << "sharing 5 is invalid";

  UniqueKernelHandle exclusive(static_cast<HANDLE>(tools.OpenFileHandle(file, OpenModeReadWriteExclusive, true)));
  ASSERT_TRUE(exclusive.valid());
  EXPECT_EQ(tools.OpenFileHandle(file, OpenModeReadShareBoth, true), InvalidHandle);
  exclusive.reset();

  UniqueKernelHandle shared(static_cast<HANDLE>(tools.OpenFileHandle(file, OpenModeReadShareBoth, true)));
  UniqueKernelHandle second(static_cast<HANDLE>(tools.OpenFileHandle(file, OpenModeReadShareBoth, true)));
  EXPECT_TRUE(shared.valid() && second.valid());
  shared.reset();
  second.reset();

  EXPECT_EQ(tools.OpenFileHandle(file, OpenModeCreateNew | 0x40, false), InvalidHandle) << "CREATE_NEW on a file";
  UniqueKernelHandle created(static_cast<HANDLE>(tools.OpenFileHandle(file, 0x40, false)));
  ASSERT_TRUE(created.valid());
  created.reset();
  EXPECT_EQ(tools.GetFileSize(file, false), 0) << "CREATE_ALWAYS truncates";
}

TEST(FileOperations, SizeVersionAndFolders) {
  TempDir dir("file-ops");
  const std::wstring file = dir.file(L"f.bin");
  testsupport::WriteFile(file, std::string(1234, 'x'));
  IPlatformTools& tools = PlatformTools();
  EXPECT_EQ(tools.GetFileSize(file, false), 1234);
  EXPECT_EQ(tools.GetFileSize(file, true), 1234);
  EXPECT_EQ(tools.GetFileSize(dir.file(L"none"), true), -1);
  EXPECT_EQ(tools.GetFileSize(dir.file(L"none"), false), -1);

  const std::wstring system = tools.GetSystemDirectory();
  ASSERT_FALSE(system.empty());
  EXPECT_NE(system.back(), L'\\');
  EXPECT_FALSE(tools.GetFileVersion(system + L"\\kernel32.dll").empty());
  EXPECT_TRUE(tools.GetFileVersion(file).empty());
  EXPECT_FALSE(tools.GetWindowsDirectory().empty());
  EXPECT_EQ(tools.GetFinalDirectoryPath(dir.dir() + L"none"), dir.dir() + L"none");
  const std::wstring final = tools.GetFinalDirectoryPath(dir.dir());
  EXPECT_TRUE(tools.DirectoryExists(final)) << final;
  EXPECT_NE(final.rfind(L"\\\\?\\", 0), 0u) << final;
}

TEST(CodePages, ConversionsAndCharsets) {
  IPlatformTools& tools = PlatformTools();
  EXPECT_EQ(tools.AnsiToUnicode("\xCF\xF0\xE8", 1251), L"\u041F\u0440\u0438");
  EXPECT_EQ(tools.UnicodeToAnsi(L"\u041F\u0440\u0438", 1251), "\xCF\xF0\xE8");
  EXPECT_EQ(tools.BytesToUnicode("abc", 0, 1252), L"");
  EXPECT_EQ(tools.AnsiToUnicode("\xD0\x96", 65001), L"\u0416");
  EXPECT_EQ(tools.CodePageToCharset(1251), 204u);  // RUSSIAN_CHARSET
  EXPECT_EQ(tools.CharsetToCodePage(204), 1251u);
  EXPECT_EQ(tools.CodePageToCharset(12345), 1u) << "DEFAULT_CHARSET for an unknown code page";
  EXPECT_EQ(tools.GetConsoleCodePage(), 866u);
}

TEST(Threads, ThreadExistsAndMainThread) {
  IPlatformTools& tools = PlatformTools();
  EXPECT_TRUE(tools.IsMainThread());
  EXPECT_TRUE(tools.ThreadExists(tools.GetCurrentThreadId()));
  EXPECT_FALSE(tools.ThreadExists(0xFFFFFFF0u));
}

TEST_F(RegistryTest, AutorunEntriesForTheUserAndForAllUsers) {
  IPlatformTools& tools = PlatformTools();
  const std::wstring name = L"TavrelTest-" + std::to_wstring(::GetCurrentProcessId());
  for (bool allUsers : {false, true}) {
    EXPECT_FALSE(tools.IsAutorunRegistered(name));
    EXPECT_EQ(tools.SetAutorun(name, L"\"C:\\p\\jom.exe\" /hide", true, allUsers), 0u) << allUsers;
    EXPECT_TRUE(tools.IsAutorunRegistered(name));
    EXPECT_EQ(tools.SetAutorun(name, L"", false, allUsers), 0u);
    EXPECT_FALSE(tools.IsAutorunRegistered(name));
  }
}

TEST(Links, HardLinkSharesTheContent) {
  TempDir dir("links");
  const std::wstring file = dir.file(L"a.txt"), link = dir.file(L"b.txt");
  testsupport::WriteFile(file, "shared");
  ASSERT_TRUE(PlatformTools().CreateHardLink(file, link)) << ::GetLastError();
  EXPECT_EQ(testsupport::ReadFile(link), "shared");
  EXPECT_FALSE(PlatformTools().CreateHardLink(dir.file(L"missing"), dir.file(L"c.txt")));
}

TEST(VerifyFileSignature, UnsignedProgramFailsOtherFilesPass) {
  IPlatformTools& tools = PlatformTools();
  EXPECT_FALSE(tools.VerifyFileSignature(tools.GetModuleFileName(nullptr))) << "an unsigned program";
  TempDir dir("trust");
  testsupport::WriteFile(dir.path() / "notes.txt", "plain text");
  EXPECT_TRUE(tools.VerifyFileSignature(dir.file(L"notes.txt"))) << "only a missing signature or bad digest fails";
}
