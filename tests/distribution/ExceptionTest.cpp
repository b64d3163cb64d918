// Every exception of the file services and the platform lists shares one
// base whose message is UTF-16 text for the user; the file errors carry the
// catalogue texts and the file's name unchanged, whatever its characters.

#include "platform/Exception.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "platform/ObjList.h"
#include "setup/distribution/Crc_32.h"
#include "setup/distribution/Stream.h"
#include "setup/messages/FormatText.h"
#include "setup/messages/SetupRuntimeMessages.h"
#include "support/TestSupport.h"

namespace {

// The message of what the action raised, caught through the common base.
std::wstring Raised(const std::function<void()>& action) {
  try {
    action();
  } catch (const Exception& e) {
    EXPECT_EQ(ExceptionMessage(e), e.Message());
    return e.Message();
  }
  return L"(nothing raised)";
}

TEST(Exceptions, FileErrorsNameTheFileInTheCatalogueText) {
  testsupport::TempDir dir("exc");
#ifdef _WIN32
  const std::wstring missing = (dir.path() / L"Тест" / L"нет.txt").wstring();
#else
  // The native tree's C locale cannot spell such a name as a path.
  const std::wstring missing = (dir.path() / L"none" / L"missing.txt").wstring();
#endif
  struct Case {
    const char* what;
    std::function<void()> action;
    std::wstring expected;
  } cases[] = {
      {"memory load", [&] { TMemoryStream().LoadFromFile(missing); }, FormatText(rsFileOpenError, {missing})},
      {"file open", [&] { TFileStream(missing, TFileStream::Mode::OpenRead); }, FormatText(rsFileOpenError, {missing})},
      {"memory save", [&] { TMemoryStream().SaveToFile(missing); }, FormatText(rsFileCreateError, {missing})},
      {"file create", [&] { TFileStream(missing, TFileStream::Mode::Create); },
       FormatText(rsFileCreateError, {missing})},
      {"past the end", [] {
         std::uint8_t byte = 0;
         TMemoryStream().ReadBuffer(&byte, 1);
       },
       L"Stream read error"},
      {"list index", [] { TObjectList<int>().Get(2); }, L"List index out of bounds (2)"},
  };
  for (const Case& c : cases) EXPECT_EQ(Raised(c.action), c.expected) << c.what;
  EXPECT_EQ(FileCrc32(missing), 0u);  // a missing file has no checksum, it is not an error
}

TEST(Exceptions, DiagnosticTextIsUtf8AndForeignTextsAreReadAsUtf8) {
  const Exception error(L"Файл C:\\Тест\\x не найден \U0001F600");
  EXPECT_STREQ(error.what(), "Файл C:\\Тест\\x не найден \U0001F600");
  const EStreamError stream(L"Ошибка");
  const std::exception& base = stream;
  EXPECT_EQ(ExceptionMessage(base), L"Ошибка");
  EXPECT_EQ(ExceptionMessage(std::runtime_error("library failure")), L"library failure");
  EXPECT_EQ(ExceptionMessage(std::runtime_error(error.what())), error.Message());
  EXPECT_EQ(ExceptionMessage(std::runtime_error("a\xD0" "b\xFF\xED\xA0\x80")), L"a\xFFFD" L"b\xFFFD\xFFFD");
}

}  // namespace
