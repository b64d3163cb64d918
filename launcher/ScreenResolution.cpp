#include "launcher/ScreenResolution.h"

#include <cstdint>
#include <optional>

#include "launcher/IntegerText.h"
#include "launcher/LauncherSystem.h"
#include "platform/UniqueHandle.h"
#include "platform/Win.h"

namespace {

constexpr wchar_t kDesktopKey[] = L"Control Panel\\Desktop";
constexpr wchar_t kLogPixelsValue[] = L"LogPixels";
constexpr DWORD kDefaultLogPixels = 96;

DWORD StoredLogPixels() {
  UniqueRegKey Key;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, kDesktopKey, 0, KEY_QUERY_VALUE, Key.put()) != ERROR_SUCCESS)
    return kDefaultLogPixels;
  DWORD Type = 0;
  DWORD Value = 0;
  DWORD Size = sizeof(Value);
  if (::RegQueryValueExW(Key.get(), kLogPixelsValue, nullptr, &Type, reinterpret_cast<BYTE*>(&Value), &Size) !=
          ERROR_SUCCESS ||
      Type != REG_DWORD || Size != sizeof(Value))
    return kDefaultLogPixels;
  return Value;
}

void StoreLogPixels(DWORD Value) {
  UniqueRegKey Key;
  if (::RegCreateKeyExW(HKEY_CURRENT_USER, kDesktopKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                        Key.put(), nullptr) != ERROR_SUCCESS)
    return;
  ::RegSetValueExW(Key.get(), kLogPixelsValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&Value), sizeof(Value));
}

}  // namespace

void ApplyScreenResolution() {
  const std::optional<std::int64_t> Requested =
      ReadInteger(EnvironmentText(L"WINELOGPIXELS"), 0, std::int64_t{0xFFFFFFFF});
  if (!Requested) return;
  const auto Value = static_cast<DWORD>(*Requested);
  if (Value != StoredLogPixels()) StoreLogPixels(Value);
}
