#pragma once
// Fault injection through the platform seam: a decorator of the process-wide
// IPlatformTools that counts every operation changing a file or folder
// (create, write, copy, move, delete, set attributes, folder creation and
// removal, profile writes) and makes the Nth of them fail with a system
// error code, as a full disk, a file held by another program or a denied
// access would. A full disk fails a write or a copy half-way: half of the
// bytes reach the file before the error.
//
//   TFaultInjection faults;           // installed for the scope
//   faults->FailAt(12, ERROR_DISK_FULL);
//   ... run the engine ...
//   faults->Injected();               // whether operation 12 happened

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "support/PlatformToolsForwarder.h"

namespace testsupport {

// One counted operation: its kind ("create", "write", "copy", "move",
// "delete", "attributes", "mkdir", "rmdir", "profile") and the path it
// changes (the destination of a copy or move; empty for a write, which
// names no path).
struct TFileOperation {
  std::string Kind;
  std::wstring Path;
};

class TFaultPlatformTools : public TPlatformToolsForwarder {
public:
  explicit TFaultPlatformTools(RefPtr<IPlatformTools> real) : TPlatformToolsForwarder(std::move(real)) {}

  // Operation number n (counted from 1 since the last Reset) fails with the
  // error code; 0 makes none fail.
  void FailAt(std::uint64_t n, std::uint32_t errorCode);
  // The first operation of the kind whose path ends with the suffix (without
  // regard to case) fails with the error code.
  void FailOn(const std::string& kind, const std::wstring& pathSuffix, std::uint32_t errorCode);
  // Starts counting and logging again; no operation fails.
  void Reset();
  std::uint64_t Count() const;
  bool Injected() const;
  // The operation that failed (valid when Injected).
  TFileOperation Failure() const;
  std::vector<TFileOperation> Operations() const;

  Handle OpenFileHandle(const std::wstring& path, std::uint8_t openMode, bool openExisting) override;
  bool CopyFile(const std::wstring& source, const std::wstring& destination, bool failIfExists) override;
  bool RemoveDirectory(const std::wstring& path) override;
  bool ReplaceFileInUse(const std::wstring& existingFile, const std::wstring& newFile) override;
  bool SetFileAttributes(const std::wstring& path, std::uint32_t attributes) override;
  bool WriteFileData(Handle file, const void* buffer, std::uint32_t count, std::uint32_t& written) override;
  bool DeleteFile(const std::wstring& path) override;
  bool MoveFile(const std::wstring& existingFile, const std::wstring& newFile, std::uint32_t flags) override;
  bool CreateDirectory(const std::wstring& path) override;
  bool WriteIniString(const std::wstring& file, const wchar_t* section, const wchar_t* key,
                      const wchar_t* value) override;

private:
  // Counts the operation; true (with the fault's code as the last error)
  // when it is the one to fail.
  bool Fails(const char* kind, const std::wstring& path);
  std::uint32_t Code() const;

  mutable std::mutex Lock;
  std::uint64_t Counted = 0;
  std::uint64_t FailingAt = 0;
  std::string FailingKind;
  std::wstring FailingSuffix;
  std::uint32_t ErrorCode = 0;
  bool Hit = false;
  TFileOperation Failed;
  std::vector<TFileOperation> Log;
};

// Puts a TFaultPlatformTools in front of the process-wide instance for the
// object's lifetime.
class TFaultInjection {
public:
  TFaultInjection();
  ~TFaultInjection();
  TFaultInjection(const TFaultInjection&) = delete;
  TFaultInjection& operator=(const TFaultInjection&) = delete;

  TFaultPlatformTools* operator->() const { return Tools.get(); }
  TFaultPlatformTools& operator*() const { return *Tools; }

private:
  RefPtr<TFaultPlatformTools> Tools;
  RefPtr<IPlatformTools> Previous;
};

}  // namespace testsupport
