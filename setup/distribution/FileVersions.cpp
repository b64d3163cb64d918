#include "setup/distribution/FileVersions.h"

#include <vector>

#include "platform/FileTool.h"
#include "platform/PlatformIntfTypes.h"
#include "platform/StrTool.h"
#include "platform/Win.h"

namespace {

using SfcIsFileProtectedFunction = BOOL(WINAPI*)(HANDLE, LPCWSTR);

// Looked up once per process; the library stays loaded until the program ends.
SfcIsFileProtectedFunction ProtectionCheck() {
  static const SfcIsFileProtectedFunction check = []() -> SfcIsFileProtectedFunction {
    IPlatformTools& tools = PlatformTools();
    const std::wstring library = IncludeTrailingBackslash(tools.GetSystemDirectory()) + L"sfc.dll";
    if (!tools.FileExists(library)) return nullptr;
    const HMODULE module = ::LoadLibraryW(library.c_str());
    if (!module) return nullptr;
    return reinterpret_cast<SfcIsFileProtectedFunction>(
        reinterpret_cast<void*>(::GetProcAddress(module, "SfcIsFileProtected")));
  }();
  return check;
}

}  // namespace

bool GetFileVersionNumbers(const std::wstring& fileName, std::uint32_t& high, std::uint32_t& low) {
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(fileName.c_str(), &ignored);
  if (size == 0) return false;
  std::vector<char> block(size);
  if (!::GetFileVersionInfoW(fileName.c_str(), 0, size, block.data())) return false;
  void* value = nullptr;
  UINT length = 0;
  if (!::VerQueryValueW(block.data(), L"\\", &value, &length) || !value || length < sizeof(VS_FIXEDFILEINFO))
    return false;
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
  high = fixed->dwFileVersionMS;
  low = fixed->dwFileVersionLS;
  return true;
}

bool IsOlderFile(const std::wstring& existing, const std::wstring& newFile) {
  std::uint32_t existingHigh = 0, existingLow = 0, newHigh = 0, newLow = 0;
  if (GetFileVersionNumbers(existing, existingHigh, existingLow) && GetFileVersionNumbers(newFile, newHigh, newLow)) {
    if (existingHigh != newHigh) return existingHigh < newHigh;
    return existingLow < newLow;
  }
  bool sameSize = false;
  return !FilesEqual(existing, newFile, sameSize);
}

bool IsFileProtected(const std::wstring& fileName) {
  const SfcIsFileProtectedFunction check = ProtectionCheck();
  return check && check(nullptr, fileName.c_str()) != FALSE;
}
