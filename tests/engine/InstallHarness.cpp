#include "InstallHarness.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "platform/Win.h"

#include <shlobj.h>

#include "setup/messages/MessageCatalogue.h"
#include "support/RegistryKeys.h"

namespace fs = std::filesystem;

namespace testsupport {

namespace {
// The catalogue texts as the program has them once its start-up step has
// bound them (line breaks decoded), in Russian.
class TBoundMessages : public ::testing::Environment {
public:
  void SetUp() override { ApplyLocalization({L"install_tests.exe", L"/LANGUAGE:1049"}); }
};
[[maybe_unused]] ::testing::Environment* const BoundMessages = ::testing::AddGlobalTestEnvironment(new TBoundMessages);

void OnMessage(std::int32_t kind, const wchar_t* text, void* userData) {
  static_cast<TEngineRun*>(userData)->Messages.emplace_back(kind, text ? text : L"");
}

void OnStatus(const wchar_t* title, const wchar_t* text1, const wchar_t* text2, std::int32_t percent,
              std::uint8_t* cancel, void* userData) {
  auto* run = static_cast<TEngineRun*>(userData);
  run->Statuses.push_back({title ? title : L"", text1 ? text1 : L"", text2 ? text2 : L"", percent});
  if (run->CancelAt && run->CancelAt(run->Statuses.back())) *cancel = 1;
}

std::int32_t OnQuestion(const wchar_t* caption, const wchar_t* text, std::uint32_t flags, void* userData) {
  auto* run = static_cast<TEngineRun*>(userData);
  run->Questions.push_back({caption ? caption : L"", text ? text : L"", flags});
  return run->Answer ? run->Answer(run->Questions.back()) : IDCANCEL;
}
std::wstring& RenewExtensionOfTests() {
  static std::wstring extension = L".tvi";
  return extension;
}
}  // namespace

bool UseProcessRenewExtension() {
  // The volumes' extensions are the first three characters and a digit: the
  // process's number goes into those first (a rare letter, then any), so
  // that programs running at once share neither. Process numbers are
  // multiples of four.
  const DWORD n = ::GetCurrentProcessId() / 4;
  RenewExtensionOfTests() = {L'.', L"qxzj"[n % 4], static_cast<wchar_t>(L'a' + n / 4 % 26),
                             static_cast<wchar_t>(L'a' + n / 104 % 26)};
  return true;
}

TSetupFunctionParams TEngineRun::Params() {
  TSetupFunctionParams params{};
  params.Size = sizeof params;
  params.Automatic = Automatic ? 1 : 0;
  params.OnMessage = OnMessage;
  params.OnStatus = OnStatus;
  params.OnQuestion = OnQuestion;
  params.UserData = this;
  return params;
}

std::int32_t TEngineRun::Install(const std::wstring& kit, const std::wstring& folder, const std::wstring& group,
                                 std::uint32_t paramsSize, bool noShortcuts) {
  TInstallParams install{};
  install.Size = paramsSize;
  install.InstallDir = folder.c_str();
  install.GroupName = group.c_str();
  install.NoShortcuts = noShortcuts ? 1 : 0;
  return Execute(kit, sfInstall, &install);
}

std::int32_t TEngineRun::Execute(const std::wstring& folder, std::int32_t function, void* parameter) {
  const TSetupFunctionParams params = Params();
  return ExecuteSetupFunction(folder.c_str(), function, parameter, &params);
}

std::vector<std::wstring> TEngineRun::Errors() const {
  std::vector<std::wstring> errors;
  for (const auto& [kind, text] : Messages) {
    if (kind == mkError) errors.push_back(text);
  }
  return errors;
}

std::vector<std::wstring> TEngineRun::Warnings() const {
  std::vector<std::wstring> warnings;
  for (const auto& [kind, text] : Messages) {
    if (kind == mkWarning) warnings.push_back(text);
  }
  return warnings;
}

std::vector<std::wstring> TEngineRun::CopiedTargets() const {
  std::vector<std::wstring> targets;
  for (const TStatusCall& call : Statuses) {
    if (call.Title == L"Копирование файлов" && call.Text2 == L" " && call.Percent == -1 && call.Text1 != L" ")
      targets.push_back(call.Text1);
  }
  return targets;
}

std::int32_t TEngineRun::LastPercent() const {
  for (auto it = Statuses.rbegin(); it != Statuses.rend(); ++it) {
    if (it->Percent >= 0) return it->Percent;
  }
  return -1;
}

TInstallFolders::TInstallFolders(const std::string& tag)
    : Section(UniqueName(L"JOMT")),
      Group(UniqueName(L"Tavrel Test ")),
      RenewExtension(RenewExtensionOfTests()),
      RenewKey(UniqueName(L"TavrelInstallRenewFile")),
      Temp(tag),
      Saved(DistrParameters()) {
  const std::wstring programs = ProgramsIni();
  SetSetupParameter(L"ProgramsIniFileName", reinterpret_cast<intptr_t>(programs.c_str()));
  SetSetupParameter(L"ProgramRenewFileExtension", reinterpret_cast<intptr_t>(RenewExtension.c_str()));
  SetSetupParameter(L"ProgramRenewFileKeyName", reinterpret_cast<intptr_t>(RenewKey.c_str()));
}

TInstallFolders::~TInstallFolders() {
  DistrParameters() = Saved;
  RemoveRecords();
}

void TInstallFolders::RemoveRecords() const {
  ::RegDeleteTreeW(HKEY_CLASSES_ROOT, RenewKey.c_str());
  std::vector<std::wstring> extensions{RenewExtension};
  for (wchar_t digit = L'1'; digit <= L'9'; ++digit) extensions.push_back(RenewExtension.substr(0, 3) + digit);
  for (const std::wstring& ext : extensions) {
    if (ReadStringValue(HKEY_CLASSES_ROOT, ext, L"") == RenewKey) ::RegDeleteTreeW(HKEY_CLASSES_ROOT, ext.c_str());
  }
  for (const std::wstring& name : {Section, Section + L"1", Section + L"2"})
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, UninstallKey(name).c_str());
  std::error_code ignored;
  fs::remove_all(GroupFolder(Group), ignored);
}

TKit TInstallFolders::NewKit(const std::wstring& version) const {
  TKit kit(KitPath(), version);
  kit.Section = Section;
  kit.Key(L"TargetGroup", Group);
  return kit;
}

TInstalledCopy TInstallFolders::NewCopy(const std::wstring& version) const {
  TInstalledCopy copy(ProgramPath(), version);
  copy.Section = Section;
  return copy;
}

TRecorder::TRecorder(fs::path log) : Log(std::move(log)) {
  ::SetEnvironmentVariableW(L"TAVREL_RECORDER_LOG", Log.wstring().c_str());
}

TRecorder::~TRecorder() { ::SetEnvironmentVariableW(L"TAVREL_RECORDER_LOG", nullptr); }

std::string TRecorder::Program() { return ReadFile(ExecutableDir() / "CommandLineRecorder.exe"); }

std::vector<std::wstring> TRecorder::Lines() const {
  std::vector<std::wstring> lines;
  const std::string text = fs::exists(Log) ? ReadFile(Log) : std::string();
  std::size_t at = 0;
  for (std::size_t end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
    const std::string line = text.substr(at, end - at);
    std::wstring wide(line.size(), L'\0');
    wide.resize(static_cast<std::size_t>(::MultiByteToWideChar(CP_UTF8, 0, line.data(), static_cast<int>(line.size()),
                                                               wide.data(), static_cast<int>(wide.size()))));
    lines.push_back(wide);
  }
  return lines;
}

std::wstring UninstallKey(const std::wstring& registrationName) {
  return L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + registrationName;
}

fs::path GroupFolder(const std::wstring& group) {
  wchar_t path[MAX_PATH] = {};
  ::SHGetFolderPathW(nullptr, CSIDL_COMMON_PROGRAMS, nullptr, SHGFP_TYPE_CURRENT, path);
  return fs::path(path) / group;
}

std::vector<std::string> FilesUnder(const fs::path& folder) {
  std::vector<std::string> files;
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(folder, error); it != fs::recursive_directory_iterator();
       it.increment(error)) {
    if (it->is_regular_file()) files.push_back(fs::relative(it->path(), folder).generic_string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace testsupport
