#include "setup/main/SetupLog.h"

#include <cstdio>
#include <mutex>

#include "platform/UniqueHandle.h"
#include "platform/Win.h"
#include "setup/distribution/TextCodec.h"

namespace {

struct TSetupLog {
  std::mutex Lock;
  UniqueKernelHandle File;
  std::wstring LastStatus;
};

TSetupLog& Log() {
  static TSetupLog log;
  return log;
}

const char* EntryTag(TSetupLogEntry entry) {
  switch (entry) {
    case TSetupLogEntry::Error: return "ERROR  ";
    case TSetupLogEntry::Info: return "INFO   ";
    case TSetupLogEntry::Warning: return "WARNING";
    case TSetupLogEntry::Status: return "STATUS ";
    case TSetupLogEntry::Start: return "START  ";
    case TSetupLogEntry::Result: return "RESULT ";
  }
  return "       ";
}

}  // namespace

std::string FormatSetupLogLines(const TSetupLogTime& time, TSetupLogEntry entry, const std::wstring& text) {
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d.%03d %s ", time.Year, time.Month, time.Day,
                time.Hour, time.Minute, time.Second, time.Milliseconds, EntryTag(entry));
  std::string lines;
  std::size_t start = 0;
  for (;;) {
    std::size_t end = text.find_first_of(L"\r\n", start);
    lines += stamp + WideToUtf8(text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start)) + "\r\n";
    if (end == std::wstring::npos) break;
    // CR LF, a lone CR or a lone LF ends a line; a trailing line end adds
    // no empty line.
    if (text[end] == L'\r' && end + 1 < text.size() && text[end + 1] == L'\n') ++end;
    start = end + 1;
    if (start >= text.size()) break;
  }
  return lines;
}

bool OpenSetupLog(const std::wstring& file) {
  TSetupLog& log = Log();
  std::lock_guard<std::mutex> guard(log.Lock);
  // Appending, shared with readers and other writers: every write lands at
  // the end even when another copy of setup logs into the same file.
  log.File.reset(::CreateFileW(file.c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
  log.LastStatus.clear();
  return static_cast<bool>(log.File);
}

bool SetupLogOpen() {
  TSetupLog& log = Log();
  std::lock_guard<std::mutex> guard(log.Lock);
  return static_cast<bool>(log.File);
}

void WriteSetupLog(TSetupLogEntry entry, const std::wstring& text) {
  TSetupLog& log = Log();
  std::lock_guard<std::mutex> guard(log.Lock);
  if (!log.File) return;
  if (entry == TSetupLogEntry::Status) {
    // A blank title only clears the step line: nothing to log, but the
    // step named next is a new one even when it repeats the last.
    if (text.find_first_not_of(L" \t\r\n") == std::wstring::npos) {
      log.LastStatus.clear();
      return;
    }
    if (text == log.LastStatus) return;
    log.LastStatus = text;
  }
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  const std::string lines = FormatSetupLogLines(
      {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds}, entry, text);
  DWORD written = 0;
  ::WriteFile(log.File.get(), lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr);
}

void CloseSetupLog() {
  TSetupLog& log = Log();
  std::lock_guard<std::mutex> guard(log.Lock);
  log.File.reset();
}
