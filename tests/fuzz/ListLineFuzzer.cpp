// Program list files from arbitrary bytes: decoding, line parsing and every
// derived path must cope without reading outside a buffer.

#include <cstddef>
#include <cstdint>
#include <string>

#include "setup/distribution/KvtSetupLstFile.h"
#include "setup/messages/JomLocalizationTypes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static bool initialised = [] {
    SetLocalization(std::make_unique<TJomLocalization>());
    return true;
  }();
  (void)initialised;
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  TProgramLstFile list;
  list.LoadFromLines(DecodeListLines(bytes));
  for (int i = 0; i < list.Count(); ++i) {
    const TProgramLstFileItem& item = *list[i];
    (void)item.DistrPath();
    (void)item.TargetPath(L"C:\\Program Files\\Tavrel");
    (void)item.Size();
    (void)item.NormalizedCaption();
    (void)item.IsOutside();
    (void)list.FindSameDistrPath(item);
    (void)list.FindItem(item.RelativePath, L"C:\\Program Files\\Tavrel");
  }
  (void)list.TotalSize();
  (void)list.SaveToText({L"St", L"CRC", L"Len", L"Arc", L"Cond", L"Dir", L"Caption", L"Descr", L"Params"},
                        {4, 8, -8, 12, 8, 0, 0, 0, 0}, L"Tavrel", L"1.0", true);
  return 0;
}
