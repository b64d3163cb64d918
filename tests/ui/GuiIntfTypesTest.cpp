#include "setup/ui/GuiIntfTypes.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct TShownMessage {
  TMessageKind Kind;
  std::wstring Text;
  std::wstring Caption;
  bool Centre;
};

class TRecordingGuiTools : public TRefCountedObject<IGuiTools> {
public:
  void CenterWindow(WindowHandle, WindowHandle, bool) override {}
  std::int32_t ShowMessage(TMessageKind kind, const std::wstring& text, const std::wstring& caption,
                           bool centre) override {
    Shown.push_back({kind, text, caption, centre});
    return 1;
  }
  void RefreshTrayArea() override {}
  bool Confirm(const std::wstring&, const std::wstring&, bool, WindowHandle) override { return true; }
  std::int32_t MessageBox(const std::wstring&, std::uint32_t, const std::wstring&) override { return 6; }

  std::vector<TShownMessage> Shown;
};

// Puts the process-wide instance back whatever the test does.
class GuiToolsSeam : public ::testing::Test {
protected:
  void SetUp() override { Previous = SetGuiTools(Recorder); }
  void TearDown() override { SetGuiTools(Previous); }

  RefPtr<TRecordingGuiTools> Recorder = MakeRef<TRecordingGuiTools>();
  RefPtr<IGuiTools> Previous;
};

TEST_F(GuiToolsSeam, ShowErrorMessageIsACentredErrorBox) {
  ShowErrorMessage(L"Файл не найден");
  ShowErrorMessage(L"text", L"Своя");
  ASSERT_EQ(Recorder->Shown.size(), 2u);
  EXPECT_EQ(Recorder->Shown[0].Kind, mkError);
  EXPECT_EQ(Recorder->Shown[0].Text, L"Файл не найден");
  EXPECT_EQ(Recorder->Shown[0].Caption, L"");
  EXPECT_TRUE(Recorder->Shown[0].Centre);
  EXPECT_EQ(Recorder->Shown[1].Caption, L"Своя");
}

TEST_F(GuiToolsSeam, SetterReturnsThePreviousInstanceAndNullBringsBackTheSystemOne) {
  EXPECT_EQ(&GuiTools(), Recorder.get());
  auto second = MakeRef<TRecordingGuiTools>();
  RefPtr<IGuiTools> replaced = SetGuiTools(second);
  EXPECT_EQ(replaced.get(), Recorder.get());
  EXPECT_EQ(&GuiTools(), second.get());

  SetGuiTools(nullptr);
  IGuiTools& system = GuiTools();
  EXPECT_NE(&system, second.get());
  EXPECT_NE(&system, Recorder.get());
  EXPECT_EQ(&GuiTools(), &system);
}

#ifndef _WIN32
TEST(NoWindowGuiTools, BoxesFailWithTheNeutralValues) {
  RefPtr<IGuiTools> tools = CreateSystemGuiTools();
  EXPECT_EQ(tools->ShowMessage(mkInfo, L"t", L"", true), 0);
  EXPECT_FALSE(tools->Confirm(L"t", L"", true, nullptr));
  EXPECT_EQ(tools->MessageBox(L"t", 0, L"c"), 0);
  EXPECT_NE(PlatformTools().GetLastError(), 0u);
}
#endif

}  // namespace
