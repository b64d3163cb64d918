#include "platform/RuntimeDetection.h"

namespace {
constexpr std::uint32_t VerPlatformWin32NT = 2;
constexpr std::uint32_t ProductCloud = 178;
constexpr std::uint32_t ProductCloudN = 179;

void SetVersionFlags(TRuntimeEnvironment& env, std::uint32_t platformId, std::uint32_t major, std::uint32_t minor) {
  env.IsWindowsNT = platformId == VerPlatformWin32NT;
  env.IsWindows2000OrLater = env.IsWindowsNT && major >= 5;
  env.IsWindowsNT4 = env.IsWindowsNT && major == 4;
  env.IsWindowsXPOrLater = major > 5 || (major == 5 && minor >= 1);
  env.IsWindowsVistaOrLater = major >= 6;
  env.IsWindows7OrLater = major > 6 || (major == 6 && minor >= 1);
  env.IsWindows8OrLater = major > 6 || (major == 6 && minor >= 2);
  env.IsWindows10OrLater = major >= 10;
}

void SetWineFlags(TRuntimeEnvironment& env, IEnvironmentProbe& probe) {
  // Both signs are needed: a leftover registry key alone proves nothing.
  env.IsWine = probe.RegistryKeyExists(RegistryRoot::CurrentUser, L"Software\\Wine") && probe.WineExportPresent();
  if (!env.IsWine) return;
  env.IsCrossOver = probe.RegistryKeyExists(RegistryRoot::LocalMachine, L"Software\\CodeWeavers\\CrossOver");
  env.IsSnap = !probe.EnvironmentVariable(L"SNAP").empty();
  env.IsWineOnMacOS = probe.DirectoryExists(L"Z:\\System") && probe.DirectoryExists(L"Z:\\Users");
  env.IsWineOnLinux = !env.IsWineOnMacOS;
}

void SetNtFlags(TRuntimeEnvironment& env, IEnvironmentProbe& probe) {
  bool wow64 = false;
  if (probe.QueryWow64(wow64)) env.IsWow64 = wow64;
  std::uint32_t productType = 0;
  if (probe.QueryProductType(productType))
    env.IsWindowsSMode = productType == ProductCloud || productType == ProductCloudN;
  std::wstring family;
  if (probe.QueryPackageFamilyName(family) && !family.empty()) {
    env.IsPackagedApp = true;
    env.PackageFamilyName = family;
  }
}
}  // namespace

TRuntimeEnvironment DetectRuntimeEnvironment(IEnvironmentProbe& probe) {
  TRuntimeEnvironment env;
  std::uint32_t platformId = 0, major = 0, minor = 0;
  probe.WindowsVersion(platformId, major, minor);
  SetVersionFlags(env, platformId, major, minor);
  SetWineFlags(env, probe);
  std::uint32_t balloonTips = 0;
  env.BalloonTipsEnabled = !probe.ReadBalloonTips(balloonTips) || balloonTips != 0;
  if (env.IsWindowsNT) SetNtFlags(env, probe);
  return env;
}
