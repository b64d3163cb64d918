// KvtDistr.dll as another program sees it: the two C exports, and no
// toolchain DLL needed beside it.

#include <gtest/gtest.h>

#include <filesystem>

#include "InstalledCopy.h"
#include "platform/UniqueHandle.h"
#include "setup/engine/KvtDistr.h"
#include "support/TestSupport.h"

namespace {

using SetParameterFn = void (*)(const wchar_t*, intptr_t);
using ExecuteFn = int32_t (*)(const wchar_t*, int32_t, void*, const TSetupFunctionParams*);

template <class Fn>
Fn Export(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

int MessageCount = 0;
void CountMessage(int32_t, const wchar_t*, void*) { ++MessageCount; }

TEST(KvtDistrDll, ExportsTheEntryWithCLinkage) {
  const std::wstring path = (testsupport::ExecutableDir() / "KvtDistr.dll").wstring();
  UniqueModule dll(::LoadLibraryW(path.c_str()));
  ASSERT_TRUE(dll) << "cannot load KvtDistr.dll: " << ::GetLastError();
  auto setParameter = Export<SetParameterFn>(dll.get(), "SetSetupParameter");
  auto execute = Export<ExecuteFn>(dll.get(), "ExecuteSetupFunction");
  ASSERT_NE(setParameter, nullptr);
  ASSERT_NE(execute, nullptr);

  setParameter(L"ProgramsIniFileName", reinterpret_cast<intptr_t>(L"  "));
  setParameter(L"ProgramLstDirsCharCase", 1);
  TSetupFunctionParams params{};
  params.Size = sizeof params;
  params.OnMessage = CountMessage;
  EXPECT_EQ(execute(L"", 9, nullptr, &params), -1);
  EXPECT_EQ(execute(nullptr, 0, nullptr, nullptr), -1);
  EXPECT_EQ(MessageCount, 0);

  for (const wchar_t* runtime : {L"libstdc++-6.dll", L"libgcc_s_seh-1.dll", L"libwinpthread-1.dll"}) {
    EXPECT_EQ(::GetModuleHandleW(runtime), nullptr) << runtime;
  }
}

std::vector<std::wstring> Messages;
void RecordMessage(int32_t kind, const wchar_t* text, void*) {
  Messages.push_back(std::to_wstring(kind) + L":" + text);
}

TEST(KvtDistrDll, InstallsAKitRefusesAStationSetupWithoutAnInstalledCopyAndUninstalls) {
  const std::wstring path = (testsupport::ExecutableDir() / "KvtDistr.dll").wstring();
  UniqueModule dll(::LoadLibraryW(path.c_str()));
  ASSERT_TRUE(dll);
  auto setParameter = Export<SetParameterFn>(dll.get(), "SetSetupParameter");
  auto execute = Export<ExecuteFn>(dll.get(), "ExecuteSetupFunction");
  testsupport::TempDir dir("dll");
  const std::wstring programs = dir.file(L"jomsetup.ini");
  setParameter(L"ProgramsIniFileName", reinterpret_cast<intptr_t>(programs.c_str()));
  testsupport::TKit kit(dir.path() / "Kit", L"5.03");
  kit.Add({L"jom.exe", L"", L"I", L"main", testsupport::FixtureBytes(5000, 1), L""})
      .Add({L"readme.txt", L"docs", L"", L"", "read me", L""});
  kit.Write();

  TSetupFunctionParams params{};
  params.Size = sizeof params;
  params.Automatic = 1;
  params.OnMessage = RecordMessage;
  const std::wstring program = dir.dir() + L"Program\\";
  TInstallParams install{sizeof install, program.c_str(), L"", 0};
  Messages.clear();
  execute(kit.Dir().c_str(), sfInstall, &install, &params);
  EXPECT_EQ(testsupport::ReadFile(dir.path() / "Program" / "jom.exe"), kit.Files()[0].Content);
  EXPECT_EQ(testsupport::ReadFile(dir.path() / "Program" / "DISTR" / "jom.exe"), kit.Files()[0].Content);
  EXPECT_EQ(testsupport::ReadFile(dir.path() / "Program" / "docs" / "readme.txt"), "read me");

  Messages.clear();
  EXPECT_EQ(execute(kit.Dir().c_str(), sfStationSetup, nullptr, &params), 0);
  EXPECT_EQ(Messages, std::vector<std::wstring>{L"0:Файл " + kit.Dir() + L"instcfg.ini не найден"});

  // The uninstall takes the copy and the records its install wrote.
  Messages.clear();
  EXPECT_EQ(execute(program.c_str(), sfUninstall, nullptr, &params), -1);
  EXPECT_EQ(Messages, std::vector<std::wstring>{});
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "Program"));
  setParameter(L"ProgramsIniFileName", 0);
}

}  // namespace
