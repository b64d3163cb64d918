#pragma once
// The run log of "/LOG=<file>": for unattended runs that nobody watches,
// setup appends what its window reports (every engine message, each status
// title, each function's start and result, the start-up and relaunch
// errors) to a UTF-8 file, one line per text line, each with the local
// time and a tag. Without the switch nothing is written. Process-wide;
// lines are written at once, so that another program can follow the file
// while setup runs; the first instance and its copy append to one file.
//
//   2026-12-11 09:30:00.123 START   Установка программы: C:\kit\ (folder)
//   2026-12-11 09:30:00.456 STATUS  Копирование файлов
//   2026-12-11 09:30:01.789 ERROR   Файл не найден: C:\kit\jom.lst
//   2026-12-11 09:30:01.790 RESULT  FAILED Установка завершена. Были ошибки.
//   2026-12-11 09:30:05.002 RESULT  OK Установка завершена.

#include <string>

enum class TSetupLogEntry { Error = 0, Info = 1, Warning = 2, Status, Start, Result };

// Opens (creates or appends to) the log file; a relative name is taken
// against the current folder. False when it cannot be opened: the run then
// goes on without a log.
bool OpenSetupLog(const std::wstring& file);
// True while a log file is open.
bool SetupLogOpen();
// Appends the text, split at line ends; a status title equal to the one
// logged just before is not repeated, a blank one (which clears the step
// line) is not written. Nothing without an open log.
void WriteSetupLog(TSetupLogEntry entry, const std::wstring& text);
// Closes the log file (also done at program end).
void CloseSetupLog();

// The log lines of one entry as written: the time stamp, the entry's tag
// and each line of the text, CR LF ended, in UTF-8.
struct TSetupLogTime {
  int Year, Month, Day, Hour, Minute, Second, Milliseconds;
};
std::string FormatSetupLogLines(const TSetupLogTime& time, TSetupLogEntry entry, const std::wstring& text);
