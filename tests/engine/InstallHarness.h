#pragma once
// Runs the install functions through ExecuteSetupFunction, as the dialog
// does, and records what the engine reports: messages, progress, questions
// (answered by the test) and the cancel it is handed.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "InstalledCopy.h"
#include "setup/engine/KvtDistr.h"
#include "setup/engine/diDistrParams.h"
#include "support/TestSupport.h"

namespace testsupport {

struct TStatusCall {
  std::wstring Title, Text1, Text2;
  std::int32_t Percent;
};

struct TQuestionCall {
  std::wstring Caption, Text;
  std::uint32_t Flags;
};

class TEngineRun {
public:
  std::vector<std::pair<std::int32_t, std::wstring>> Messages;
  std::vector<TStatusCall> Statuses;
  std::vector<TQuestionCall> Questions;
  // The answer to each question; the default answers IDCANCEL.
  std::function<std::int32_t(const TQuestionCall&)> Answer;
  // Sets the cancel byte at the status call it accepts.
  std::function<bool(const TStatusCall&)> CancelAt;
  bool Automatic = false;

  // sfInstall of the kit into folder through the flat entry.
  std::int32_t Install(const std::wstring& kit, const std::wstring& folder, const std::wstring& group = L"",
                       std::uint32_t paramsSize = sizeof(TInstallParams), bool noShortcuts = false);
  // Any function code with its parameter.
  std::int32_t Execute(const std::wstring& folder, std::int32_t function, void* parameter);

  std::vector<std::wstring> Errors() const;
  std::vector<std::wstring> Warnings() const;
  // Text1 of the copy loop's "Копирование файлов" calls, one per file, in order.
  std::vector<std::wstring> CopiedTargets() const;
  // The last percentage reported, -1 when none.
  std::int32_t LastPercent() const;

  TSetupFunctionParams Params() ;
};

// Makes the update-file extension of every later TInstallFolders one of
// this process's own (a dot and three letters from the process's number,
// the first "q", "x", "z" or "j"): the association and the volumes' ones are
// keys of the whole prefix, which test programs running at once must not
// share.
// Returns true, so that a test program can call it in a static initializer.
bool UseProcessRenewExtension();

// One test's folders and names: the kit, the program folder beside it, a
// programs registration file, a product section, a program group and an
// update-file class of its own, set as the engine's parameters for the
// test's length. What an install registers under them is removed at the
// end: the Uninstall entries, the association and the group's shortcuts.
class TInstallFolders {
public:
  explicit TInstallFolders(const std::string& tag);
  ~TInstallFolders();

  // A kit of this test's product section and program group.
  TKit NewKit(const std::wstring& version) const;
  // An installed copy of the same product in the program folder.
  TInstalledCopy NewCopy(const std::wstring& version) const;
  // Removes what an install registered under this test's names (the
  // Uninstall entries, the association, the group's shortcuts).
  void RemoveRecords() const;

  std::filesystem::path Root() const { return Temp.path(); }
  std::filesystem::path KitPath() const { return Temp.path() / "Kit"; }
  std::filesystem::path ProgramPath() const { return Temp.path() / "Program"; }
  std::wstring Kit() const { return Temp.dir() + L"Kit\\"; }
  std::wstring Program() const { return Temp.dir() + L"Program\\"; }
  std::wstring ProgramsIni() const { return Temp.dir() + L"jomsetup.ini"; }

  const std::wstring Section;
  const std::wstring Group;
  // ".tvi", or this process's own after UseProcessRenewExtension.
  const std::wstring RenewExtension;
  const std::wstring RenewKey;

private:
  TempDir Temp;
  TDistrParameters Saved;
};

// CommandLineRecorder.exe as a program of a kit: every run appends its
// command line to Log for the recorder's lifetime (through the environment
// the engine's programs inherit).
class TRecorder {
public:
  explicit TRecorder(std::filesystem::path log);
  ~TRecorder();
  TRecorder(const TRecorder&) = delete;
  TRecorder& operator=(const TRecorder&) = delete;
  // The bytes of the recorder program, to put into a kit.
  static std::string Program();
  // The command lines recorded so far, in order.
  std::vector<std::wstring> Lines() const;
  const std::filesystem::path Log;
};

// The Uninstall entry of a registration name (below HKEY_LOCAL_MACHINE).
std::wstring UninstallKey(const std::wstring& registrationName);
// The folder of the program group's shortcuts.
std::filesystem::path GroupFolder(const std::wstring& group);

// Every file under folder, relative to it ("/" separated), sorted.
std::vector<std::string> FilesUnder(const std::filesystem::path& folder);

}  // namespace testsupport
