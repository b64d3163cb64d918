#include "jompack/PackList.h"

#include <algorithm>

#include "jompack/PackConsole.h"
#include "jompack/PackFiles.h"
#include "platform/StrTool.h"
#include "setup/distribution/Crc_32.h"
#include "setup/messages/FormatText.h"

namespace {
// The kit builder's columns and widths.
const std::vector<std::wstring> BuilderNames = {L"St",  L"CRC",     L"Len",   L"Arc",   L"Cond",
                                                L"Dir", L"Caption", L"Descr", L"Params"};
const std::vector<int> BuilderWidths = {4, 8, -8, 12, 8, 0, 0, 0, 0};

bool Listed(const std::vector<std::wstring>& names, const std::wstring& name) {
  return std::any_of(names.begin(), names.end(), [&](const std::wstring& n) { return SameTextAscii(n, name); });
}
}  // namespace

void ListColumns(const TProgramLstFile& list, std::vector<std::wstring>& names, std::vector<int>& widths) {
  names = BuilderNames;
  widths = BuilderWidths;
  for (const TProgramLstFileItem* item : list) {
    for (const auto& [name, value] : item->Values) {
      if (SameTextAscii(name, L"FileName") || Listed(names, name)) continue;
      names.push_back(name);
      widths.push_back(0);
    }
  }
}

int MakeList(const std::wstring& folder, const std::wstring& templateFile, const std::wstring& outFile) {
  if (!IsFolder(folder)) RaiseInput(L"folder not found: " + folder);
  if (!IsFile(templateFile)) RaiseInput(L"template list not found: " + templateFile);
  TProgramLstFile list;
  try {
    list.LoadFromFile(PathText(FsPath(templateFile)), false, true);
  } catch (const std::exception& e) {
    RaiseInput(L"cannot read the template " + templateFile + L": " + ExceptionMessage(e));
  }
  TOutputFile out(outFile);

  std::int64_t total = 0;
  for (const TProgramLstFileItem* item : list) {
    if (item->IsDeleted) continue;
    const std::wstring path = JoinPath(folder, item->DistrPath());
    if (!IsFile(path)) RaiseInput(L"the template names a file that is not in the folder: " + path);
    if (SameFile(path, out.Target())) RaiseInput(L"the list would replace a file it lists: " + path);
    total = AddSizes(total, static_cast<std::int64_t>(std::filesystem::file_size(FsPath(path))));
  }

  TProgressLine progress(L"list");
  std::int64_t done = 0;
  for (TProgramLstFileItem* item : list) {
    if (item->IsDeleted) continue;
    const std::wstring path = JoinPath(folder, item->DistrPath());
    progress.Show(SizePercent(done, total), item->RelativePath);
    std::uint32_t crc = 0;
    try {
      crc = FileCrc32(path);
    } catch (const std::exception& e) {
      RaiseInput(L"cannot read " + path + L": " + ExceptionMessage(e));
    }
    const std::int64_t size = static_cast<std::int64_t>(std::filesystem::file_size(FsPath(path)));
    done = AddSizes(done, size);
    item->SetValue(L"Len", std::to_wstring(size));
    item->SetValue(L"CRC", CrcToHex(crc));
  }
  progress.Finish();

  std::vector<std::wstring> names;
  std::vector<int> widths;
  ListColumns(list, names, widths);
  try {
    list.SaveToFile(out.Path(), names, widths, L"", L"", false);
  } catch (const std::exception& e) {
    RaiseFailed(L"cannot write " + outFile + L": " + ExceptionMessage(e));
  }
  out.Commit();
  PrintLine(L"list of " + std::to_wstring(list.Count()) + L" files written to " + out.Target());
  return ExitOk;
}
