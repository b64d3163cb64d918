// The stand-in server program of the demo kit. It serves nothing: it
// records that it was started, with which arguments, in jom.log beside
// itself, so that the demo can show what was launched. "/hide" is the
// switch the launcher passes for a start without a window.
#include "platform/Win.h"

#include <cstdio>
#include <cwchar>
#include <string>

int wmain(int argc, wchar_t** argv) {
  std::wstring folder(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(nullptr, folder.data(), static_cast<DWORD>(folder.size()));
    if (length == 0) return 1;
    if (length < folder.size()) {
      folder.resize(length);
      break;
    }
    folder.resize(folder.size() * 2);
  }
  folder.resize(folder.find_last_of(L'\\') + 1);

  bool hidden = false;
  std::wstring arguments;
  for (int i = 1; i < argc; ++i) {
    if ((argv[i][0] == L'/' || argv[i][0] == L'-') && ::_wcsicmp(argv[i] + 1, L"hide") == 0) hidden = true;
    arguments += L' ';
    arguments += argv[i];
  }
  FILE* log = ::_wfopen((folder + L"jom.log").c_str(), L"a");
  if (!log) return 2;
  std::fwprintf(log, L"Tavrel demo server started%ls; arguments:%ls\n", hidden ? L" (hidden)" : L"", arguments.c_str());
  std::fclose(log);
  return 0;
}
