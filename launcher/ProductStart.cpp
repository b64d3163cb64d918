#include "launcher/ProductStart.h"

#include "launcher/LauncherSystem.h"
#include "launcher/ParameterText.h"
#include "launcher/VersionCompare.h"
#include "platform/Win.h"
// shlobj.h and shellapi.h need the declarations of windows.h first.
#include <shellapi.h>
#include <shlobj.h>

namespace {

// Starts File with the default action. No interface of its own: a missing
// program shows no box and is not reported.
void StartProgram(const std::wstring& File, const std::wstring& Parameters) {
  SHELLEXECUTEINFOW Info{};
  Info.cbSize = sizeof(Info);
  Info.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_DOENVSUBST;
  Info.lpFile = File.c_str();
  Info.lpParameters = Parameters.empty() ? nullptr : Parameters.c_str();
  Info.nShow = SW_SHOWNORMAL;
  ::ShellExecuteExW(&Info);
}

}  // namespace

std::wstring InstallDirectory() {
  wchar_t Path[MAX_PATH + 1] = {};
  if (!::SHGetSpecialFolderPathW(nullptr, Path, CSIDL_PROGRAM_FILESX86, FALSE) || Path[0] == L'\0') return {};
  return WithTrailingBackslash(Path) + L"Tavrel\\";
}

std::wstring KitDirectory() {
  std::wstring Path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD Length = ::GetModuleFileNameW(nullptr, Path.data(), static_cast<DWORD>(Path.size()));
    if (Length == 0) return {};
    if (Length < Path.size()) {
      Path.resize(Length);
      break;
    }
    Path.resize(Path.size() * 2);
  }
  return Path.substr(0, Path.find_last_of(L"\\/") + 1);
}

std::wstring ProductVersion(const std::wstring& Directory) {
  std::wstring Version(2048, L'\0');
  const DWORD Length = ::GetPrivateProfileStringW(L"JOM", L"Version", L"", Version.data(),
                                                  static_cast<DWORD>(Version.size()),
                                                  (Directory + L"setup.ini").c_str());
  Version.resize(Length);
  return Version;
}

void StartProduct(const std::wstring& InstallDir, const std::wstring& KitDir,
                  const std::vector<std::wstring>& Arguments) {
  if (DirectoryExists(InstallDir) && CompareVersions(ProductVersion(KitDir), ProductVersion(InstallDir)) <= 0) {
    StartProgram(InstallDir + L"jom.exe", JomParameters(Arguments));
    return;
  }
  StartProgram(KitDir + L"setup.exe", SetupParameters(Arguments));
}
