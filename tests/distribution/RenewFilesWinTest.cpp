#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "setup/distribution/diRenewFiles.h"
#include "setup/messages/FormatText.h"
#include "setup/messages/SetupRuntimeMessages.h"
#include "support/RenewPatchWriter.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

TEST(ApplyPatch, ATargetThatCannotBeReplacedStaysAsItWas) {
  std::string oldBytes(3000, 'a');
  for (std::size_t i = 0; i < oldBytes.size(); i += 7) oldBytes[i] = static_cast<char>(i);
  std::string newBytes = oldBytes;
  newBytes[100] = 'X';
  newBytes += "more";
  testsupport::TempDir dir("renew");
  testsupport::WriteFile(dir.path() / "old.bin", oldBytes);
  testsupport::WriteFile(dir.path() / "new.bin", "the installed file");
  const std::wstring oldName = (dir.path() / "old.bin").wstring(), newName = (dir.path() / "new.bin").wstring();
  const std::string patch = testsupport::MakePatch(oldBytes, newBytes, 300, true).Serialize();
  {
    // Held open without sharing by a second process: it cannot be replaced.
    testsupport::ChildProcess holder = testsupport::HoldFileOpen(newName, 0);
    TMemoryStream stream(std::vector<std::uint8_t>(patch.begin(), patch.end()));
    try {
      ApplyPatch(oldName, newName, stream);
      ADD_FAILURE() << "a held target was replaced";
    } catch (const Exception& e) {
      const std::wstring head = FormatText(rsFileCreateError, {newName}) + L" (";
      const std::wstring& message = e.Message();
      ASSERT_EQ(message.rfind(head, 0), 0u) << e.what();
      // The system's reason, in the system's language, decoded whole.
      const std::wstring reason = message.substr(head.size());
      EXPECT_EQ(reason.find(L'\uFFFD'), std::wstring::npos) << e.what();
      EXPECT_NE(reason.find_first_of(L"АБВГДЕЖЗИКЛМНОПРСТУФХЦЧШЩЭЮЯабвгдежзиклмнопрстуфхцчшщэюя"), std::wstring::npos)
          << e.what();
    }
  }
  EXPECT_EQ(testsupport::ReadFile(dir.path() / "new.bin"), "the installed file");
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir.path())) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"new.bin", "old.bin"})) << "no temporary file is left";

  // Once the target is free, the same patch applies.
  TMemoryStream stream(std::vector<std::uint8_t>(patch.begin(), patch.end()));
  EXPECT_FALSE(ApplyPatch(oldName, newName, stream));
  EXPECT_EQ(testsupport::ReadFile(dir.path() / "new.bin"), newBytes);
}

}  // namespace
