#include "launcher/LauncherTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "launcher/MountManager.h"
#include "launcher/MountManagerRecord.h"
#include "launcher/ParameterText.h"
#include "platform/CommandLine.h"
#include "platform/UniqueHandle.h"
#include "platform/Win.h"
// shlobj.h and shellapi.h need the declarations of windows.h first.
#include <shellapi.h>
#include <shlobj.h>

namespace fs = std::filesystem;
using testsupport::ExecutableDir;

namespace launchertest {

namespace {

constexpr wchar_t kDesktopKey[] = L"Control Panel\\Desktop";
constexpr wchar_t kLogPixels[] = L"LogPixels";

// A running program keeps its file; waits until it can go (bounded).
void DeleteWhenFree(const std::wstring& File) {
  for (int I = 0; I < 100; ++I) {
    if (::DeleteFileW(File.c_str()) || ::GetLastError() == ERROR_FILE_NOT_FOUND) return;
    ::Sleep(100);
  }
}

void CopyOrThrow(const fs::path& From, const std::wstring& To) {
  if (!::CopyFileW(From.wstring().c_str(), To.c_str(), FALSE))
    throw std::runtime_error("cannot copy " + From.string());
}

void WriteVersion(const std::wstring& Folder, const std::optional<std::wstring>& Version) {
  if (!Version) return;
  testsupport::WriteFile(fs::path(Folder + L"setup.ini"), "[JOM]\r\nVersion=" + Narrow(*Version) + "\r\n");
}

// One argument quoted for the C runtime's split, which the launcher's own
// command line goes through: backslashes before a quote and quotes inside
// are escaped.
std::wstring RuntimeQuoted(const std::wstring& Argument) {
  std::wstring Text = L"\"";
  std::size_t Backslashes = 0;
  for (const wchar_t Ch : Argument) {
    if (Ch == L'\\') {
      ++Backslashes;
      continue;
    }
    Text.append(Ch == L'"' ? Backslashes * 2 + 1 : Backslashes, L'\\');
    Backslashes = 0;
    Text += Ch;
  }
  Text.append(Backslashes * 2, L'\\');
  return Text + L"\"";
}

std::wstring QuotedCommandLine(const std::wstring& Exe, const std::vector<std::wstring>& Arguments) {
  std::wstring Line = RuntimeQuoted(Exe);
  for (const std::wstring& Argument : Arguments) Line += L" " + RuntimeQuoted(Argument);
  return Line;
}

}  // namespace

std::string Narrow(const std::wstring& Text) {
  std::string Result;
  for (const wchar_t Ch : Text) Result += Ch < 0x80 ? static_cast<char>(Ch) : '?';
  return Result;
}

bool RemoveUnixDrive(char Letter) {
  // A define request that names no mount point and no device removes the drive.
  std::vector<std::uint8_t> Record = BuildQueryRecord(Letter);
  UniqueKernelHandle Device(::CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
  DWORD Returned = 0;
  return Device && ::DeviceIoControl(Device.get(), kDefineUnixDriveCode, Record.data(),
                                     static_cast<DWORD>(Record.size()), nullptr, 0, &Returned, nullptr);
}

DriveMappingGuard::DriveMappingGuard() {
  for (char Letter = 'd'; Letter <= 'y'; ++Letter) Saved[Letter - 'a'] = QueryUnixDrive(Letter);
}

DriveMappingGuard::~DriveMappingGuard() {
  for (char Letter = 'd'; Letter <= 'y'; ++Letter) {
    const std::optional<std::string>& Before = Saved[Letter - 'a'];
    if (QueryUnixDrive(Letter) == Before) continue;
    const bool Restored = Before ? DefineUnixDrive(Letter, *Before) : RemoveUnixDrive(Letter);
    EXPECT_TRUE(Restored) << "cannot restore drive " << Letter;
  }
}

void EnvironmentGuard::Set(const std::wstring& Name, const std::optional<std::wstring>& Value) {
  wchar_t Buffer[32768];
  const DWORD Length = ::GetEnvironmentVariableW(Name.c_str(), Buffer, 32768);
  Saved.emplace_back(Name, Length > 0 ? std::optional<std::wstring>(std::wstring(Buffer, Length)) : std::nullopt);
  ::SetEnvironmentVariableW(Name.c_str(), Value ? Value->c_str() : nullptr);
}

EnvironmentGuard::~EnvironmentGuard() {
  for (auto It = Saved.rbegin(); It != Saved.rend(); ++It)
    ::SetEnvironmentVariableW(It->first.c_str(), It->second ? It->second->c_str() : nullptr);
}

std::optional<std::uint32_t> ReadLogPixels() {
  DWORD Type = 0;
  DWORD Value = 0;
  DWORD Size = sizeof(Value);
  if (::RegGetValueW(HKEY_CURRENT_USER, kDesktopKey, kLogPixels, RRF_RT_ANY, &Type, &Value, &Size) != ERROR_SUCCESS ||
      Type != REG_DWORD || Size != sizeof(Value))
    return std::nullopt;
  return Value;
}

void WriteLogPixels(std::optional<std::uint32_t> Value) {
  UniqueRegKey Key;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, kDesktopKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, Key.put(),
                              nullptr),
            ERROR_SUCCESS);
  if (!Value) {
    ::RegDeleteValueW(Key.get(), kLogPixels);
    return;
  }
  const DWORD Data = *Value;
  ASSERT_EQ(::RegSetValueExW(Key.get(), kLogPixels, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&Data), sizeof(Data)),
            ERROR_SUCCESS);
}

LogPixelsGuard::LogPixelsGuard() {
  DWORD Size = 0;
  DWORD StoredType = 0;
  if (::RegGetValueW(HKEY_CURRENT_USER, kDesktopKey, kLogPixels, RRF_RT_ANY | RRF_NOEXPAND, &StoredType, nullptr,
                     &Size) != ERROR_SUCCESS)
    return;
  Data.resize(Size);
  Present = ::RegGetValueW(HKEY_CURRENT_USER, kDesktopKey, kLogPixels, RRF_RT_ANY | RRF_NOEXPAND, &StoredType,
                           Data.data(), &Size) == ERROR_SUCCESS;
  Type = StoredType;
  Data.resize(Size);
}

LogPixelsGuard::~LogPixelsGuard() {
  UniqueRegKey Key;
  if (::RegCreateKeyExW(HKEY_CURRENT_USER, kDesktopKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, Key.put(), nullptr) !=
      ERROR_SUCCESS)
    return;
  if (Present) {
    ::RegSetValueExW(Key.get(), kLogPixels, 0, Type, Data.data(), static_cast<DWORD>(Data.size()));
  } else {
    ::RegDeleteValueW(Key.get(), kLogPixels);
  }
}

std::wstring ProductInstallDir() {
  wchar_t Path[MAX_PATH + 1] = {};
  if (!::SHGetSpecialFolderPathW(nullptr, Path, CSIDL_PROGRAM_FILESX86, FALSE)) return {};
  std::wstring Dir = Path;
  if (!Dir.empty() && Dir.back() != L'\\') Dir += L'\\';
  return Dir + L"Tavrel\\";
}

InstalledCopy::InstalledCopy(const std::optional<std::wstring>& Version) : Dir(ProductInstallDir()) {
  if (Dir.empty() || fs::exists(fs::path(Dir)))
    throw std::runtime_error("the product folder is missing from the prefix or already there: " + Narrow(Dir));
  fs::create_directories(fs::path(Dir));
  CopyOrThrow(ExecutableDir() / L"LauncherStandIn.exe", Jom());
  WriteVersion(Dir, Version);
}

InstalledCopy::~InstalledCopy() {
  DeleteWhenFree(Jom());
  std::error_code Ignored;
  fs::remove_all(fs::path(Dir), Ignored);
}

Kit::Kit(const std::optional<std::wstring>& Version, const std::wstring& LauncherName) {
  CopyOrThrow(ExecutableDir() / LauncherName, Launcher());
  CopyOrThrow(ExecutableDir() / L"LauncherStandIn.exe", Setup());
  WriteVersion(Folder.dir(), Version);
}

Kit::~Kit() {
  DeleteWhenFree(Setup());
  DeleteWhenFree(Launcher());
}

LauncherProcess::LauncherProcess(const std::wstring& Exe, const std::vector<std::wstring>& Arguments,
                                 const std::wstring& OutputFile) {
  SECURITY_ATTRIBUTES Inherit{sizeof(Inherit), nullptr, TRUE};
  UniqueKernelHandle Output(::CreateFileW(OutputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          &Inherit, CREATE_ALWAYS, 0, nullptr));
  if (!Output) return;
  STARTUPINFOW Startup{};
  Startup.cb = sizeof(Startup);
  Startup.dwFlags = STARTF_USESTDHANDLES;
  Startup.hStdOutput = Output.get();
  Startup.hStdError = Output.get();
  PROCESS_INFORMATION Info{};
  std::wstring Line = QuotedCommandLine(Exe, Arguments);
  if (!::CreateProcessW(Exe.c_str(), Line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &Startup, &Info))
    return;
  ::CloseHandle(Info.hThread);
  Process = Info.hProcess;
  ProcessId = Info.dwProcessId;
}

LauncherProcess::~LauncherProcess() {
  if (!Process) return;
  if (::WaitForSingleObject(Process, 0) == WAIT_TIMEOUT) ::TerminateProcess(Process, 1);
  ::WaitForSingleObject(Process, 10000);
  ::CloseHandle(Process);
}

long LauncherProcess::Wait(std::uint32_t Milliseconds) {
  if (!Process || ::WaitForSingleObject(Process, Milliseconds) != WAIT_OBJECT_0) return -1;
  DWORD Code = 0;
  ::GetExitCodeProcess(Process, &Code);
  return static_cast<long>(Code);
}

LaunchResult RunLauncher(const Kit& TheKit, const std::vector<std::wstring>& Arguments) {
  const std::wstring OutputFile = TheKit.File(L"console.txt");
  LaunchResult Result;
  {
    LauncherProcess Launcher(TheKit.Launcher(), Arguments, OutputFile);
    EXPECT_TRUE(Launcher.Started()) << "cannot start the launcher";
    Result.ExitCode = Launcher.Wait(60000);
  }
  Result.ConsoleOutput = testsupport::ReadFile(fs::path(OutputFile));
  return Result;
}

bool HasCommandLine(const std::wstring& StandIn) { return fs::exists(fs::path(StandIn + L".cmdline")); }

std::optional<std::wstring> WaitForCommandLine(const std::wstring& StandIn, std::uint32_t Milliseconds) {
  const fs::path Record(StandIn + L".cmdline");
  for (std::uint32_t Waited = 0; Waited <= Milliseconds; Waited += 100) {
    if (fs::exists(Record)) {
      const std::string Bytes = testsupport::ReadFile(Record);
      return std::wstring(reinterpret_cast<const wchar_t*>(Bytes.data()), Bytes.size() / sizeof(wchar_t));
    }
    ::Sleep(100);
  }
  return std::nullopt;
}

std::vector<std::wstring> ArgumentsOf(const std::wstring& CommandLine) { return SplitCommandLine(CommandLine); }

}  // namespace launchertest
