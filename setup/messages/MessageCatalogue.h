#pragma once
// Message catalogues: every translatable text of setup is a process-wide
// variable with a Russian default, listed under its entry name in one of
// three catalogues. At start-up ApplyLocalization replaces each variable
// with the text of the chosen language item; code reads the variables at
// the moment of use.

#include <span>
#include <string>
#include <string_view>
#include <vector>

class TJomLocalizationItem;

struct TCatalogueEntry {
  std::wstring* Variable;
  const wchar_t* Name;
  // The built-in text in its encoded form (#nn character codes).
  std::wstring_view Default;
};

struct TMessageCatalogue {
  const wchar_t* GroupName;
  std::span<const TCatalogueEntry> Entries;
};

// The three catalogues in binding order.
std::span<const TMessageCatalogue* const> MessageCatalogues();

// Binds every variable of the table: the item's text for the entry (with
// the English fallback of ReadText), else the variable's current text, then
// decoded by DecodeCharCodes. item may be null.
void BindCatalogue(const TJomLocalizationItem* item, const std::wstring& groupName,
                   std::span<const TCatalogueEntry> entries);

// Replaces "#" and a run of decimal digits with the character of that code
// (low 16 bits); a "#" not followed by a digit stays. Texts without "#"
// come back unchanged.
std::wstring DecodeCharCodes(const std::wstring& text);

// The start-up step: chooses the language (LANGUAGE switch among the
// arguments, the first being the program, or the user's locale) and binds
// the three catalogues in order. Runs once, before any window exists.
void ApplyLocalization(const std::vector<std::wstring>& arguments);

// Puts every variable back to its built-in (still encoded) text.
void RestoreDefaultMessages();
