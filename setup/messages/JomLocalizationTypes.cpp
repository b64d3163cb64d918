#include "setup/messages/JomLocalizationTypes.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <filesystem>
#include <system_error>

#include "platform/PlatformIntfTypes.h"
#include "platform/StrTool.h"
#include "setup/distribution/RawDeflate.h"
#include "setup/distribution/StreamHelper.h"

namespace {

// A localization file holds texts: a file, or a payload inflated from it,
// beyond this size is not one, and must not exhaust memory.
constexpr std::size_t MaxPayloadSize = 64u << 20;
constexpr std::uint32_t LocaleEnglishLanguageName = 0x1001;  // LOCALE_SENGLANGUAGE

std::int32_t DefaultLanguageLcid() {
  return PlatformTools().GetUserDefaultLcid() == static_cast<std::uint32_t>(LcidRussian) ? LcidRussian : LcidEnglish;
}

}  // namespace

std::wstring LanguageCodeOf(std::int32_t lcid) {
  wchar_t text[16];
  std::swprintf(text, 16, L"$%08X", static_cast<unsigned>(lcid));
  return text;
}

TJomLocalizationItem::TJomLocalizationItem(TJomLocalization* owner)
    : Id(PlatformTools().CreateGuidString(true, false, false)), Owner(owner),
      FileName(owner ? owner->FileName : std::wstring()) {}

std::wstring TJomLocalizationItem::ReadText(const std::wstring& section, const std::wstring& key,
                                            const std::wstring& def) const {
  std::wstring text = ReadString(section, key, std::wstring());
  if (!text.empty()) return text;
  const bool ownLanguage = Lcid == LcidEnglish || Lcid == LcidRussian;
  if (!ownLanguage && Owner && Owner->EnglishItem && Owner->EnglishItem != this) {
    return Owner->EnglishItem->ReadText(section, key, def);
  }
  return def;
}

void TJomLocalizationItem::LoadFromStream(TStreamHelper& reader, std::int32_t version) {
  Lcid = reader.ReadInteger();
  if (version >= 2) Id = reader.ReadString();
  if (version >= 3) {
    Translit.LoadFromStream(reader);
  } else if (Lcid == LcidRussian) {
    Translit.LoadDefault();
  } else {
    Translit.Clear();
  }
  std::vector<std::wstring> lines;
  reader.ReadStrings(lines);
  SetStrings(lines);
}

void TJomLocalizationItem::SaveToStream(TStreamHelper& writer) const {
  writer.WriteInteger(Lcid);
  writer.WriteString(Id);
  Translit.SaveToStream(writer);
  writer.WriteStrings(GetStrings());
}

bool TJomLocalization::LoadFromFile(const std::wstring& fileName) {
  FileName = fileName;
  std::error_code error;
  const auto size = std::filesystem::file_size(std::filesystem::path(fileName), error);
  if (!error && size > MaxPayloadSize) {
    Clear();
    LoadError = L"file too large";
    return false;
  }
  TMemoryStream stream;
  try {
    stream.LoadFromFile(fileName);
  } catch (const EStreamError&) {
    return false;
  }
  return LoadFromStream(stream);
}

bool TJomLocalization::LoadFromStream(TStream& stream) {
  TStreamHelper reader(this, &stream);
  std::int32_t signature = 0;
  try {
    signature = reader.ReadInteger();
  } catch (const EStreamError&) {
    return false;
  }
  if (signature != LocalizationSignature) return false;
  Clear();
  LoadError.clear();
  if (ReadPayload(stream)) return true;
  Clear();
  return false;
}

bool TJomLocalization::ReadPayload(TStream& stream) {
  try {
    std::vector<std::uint8_t> packed(static_cast<std::size_t>(stream.Remaining()));
    stream.ReadBuffer(packed.data(), packed.size());
    std::vector<std::uint8_t> payload;
    if (!InflateRaw(packed.data(), packed.size(), MaxPayloadSize, payload)) {
      LoadError = L"compressed data damaged or truncated";
      return false;
    }
    TMemoryStream memory(std::move(payload));
    TStreamHelper reader(this, &memory);
    const std::int32_t version = std::clamp(reader.ReadInteger(), 1, LocalizationFormatVersion);
    const std::int32_t count = reader.ReadCount();
    // An item holds at least its locale and its line count.
    if (count < 0 || count > memory.Remaining() / 8) throw EStreamError(L"Invalid count in stream");
    for (std::int32_t i = 0; i < count; ++i) {
      auto item = std::make_unique<TJomLocalizationItem>(this);
      item->LoadFromStream(reader, version);
      AddItem(std::move(item));
    }
  } catch (const EStreamError&) {
    LoadError = L"item data damaged or truncated";
    return false;
  }
  return true;
}

void TJomLocalization::SaveToStream(TStream& stream) const {
  TMemoryStream payload;
  TStreamHelper writer(nullptr, &payload);
  writer.WriteInteger(LocalizationFormatVersion);
  writer.WriteInteger(Count());
  for (int i = 0; i < Count(); ++i) Objects(i)->SaveToStream(writer);
  std::vector<std::uint8_t> packed;
  if (!DeflateRaw(payload.Bytes(), packed)) RaiseWriteError();
  TStreamHelper(nullptr, &stream).WriteInteger(LocalizationSignature);
  stream.WriteBuffer(packed.data(), packed.size());
}

void TJomLocalization::AddItem(std::unique_ptr<TJomLocalizationItem> item) {
  if (item->Lcid == LcidEnglish) EnglishItem = item.get();
  if (item->Lcid == LcidRussian) RussianItem = item.get();
  item->Owner = this;
  const std::wstring code = LanguageCodeOf(item->Lcid);
  AddObject(code, item.release());
}

void TJomLocalization::Clear() {
  Current = nullptr;
  EnglishItem = nullptr;
  RussianItem = nullptr;
  TObjectStrings::Clear();
}

TJomLocalizationItem* TJomLocalization::FindByCode(const std::wstring& code) const {
  const int index = IndexOf(code);
  return index < 0 ? nullptr : Objects(index);
}

TJomLocalizationItem* TJomLocalization::FindByLcid(std::int32_t lcid) const { return FindByCode(LanguageCodeOf(lcid)); }

TJomLocalizationItem* TJomLocalization::FindByLanguageName(const std::wstring& name) const {
  if (name.empty()) return nullptr;
  for (int i = 0; i < Count(); ++i) {
    const std::wstring itemName =
        PlatformTools().GetLocaleInfo(static_cast<std::uint32_t>(Objects(i)->Lcid), LocaleEnglishLanguageName);
    if (SameTextAscii(itemName, name)) return Objects(i);
  }
  return nullptr;
}

TJomLocalizationItem* TJomLocalization::FindById(const std::wstring& id) const {
  for (int i = 0; i < Count(); ++i) {
    if (Objects(i)->Id == id) return Objects(i);
  }
  return nullptr;
}

void TJomLocalization::MakeCurrent(TJomLocalizationItem* item) {
  Current = item;
  CurrentId = item->Id;
}

bool TJomLocalization::SelectByLcid(std::int32_t lcid) {
  TJomLocalizationItem* item = FindByLcid(lcid);
  if (!item) {
    item = FindByLanguageName(
        PlatformTools().GetLocaleInfo(static_cast<std::uint32_t>(lcid), LocaleEnglishLanguageName));
  }
  if (!item) {
    const bool russianUser = DefaultLanguageLcid() == LcidRussian;
    item = FindById(russianUser ? RussianItemId : EnglishItemId);
    if (!item) item = FindByLcid(russianUser ? LcidRussian : LcidEnglish);
  }
  if (!item && Count() > 0) item = Objects(0);
  if (!item) return false;
  MakeCurrent(item);
  return true;
}

bool TJomLocalization::SelectById(const std::optional<std::wstring>& id) {
  if (Count() == 0) return false;
  if (id && !id->empty()) {
    if (TJomLocalizationItem* item = FindById(*id)) {
      MakeCurrent(item);
      return true;
    }
  }
  return SelectByLcid(static_cast<std::int32_t>(PlatformTools().GetUserDefaultLcid()));
}

TJomLocalizationItem* TJomLocalization::CurrentItem() {
  if (!Current) SelectById(CurrentId.empty() ? std::nullopt : std::optional<std::wstring>(CurrentId));
  return Current;
}

std::int32_t TJomLocalization::CurrentLcid() {
  if (TJomLocalizationItem* item = CurrentItem()) return item->Lcid;
  return DefaultLanguageLcid();
}

std::wstring TJomLocalization::LanguageCode() { return LanguageCodeOf(CurrentLcid()); }

namespace {

std::unique_ptr<TJomLocalization>& LocalizationInstance() {
  static std::unique_ptr<TJomLocalization> instance;
  return instance;
}

std::wstring LocalizationFileName() {
  std::wstring path = PlatformTools().GetModuleFileName(nullptr);
  if (path.empty()) return {};
  const std::size_t slash = path.find_last_of(L"\\/");
  const std::size_t dot = path.find_last_of(L'.');
  if (dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash)) path.erase(dot);
  return path + L".sln";
}

}  // namespace

TJomLocalization& Localization() {
  auto& instance = LocalizationInstance();
  if (!instance) {
    instance = std::make_unique<TJomLocalization>();
    const std::wstring fileName = LocalizationFileName();
    if (!fileName.empty() && PlatformTools().FileExists(fileName)) instance->LoadFromFile(fileName);
  }
  return *instance;
}

std::unique_ptr<TJomLocalization> SetLocalization(std::unique_ptr<TJomLocalization> localization) {
  auto old = std::move(LocalizationInstance());
  LocalizationInstance() = std::move(localization);
  return old;
}

std::optional<std::wstring> FindLanguageSwitch(const std::vector<std::wstring>& arguments) {
  static const std::wstring Name = L"LANGUAGE";
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const std::wstring& argument = arguments[i];
    if (argument.empty() || (argument[0] != L'/' && argument[0] != L'-')) continue;
    if (argument.size() < 1 + Name.size() || !SameTextAscii(argument.substr(1, Name.size()), Name)) continue;
    std::wstring rest = argument.substr(1 + Name.size());
    if (!rest.empty()) return rest[0] == L':' ? rest.substr(1) : rest;
    const bool nextIsValue =
        i + 1 < arguments.size() && (arguments[i + 1].empty() || (arguments[i + 1][0] != L'/' && arguments[i + 1][0] != L'-'));
    return nextIsValue ? arguments[i + 1] : std::wstring();
  }
  return std::nullopt;
}

std::int32_t LanguageSwitchValue(const std::wstring& text) {
  std::size_t start = 0;
  int base = 10;
  if (!text.empty() && (text[0] == L'$' || text[0] == L'x' || text[0] == L'X')) {
    start = 1;
    base = 16;
  } else if (text.size() > 1 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X')) {
    start = 2;
    base = 16;
  }
  if (start >= text.size()) return 0;
  std::uint64_t value = 0;
  for (std::size_t i = start; i < text.size(); ++i) {
    const wchar_t c = text[i];
    int digit = -1;
    if (c >= L'0' && c <= L'9') digit = c - L'0';
    else if (base == 16 && c >= L'a' && c <= L'f') digit = c - L'a' + 10;
    else if (base == 16 && c >= L'A' && c <= L'F') digit = c - L'A' + 10;
    if (digit < 0) return 0;
    value = value * base + digit;
    if (value > (base == 16 ? 0xFFFFFFFFull : 0x7FFFFFFFull)) return 0;
  }
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}
