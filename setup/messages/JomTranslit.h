#pragma once
// The transliteration table that travels with a language item: pairs of a
// single character and its Latin spelling.

#include <string>

#include "platform/ObjList.h"

class TStreamHelper;

struct TJomTranslitItem {
  std::wstring Key;
  std::wstring Value;
};

// An owning list of its items.
class TJomTranslit : public TObjectList<TJomTranslitItem> {
public:
  TJomTranslit() : TObjectList<TJomTranslitItem>(true) {}

  using TObjectList<TJomTranslitItem>::Add;

  // Adds a pair; false (nothing added) unless key is exactly one character.
  bool Add(const std::wstring& key, const std::wstring& value);
  // Replaces the table with a count and that many key/value string pairs
  // (every pair is taken as stored); EStreamError on damaged input.
  void LoadFromStream(TStreamHelper& reader);
  // Writes the table in the form LoadFromStream reads.
  void SaveToStream(TStreamHelper& writer) const;
  // Replaces the table with the Russian one given to items of old files.
  void LoadDefault();
};
