#pragma once
// Drives the real setup.exe from the test process as a user would: finds
// its window and its dialogs, fills fields and presses controls through
// window messages, answers its boxes; and the pieces of the prefix that a
// run of setup touches: the product service "JomService" (played by
// ServiceStandIn.exe) and what an installation registers.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "support/TestSupport.h"
#include "support/WindowWatcher.h"

namespace testsupport {

// Message boxes (a text of the box's own kind) of processes below folder;
// not the setup window, nor the file and folder dialogs.
TWindowFilter MessageBoxesBelow(const std::wstring& folder);
// Waits (up to 10 s) until no message box of processes below folder shows:
// a request to the setup window while its function still shows a box
// would only be told that the function is running.
void WaitUntilNoBoxes(const std::wstring& folder);
// Setup windows (the dialogs with the progress control 255) of processes
// below folder.
TWindowFilter SetupWindowsBelow(const std::wstring& folder);

// The folder, created, with the built setup.exe and setup.sln in it.
std::filesystem::path NewSetupFolder(const std::filesystem::path& folder);

std::wstring ItemText(HWND window, int id);
// WM_SETTEXT to the control, across processes.
void SetItemText(HWND window, int id, const std::wstring& text);
// The space bar pressed and released on the control: a button's or a check
// box's click as the keyboard gives it.
void PressItem(HWND window, int id);
bool ItemVisible(HWND window, int id);
bool ItemEnabled(HWND window, int id);

// Polls for a visible top-level dialog of the process with this caption.
bool WaitForProcessDialog(DWORD processId, const std::wstring& caption, std::uint32_t milliseconds, HWND& found);

// The lines of a text file (CR LF or LF), empty when it is missing.
std::vector<std::string> FileLines(const std::filesystem::path& file);
// Polls until the file has a line containing text; false on time-out.
bool WaitForLine(const std::filesystem::path& file, const std::string& text, std::uint32_t milliseconds);

// "JomService" of the prefix, run by a copy of ServiceStandIn.exe in folder
// (program file folder/"jomsvc.exe", its record folder/"service.txt"),
// holding heldFile open while it runs. Created and started at
// construction (a service left by an earlier run is removed first);
// stopped and deleted, with its event-log key, at destruction.
class TStandInService {
public:
  TStandInService(const std::filesystem::path& folder, const std::filesystem::path& heldFile);
  ~TStandInService();
  TStandInService(const TStandInService&) = delete;
  TStandInService& operator=(const TStandInService&) = delete;

  // The service's current state (SERVICE_RUNNING, ...), 0 when it is gone.
  static DWORD State();
  // Waits until the state is reached; false on time-out.
  static bool WaitForState(DWORD state, std::uint32_t milliseconds);
  // What the stand-in recorded: "start", "stop", in order.
  std::vector<std::string> Record() const { return FileLines(RecordFile); }

  const std::filesystem::path Program;
  const std::filesystem::path RecordFile;

private:
  void Create(const std::filesystem::path& heldFile);
};

// The event-log key of the service, below HKEY_LOCAL_MACHINE.
extern const wchar_t JomServiceEventLogKey[];

// What setup.exe's installation of a product section registers in the
// prefix (its Uninstall entries, its entry in the programs registration
// file, the ".prf" association of setup's own), removed at destruction.
class TProductRegistrations {
public:
  explicit TProductRegistrations(std::wstring section) : Section(std::move(section)) {}
  ~TProductRegistrations();
  TProductRegistrations(const TProductRegistrations&) = delete;
  TProductRegistrations& operator=(const TProductRegistrations&) = delete;

  const std::wstring Section;
};

}  // namespace testsupport
