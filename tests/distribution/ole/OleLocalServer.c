/* A stand-in local server: started with " /regserver" it waits a moment and
 * then writes HKEY_CLASSES_ROOT\<TAVREL_OLE_TEST_KEY>; with " /unregserver"
 * it waits and removes that key. The wait shows whether the caller waited. */
#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR commandLine, int show) {
  wchar_t name[256];
  const wchar_t* line = GetCommandLineW();
  DWORD length = GetEnvironmentVariableW(L"TAVREL_OLE_TEST_KEY", name, 256);
  (void)instance;
  (void)previous;
  (void)commandLine;
  (void)show;
  if (length == 0 || length >= 256) return 2;
  Sleep(3000);
  if (wcsstr(line, L" /unregserver")) return RegDeleteKeyW(HKEY_CLASSES_ROOT, name) == ERROR_SUCCESS ? 0 : 1;
  if (wcsstr(line, L" /regserver")) {
    HKEY key;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, name, 0, NULL, 0, KEY_WRITE, NULL, &key, NULL) != ERROR_SUCCESS) return 1;
    RegCloseKey(key);
    return 0;
  }
  return 3;
}
