#include "setup/engine/diKvtSetupUpdate.h"

#include <cwctype>

#include "platform/FileTool.h"
#include "platform/PlatformIntfTypes.h"
#include "platform/StrTool.h"
#include "platform/Win.h"
#include "setup/distribution/diPatchProgramZip.h"
#include "setup/engine/diDistrParams.h"
#include "setup/engine/diKvtSetup.h"
#include "setup/messages/FormatText.h"
#include "setup/messages/SetupRuntimeMessages.h"

namespace {

bool FileExists(const std::wstring& path) { return PlatformTools().FileExists(path); }

// The whole update file: fileName itself, or, when it names a volume (its
// last character is a digit), the whole file beside it or the volumes
// joined into the work folder.
std::wstring WholeUpdateFile(const TKvtSetup& setup, const std::wstring& fileName) {
  if (!std::iswdigit(fileName.back())) return fileName;
  const std::wstring ext = DistrParameters().ProgramRenewFileExtension;
  const std::wstring beside = ChangeFileExt(fileName, ext);
  if (FileExists(beside)) return beside;
  const std::wstring joined = setup.WorkDir + ExtractFileName(beside);
  // A joined file of an earlier attempt would get the volumes appended.
  if (FileExists(joined)) PlatformTools().DeleteFile(joined);
  if (!JoinFileParts(fileName, joined, ext.substr(0, 3), 1, false, false))
    throw Exception(rsRenewFileMergeError);
  return joined;
}

}  // namespace

void UpdateFromRenewFile(TKvtSetup& setup, const std::wstring& fileName) {
  const std::wstring name = TrimText(fileName);
  if (name.empty()) throw Exception(rsRenewFileNotSpecified);
  const std::wstring whole = WholeUpdateFile(setup, name);
  if (!FileExists(whole)) throw Exception(FormatText(rsRenewFileNotExists, {whole}));

  setup.RunningFromInstalled = true;
  struct TRelease {
    TKvtSetup& Setup;
    ~TRelease() {
      Setup.FilesToProcess.Clear();
      Setup.NewFileList.reset();
      Setup.FileList.reset();
      Setup.SetupIni.reset();
    }
  } release{setup};
  if (!setup.CheckSetupDir() || !setup.ReadSetupIni(false) || !setup.LoadFileList()) return;
  setup.NewFileList = std::make_unique<TProgramLstFile>();
  const bool accepted = ApplyUpdateFile(setup.SetupDir, setup.Version, whole, setup.WorkDir, *setup.FileList,
                                        *setup.NewFileList, setup.FilesToProcess, setup.OnStatus, setup.OnMessage,
                                        setup.OnQuestion, setup.Automatic, false);
  if (!accepted) return;
  setup.OldVersion = setup.Version;
  setup.NewVersion = setup.NewFileList->Version;
  setup.KeepUserSettings = true;
  setup.InstallProgram(false);
}

void UpdateFromRenewFileFunction(TKvtSetup& setup, void* parameter) {
  const auto* fileName = static_cast<const wchar_t*>(parameter);
  UpdateFromRenewFile(setup, fileName ? fileName : L"");
}
