// The start-up step in a real process: the localization file is the test
// program's own path with ".sln" (the build copies setup.sln there), the
// language follows the process's locale (English here).

#include <gtest/gtest.h>

#include "setup/messages/JomLocalizationTypes.h"
#include "setup/messages/LocalizationStartup.h"
#include "setup/messages/MessageCatalogue.h"
#include "setup/messages/SetupRuntimeMessages.h"
#include "setup/messages/SystemRuntimeMessages.h"

namespace {

TEST(LocalizationStartup, BindsTheFileBesideTheProgram) {
  RestoreDefaultMessages();
  ApplyLocalization();
  TJomLocalization& localization = Localization();
  EXPECT_NE(localization.FileName.find(L"messages_tests.sln"), std::wstring::npos);
  EXPECT_EQ(localization.Count(), 2);
  EXPECT_EQ(localization.LanguageCode(), L"$00000409");
  EXPECT_EQ(rsButtonYes, L"Yes");
  EXPECT_EQ(rsSaveUserSettings.find(L'#'), std::wstring::npos);
  EXPECT_TRUE(LocalizationProblemText(localization).empty());
  RestoreDefaultMessages();
}

}  // namespace
