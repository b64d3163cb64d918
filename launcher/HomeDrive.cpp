#include "launcher/HomeDrive.h"

#include "launcher/HomeDriveRules.h"
#include "launcher/LauncherSystem.h"
#include "launcher/MountManager.h"
#include "platform/Win.h"

namespace {

constexpr char kHomeLetter = 'h';

std::string HomePath(const std::wstring& MacProbeRoot) {
  return ChooseHomePath(Utf8FromWide(EnvironmentText(L"HOMEDIRECTORY")), Utf8FromWide(EnvironmentText(L"USER")),
                        Utf8FromWide(EnvironmentText(L"USERNAME")),
                        [&MacProbeRoot] { return IsWinePrefixOnMac(MacProbeRoot); });
}

void MapHomeDriveOrThrow(const std::wstring& MacProbeRoot) {
  const std::string Home = HomePath(MacProbeRoot);
  if (Home.empty()) return;
  if (!DirectoryExists(L"H:\\")) {
    DefineUnixDrive(kHomeLetter, Home);
    return;
  }
  const std::optional<std::string> Current = QueryUnixDrive(kHomeLetter);
  if (!Current || SameMountPoint(*Current, Home)) return;
  // Keep what H: showed reachable under another letter before taking H: over.
  if (const std::optional<char> Free = FirstFreeDriveLetter(::GetLogicalDrives())) DefineUnixDrive(*Free, *Current);
  DefineUnixDrive(kHomeLetter, Home);
}

}  // namespace

bool IsWinePrefixOnMac(const std::wstring& Root) {
  return DirectoryExists(Root + L"System") && DirectoryExists(Root + L"Users");
}

void MapHomeDrive(const std::wstring& MacProbeRoot) {
  try {
    MapHomeDriveOrThrow(MacProbeRoot);
  } catch (...) {
    // The home drive is a convenience: the product starts without it.
  }
}
