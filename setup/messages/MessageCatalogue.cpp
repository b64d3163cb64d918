#include "setup/messages/MessageCatalogue.h"

#include "setup/messages/JomLocalizationTypes.h"
#include "setup/messages/SetupRuntimeMessages.h"
#include "setup/messages/SystemRuntimeMessages.h"
#include "setup/messages/XilSetupRuntimeMessages.h"

std::span<const TMessageCatalogue* const> MessageCatalogues() {
  static const TMessageCatalogue* const Catalogues[] = {
      &XilSetupRuntimeMessagesCatalogue(), &SystemRuntimeMessagesCatalogue(), &SetupRuntimeMessagesCatalogue()};
  return Catalogues;
}

void BindCatalogue(const TJomLocalizationItem* item, const std::wstring& groupName,
                   std::span<const TCatalogueEntry> entries) {
  for (const auto& entry : entries) {
    std::wstring& variable = *entry.Variable;
    const std::wstring text = item ? item->ReadText(groupName, entry.Name, variable) : variable;
    variable = DecodeCharCodes(text);
  }
}

std::wstring DecodeCharCodes(const std::wstring& text) {
  if (text.find(L'#') == std::wstring::npos) return text;
  std::wstring result;
  result.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const bool code = text[i] == L'#' && i + 1 < text.size() && text[i + 1] >= L'0' && text[i + 1] <= L'9';
    if (!code) {
      result.push_back(text[i++]);
      continue;
    }
    // Kept modulo 2^16 while reading, which equals the low 16 bits of the
    // whole value however long the run of digits is.
    std::uint32_t value = 0;
    for (++i; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
      value = (value * 10 + static_cast<std::uint32_t>(text[i] - L'0')) & 0xFFFF;
    }
    result.push_back(static_cast<wchar_t>(value));
  }
  return result;
}

void ApplyLocalization(const std::vector<std::wstring>& arguments) {
  TJomLocalization& localization = Localization();
  if (const auto value = FindLanguageSwitch(arguments)) {
    localization.SelectByLcid(LanguageSwitchValue(*value));
  } else {
    localization.SelectById(std::nullopt);
  }
  const TJomLocalizationItem* item = localization.CurrentItem();
  for (const TMessageCatalogue* catalogue : MessageCatalogues()) {
    BindCatalogue(item, catalogue->GroupName, catalogue->Entries);
  }
}

void RestoreDefaultMessages() {
  for (const TMessageCatalogue* catalogue : MessageCatalogues()) {
    for (const auto& entry : catalogue->Entries) *entry.Variable = std::wstring(entry.Default);
  }
}
