// instcfg.ini from arbitrary bytes: read as the dialog reads it (through
// TSetupIniFile) and its values taken where the engine takes them: the
// registration name, the program group, the option flags, the computers of
// [StationSetup], and "MakeDistr" turned into the folder of the kit built
// before an upgrade. Every input must be read without fault; the kit folder
// is the one "MakeDistr" names (its last folder replaced by the version
// when it looks like one), or the default one on the program's drive.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/StrTool.h"
#include "setup/engine/SetupIniFile.h"
#include "setup/engine/diDistrTarget.h"

namespace {

const std::wstring Section = L"JOM";
const wchar_t* const InstallDirs[] = {L"C:\\Program Files\\Tavrel\\", L"\\\\server\\share\\Tavrel\\", L"Tavrel\\",
                                      L"D:"};
const wchar_t* const Versions[] = {L"5.03", L"", L"1.2.3.4"};

void CheckKitFolder(const std::wstring& installDir, const std::wstring& version, const std::wstring& makeDistr) {
  const std::wstring dir = DistrTargetDir(installDir, Section, version, makeDistr);
  const std::wstring underscored = ReplaceChar(version, L'.', L'_');
  if (makeDistr.empty()) {
    if (dir != DrivePart(installDir) + L"\\KVTDISTR\\" + Section + L"\\" + underscored) std::abort();
    return;
  }
  if (version.empty()) {
    if (dir != makeDistr) std::abort();
    return;
  }
  const std::wstring named = ExcludeTrailingBackslash(makeDistr);
  if (dir != named && dir != ExtractFilePath(named) + underscored) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TSetupIniFile config(L"", L"$00000419");
  config.SetStrings(SplitUtf8Lines(std::string(reinterpret_cast<const char*>(data), size)));

  (void)config.ReadString(Section, L"SectionName", Section);
  (void)config.ReadString(Section, L"GroupName", L"Tavrel");
  (void)config.ReadBool(Section, L"BackupFiles", false);
  (void)config.ReadBool(Section, L"KvtRenewService", false);
  (void)config.ReadString(L"StationSetup", L"STATION1", L"");

  const std::wstring makeDistr = config.ReadString(Section, L"MakeDistr", L"");
  for (const wchar_t* installDir : InstallDirs) {
    for (const wchar_t* version : Versions) CheckKitFolder(installDir, version, makeDistr);
  }
  return 0;
}
