// The flat entry in-process: dispatch, error counting, escaped exceptions
// and the callbacks, with stand-in pipelines on codes of their own.

#include <gtest/gtest.h>

#include "setup/engine/KvtDistr.h"
#include "setup/engine/diDistrParams.h"
#include "setup/engine/diKvtSetup.h"
#include "setup/engine/diSetupFunctions.h"
#include "support/WindowWatcher.h"

namespace {

using namespace testsupport;

constexpr std::int32_t sfTestPipeline = 100;

struct TCallLog {
  std::vector<std::pair<std::int32_t, std::wstring>> Messages;
  std::vector<std::wstring> Status;
  std::vector<std::wstring> Questions;
  int ForeignUserData = 0;
  std::uint8_t CancelOnStatus = 0;
};

TCallLog* Log(void* userData, TCallLog* expected) {
  if (userData != expected) ++expected->ForeignUserData;
  return static_cast<TCallLog*>(userData);
}

TCallLog* CurrentLog = nullptr;

void OnMessage(std::int32_t kind, const wchar_t* text, void* userData) {
  Log(userData, CurrentLog)->Messages.emplace_back(kind, text);
}
void OnStatus(const wchar_t* title, const wchar_t* text1, const wchar_t* text2, std::int32_t percent,
              std::uint8_t* cancel, void* userData) {
  TCallLog* log = Log(userData, CurrentLog);
  log->Status.push_back(std::wstring(title) + L"|" + text1 + L"|" + text2 + L"|" + std::to_wstring(percent));
  *cancel = log->CancelOnStatus;
}
std::int32_t OnQuestion(const wchar_t* caption, const wchar_t* text, std::uint32_t flags, void* userData) {
  Log(userData, CurrentLog)->Questions.push_back(std::wstring(caption) + L"|" + text + L"|" + std::to_wstring(flags));
  return 7;  // IDNO
}

class KvtDistrTest : public ::testing::Test {
protected:
  void SetUp() override {
    CurrentLog = &Calls;
    Params.Size = sizeof Params;
    Params.OnMessage = OnMessage;
    Params.OnStatus = OnStatus;
    Params.OnQuestion = OnQuestion;
    Params.UserData = &Calls;
  }
  void TearDown() override {
    RegisterSetupFunction(sfTestPipeline, {});
    CurrentLog = nullptr;
  }
  std::int32_t Run(TSetupFunction pipeline) {
    RegisterSetupFunction(sfTestPipeline, std::move(pipeline));
    return ExecuteSetupFunction(L"", sfTestPipeline, nullptr, &Params);
  }

  TCallLog Calls;
  TSetupFunctionParams Params{};
};

TEST_F(KvtDistrTest, CodesWithoutPipelineSucceedQuietly) {
  for (std::int32_t code : {0, 7, 9, -1}) EXPECT_EQ(ExecuteSetupFunction(L"", code, nullptr, &Params), -1);
  EXPECT_EQ(ExecuteSetupFunction(nullptr, 9, nullptr, nullptr), -1);
  EXPECT_TRUE(Calls.Messages.empty());
}

TEST_F(KvtDistrTest, UpdateWithoutAFileFailsNamingWhatIsMissing) {
  EXPECT_EQ(ExecuteSetupFunction(L"", sfUpdate, nullptr, &Params), 0);
  const std::vector<std::pair<std::int32_t, std::wstring>> expected = {{mkError, L"Не указан файл обновления"}};
  EXPECT_EQ(Calls.Messages, expected);
}

TEST_F(KvtDistrTest, OnlyErrorMessagesMakeTheFunctionFail) {
  EXPECT_EQ(Run([](TKvtSetup& s, void*) {
              s.ReportMessage(mkWarning, L"w");
              s.ReportMessage(mkInfo, L"i");
            }),
            -1);
  EXPECT_EQ(Run([](TKvtSetup& s, void*) {
              s.ReportMessage(mkError, L"e");
              s.ReportMessage(mkInfo, L"still going");
            }),
            0);
  const std::vector<std::pair<std::int32_t, std::wstring>> expected = {
      {mkWarning, L"w"}, {mkInfo, L"i"}, {mkError, L"e"}, {mkInfo, L"still going"}};
  EXPECT_EQ(Calls.Messages, expected);
}

TEST_F(KvtDistrTest, AnEscapedExceptionBecomesOneErrorMessage) {
  EXPECT_EQ(Run([](TKvtSetup&, void*) { throw Exception(L"Файл x не найден"); }), 0);
  EXPECT_EQ(Run([](TKvtSetup&, void*) { throw EAbort(); }), 0);
  EXPECT_EQ(Run([](TKvtSetup&, void*) { throw std::runtime_error("library failure"); }), 0);
  const std::vector<std::pair<std::int32_t, std::wstring>> expected = {
      {mkError, L"Файл x не найден"}, {mkError, L"Operation aborted"}, {mkError, L"library failure"}};
  EXPECT_EQ(Calls.Messages, expected);
}

TEST_F(KvtDistrTest, CallbacksGetTheirArgumentsAndTheUserData) {
  void* seenParameter = nullptr;
  int parameter = 0;
  RegisterSetupFunction(sfTestPipeline, [&](TKvtSetup& s, void* p) {
    seenParameter = p;
    EXPECT_TRUE(s.Automatic);
    s.ReportMessage(mkInfo, L"m");
    s.ReportStatus(L"t", L"", L" ", -1);
    EXPECT_EQ(s.Ask(L"q?", 36), 7);
  });
  Params.Automatic = 1;
  EXPECT_EQ(ExecuteSetupFunction(L"", sfTestPipeline, &parameter, &Params), -1);
  EXPECT_EQ(seenParameter, &parameter);
  EXPECT_EQ(Calls.Status, std::vector<std::wstring>{L"t|| |-1"});
  EXPECT_EQ(Calls.Questions, std::vector<std::wstring>{L"Программа установки|q?|36"});
  EXPECT_EQ(Calls.Messages.size(), 1u);
  EXPECT_EQ(Calls.ForeignUserData, 0);
}

TEST_F(KvtDistrTest, CancelFromTheStatusCallbackAborts) {
  Calls.CancelOnStatus = 1;
  bool after = false;
  EXPECT_EQ(Run([&](TKvtSetup& s, void*) {
              s.ReportStatus(L"t", L"a", L"b", 50);
              after = true;
            }),
            0);
  EXPECT_FALSE(after);
  ASSERT_EQ(Calls.Messages.size(), 1u);
  EXPECT_EQ(Calls.Messages[0].second, L"Operation aborted");
}

TEST_F(KvtDistrTest, WithoutCallbacksStatusIsDroppedAndErrorsRaise) {
  Params.OnMessage = nullptr;
  Params.OnStatus = nullptr;
  TKvtSetup setup(L"");
  setup.ReportStatus(L"t", L"a", L"b", 1);  // no connection: nothing happens
  setup.ReportMessage(mkWarning, L"ignored");
  EXPECT_THROW(setup.ReportMessage(mkError, L"raised"), Exception);
}

TEST(KvtDistrErrorBox, WithoutOnMessageTheErrorIsShownInABox) {
  TMessageBoxWatcher watcher(BoxesOfProcess(::GetCurrentProcessId()));
  RegisterSetupFunction(sfTestPipeline, [](TKvtSetup&, void*) { throw Exception(L"в окне"); });
  TSetupFunctionParams params{};
  params.Size = sizeof params;
  EXPECT_EQ(ExecuteSetupFunction(L"", sfTestPipeline, nullptr, &params), 0);
  RegisterSetupFunction(sfTestPipeline, {});
  ASSERT_EQ(watcher.Boxes().size(), 1u);
  EXPECT_EQ(watcher.Boxes()[0].Caption, L"Ошибка");
  EXPECT_NE(watcher.Boxes()[0].Text.find(L"в окне"), std::wstring::npos);
}

void ThrowingOnMessage(std::int32_t, const wchar_t*, void*) { throw std::runtime_error("второе"); }

TEST(KvtDistrErrorBox, AFailingOnMessageShowsBothTextsInOneBox) {
  TMessageBoxWatcher watcher(BoxesOfProcess(::GetCurrentProcessId()));
  RegisterSetupFunction(sfTestPipeline, [](TKvtSetup&, void*) { throw Exception(L"первое"); });
  TSetupFunctionParams params{};
  params.Size = sizeof params;
  params.OnMessage = ThrowingOnMessage;
  EXPECT_EQ(ExecuteSetupFunction(L"", sfTestPipeline, nullptr, &params), 0);
  RegisterSetupFunction(sfTestPipeline, {});
  ASSERT_EQ(watcher.Boxes().size(), 1u);
  EXPECT_EQ(watcher.Boxes()[0].Text, L"второе\rпервое");
}

TEST(SetSetupParameter, TextAndByteParameters) {
  const TDistrParameters saved = DistrParameters();
  SetSetupParameter(L"programsinifilename", reinterpret_cast<intptr_t>(L"  "));
  EXPECT_EQ(DistrParameters().ProgramsIniFileName, L"kvt.ini");
  SetSetupParameter(L"KvtIniFileName", reinterpret_cast<intptr_t>(L"C:\\x\\jomsetup.ini"));
  EXPECT_EQ(DistrParameters().ProgramsIniFileName, L"C:\\x\\jomsetup.ini");
  SetSetupParameter(L"ProgramsIniFileName", 0);
  EXPECT_EQ(DistrParameters().ProgramsIniFileName, L"kvt.ini");
  SetSetupParameter(L"ProgramRenewFileExtension", reinterpret_cast<intptr_t>(L".prf"));
  SetSetupParameter(L"PROGRAMRENEWFILEKEYNAME", reinterpret_cast<intptr_t>(L"JOMRenewFile"));
  SetSetupParameter(L"ProgramLstDirsCharCase", 2);
  SetSetupParameter(L"ProgramLstFilesCharCase", 0x101);
  SetSetupParameter(L"Unknown", 5);
  SetSetupParameter(nullptr, 5);
  EXPECT_EQ(DistrParameters().ProgramRenewFileExtension, L".prf");
  EXPECT_EQ(DistrParameters().ProgramRenewFileKeyName, L"JOMRenewFile");
  EXPECT_EQ(DistrParameters().ProgramLstDirsCharCase, 2);
  EXPECT_EQ(DistrParameters().ProgramLstFilesCharCase, 1);
  DistrParameters() = saved;
}

}  // namespace
