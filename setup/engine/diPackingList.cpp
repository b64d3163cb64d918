#include "setup/engine/diPackingList.h"

#include <algorithm>
#include <climits>
#include <utility>
#include <vector>

#include "platform/StrTool.h"

std::wstring PackingDiskLabel(const TProgramLstFile* packing, const std::wstring& name) {
  if (!packing) return {};
  const TProgramLstFileItem* item = packing->FindItem(ExtractFileName(name), L"");
  return item ? item->Dsk : std::wstring();
}

std::wstring PackingDiskLabelFor(const TProgramLstFile* packing, const TProgramLstFileItem& item) {
  const std::wstring& name = item.Arc.empty() ? item.FileName : item.Arc;
  const std::wstring label = PackingDiskLabel(packing, name);
  return label.empty() ? PackingDiskLabel(packing, ChangeFileExt(name, L".z0")) : label;
}

bool IsPackedInParts(const TProgramLstFile* packing, const std::wstring& name) {
  return PackingDiskLabel(packing, name).empty() && !PackingDiskLabel(packing, ChangeFileExt(name, L".z0")).empty();
}

std::int32_t DiskNumber(const std::wstring& label) {
  if (label.empty() || label.size() > 10) return INT_MAX;
  long long value = 0;
  for (const wchar_t c : label) {
    if (c < L'0' || c > L'9') return INT_MAX;
    value = value * 10 + (c - L'0');
  }
  return value > INT_MAX ? INT_MAX : static_cast<std::int32_t>(value);
}

void SortByDisk(TProgramLstFileItems& items) {
  std::vector<std::pair<std::wstring, TProgramLstFileItem*>> entries;
  for (int i = 0; i < items.Count(); ++i) entries.emplace_back(items.Strings(i), items.Objects(i));
  std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
    return DiskNumber(a.second->Dsk) < DiskNumber(b.second->Dsk);
  });
  items.SetSorted(false);
  items.Clear();
  for (const auto& [key, item] : entries) items.AddObject(key, item);
}
