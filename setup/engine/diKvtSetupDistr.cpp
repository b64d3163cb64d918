#include "setup/engine/diKvtSetupDistr.h"

#include "setup/engine/diKvtSetup.h"

namespace {
// setup.ini and the list of the installed copy; raises when either is
// missing or malformed, or when the list names no file (an installed copy
// without files is broken).
void LoadConfiguration(TKvtSetup& setup) {
  setup.ReadSetupIni(false);
  setup.LoadFileList();
}
}  // namespace

std::unique_ptr<TDIVersion> CreateDistrVersion(TKvtSetup& setup) {
  auto version = std::make_unique<TDIVersion>(setup.Version, setup.SetupDir + setup.FilesLst);
  version->OnMessage = [&setup](std::int32_t kind, const std::wstring& text, std::intptr_t) {
    setup.ReportMessage(kind, text);
  };
  version->OnStatus = [&setup](const std::wstring& title, const std::wstring& text1, const std::wstring& text2,
                               std::int32_t percent, std::uint8_t& cancel) {
    if (setup.OnStatus) setup.OnStatus(title, text1, text2, percent, cancel);
  };
  version->Prepare(setup.SetupDir);
  return version;
}

void CheckProgram(TKvtSetup& setup) {
  LoadConfiguration(setup);
  CreateDistrVersion(setup)->Check();
}

void BuildDistribution(TKvtSetup& setup, const std::wstring& targetFolder) {
  LoadConfiguration(setup);
  // The folder the files are read from: the installed copy, or the folder
  // given when it is not one.
  const std::wstring& programFolder = setup.InstallDir.empty() ? setup.SetupDir : setup.InstallDir;
  CreateDistrVersion(setup)->Build(targetFolder, programFolder, setup.FilesLst);
}

void CheckProgramFunction(TKvtSetup& setup, void*) { CheckProgram(setup); }

void BuildDistributionFunction(TKvtSetup& setup, void* parameter) {
  const auto* target = static_cast<const wchar_t*>(parameter);
  BuildDistribution(setup, target ? target : L"");
}
