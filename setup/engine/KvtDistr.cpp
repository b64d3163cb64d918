// The flat entry of the engine: the two functions of KvtDistr.h. setup.exe
// links them in; KvtDistr.dll exports them.

#include "setup/engine/KvtDistr.h"

#include "platform/Win.h"

#include <memory>
#include <mutex>

#include "platform/CommandLine.h"
#include "setup/engine/diDistrParams.h"
#include "setup/engine/diKvtDistrTypes.h"
#include "setup/engine/diKvtSetup.h"
#include "setup/engine/diSetupFunctions.h"
#include "setup/messages/JomLocalizationTypes.h"
#include "setup/messages/MessageCatalogue.h"
#include "setup/ui/GuiIntfTypes.h"

std::wstring EngineLocalizationFile;

namespace {

// Binds the texts once, before the first call does any work: the DLL's
// callers get the language setup.exe would choose in their process (its
// LANGUAGE switch or the user's locale). Without the file, or with a damaged
// one, the built-in Russian texts stay; a DLL shows no box for that.
void LocalizeEngine() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (EngineLocalizationFile.empty()) return;
    auto localization = std::make_unique<TJomLocalization>();
    localization->FileName = EngineLocalizationFile;
    if (::GetFileAttributesW(EngineLocalizationFile.c_str()) != INVALID_FILE_ATTRIBUTES) {
      localization->LoadFromFile(EngineLocalizationFile);
    }
    SetLocalization(std::move(localization));
    ApplyLocalization(SplitCommandLineWithProgram(::GetCommandLineW()));
  });
}

void RunFunction(TKvtSetup& setup, std::int32_t function, void* parameter) {
  if (const TSetupFunction pipeline = FindSetupFunction(function)) pipeline(setup, parameter);
}

void ConnectSession(TKvtSetup& setup, TKvtDistr& distr) {
  setup.Automatic = distr.Params.Automatic != 0;
  setup.OnMessage = [&distr](std::int32_t kind, const std::wstring& text) { distr.DoMessage(kind, text); };
  setup.OnStatus = [&distr](const std::wstring& title, const std::wstring& text1, const std::wstring& text2,
                            std::int32_t percent, std::uint8_t& cancel) {
    distr.DoStatus(title, text1, text2, percent, cancel);
  };
  setup.OnQuestion = [&distr](const std::wstring& caption, const std::wstring& text, std::uint32_t flags) {
    return distr.DoQuestion(caption, text, flags);
  };
}

// Hands an escaped failure to the caller, or shows it when the caller gave
// no OnMessage. A failure while reporting is shown together with the first.
void ReportFailure(const TSetupFunctionParams& params, const std::wstring& message) {
  try {
    if (params.OnMessage) {
      params.OnMessage(mkError, message.c_str(), params.UserData);
    } else {
      ShowErrorMessage(message);
    }
  } catch (const std::exception& e) {
    ShowErrorMessage(ExceptionMessage(e) + L"\r" + message);
  } catch (...) {
    ShowErrorMessage(message);
  }
}

}  // namespace

extern "C" void SetSetupParameter(const wchar_t* Name, intptr_t Value) {
  if (!Name) return;
  LocalizeEngine();
  SetDistrParameter(Name, Value);
}

extern "C" int32_t ExecuteSetupFunction(const wchar_t* Folder, int32_t Function, void* Parameter,
                                        const TSetupFunctionParams* Params) {
  TSetupFunctionParams params{};
  if (Params) params = *Params;
  const std::wstring folder = Folder ? Folder : L"";
  try {
    LocalizeEngine();
    TKvtDistr distr(params, folder);
    {
      TKvtSetup setup(folder);
      ConnectSession(setup, distr);
      RunFunction(setup, Function, Parameter);
    }
    return distr.ErrorCount == 0 ? -1 : 0;
  } catch (const std::exception& e) {
    ReportFailure(params, ExceptionMessage(e));
  } catch (...) {
    ReportFailure(params, L"Unknown error");
  }
  return 0;
}
