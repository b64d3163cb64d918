#include "setup/messages/JomTranslit.h"

#include "setup/distribution/StreamHelper.h"
#include "setup/messages/DefaultTranslit.h"

bool TJomTranslit::Add(const std::wstring& key, const std::wstring& value) {
  if (key.size() != 1) return false;
  TObjectList::Add(new TJomTranslitItem{key, value});
  return true;
}

void TJomTranslit::LoadFromStream(TStreamHelper& reader) {
  Clear();
  const std::int32_t count = reader.ReadCount();
  // Each pair holds two length fields at least.
  if (count < 0 || count > reader.Stream->Remaining() / 8) throw EStreamError(L"Invalid count in stream");
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
  for (const auto& [key, value] : DefaultTransliteration()) Add(key, value);
}
