// Program list files from arbitrary bytes: decoding, line parsing and every
// derived path must cope without reading outside a buffer, a list that is
// read must be writable, and what is written must read back to the same
// file names and values.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/Exception.h"
#include "setup/distribution/KvtSetupLstFile.h"
#include "setup/messages/JomLocalizationTypes.h"

namespace {

const std::vector<std::wstring> Names = {L"St", L"CRC", L"Len", L"Arc", L"Cond", L"Dir", L"Caption", L"Descr", L"Params"};
const std::vector<int> Widths = {4, 8, -8, 12, 8, 0, 0, 0, 0};

std::vector<std::wstring> SplitLines(const std::wstring& text) {
  std::vector<std::wstring> lines;
  for (std::size_t start = 0, end; (end = text.find(L"\r\n", start)) != std::wstring::npos; start = end + 2) {
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

// The list read back from what was written holds the same items with the
// same written values.
void CheckReadBack(const TProgramLstFile& list) {
  TProgramLstFile read;
  read.LoadFromLines(SplitLines(list.SaveToText(Names, Widths, L"Tavrel", L"1.0", false)));
  if (read.Count() != list.Count()) std::abort();
  for (int i = 0; i < list.Count(); ++i) {
    if (read[i]->FileName != list[i]->FileName) std::abort();
    for (const std::wstring& name : Names) {
      if (read[i]->GetValue(name) != list[i]->GetValue(name)) std::abort();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static bool initialised = [] {
    SetLocalization(std::make_unique<TJomLocalization>());
    return true;
  }();
  (void)initialised;
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  TProgramLstFile list;
  try {
    list.LoadFromLines(DecodeListLines(bytes));
  } catch (const Exception&) {
    return 0;  // a refused list: nothing of it is kept
  }
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
  (void)list.SaveToText(Names, Widths, L"Tavrel", L"1.0", true);
  CheckReadBack(list);
  return 0;
}
