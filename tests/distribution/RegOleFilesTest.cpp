// OLE registration with the tests' own servers: an in-process server whose
// entry points write and remove a key of HKEY_CLASSES_ROOT, a variant that
// reports S_FALSE, a type library made by widl, a program with a type
// library beside it, and a local server that registers itself once started.
// What the first way cannot do is tried again with regsvr32.

#include "setup/distribution/RegOleFiles.h"

#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <thread>

#include <gtest/gtest.h>

#include "platform/FileTool.h"
#include "setup/messages/FormatText.h"
#include "support/RegistryKeys.h"
#include "support/TestSupport.h"

namespace {

using namespace testsupport;
namespace fs = std::filesystem;

const std::wstring TestLibraryKey = L"TypeLib\\{6B3F2A51-9C1D-4E7A-8F20-5D4C3B2A1901}";

// The text of the exception a registration raised; empty when none.
std::wstring RegistrationError(const std::function<void()>& call) {
  try {
    call();
  } catch (const Exception& e) {
    return e.Message();
  } catch (const std::exception& e) {
    return L"unexpected exception: " + std::wstring(e.what(), e.what() + std::strlen(e.what()));
  }
  return {};
}

bool WaitFor(const std::function<bool()>& condition) {
  for (int i = 0; i < 300; ++i) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return condition();
}

class OleRegistration : public ::testing::Test {
protected:
  OleRegistration() {
    ::SetEnvironmentVariableW(L"TAVREL_OLE_TEST_KEY", ServerKey.path().c_str());
  }
  ~OleRegistration() override { ::SetEnvironmentVariableW(L"TAVREL_OLE_TEST_KEY", nullptr); }

  std::wstring Copy(const char* fixture, const std::string& name) {
    fs::copy_file(ExecutableDir() / fixture, Dir.path() / name, fs::copy_options::overwrite_existing);
    return Dir.file(std::wstring(name.begin(), name.end()));
  }
  std::optional<DWORD> ServerCalls() const { return ReadDwordValue(HKEY_CLASSES_ROOT, ServerKey.path(), L"Calls"); }
  bool ServerRegistered() const { return KeyExists(HKEY_CLASSES_ROOT, ServerKey.path()); }
  bool LibraryRegistered() const { return KeyExists(HKEY_CLASSES_ROOT, TestLibraryKey); }

  TempDir Dir{"ole files"};
  ScopedRegistryKey ServerKey{HKEY_CLASSES_ROOT, UniqueName(L"TavrelOleTest_")};
  ScopedRegistryKey LibraryKey{HKEY_CLASSES_ROOT, TestLibraryKey};
};

std::wstring CurrentDirectory() {
  wchar_t buffer[MAX_PATH];
  return std::wstring(buffer, ::GetCurrentDirectoryW(MAX_PATH, buffer));
}

TEST_F(OleRegistration, InProcessServersUseTheirEntryPoints) {
  const std::wstring before = CurrentDirectory();
  for (const char* name : {"server.dll", "control.ocx", "UPPER.DLL"}) {
    const std::wstring file = Copy("OleTestServer.dll", name);
    EXPECT_EQ(RegistrationError([&] { RegisterOleFile(file); }), L"") << name;
    EXPECT_EQ(ServerCalls(), 1u) << name;
    EXPECT_EQ(RegistrationError([&] { UnregisterOleFile(file); }), L"") << name;
    EXPECT_FALSE(ServerRegistered()) << name;
    EXPECT_EQ(CurrentDirectory(), before) << "the current folder is put back";
  }
}

TEST_F(OleRegistration, AnEntryPointReportingSFalseIsTriedAgainThroughRegsvr32) {
  const std::wstring file = Copy("OleTestServerFalse.dll", "s false.dll");
  // regsvr32 counts S_FALSE as success: the second call, its own, registers.
  EXPECT_EQ(RegistrationError([&] { RegisterOleFile(file); }), L"");
  EXPECT_EQ(ServerCalls(), 2u) << "once through the entry point, once through regsvr32";

  // The first call removes the key and reports S_FALSE; regsvr32's call then
  // fails, and the error shown is that of the entry point.
  const std::wstring error = RegistrationError([&] { UnregisterOleFile(file); });
  const std::string shown(error.begin(), error.end());
  EXPECT_NE(error.find(L"(1)"), std::wstring::npos) << shown;
  EXPECT_NE(error.find(L"DllUnregisterServer"), std::wstring::npos) << shown;
  EXPECT_NE(error.find(file), std::wstring::npos) << shown;
  EXPECT_FALSE(ServerRegistered());
}

// regsvr32 fails on each of these too: the error is the first way's.
TEST_F(OleRegistration, ErrorsNameTheFile) {
  WriteFile(Dir.path() / "broken.dll", "not a library");
  WriteFile(Dir.path() / "damaged.tlb", "not a type library");
  WriteFile(Dir.path() / "broken.exe", "not a program");
  const struct {
    std::wstring File;
    const wchar_t* Part;
  } cases[] = {
      {Dir.file(L"broken.dll"), L"Ошибка загрузки"},
      {Copy("VersionLow.dll", "noentry.dll"), L"DllRegisterServer не найдена"},
      {Dir.file(L"damaged.tlb"), L""},
      {Dir.file(L"broken.exe"), L""},
      {Dir.file(L"missing.dll"), L"Ошибка загрузки"},
  };
  for (const auto& c : cases) {
    const std::wstring error = RegistrationError([&] { RegisterOleFile(c.File); });
    const std::string shown(error.begin(), error.end());
    EXPECT_NE(error.find(c.File), std::wstring::npos) << shown;
    EXPECT_NE(error.find(c.Part), std::wstring::npos) << shown;
  }
  const std::wstring error = RegistrationError([&] { UnregisterOleFile(Dir.file(L"noentry.dll")); });
  EXPECT_NE(error.find(L"DllUnregisterServer"), std::wstring::npos);
}

TEST_F(OleRegistration, TypeLibrariesGoThroughTheAutomationLibrary) {
  const std::wstring file = Copy("TavrelTestLib.tlb", "library.TLB");
  ASSERT_EQ(RegistrationError([&] { RegisterOleFile(file); }), L"");
  EXPECT_EQ(ReadStringValue(HKEY_CLASSES_ROOT, TestLibraryKey + L"\\1.0\\0\\win64", L""), file);
  ASSERT_EQ(RegistrationError([&] { UnregisterOleFile(file); }), L"");
  EXPECT_FALSE(LibraryRegistered());
}

TEST_F(OleRegistration, AProgramWithATypeLibraryBesideItRegistersOnlyTheLibrary) {
  // The program is no program at all: starting it would fail.
  WriteFile(Dir.path() / "program.exe", "not a program");
  const std::wstring library = Copy("TavrelTestLib.tlb", "program.tlb");
  ASSERT_EQ(RegistrationError([&] { RegisterOleFile(Dir.file(L"program.exe")); }), L"");
  EXPECT_EQ(ReadStringValue(HKEY_CLASSES_ROOT, TestLibraryKey + L"\\1.0\\0\\win64", L""), library);
  ASSERT_EQ(RegistrationError([&] { UnregisterOleFile(Dir.file(L"program.exe")); }), L"");
  EXPECT_FALSE(LibraryRegistered());
}

TEST_F(OleRegistration, ALocalServerIsStartedWithoutWaiting) {
  const std::wstring server = Copy("OleLocalServer.exe", "local server.exe");
  ASSERT_EQ(RegistrationError([&] { RegisterOleFile(server); }), L"");
  // The server takes its time before it writes its key: the call did not wait.
  EXPECT_FALSE(ServerRegistered());
  EXPECT_TRUE(WaitFor([&] { return ServerRegistered(); })) << "the server registered itself";

  ASSERT_EQ(RegistrationError([&] { UnregisterOleFile(server); }), L"");
  EXPECT_TRUE(ServerRegistered());
  EXPECT_TRUE(WaitFor([&] { return !ServerRegistered(); })) << "the server removed itself";
  // Let the server end before its folder goes.
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
}

}  // namespace
