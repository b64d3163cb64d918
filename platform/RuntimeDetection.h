#pragma once
// Start-up detection of the runtime environment as a pure decision over what
// the system reports: the Windows unit answers the questions with real calls,
// tests answer them from tables. The questions are asked in the order and
// under the conditions of the detection (the macOS folders only under Wine,
// the NT-only probes only on the NT family).

#include <cstdint>
#include <string>

#include "platform/PlatformIntfTypes.h"

// The answers detection needs. Every question is asked at most once.
class IEnvironmentProbe {
public:
  virtual ~IEnvironmentProbe() = default;
  // Platform identifier (2 = NT family), major and minor version.
  virtual void WindowsVersion(std::uint32_t& platformId, std::uint32_t& major, std::uint32_t& minor) = 0;
  virtual bool RegistryKeyExists(RegistryRoot root, const std::wstring& key) = 0;
  // Whether "ntdll.dll" exports "wine_get_version".
  virtual bool WineExportPresent() = 0;
  virtual std::wstring EnvironmentVariable(const std::wstring& name) = 0;
  // Directory test under SEM_FAILCRITICALERRORS; false on any failure.
  virtual bool DirectoryExists(const std::wstring& path) = 0;
  // The 4-byte value "EnableBalloonTips" of Explorer\Advanced; false when it does not read.
  virtual bool ReadBalloonTips(std::uint32_t& value) = 0;
  // IsWow64Process of the current process; false when missing or failing.
  virtual bool QueryWow64(bool& isWow64) = 0;
  // GetProductInfo's product type; false when missing or failing.
  virtual bool QueryProductType(std::uint32_t& productType) = 0;
  // The package family name; false when the process has none.
  virtual bool QueryPackageFamilyName(std::wstring& name) = 0;
};

// Runs the detection rules over the probe's answers.
TRuntimeEnvironment DetectRuntimeEnvironment(IEnvironmentProbe& probe);
