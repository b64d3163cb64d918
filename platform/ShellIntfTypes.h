#pragma once
// The shell services behind one reference-counted interface, each a thin
// use of the ShTools routines. Platform-neutral: no <windows.h> here.
// Operations never throw; failures are false or empty, the reason in the
// thread's last error.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/ObjList.h"
#include "platform/PlatformIntfTypes.h"
#include "platform/RefCounted.h"

// One shell property of a file: its canonical name is the list's string.
class TShellFileProperty {
public:
  explicit TShellFileProperty(std::wstring value) : Value(std::move(value)) {}
  std::wstring Value;
};
using TShellFilePropertyList = TObjectStrings<TShellFileProperty>;

class IShellTools : public IInterface {
public:
  virtual std::wstring GetCommonAppDataFolder() = 0;
  virtual std::wstring GetLocalAppDataFolder() = 0;
  // Copies the folder's content into to; when the shell copy fails, again
  // through an elevated file operation.
  virtual bool CopyFolderContents(const std::wstring& from, const std::wstring& to) = 0;
  virtual bool CopyFiles(const std::wstring& from, const std::wstring& to) = 0;
  virtual bool CopyFileLists(const std::vector<std::wstring>& sources, const std::vector<std::wstring>& destinations) = 0;
  virtual bool CreateDirectoryChain(const std::wstring& path) = 0;
  // Creates (or, without create, deletes) name + ".lnk" in the startup folder.
  virtual bool SetStartupShortcut(const std::wstring& name, const std::wstring& target, const std::wstring& arguments,
                                  bool create) = 0;
  // Deletions fall back to an elevated file operation.
  virtual bool DeleteDirectory(const std::wstring& path) = 0;
  virtual bool DeleteFile(const std::wstring& path) = 0;
  // Runs the file through the shell; with wait, exitCode is its exit code.
  virtual bool ExecuteFile(const std::wstring& file, const std::wstring& parameters, bool wait,
                           std::uint32_t& exitCode) = 0;
  // The file's shell properties by canonical name, with their values as text.
  virtual bool GetFileProperties(const std::wstring& file, TShellFilePropertyList& properties) = 0;
  // The installation's registered root of shared program files.
  virtual std::wstring GetSharedFilesRoot() = 0;
  // That root made absolute against the Windows folder.
  virtual std::wstring GetSharedFilesFolder() = 0;
  // Opens the document with its program, offering the open-with dialog on failure.
  virtual bool OpenDocument(const std::wstring& file, WindowHandle owner) = 0;
  virtual bool ShowFileProperties(const std::wstring& file, WindowHandle owner) = 0;
  virtual bool StartupShortcutExists(const std::wstring& name) = 0;
};

// The process-wide instance, made on first use.
IShellTools& ShellTools();
// Replaces the process-wide instance (test seams); returns the previous one.
RefPtr<IShellTools> SetShellTools(RefPtr<IShellTools> tools);
