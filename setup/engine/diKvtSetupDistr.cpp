#include "setup/engine/diKvtSetupDistr.h"

#include "platform/PlatformIntfTypes.h"
#include "setup/engine/diExceptions.h"
#include "setup/engine/diKvtSetup.h"
#include "setup/messages/FormatText.h"
#include "setup/messages/SetupRuntimeMessages.h"

namespace {
// setup.ini and the list of the installed copy; raises when either is
// missing or setup.ini is malformed.
void LoadConfiguration(TKvtSetup& setup) {
  setup.ReadSetupIni(false);
  const std::wstring list = setup.SetupDir + setup.FilesLst;
  if (!PlatformTools().FileExists(list)) throw Exception(FormatText(rsFileNotFound, {list}));
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
  CreateDistrVersion(setup)->Build(targetFolder, setup.InstallDir, setup.FilesLst);
}

void CheckProgramFunction(TKvtSetup& setup, void*) { CheckProgram(setup); }

void BuildDistributionFunction(TKvtSetup& setup, void* parameter) {
  const auto* target = static_cast<const wchar_t*>(parameter);
  BuildDistribution(setup, target ? target : L"");
}
