// Packing lists from arbitrary bytes, read as the engine reads
// "packing.lst" and used as an install from volumes uses it: the volume of
// every file and archive of a small kit list and of every name the packing
// list itself gives, the split-archive test, and the volume order of the
// kit's items. Every input must be read or refused with an exception; the
// order must be a stable sort by volume number that loses no item.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "platform/Exception.h"
#include "platform/StrTool.h"
#include "setup/distribution/KvtSetupLstFile.h"
#include "setup/engine/diPackingList.h"
#include "setup/messages/JomLocalizationTypes.h"

namespace {

const std::vector<std::wstring> KitLines = {
    L"jom.exe Arc=main St=Ik",   L"jom.dll Arc=main",        L"readme.txt Dir=docs",
    L"tool.dll Dir=lib Arc=lib", L"x.dll Dir=..\\Common St=C", L"setup.ini St=S",
    L"big.dat Arc=big",          L"sys.dll St=L",             L"gone.txt St=D"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static bool initialised = [] {
    SetLocalization(std::make_unique<TJomLocalization>());
    return true;
  }();
  (void)initialised;
  TProgramLstFile packing;
  packing.FileName = L"packing.lst";
  try {
    packing.LoadFromLines(DecodeListLines(std::string(reinterpret_cast<const char*>(data), size)));
  } catch (const Exception&) {
    return 0;
  }
  TProgramLstFile kit;
  kit.FileName = L"files.lst";
  kit.LoadFromLines(KitLines);

  for (const TProgramLstFileItem* item : packing) {
    const std::wstring label = PackingDiskLabel(&packing, item->FileName);
    // A name the packing list gives loose in the kit's folder finds a volume.
    if ((item->Dir.empty() || item->IsSystemLocated()) && item->FileName.find_first_of(L"\\/:") == std::wstring::npos &&
        !item->FileName.empty() && packing.FindItem(item->FileName, L"") == nullptr)
      std::abort();
    (void)IsPackedInParts(&packing, item->FileName);
    (void)DiskNumber(label);
  }

  TProgramLstFileItems order;
  std::map<const TProgramLstFileItem*, int> position;
  for (TProgramLstFileItem* item : kit) {
    item->SetValue(L"Dsk", PackingDiskLabelFor(&packing, *item));
    order.AddObject(item->RelativePath, item);
    (void)IsPackedInParts(&packing, item->Arc.empty() ? item->FileName : item->Arc);
  }
  // The list keeps its items sorted by path: that is the order a volume keeps.
  for (int i = 0; i < order.Count(); ++i) position[order.Objects(i)] = i;
  SortByDisk(order);
  if (order.Count() != kit.Count()) std::abort();
  std::map<const TProgramLstFileItem*, int> seen;
  for (int i = 0; i < order.Count(); ++i) {
    const TProgramLstFileItem* item = order.Objects(i);
    if (order.Strings(i) != item->RelativePath || ++seen[item] != 1) std::abort();
    if (i == 0) continue;
    const TProgramLstFileItem* before = order.Objects(i - 1);
    const std::int32_t a = DiskNumber(before->Dsk), b = DiskNumber(item->Dsk);
    if (a > b || (a == b && position[before] > position[item])) std::abort();
  }
  return 0;
}
