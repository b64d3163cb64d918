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

// One test's folders: the kit, the program folder beside it and a programs
// registration file of its own, set as the engine's parameter for the
// test's length.
class TInstallFolders {
public:
  explicit TInstallFolders(const std::string& tag);
  ~TInstallFolders();

  std::filesystem::path Root() const { return Temp.path(); }
  std::filesystem::path KitPath() const { return Temp.path() / "Kit"; }
  std::filesystem::path ProgramPath() const { return Temp.path() / "Program"; }
  std::wstring Kit() const { return Temp.dir() + L"Kit\\"; }
  std::wstring Program() const { return Temp.dir() + L"Program\\"; }
  std::wstring ProgramsIni() const { return Temp.dir() + L"jomsetup.ini"; }

private:
  TempDir Temp;
  TDistrParameters Saved;
};

// Every file under folder, relative to it ("/" separated), sorted.
std::vector<std::string> FilesUnder(const std::filesystem::path& folder);

}  // namespace testsupport
