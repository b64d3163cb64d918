#pragma once
// Helpers shared by the tests: unique temporary folders that clean up after
// themselves, small file helpers and (Windows tree) real second processes.

#include <cstdint>
#include <filesystem>
#include <string>

namespace testsupport {

// A fresh folder under the system temporary folder, removed with its content
// when the object goes away.
class TempDir {
public:
  explicit TempDir(const std::string& tag = "t");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return Path; }
  // The folder as a Windows-style text with a trailing separator.
  std::wstring dir() const;
  std::wstring file(const std::wstring& name) const;

private:
  std::filesystem::path Path;
};

void WriteFile(const std::filesystem::path& file, const std::string& bytes);
std::string ReadFile(const std::filesystem::path& file);

// The folder of the running test executable (helper programs live beside it).
std::filesystem::path ExecutableDir();

#ifdef _WIN32
// A real second process; killed and waited for when the object goes away.
class ChildProcess {
public:
  ChildProcess() = default;
  ChildProcess(ChildProcess&& other) noexcept;
  ChildProcess& operator=(ChildProcess&& other) noexcept;
  ~ChildProcess();

  // Starts the command line; false on failure.
  bool Start(const std::wstring& commandLine);
  // Waits for the end; returns the exit code, or -1 on a time-out.
  long Wait(std::uint32_t milliseconds);
  void Kill();
  bool Running() const;
  std::uint32_t Id() const { return ProcessId; }

private:
  void* Process = nullptr;
  std::uint32_t ProcessId = 0;
};

// Starts FileHolder.exe, which opens the file with the given sharing flags
// (FILE_SHARE_* bits) and keeps it open until it is killed. Returns once the
// file is open; a failed start or open fails the calling test.
ChildProcess HoldFileOpen(const std::wstring& file, std::uint32_t shareMode);
#endif

}  // namespace testsupport
