// Benchmark of a fresh install (sfInstall) from a kit built with sfBuildKit,
// timed here and compared by scripts/bench-install.sh with native unzip of
// the same archives plus a copy of the loose files.
// Usage: InstallBench.exe build <program folder> <kit folder>
//        InstallBench.exe install <kit folder> <program folder> <programs ini>
// Prints "name value" lines.

#include <chrono>
#include <cstdio>
#include <string>

#include "platform/FileTool.h"
#include "platform/StrTool.h"
#include "platform/Win.h"
#include "setup/engine/KvtDistr.h"

namespace {
int Errors = 0;

void OnMessage(std::int32_t kind, const wchar_t* text, void*) {
  if (kind != mkError) return;
  ++Errors;
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(size > 0 ? size : 1), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), size, nullptr, nullptr);
  std::fprintf(stderr, "error: %s\n", utf8.c_str());
}

double StartTime = 0, FirstCopy = 0, CopyDone = 0;
double Now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }
void OnStatus(const wchar_t* title, const wchar_t*, const wchar_t*, std::int32_t percent, std::uint8_t*, void*) {
  const std::wstring t = title;
  if (t == L"Копирование файлов" && FirstCopy == 0) FirstCopy = Now() - StartTime;
  if (t == L"Копирование файлов" && percent == 100) CopyDone = Now() - StartTime;
}

TSetupFunctionParams Params() {
  TSetupFunctionParams params{};
  params.Size = sizeof params;
  params.Automatic = 1;
  params.OnMessage = OnMessage;
  return params;
}

int BuildKit(const std::wstring& program, const std::wstring& kit) {
  const TSetupFunctionParams params = Params();
  ExecuteSetupFunction(program.c_str(), sfBuildKit, const_cast<wchar_t*>(kit.c_str()), &params);
  // A kit carries its setup.ini beside the list.
  ::CopyFileW((program + L"setup.ini").c_str(), (kit + L"setup.ini").c_str(), FALSE);
  return Errors == 0 ? 0 : 2;
}

int Install(const std::wstring& kit, const std::wstring& program, const std::wstring& programsIni) {
  SetSetupParameter(L"ProgramsIniFileName", reinterpret_cast<intptr_t>(programsIni.c_str()));
  DeleteDirectory(program, true, true, true);
  const TSetupFunctionParams params = Params();
  TInstallParams install{sizeof install, program.c_str(), L"", 1};
  TSetupFunctionParams timed = params;
  timed.OnStatus = OnStatus;
  StartTime = Now();
  const auto start = std::chrono::steady_clock::now();
  const std::int32_t result = ExecuteSetupFunction(kit.c_str(), sfInstall, &install, &timed);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("first_copy %.3f\ncopy_done %.3f\n", FirstCopy, CopyDone);
  std::printf("install %.3f\nresult %d\nerrors %d\n", seconds, result, Errors);
  return 0;
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring mode = argc > 1 ? argv[1] : L"";
  if (mode == L"build" && argc == 4) return BuildKit(IncludeTrailingBackslash(argv[2]), IncludeTrailingBackslash(argv[3]));
  if (mode == L"install" && argc == 5)
    return Install(IncludeTrailingBackslash(argv[2]), IncludeTrailingBackslash(argv[3]), argv[4]);
  std::fwprintf(stderr, L"usage: InstallBench.exe build <program> <kit> | install <kit> <program> <programs ini>\n");
  return 1;
}
