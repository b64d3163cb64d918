#include "setup/messages/LocalizationStartup.h"

#include "platform/Win.h"

#include <vector>

#include "platform/CommandLine.h"
#include "platform/StrTool.h"
#include "setup/messages/JomLocalizationTypes.h"
#include "setup/messages/MessageCatalogue.h"
#include "setup/messages/SystemRuntimeMessages.h"

namespace {

// The Wine switch: "/" or "-" followed by exactly WINE, in any letter case.
bool Unattended(const std::vector<std::wstring>& arguments) {
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const std::wstring& argument = arguments[i];
    if (argument.size() == 5 && (argument[0] == L'/' || argument[0] == L'-') &&
        SameTextAscii(argument.substr(1), L"WINE")) {
      return true;
    }
  }
  return false;
}

}  // namespace

void ApplyLocalization() {
  // Split as setup splits its whole command line: the relaunched copy's
  // first argument ends in a backslash before its closing quote.
  const std::vector<std::wstring> arguments = SplitCommandLineWithProgram(::GetCommandLineW());
  ApplyLocalization(arguments);
  const std::wstring problem = LocalizationProblemText(Localization());
  if (problem.empty() || Unattended(arguments)) return;
  ::MessageBoxW(nullptr, problem.c_str(), rsCaptionWarning.c_str(), MB_OK | MB_ICONWARNING | MB_SETFOREGROUND);
}
