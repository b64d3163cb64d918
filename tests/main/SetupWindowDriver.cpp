#include "SetupWindowDriver.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <fstream>
#include <thread>

#include "platform/UniqueHandle.h"
#include "support/RegistryKeys.h"

// after TestSupport: needs <windows.h>
#include <shlobj.h>

namespace fs = std::filesystem;

namespace testsupport {

namespace {

constexpr wchar_t ServiceName[] = L"JomService";
// The message-box text control of user32.
constexpr int MessageBoxTextId = 0xFFFF;

using UniqueService = UniqueHandle<ServiceHandleTraits>;

UniqueService OpenManager() { return UniqueService(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)); }

// Stops the service if it runs and deletes it; true when there is none left.
bool RemoveService() {
  UniqueService manager = OpenManager();
  if (!manager) return false;
  UniqueService service(::OpenServiceW(manager.get(), ServiceName, SERVICE_ALL_ACCESS));
  if (!service) return true;
  SERVICE_STATUS status{};
  if (::QueryServiceStatus(service.get(), &status) && status.dwCurrentState != SERVICE_STOPPED) {
    ::ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
    TStandInService::WaitForState(SERVICE_STOPPED, 20000);
  }
  const bool deleted = ::DeleteService(service.get()) != 0;
  ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, JomServiceEventLogKey);
  return deleted;
}

bool Wait(const std::function<bool()>& done, std::uint32_t milliseconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    ::Sleep(100);
  }
  return true;
}

}  // namespace

const wchar_t JomServiceEventLogKey[] = L"SYSTEM\\CurrentControlSet\\Services\\Eventlog\\Application\\JomService";

TWindowFilter MessageBoxesBelow(const std::wstring& folder) {
  const TWindowFilter below = BoxesBelowFolder(folder);
  return [below](const TWindowInfo& w) {
    return w.ClassName == L"#32770" && ::GetDlgItem(w.Window, MessageBoxTextId) != nullptr &&
           ::GetDlgItem(w.Window, 255) == nullptr && below(w);
  };
}

void WaitUntilNoBoxes(const std::wstring& folder) {
  const TWindowFilter boxes = MessageBoxesBelow(folder);
  Wait([&] { return FindWindows(boxes).empty(); }, 10000);
}

TWindowFilter SetupWindowsBelow(const std::wstring& folder) {
  const TWindowFilter below = BoxesBelowFolder(folder);
  return [below](const TWindowInfo& w) {
    return w.ClassName == L"#32770" && ::GetDlgItem(w.Window, 255) != nullptr && below(w);
  };
}

fs::path NewSetupFolder(const fs::path& folder) {
  fs::create_directories(folder);
  for (const char* name : {"setup.exe", "setup.sln"}) fs::copy_file(ExecutableDir() / name, folder / name);
  return folder;
}

std::wstring ItemText(HWND window, int id) {
  wchar_t text[1024] = {};
  DWORD_PTR length = 0;
  if (!::SendMessageTimeoutW(::GetDlgItem(window, id), WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text),
                             SMTO_ABORTIFHUNG, 5000, &length)) {
    return {};
  }
  return std::wstring(text, length);
}

void SetItemText(HWND window, int id, const std::wstring& text) {
  DWORD_PTR ignored = 0;
  ::SendMessageTimeoutW(::GetDlgItem(window, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                        SMTO_ABORTIFHUNG, 5000, &ignored);
}

void PressItem(HWND window, int id) {
  HWND item = ::GetDlgItem(window, id);
  ::PostMessageW(item, WM_KEYDOWN, VK_SPACE, 0x00390001);
  ::PostMessageW(item, WM_KEYUP, VK_SPACE, 0xC0390001);
}

bool ItemVisible(HWND window, int id) { return ::IsWindowVisible(::GetDlgItem(window, id)) != 0; }
bool ItemEnabled(HWND window, int id) { return ::IsWindowEnabled(::GetDlgItem(window, id)) != 0; }

bool WaitForProcessDialog(DWORD processId, const std::wstring& caption, std::uint32_t milliseconds, HWND& found) {
  TWindowInfo window;
  if (!WaitForWindow(
          [&](const TWindowInfo& w) {
            return w.ProcessId == processId && w.ClassName == L"#32770" && w.Caption == caption;
          },
          milliseconds, window)) {
    return false;
  }
  found = window.Window;
  return true;
}

std::vector<std::string> FileLines(const fs::path& file) {
  std::vector<std::string> lines;
  std::ifstream in(file, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

bool WaitForLine(const fs::path& file, const std::string& text, std::uint32_t milliseconds) {
  return Wait(
      [&] {
        for (const std::string& line : FileLines(file)) {
          if (line.find(text) != std::string::npos) return true;
        }
        return false;
      },
      milliseconds);
}

TStandInService::TStandInService(const fs::path& folder, const fs::path& heldFile)
    : Program(folder / "jomsvc.exe"), RecordFile(folder / "service.txt") {
  Create(heldFile);
}

void TStandInService::Create(const fs::path& heldFile) {
  fs::create_directories(Program.parent_path());
  fs::copy_file(ExecutableDir() / "ServiceStandIn.exe", Program, fs::copy_options::overwrite_existing);
  if (!RemoveService()) {
    ADD_FAILURE() << "a JomService of an earlier run could not be removed";
    return;
  }
  const std::wstring command = L"\"" + Program.wstring() + L"\" service \"" + RecordFile.wstring() + L"\" \"" +
                               heldFile.wstring() + L"\"";
  UniqueService manager = OpenManager();
  ASSERT_TRUE(manager) << "no service manager: " << ::GetLastError();
  UniqueService service(::CreateServiceW(manager.get(), ServiceName, L"Tavrel test service", SERVICE_ALL_ACCESS,
                                         SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE,
                                         command.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
  ASSERT_TRUE(service) << "CreateServiceW: " << ::GetLastError();
  ASSERT_TRUE(::StartServiceW(service.get(), 0, nullptr)) << "StartServiceW: " << ::GetLastError();
  ASSERT_TRUE(WaitForState(SERVICE_RUNNING, 20000)) << "the stand-in service did not start";
  ASSERT_TRUE(WaitForLine(RecordFile, "start", 10000));
}

TStandInService::~TStandInService() {
  EXPECT_TRUE(RemoveService()) << "JomService was not deleted";
}

DWORD TStandInService::State() {
  UniqueService manager = OpenManager();
  if (!manager) return 0;
  UniqueService service(::OpenServiceW(manager.get(), ServiceName, SERVICE_QUERY_STATUS));
  SERVICE_STATUS status{};
  if (!service || !::QueryServiceStatus(service.get(), &status)) return 0;
  return status.dwCurrentState;
}

bool TStandInService::WaitForState(DWORD state, std::uint32_t milliseconds) {
  return Wait([state] { return State() == state; }, milliseconds);
}

TProductRegistrations::~TProductRegistrations() {
  wchar_t data[MAX_PATH] = {};
  ::SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, data);
  const std::wstring programsIni = std::wstring(data) + L"\\Tavrel\\jomsetup.ini";
  for (const std::wstring& name : {Section, Section + L"1", Section + L"2"}) {
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE,
                     (L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + name).c_str());
    ::WritePrivateProfileStringW(name.c_str(), nullptr, nullptr, programsIni.c_str());
  }
  std::vector<std::wstring> extensions{L".prf"};
  for (wchar_t digit = L'1'; digit <= L'9'; ++digit) extensions.push_back(std::wstring(L".pr") + digit);
  for (const std::wstring& ext : extensions) {
    if (ReadStringValue(HKEY_CLASSES_ROOT, ext, L"") == L"JOMRenewFile") {
      ::RegDeleteTreeW(HKEY_CLASSES_ROOT, ext.c_str());
    }
  }
  ::RegDeleteTreeW(HKEY_CLASSES_ROOT, L"JOMRenewFile");
}

}  // namespace testsupport
