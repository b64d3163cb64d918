#include "setup/messages/LocalizationStartup.h"

#include "platform/Win.h"
// shellapi.h needs <windows.h> before it.
#include <shellapi.h>

#include <vector>

#include "platform/StrTool.h"
#include "setup/messages/JomLocalizationTypes.h"
#include "setup/messages/MessageCatalogue.h"
#include "setup/messages/SystemRuntimeMessages.h"

namespace {

std::vector<std::wstring> CommandLineArguments() {
  int count = 0;
  LPWSTR* list = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  std::vector<std::wstring> arguments;
  if (!list) return arguments;
  for (int i = 0; i < count; ++i) arguments.emplace_back(list[i]);
  ::LocalFree(list);
  return arguments;
}

bool Unattended(const std::vector<std::wstring>& arguments) {
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    if (SameTextAscii(arguments[i], L"/WINE")) return true;
  }
  return false;
}

}  // namespace

void ApplyLocalization() {
  const std::vector<std::wstring> arguments = CommandLineArguments();
  ApplyLocalization(arguments);
  const std::wstring problem = LocalizationProblemText(Localization());
  if (problem.empty() || Unattended(arguments)) return;
  ::MessageBoxW(nullptr, problem.c_str(), rsCaptionWarning.c_str(), MB_OK | MB_ICONWARNING | MB_SETFOREGROUND);
}
