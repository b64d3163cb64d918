#pragma once
// Fixtures for running the real JomStart.exe in the test prefix: a kit folder
// with the launcher and a stand-in setup.exe, an installed copy with a
// stand-in jom.exe, and guards that put back the drive mappings, environment
// variables and "LogPixels" value a run changes.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace launchertest {

// Removes the mapping of drive Letter ('a'..'z') through the mount manager.
bool RemoveUnixDrive(char Letter);

// Puts every drive letter back to the Unix folder (or to no folder) it had
// when the guard was made; letters that did not change are left alone.
class DriveMappingGuard {
public:
  DriveMappingGuard();
  ~DriveMappingGuard();
  DriveMappingGuard(const DriveMappingGuard&) = delete;
  DriveMappingGuard& operator=(const DriveMappingGuard&) = delete;

private:
  std::array<std::optional<std::string>, 26> Saved;
};

// Sets environment variables of the test process (inherited by the launcher)
// and puts the previous values back.
class EnvironmentGuard {
public:
  EnvironmentGuard() = default;
  ~EnvironmentGuard();
  EnvironmentGuard(const EnvironmentGuard&) = delete;
  EnvironmentGuard& operator=(const EnvironmentGuard&) = delete;
  // Value nothing removes the variable.
  void Set(const std::wstring& Name, const std::optional<std::wstring>& Value);

private:
  std::vector<std::pair<std::wstring, std::optional<std::wstring>>> Saved;
};

// "LogPixels" under HKEY_CURRENT_USER\Control Panel\Desktop: nothing when the
// value is missing or not a 4-byte REG_DWORD.
std::optional<std::uint32_t> ReadLogPixels();
void WriteLogPixels(std::optional<std::uint32_t> Value);

// Keeps the stored "LogPixels" and puts it back (or removes it) at the end.
class LogPixelsGuard {
public:
  LogPixelsGuard();
  ~LogPixelsGuard();
  LogPixelsGuard(const LogPixelsGuard&) = delete;
  LogPixelsGuard& operator=(const LogPixelsGuard&) = delete;

private:
  bool Present = false;
  std::uint32_t Type = 0;
  std::vector<std::uint8_t> Data;
};

// The folder the launcher looks for: Program Files (x86) + "Tavrel\".
std::wstring ProductInstallDir();

// An installed copy with a stand-in jom.exe and, when Version is given, a
// setup.ini naming it. Removed with its content at the end; the folder must
// not exist before.
class InstalledCopy {
public:
  explicit InstalledCopy(const std::optional<std::wstring>& Version);
  ~InstalledCopy();
  InstalledCopy(const InstalledCopy&) = delete;
  InstalledCopy& operator=(const InstalledCopy&) = delete;
  std::wstring Jom() const { return Dir + L"jom.exe"; }

private:
  std::wstring Dir;
};

// A kit folder: the launcher (JomStart.exe, or another build of it copied
// under that name), a stand-in setup.exe, and setup.ini when Version is given.
class Kit {
public:
  explicit Kit(const std::optional<std::wstring>& Version, const std::wstring& LauncherName = L"JomStart.exe");
  ~Kit();
  Kit(const Kit&) = delete;
  Kit& operator=(const Kit&) = delete;
  std::wstring Launcher() const { return Folder.file(L"JomStart.exe"); }
  std::wstring Setup() const { return Folder.file(L"setup.exe"); }
  std::wstring File(const std::wstring& Name) const { return Folder.file(Name); }

private:
  testsupport::TempDir Folder{"kit"};
};

// A started launcher whose standard output and error go to a file.
class LauncherProcess {
public:
  LauncherProcess(const std::wstring& Exe, const std::vector<std::wstring>& Arguments, const std::wstring& OutputFile);
  ~LauncherProcess();
  LauncherProcess(const LauncherProcess&) = delete;
  LauncherProcess& operator=(const LauncherProcess&) = delete;
  bool Started() const { return Process != nullptr; }
  std::uint32_t Id() const { return ProcessId; }
  // The exit code, or -1 when the process has not ended in time.
  long Wait(std::uint32_t Milliseconds);

private:
  void* Process = nullptr;
  std::uint32_t ProcessId = 0;
};

struct LaunchResult {
  long ExitCode = -1;
  std::string ConsoleOutput;
};

// Runs the kit's launcher with Arguments to its end (bounded).
LaunchResult RunLauncher(const Kit& TheKit, const std::vector<std::wstring>& Arguments);

// The command line a stand-in recorded, once it appears (bounded wait).
std::optional<std::wstring> WaitForCommandLine(const std::wstring& StandIn, std::uint32_t Milliseconds = 30000);
bool HasCommandLine(const std::wstring& StandIn);

// The arguments of a command line after the program, split as setup splits
// its own.
std::vector<std::wstring> ArgumentsOf(const std::wstring& CommandLine);

std::string Narrow(const std::wstring& Text);

}  // namespace launchertest
