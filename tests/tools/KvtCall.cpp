// Console driver of the engine library: loads KvtDistr.dll from its own
// folder, runs one function and prints every message and progress step.
// Used by the demo and by tests that drive the engine from outside.
//
// Usage: kvtcall.exe <folder> <check|buildkit|update|uninstall|install|code>
//                    [parameter] [/auto] [/param:Name=Value ...]
// Exit code: 0 when the function succeeded, 1 when it failed, 2 on bad use.
#include "platform/Win.h"

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "setup/engine/KvtDistr.h"
#include "tests/tools/PrintUtf8.h"

namespace {

using SetParameterFn = void (*)(const wchar_t*, intptr_t);
using ExecuteFn = int32_t (*)(const wchar_t*, int32_t, void*, const TSetupFunctionParams*);

struct Output {
  std::wstring LastTitle;
  int LastPercent = -1;
  int Errors = 0;
};

void OnMessage(int32_t kind, const wchar_t* text, void* userData) {
  auto* out = static_cast<Output*>(userData);
  static const wchar_t* const kinds[] = {L"error", L"info", L"warning"};
  if (kind == mkError) ++out->Errors;
  Print(std::wstring(L"  [") + (kind >= 0 && kind <= 2 ? kinds[kind] : L"?") + L"] " + (text ? text : L""));
}

void OnStatus(const wchar_t* title, const wchar_t*, const wchar_t*, int32_t percent, uint8_t*, void* userData) {
  auto* out = static_cast<Output*>(userData);
  if (title && *title && *title != L' ' && out->LastTitle != title) {
    out->LastTitle = title;
    Print(std::wstring(L"  == ") + title);
  }
  // Every tenth percent is enough to show progress without flooding.
  if (percent >= 0 && percent / 10 != out->LastPercent / 10) {
    out->LastPercent = percent;
    Print(L"  .. " + std::to_wstring(percent) + L" %");
  }
}

int32_t OnQuestion(const wchar_t* caption, const wchar_t* text, uint32_t, void*) {
  Print(std::wstring(L"  [question] ") + (caption ? caption : L"") + L": " + (text ? text : L"") + L" -> yes");
  return IDYES;
}

int32_t FunctionCode(const std::wstring& name) {
  static const struct {
    const wchar_t* Name;
    int32_t Code;
  } names[] = {{L"install", sfInstall},        {L"update", sfUpdate},         {L"check", sfCheck},
               {L"buildkit", sfBuildKit},      {L"stationsetup", sfStationSetup}, {L"uninstall", sfUninstall}};
  for (const auto& entry : names)
    if (::_wcsicmp(entry.Name, name.c_str()) == 0) return entry.Code;
  wchar_t* end = nullptr;
  const long code = std::wcstol(name.c_str(), &end, 10);
  return end && *end == 0 && !name.empty() ? static_cast<int32_t>(code) : -1;
}

std::wstring ModuleFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return L"";
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  return path.substr(0, path.find_last_of(L'\\') + 1);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    Print(L"usage: kvtcall <folder> <check|buildkit|update|uninstall|install|code> [parameter] [/auto] "
          L"[/param:Name=Value ...]");
    return 2;
  }
  const int32_t code = FunctionCode(argv[2]);
  if (code < 0) {
    Print(std::wstring(L"kvtcall: unknown function ") + argv[2]);
    return 2;
  }
  std::wstring parameter;
  bool automatic = false;
  std::vector<std::pair<std::wstring, std::wstring>> settings;
  for (int i = 3; i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (::_wcsicmp(arg.c_str(), L"/auto") == 0) {
      automatic = true;
    } else if (::_wcsnicmp(arg.c_str(), L"/param:", 7) == 0 && arg.find(L'=') != std::wstring::npos) {
      const size_t eq = arg.find(L'=');
      settings.emplace_back(arg.substr(7, eq - 7), arg.substr(eq + 1));
    } else {
      parameter = arg;
    }
  }

  HMODULE engine = ::LoadLibraryW((ModuleFolder() + L"KvtDistr.dll").c_str());
  if (!engine) {
    Print(L"kvtcall: KvtDistr.dll cannot be loaded (error " + std::to_wstring(::GetLastError()) + L")");
    return 2;
  }
  // Through void* first: FARPROC has another signature than the exports.
  auto setParameter =
      reinterpret_cast<SetParameterFn>(reinterpret_cast<void*>(::GetProcAddress(engine, "SetSetupParameter")));
  auto execute =
      reinterpret_cast<ExecuteFn>(reinterpret_cast<void*>(::GetProcAddress(engine, "ExecuteSetupFunction")));
  if (!setParameter || !execute) {
    Print(L"kvtcall: KvtDistr.dll lacks its entry functions");
    return 2;
  }
  for (const auto& [name, value] : settings) setParameter(name.c_str(), reinterpret_cast<intptr_t>(value.c_str()));

  Output out;
  TSetupFunctionParams params{};
  params.Size = sizeof(params);
  params.Automatic = automatic ? 1 : 0;
  params.OnMessage = OnMessage;
  params.OnStatus = OnStatus;
  params.OnQuestion = OnQuestion;
  params.UserData = &out;

  TInstallParams install{};
  void* functionParameter = nullptr;
  if (code == sfInstall) {
    install.Size = sizeof(install);
    install.InstallDir = parameter.c_str();
    install.GroupName = L"";
    functionParameter = &install;
  } else if (!parameter.empty()) {
    functionParameter = const_cast<wchar_t*>(parameter.c_str());
  }
  const int32_t result = execute(argv[1], code, functionParameter, &params);
  Print(std::wstring(L"kvtcall: ") + (result ? L"succeeded" : L"failed") + L" (" + std::to_wstring(out.Errors) +
        L" errors)");
  ::FreeLibrary(engine);
  return result ? 0 : 1;
}
