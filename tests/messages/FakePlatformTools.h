#pragma once
// A platform with a chosen user locale, English language names for a few
// locales and predictable fresh identifiers, installed for the lifetime of
// the object.

#include <cwchar>
#include <map>
#include <string>

#include "platform/PlatformToolsBase.h"

class TFakeLocalePlatform : public TPlatformToolsBase {
public:
  std::uint32_t UserLcid = 1033;
  int GuidCounter = 0;

  std::uint32_t GetUserDefaultLcid() override { return UserLcid; }
  std::wstring GetLocaleInfo(std::uint32_t locale, std::uint32_t infoType) override {
    static const std::map<std::uint32_t, std::wstring> Names = {
        {1049, L"Russian"}, {1033, L"English"}, {2057, L"English"}, {1031, L"German"}, {3079, L"German"}};
    if (infoType != 0x1001) return {};
    const auto found = Names.find(locale);
    return found == Names.end() ? std::wstring() : found->second;
  }
  std::wstring CreateGuidString(bool, bool, bool) override {
    wchar_t text[40];
    std::swprintf(text, 40, L"%032X", ++GuidCounter);
    return text;
  }
};

// Installs a TFakeLocalePlatform and puts the previous tools back afterwards.
class ScopedFakePlatform {
public:
  explicit ScopedFakePlatform(std::uint32_t userLcid) : Fake(new TFakeLocalePlatform) {
    Fake->UserLcid = userLcid;
    Previous = SetPlatformTools(RefPtr<IPlatformTools>(Fake));
  }
  ~ScopedFakePlatform() { SetPlatformTools(Previous); }
  ScopedFakePlatform(const ScopedFakePlatform&) = delete;
  ScopedFakePlatform& operator=(const ScopedFakePlatform&) = delete;
  TFakeLocalePlatform& operator*() { return *Fake; }
  TFakeLocalePlatform* operator->() { return Fake; }

private:
  TFakeLocalePlatform* Fake;
  RefPtr<IPlatformTools> Previous;
};
