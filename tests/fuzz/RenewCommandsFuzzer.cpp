// Command files from arbitrary bytes, parsed against a small new and
// installed list. Every input must be parsed or refused with an exception;
// every command it yields names an item of the new list and stages its file
// inside the staging folder.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/Exception.h"
#include "setup/distribution/diPatchProgram.h"

namespace {

const std::wstring StageFolder = L"S:\\stage\\";

void Fill(TProgramLstFile& list, const std::vector<std::wstring>& lines) {
  list.FileName = L"files.lst";
  list.LoadFromLines(lines);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TProgramLstFile newList, oldList;
  Fill(newList, {L"jom.exe St=Ik", L"\"a b.txt\" Dir=docs", L"x.dll Dir=..\\Common St=C", L"w.txt Dir=C:\\Windows",
                 L"s.ini St=S"});
  Fill(oldList, {L"jom.exe St=Ik", L"\"a b.txt\" Dir=docs", L"x.dll Dir=..\\Common St=C", L"gone.txt"});
  TProgramLstFileItems changed;
  TRenewCmdFile commands;
  commands.StageFolder = StageFolder;
  commands.ProgramFolder = L"P:\\prog\\";
  commands.NewList = &newList;
  commands.OldList = &oldList;
  commands.ChangedList = &changed;
  commands.OnMessage = [](std::int32_t, const std::wstring&) {};
  try {
    commands.LoadCommands(std::string(reinterpret_cast<const char*>(data), size));
  } catch (const Exception&) {
    return 0;
  }
  for (const TRenewCmdItem* item : commands) {
    if (!item->Item || newList.IndexOf(item->Item) < 0) std::abort();
    if (!item->TargetFile.empty() && item->TargetFile.rfind(StageFolder, 0) != 0) std::abort();
    if (item->TargetFile.find(L"..") != std::wstring::npos) std::abort();
  }
  if (newList.Version != commands.ToVersion) std::abort();
  return 0;
}
