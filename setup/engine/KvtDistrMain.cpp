// The entry point of KvtDistr.dll: notes where the DLL's localization file
// lies ("setup.sln" beside the DLL, as setup.exe ships it). The texts are
// bound on the first call, outside the loader lock.

#include "platform/Win.h"

#include <string>

extern std::wstring EngineLocalizationFile;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  ::DisableThreadLibraryCalls(instance);
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(instance, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return TRUE;
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  path.erase(path.find_last_of(L"\\/") + 1);
  EngineLocalizationFile = path + L"setup.sln";
  return TRUE;
}
