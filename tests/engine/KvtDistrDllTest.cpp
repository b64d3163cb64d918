// KvtDistr.dll as another program sees it: the two C exports, and no
// toolchain DLL needed beside it.

#include <gtest/gtest.h>

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

}  // namespace
