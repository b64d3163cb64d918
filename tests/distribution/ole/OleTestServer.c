/* A minimal in-process server for the registration tests. Registering
 * writes HKEY_CLASSES_ROOT\<TAVREL_OLE_TEST_KEY> and counts the calls in its
 * value "Calls"; unregistering removes the key. Built with
 * OLE_TEST_RESULT=S_FALSE it does the same work but reports S_FALSE. */
#include <windows.h>

#ifndef OLE_TEST_RESULT
#define OLE_TEST_RESULT S_OK
#endif

static BOOL TestKey(wchar_t* key, DWORD size) {
  DWORD length = GetEnvironmentVariableW(L"TAVREL_OLE_TEST_KEY", key, size);
  return length > 0 && length < size;
}

__declspec(dllexport) HRESULT STDAPICALLTYPE DllRegisterServer(void) {
  wchar_t name[256];
  HKEY key;
  DWORD calls = 0, size = sizeof(calls);
  if (!TestKey(name, 256)) return E_FAIL;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, name, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL) != ERROR_SUCCESS)
    return E_FAIL;
  RegQueryValueExW(key, L"Calls", NULL, NULL, (BYTE*)&calls, &size);
  ++calls;
  RegSetValueExW(key, L"Calls", 0, REG_DWORD, (const BYTE*)&calls, sizeof(calls));
  RegCloseKey(key);
  return OLE_TEST_RESULT;
}

__declspec(dllexport) HRESULT STDAPICALLTYPE DllUnregisterServer(void) {
  wchar_t name[256];
  if (!TestKey(name, 256)) return E_FAIL;
  if (RegDeleteKeyW(HKEY_CLASSES_ROOT, name) != ERROR_SUCCESS) return E_FAIL;
  return OLE_TEST_RESULT;
}
