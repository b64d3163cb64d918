#include "setup/ui/GuiWinTypes.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <vector>

#include "setup/messages/JomLocalizationTypes.h"
#include "setup/messages/MessageCatalogue.h"
#include "setup/messages/SystemRuntimeMessages.h"
#include "support/TestSupport.h"
#include "ui/MessageBoxWatcher.h"

namespace {

using TButtons = std::map<int, std::wstring>;

// A plain top-level window for placement tests, destroyed with the object.
class TTestWindow {
public:
  TTestWindow(RECT rect, DWORD style, HWND owner = nullptr, const wchar_t* className = ClassName()) {
    Handle = ::CreateWindowExW(0, className, L"Tavrel test window", style, rect.left, rect.top,
                               rect.right - rect.left, rect.bottom - rect.top, owner, nullptr,
                               ::GetModuleHandleW(nullptr), nullptr);
  }
  ~TTestWindow() {
    if (Handle != nullptr) ::DestroyWindow(Handle);
  }
  TTestWindow(const TTestWindow&) = delete;
  TTestWindow& operator=(const TTestWindow&) = delete;

  HWND get() const { return Handle; }
  RECT Rect() const {
    RECT r{};
    ::GetWindowRect(Handle, &r);
    return r;
  }

  static const wchar_t* ClassName() {
    static const bool registered = Register(L"TavrelGuiTestWindow", ::DefWindowProcW);
    (void)registered;
    return L"TavrelGuiTestWindow";
  }
  static bool Register(const wchar_t* name, WNDPROC procedure) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = name;
    return ::RegisterClassW(&windowClass) != 0;
  }

private:
  HWND Handle = nullptr;
};

constexpr DWORD Visible = WS_POPUP | WS_CAPTION | WS_VISIBLE;

RECT WorkArea(HWND window) {
  MONITORINFO info{};
  info.cbSize = sizeof info;
  ::GetMonitorInfoW(::MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &info);
  return info.rcWork;
}

void ProcessPendingMessages() {
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
}

// --- Message boxes -----------------------------------------------------

struct TQuestionCase {
  const char* Name;
  UINT Flags;
  int Press;
  TButtons Expected;
};

TEST(MessageBoxes, ShowCatalogueButtonTextsAndReturnThePressedButton) {
  const TQuestionCase cases[] = {
      {"yes", MB_YESNO | MB_ICONQUESTION, IDYES, {{IDYES, L"Да"}, {IDNO, L"Нет"}}},
      {"no", MB_YESNO, IDNO, {{IDYES, L"Да"}, {IDNO, L"Нет"}}},
      {"cancel", MB_YESNOCANCEL, IDCANCEL, {{IDYES, L"Да"}, {IDNO, L"Нет"}, {IDCANCEL, L"Отмена"}}},
      {"ignore", MB_ABORTRETRYIGNORE, IDIGNORE, {{IDABORT, L"Прервать"}, {IDRETRY, L"Повтор"}, {IDIGNORE, L"Пропуск"}}},
      {"abort", MB_ABORTRETRYIGNORE, IDABORT, {{IDABORT, L"Прервать"}, {IDRETRY, L"Повтор"}, {IDIGNORE, L"Пропуск"}}},
      {"retry", MB_RETRYCANCEL, IDRETRY, {{IDRETRY, L"Повтор"}, {IDCANCEL, L"Отмена"}}},
      // OK keeps the system's own text.
      {"ok", MB_OKCANCEL, IDOK, {{IDOK, L"OK"}, {IDCANCEL, L"Отмена"}}},
  };
  for (const TQuestionCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TBoxAnswerer watcher(L"Вопрос установки", c.Press);
    const std::int32_t result = GuiTools().MessageBox(L"Продолжить?", c.Flags, L"Вопрос установки");
    const TSeenBox& seen = watcher.Finish();
    ASSERT_TRUE(seen.Found);
    EXPECT_TRUE(seen.Pressed);
    EXPECT_EQ(result, c.Press);
    EXPECT_EQ(seen.Buttons, c.Expected);
  }
}

struct TKindCase {
  TMessageKind Kind;
  const wchar_t* Caption;
  const wchar_t* Icon;
};

TEST(MessageBoxes, ShowMessageHasTheKindsCaptionAndIconAndOnlyOk) {
  const TKindCase cases[] = {
      {mkError, L"Ошибка", IDI_HAND},
      {mkInfo, L"Информация", IDI_ASTERISK},
      {mkWarning, L"Внимание", IDI_EXCLAMATION},
      {7, L"Информация", nullptr},
  };
  for (const TKindCase& c : cases) {
    SCOPED_TRACE(c.Kind);
    TBoxAnswerer watcher(c.Caption, IDOK);
    const std::int32_t result = GuiTools().ShowMessage(c.Kind, L"Сообщение", L"", false);
    const TSeenBox& seen = watcher.Finish();
    ASSERT_TRUE(seen.Found);
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(seen.Buttons, (TButtons{{IDOK, L"OK"}}));
    EXPECT_EQ(seen.Icon, c.Icon ? ::LoadIconW(nullptr, c.Icon) : nullptr);
  }
  // A given caption is used as it is; without any window to centre on, a
  // centred box is centred on the work area.
  ASSERT_EQ(::GetActiveWindow(), nullptr);
  TBoxAnswerer watcher(L"Своя подпись", IDOK);
  GuiTools().ShowMessage(mkWarning, L"Сообщение", L"Своя подпись", true);
  const TSeenBox& seen = watcher.Finish();
  ASSERT_TRUE(seen.Found);
  const RECT work = WorkArea(nullptr);
  EXPECT_NEAR(seen.Rect.left + seen.Rect.right, work.left + work.right, 1);
  EXPECT_NEAR(seen.Rect.top + seen.Rect.bottom, work.top + work.bottom, 1);
}

TEST(MessageBoxes, ShowErrorMessageShowsAnErrorBox) {
  TBoxAnswerer watcher(L"Ошибка", IDOK);
  ShowErrorMessage(L"Не удалось открыть файл");
  const TSeenBox& seen = watcher.Finish();
  ASSERT_TRUE(seen.Found);
  EXPECT_EQ(seen.Icon, ::LoadIconW(nullptr, IDI_HAND));
}

TEST(MessageBoxes, ConfirmAsksOnItsOwnerCentredOnIt) {
  TTestWindow owner({100, 100, 700, 500}, Visible);
  ASSERT_NE(owner.get(), nullptr);
  for (const int press : {IDYES, IDNO}) {
    SCOPED_TRACE(press);
    TBoxAnswerer watcher(L"Подтверждение", press);
    const bool answer = GuiTools().Confirm(L"Удалить программу?", L"", true, owner.get());
    const TSeenBox& seen = watcher.Finish();
    ASSERT_TRUE(seen.Found);
    EXPECT_EQ(answer, press == IDYES);
    EXPECT_EQ(seen.Buttons, (TButtons{{IDYES, L"Да"}, {IDNO, L"Нет"}}));
    EXPECT_EQ(seen.Owner, owner.get());
    EXPECT_EQ(seen.Icon, ::LoadIconW(nullptr, IDI_QUESTION));
    EXPECT_NEAR(seen.Rect.left + seen.Rect.right, 800, 1);
    EXPECT_NEAR(seen.Rect.top + seen.Rect.bottom, 600, 1);
  }
}

TEST(MessageBoxes, MessageBoxBelongsToTheActiveWindowAndIsCentredOnIt) {
  TTestWindow owner({200, 150, 1000, 750}, Visible);
  ::SetActiveWindow(owner.get());
  ProcessPendingMessages();
  ASSERT_EQ(::GetActiveWindow(), owner.get());
  TBoxAnswerer watcher(L"Программа установки", IDNO);
  EXPECT_EQ(GuiTools().MessageBox(L"Заменить файл?", MB_YESNO, L"Программа установки"), IDNO);
  const TSeenBox& seen = watcher.Finish();
  ASSERT_TRUE(seen.Found);
  EXPECT_EQ(seen.Owner, owner.get());
  EXPECT_NEAR(seen.Rect.left + seen.Rect.right, 1200, 1);
  EXPECT_NEAR(seen.Rect.top + seen.Rect.bottom, 900, 1);
}

// A dialog window of this thread with a Yes button; activating it shows
// whether a message-box hook is still at work.
std::wstring YesTextAfterActivation() {
  TTestWindow dialog({300, 300, 500, 400}, WS_POPUP | WS_CAPTION, nullptr, L"#32770");
  HWND yes = ::CreateWindowExW(0, L"BUTTON", L"Keep", WS_CHILD | WS_VISIBLE, 10, 10, 80, 24, dialog.get(),
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDYES)), nullptr, nullptr);
  ::ShowWindow(dialog.get(), SW_SHOW);
  ::SetActiveWindow(dialog.get());
  ProcessPendingMessages();
  wchar_t text[64] = {};
  ::GetWindowTextW(yes, text, 64);
  return text;
}

TEST(MessageBoxes, NoHookOutlivesItsBox) {
  {
    TBoxAnswerer watcher(L"Подтверждение", IDYES);
    EXPECT_TRUE(GuiTools().Confirm(L"Продолжить?", L"", false, nullptr));
    ASSERT_TRUE(watcher.Finish().Found);
  }
  EXPECT_EQ(YesTextAfterActivation(), L"Keep");

  // A box that cannot be shown is never activated; its hook must still go.
  HWND invalidOwner = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x7FFF0001));
  EXPECT_FALSE(GuiTools().Confirm(L"Продолжить?", L"Нет окна", false, invalidOwner));
  EXPECT_EQ(YesTextAfterActivation(), L"Keep");
}

// The watcher is what keeps these tests from hanging: a box it does not
// expect is closed once its time is up.
TEST(MessageBoxWatcher, ClosesAnUnexpectedBoxAfterItsTime) {
  TBoxAnswerer watcher(L"Ожидаемая подпись", IDYES, 500);
  const std::int32_t result = GuiTools().MessageBox(L"Неожиданный вопрос", MB_OKCANCEL, L"Другая подпись");
  EXPECT_FALSE(watcher.Finish().Found);
  EXPECT_EQ(result, IDCANCEL);
}

// Makes the English item of the shipped localization file current for the
// test's length and puts the built-in Russian texts back afterwards.
class EnglishItemCurrent : public ::testing::Test {
protected:
  void SetUp() override {
    auto localization = std::make_unique<TJomLocalization>();
    ASSERT_TRUE(localization->LoadFromFile((testsupport::ExecutableDir() / "setup.sln").wstring()));
    Previous = SetLocalization(std::move(localization));
    ApplyLocalization({L"setup.exe", L"/LANGUAGE:1033"});
  }
  void TearDown() override {
    SetLocalization(std::move(Previous));
    RestoreDefaultMessages();
    ApplyLocalization({L"setup.exe", L"/LANGUAGE:1049"});
  }

  std::unique_ptr<TJomLocalization> Previous;
};

TEST_F(EnglishItemCurrent, BoxesShowTheEnglishTexts) {
  {
    TBoxAnswerer watcher(L"Confirmation", IDNO);
    EXPECT_FALSE(GuiTools().Confirm(L"Continue?", L"", true, nullptr));
    const TSeenBox& seen = watcher.Finish();
    ASSERT_TRUE(seen.Found);
    EXPECT_EQ(seen.Buttons, (TButtons{{IDYES, L"Yes"}, {IDNO, L"No"}}));
  }
  TBoxAnswerer watcher(L"Setup", IDRETRY);
  EXPECT_EQ(GuiTools().MessageBox(L"File in use", MB_ABORTRETRYIGNORE, L"Setup"), IDRETRY);
  const TSeenBox& seen = watcher.Finish();
  ASSERT_TRUE(seen.Found);
  EXPECT_EQ(seen.Buttons, (TButtons{{IDABORT, L"Abort"}, {IDRETRY, L"Retry"}, {IDIGNORE, L"Skip"}}));
}

// --- CenterWindow on real windows ------------------------------------------

TEST(CenterWindow, CentresARealWindowOnItsOwner) {
  TTestWindow owner({100, 100, 700, 500}, Visible);
  TTestWindow window({0, 0, 200, 100}, WS_POPUP | WS_CAPTION, owner.get());
  GuiTools().CenterWindow(window.get(), owner.get(), true);
  EXPECT_EQ(window.Rect().left, 300);
  EXPECT_EQ(window.Rect().top, 250);

  // Without an owner given, the visible window it belongs to is taken.
  ::SetWindowPos(window.get(), nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  GuiTools().CenterWindow(window.get(), nullptr, false);
  EXPECT_EQ(window.Rect().left, 300);
  EXPECT_EQ(window.Rect().top, 250);
}

TEST(CenterWindow, FallsBackToTheWorkAreaAndStaysInsideIt) {
  TTestWindow owner({100, 100, 150, 130}, Visible);
  const RECT work = WorkArea(owner.get());
  TTestWindow window({0, 0, 300, 200}, WS_POPUP | WS_CAPTION, owner.get());

  // More than three times the owner's size: centred on the work area.
  GuiTools().CenterWindow(window.get(), owner.get(), true);
  EXPECT_EQ(window.Rect().left, (work.left + work.right - 300) / 2);
  EXPECT_EQ(window.Rect().top, (work.top + work.bottom - 200) / 2);

  // Its own owner and no fit: the work area's top-left corner.
  GuiTools().CenterWindow(window.get(), window.get(), false);
  EXPECT_EQ(window.Rect().left, work.left);
  EXPECT_EQ(window.Rect().top, work.top);

  // An owner at the bottom-right corner: the window ends at the edges.
  ::SetWindowPos(owner.get(), nullptr, work.right - 100, work.bottom - 50, 100, 50, SWP_NOZORDER | SWP_NOACTIVATE);
  GuiTools().CenterWindow(window.get(), owner.get(), false);
  EXPECT_EQ(window.Rect().right, work.right);
  EXPECT_EQ(window.Rect().bottom, work.bottom);
}

// --- RefreshTrayWindow --------------------------------------------------

std::map<HWND, std::vector<POINT>> MouseMoves;

LRESULT CALLBACK RecordMouseMoves(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_MOUSEMOVE) {
    MouseMoves[window].push_back({static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))});
    return 0;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

class TrayArea : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    TTestWindow::Register(L"TrayNotifyWnd", RecordMouseMoves);
    TTestWindow::Register(L"ToolbarWindow32", RecordMouseMoves);
  }
  void SetUp() override { MouseMoves.clear(); }

  // A child window of the given class and client size.
  static HWND Child(HWND parent, const wchar_t* className, int width, int height) {
    return ::CreateWindowExW(0, className, L"", WS_CHILD | WS_VISIBLE, 0, 0, width, height, parent, nullptr,
                             ::GetModuleHandleW(nullptr), nullptr);
  }

  TTestWindow Tray{{0, 900, 800, 940}, WS_POPUP};
};

TEST_F(TrayArea, MovesTheMouseOverTheToolbarInsideTheNotificationArea) {
  HWND between = Child(Tray.get(), TTestWindow::ClassName(), 300, 40);
  HWND notify = Child(between, L"TrayNotifyWnd", 200, 40);
  HWND toolbar = Child(notify, L"ToolbarWindow32", 26, 16);
  ASSERT_TRUE(RefreshTrayWindow(Tray.get()));
  EXPECT_TRUE(MouseMoves[notify].empty());
  const std::vector<POINT>& moves = MouseMoves[toolbar];
  ASSERT_EQ(moves.size(), 6u);
  EXPECT_EQ(moves.front().x, 5);
  EXPECT_EQ(moves.front().y, 5);
  EXPECT_EQ(moves.back().x, 25);
  EXPECT_EQ(moves.back().y, 15);
}

TEST_F(TrayArea, WithoutAToolbarTheNotificationAreaItselfGetsTheMoves) {
  HWND notify = Child(Tray.get(), L"TrayNotifyWnd", 16, 16);
  ASSERT_TRUE(RefreshTrayWindow(Tray.get()));
  EXPECT_EQ(MouseMoves[notify].size(), 4u);
}

TEST_F(TrayArea, WithoutANotificationAreaNothingIsSent) {
  Child(Tray.get(), L"ToolbarWindow32", 40, 40);
  EXPECT_FALSE(RefreshTrayWindow(Tray.get()));
  EXPECT_TRUE(MouseMoves.empty());
}

}  // namespace
