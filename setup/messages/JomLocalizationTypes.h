#pragma once
// The localization file beside the program (its path with the extension
// ".sln"): language items of INI texts, one chosen per run by the LANGUAGE
// switch or the user's locale, from which the message catalogues take
// their texts.
//
// File layout: the signature "SETL", then a raw deflate stream holding the
// version, the item count and the items (locale, identifier, transliteration
// table, INI lines), written with TStreamHelper's integers and strings.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ObjList.h"
#include "setup/messages/JomTranslit.h"
#include "setup/messages/MemIniFile.h"

class TStream;
class TStreamHelper;
class TJomLocalization;

constexpr std::int32_t LocalizationSignature = 0x4C544553;  // "SETL"
constexpr std::int32_t LocalizationFormatVersion = 3;
constexpr std::int32_t LcidRussian = 1049;
constexpr std::int32_t LcidEnglish = 1033;
// The identifiers of the Russian and English items this system ships.
inline const std::wstring RussianItemId = L"9BB7FC382B284063B58F7FF661A6ACBD";
inline const std::wstring EnglishItemId = L"820E1AAD5FAF4F9BA311D7803F97A6AE";

// "$" and the locale identifier as 8 upper-case hexadecimal digits.
std::wstring LanguageCodeOf(std::int32_t lcid);

// One language: its INI sections and its transliteration table.
class TJomLocalizationItem : public TMemIniFile {
public:
  // A fresh item: Lcid 0, a new identifier, the owner's file name.
  explicit TJomLocalizationItem(TJomLocalization* owner);

  // The item's own non-empty value; else, for an item that is neither
  // English nor Russian, the owner's English item's text; else def.
  virtual std::wstring ReadText(const std::wstring& section, const std::wstring& key, const std::wstring& def) const;
  // Reads one item of a payload of the given format version; EStreamError
  // on damaged input.
  virtual void LoadFromStream(TStreamHelper& reader, std::int32_t version);
  // Writes the item in the version 3 form.
  void SaveToStream(TStreamHelper& writer) const;

  std::int32_t Lcid = 0;
  std::wstring Id;
  TJomLocalization* Owner;
  std::wstring FileName;
  TJomTranslit Translit;
};

// The language items of one file: each line's text is the item's language
// code, its object the item (owned).
class TJomLocalization : public TObjectStrings<TJomLocalizationItem> {
public:
  TJomLocalization() = default;

  // Reads the file; false when it cannot be read, its signature is wrong or
  // its content is damaged (then it holds no items and LoadError says why).
  bool LoadFromFile(const std::wstring& fileName);
  // Reads the layout from the stream's position. A wrong signature changes
  // nothing; a damaged payload leaves no items and sets LoadError.
  bool LoadFromStream(TStream& stream);
  // Writes every item as a version 3 file (signature and raw deflate).
  void SaveToStream(TStream& stream) const;

  // Takes the item; it becomes the English or Russian item by its Lcid.
  void AddItem(std::unique_ptr<TJomLocalizationItem> item);
  // Frees every item and forgets the current, English and Russian items.
  void Clear() override;

  TJomLocalizationItem* FindByCode(const std::wstring& code) const;
  TJomLocalizationItem* FindByLcid(std::int32_t lcid) const;
  // Compares the platform's English language name of each item's locale,
  // ignoring ASCII case; an empty name finds nothing.
  TJomLocalizationItem* FindByLanguageName(const std::wstring& name) const;
  TJomLocalizationItem* FindById(const std::wstring& id) const;

  // Chooses the current item for a locale (same locale, same language, the
  // shipped item of the user's locale, the first item); false if none.
  bool SelectByLcid(std::int32_t lcid);
  // Chooses the item with this identifier, else by the user's locale.
  bool SelectById(const std::optional<std::wstring>& id);

  // The chosen item (choosing by the stored identifier first); may be null.
  TJomLocalizationItem* CurrentItem();
  // The chosen item's locale, or 1049/1033 after the user's default locale.
  std::int32_t CurrentLcid();
  // LanguageCodeOf(CurrentLcid()).
  std::wstring LanguageCode();

  std::wstring FileName;
  std::wstring CurrentId;
  TJomLocalizationItem* EnglishItem = nullptr;
  TJomLocalizationItem* RussianItem = nullptr;
  // Why the last load left no items although the signature matched; empty
  // after a good load.
  std::wstring LoadError;

private:
  bool ReadPayload(TStream& stream);
  void MakeCurrent(TJomLocalizationItem* item);

  TJomLocalizationItem* Current = nullptr;
};

// The process-wide localization, created on first use and loaded from the
// program's ".sln" file when that exists.
TJomLocalization& Localization();
// Replaces the process-wide instance (tests); returns the previous one.
std::unique_ptr<TJomLocalization> SetLocalization(std::unique_ptr<TJomLocalization> localization);

// The value of the first LANGUAGE switch ("/" or "-", the name in any case,
// an optional ":" or the next argument when nothing follows the name), or
// nothing when no argument is such a switch. The first argument is the
// program and is not examined.
std::optional<std::wstring> FindLanguageSwitch(const std::vector<std::wstring>& arguments);
// Decimal, or hexadecimal after "$", "x" or "0x"; anything else is 0.
std::int32_t LanguageSwitchValue(const std::wstring& text);
