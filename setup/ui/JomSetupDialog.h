#pragma once
// The window of setup: the product's title, the installation folder and
// program group, one button per setup function, the engine's progress and
// messages. The full layout serves installation and maintenance; the
// progress-only layout installs by itself on behalf of the launcher.

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "setup/engine/KvtDistr.h"
#include "setup/ui/Dialog.h"
#include "setup/ui/JomSetupControls.h"

// What the dialog needs to know about the product and the run, filled by the
// program's start before the dialog is shown.
struct TSetupInformation {
  std::wstring SetupDirectory;  // the kit or the installed copy, trailing backslash
  bool Maintenance = false;     // started from an installed copy
  std::wstring ProductName;
  std::wstring Comments;
  std::wstring Version;
  std::wstring DefaultDir = L"Tavrel";
  std::wstring MainFile = L"jom.exe";
  std::wstring GroupName = L"Tavrel";
  std::wstring RenewFile;  // an update to apply once the window shows
};

// Completes path with every leading component of defaultDir that is missing;
// a component already present anywhere in path (as a whole folder name)
// stops the completion.
std::wstring CompleteWithDefaultDir(const std::wstring& path, const std::wstring& defaultDir);

// The program file of a service's binary path, its environment variables
// expanded: a quoted name up to its closing quote, else the text up to the
// first "/" (the switches), trimmed; when that names no existing file, the
// first part up to a blank that does.
std::wstring ServiceProgramFile(const std::wstring& binaryPath,
                               const std::function<bool(const std::wstring&)>& fileExists);

// The setup information read from the start folder's "setup.ini" (and
// "instcfg.ini" in maintenance), in the user's language.
TSetupInformation ReadSetupInformation(const std::wstring& setupDirectory, bool maintenance,
                                       const std::wstring& renewFile);

class TJomSetupDialog : public TDialog {
public:
  // Reads "/WINE" and "/APPIMAGE=" from the process's command line; the Wine
  // switch picks the progress-only template.
  explicit TJomSetupDialog(TSetupInformation information);
  ~TJomSetupDialog() override;

  void InitDialog() override;
  bool DialogProc(WindowMessage& message) override;
  bool Command(int id, int notifyCode, HWND control) override;
  void Close() override;

  // Runs one engine function with this dialog's progress and message list;
  // false when it failed or another function is still running.
  bool RunFunction(const std::wstring& directory, int function, void* parameter, const std::wstring& completion);

  // The installation folder as the drive box and the folder field give it.
  std::wstring GetInstallDirectory() const;
  void SetInstallDirectory(const std::wstring& path);

  bool ProgressOnly() const { return WineMode; }
  const std::vector<std::wstring>& Errors() const { return ErrorTexts; }
  // The running function's code, 0 when none runs.
  int RunningFunction() const { return Running; }

  // Engine callbacks.
  void AddMessage(int kind, const std::wstring& text);
  void ShowStatus(const std::wstring& title, const std::wstring& text1, int percent);

private:
  enum class TServiceMode { Start, Stop, Delete };
  bool ControlProductService(TServiceMode mode);
  void WaitForServiceState(SC_HANDLE service, DWORD pendingState, DWORD timeoutMs, SERVICE_STATUS& status,
                           bool animate);
  void WaitForServiceProgram(SC_HANDLE service);
  void InitFullLayout();
  void InitHeaderAndTitle();
  void FillDriveList();
  void FillGroupList();
  void SetFunctionButtonsEnabled(bool enabled);
  void SetStepLine(const std::wstring& text);
  void StartMainFile(const std::wstring& installDirectory);
  void CloseDialog(INT_PTR result);
  void Install();
  void DrawDriveItem(const DRAWITEMSTRUCT& item);
  void EraseBackground(HDC dc);
  LRESULT ColorStatic(HDC dc, HWND control);
  static void DriveSpaceThread(TJomSetupDialog* dialog);

  TSetupInformation Info;
  bool WineMode = false;
  std::wstring AppImagePath;
  int Running = 0;
  bool CloseWhenDone = false;

  struct TDriveEntry {
    std::wstring Root;
    std::shared_ptr<const std::wstring> DisplayText;
    UINT Type = 0;
  };
  std::vector<TDriveEntry> Drives;
  std::vector<std::wstring> ErrorTexts;
  std::wstring KeptInstallDirectory;

  TColorComboBox* DriveBox = nullptr;
  TColorEdit* FolderEdit = nullptr;
  TColorComboBox* GroupBox = nullptr;
  TColorStatic* StepLine = nullptr;
  TColorStatic* FileLine = nullptr;
  TProgress* Progress = nullptr;
  TColorCheckBox* ShortcutBox = nullptr;
  TListView* Messages = nullptr;
  TTitleControl* Title = nullptr;
  std::vector<TColorButton*> Buttons;  // 300 to 305

  HIMAGELIST SmallImages = nullptr;
  HIMAGELIST LargeImages = nullptr;
  void* HeaderPicture = nullptr;
  HANDLE SpaceThread = nullptr;
  std::atomic<bool> StopSpaceThread{false};
};

// The kind of function of each code, for the running-function message.
std::wstring SetupFunctionName(int function);
