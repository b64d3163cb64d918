#include "setup/messages/JomTranslit.h"

#include "setup/distribution/StreamHelper.h"

namespace {

// Capital letters U+0410..U+042F in code order, then the small ones take the
// same spelling in lower case (the hard and soft signs map to nothing).
const wchar_t* const CapitalSpellings[32] = {L"A",  L"B", L"V", L"G",  L"D",  L"E",   L"Zh", L"Z",
                                             L"I",  L"J", L"K", L"L",  L"M",  L"N",   L"O",  L"P",
                                             L"R",  L"S", L"T", L"U",  L"F",  L"X",   L"C",  L"Ch",
                                             L"Sh", L"Shh", L"#", L"Y", L"`", L"Je", L"Yu", L"Ya"};

std::wstring LowerSpelling(const std::wstring& capital) {
  if (capital == L"#" || capital == L"`") return {};
  std::wstring small = capital;
  for (auto& c : small) {
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + 32);
  }
  return small;
}

}  // namespace

bool TJomTranslit::Add(const std::wstring& key, const std::wstring& value) {
  if (key.size() != 1) return false;
  TObjectList::Add(new TJomTranslitItem{key, value});
  return true;
}

void TJomTranslit::LoadFromStream(TStreamHelper& reader) {
  Clear();
  const std::int32_t count = reader.ReadCount();
  // Each pair holds two length fields at least.
  if (count < 0 || count > reader.Stream->Remaining() / 8) throw EStreamError("Invalid count in stream");
  for (std::int32_t i = 0; i < count; ++i) {
    std::wstring key = reader.ReadString();
    std::wstring value = reader.ReadString();
    TObjectList::Add(new TJomTranslitItem{std::move(key), std::move(value)});
  }
}

void TJomTranslit::SaveToStream(TStreamHelper& writer) const {
  writer.WriteInteger(Count());
  for (int i = 0; i < Count(); ++i) {
    writer.WriteString(Get(i)->Key);
    writer.WriteString(Get(i)->Value);
  }
}

void TJomTranslit::LoadDefault() {
  Clear();
  for (int i = 0; i < 32; ++i) Add(std::wstring(1, static_cast<wchar_t>(0x410 + i)), CapitalSpellings[i]);
  for (int i = 0; i < 32; ++i) {
    Add(std::wstring(1, static_cast<wchar_t>(0x430 + i)), LowerSpelling(CapitalSpellings[i]));
  }
  Add(L"\u0401", L"Yo");
  Add(L"\u0451", L"yo");
}
