#pragma once
// The Windows implementation of IShellTools over the ShTools routines.

#include "platform/ShellIntfTypes.h"

class TShellTools : public TRefCountedObject<IShellTools> {
public:
  std::wstring GetCommonAppDataFolder() override;
  std::wstring GetLocalAppDataFolder() override;
  bool CopyFolderContents(const std::wstring& from, const std::wstring& to) override;
  bool CopyFiles(const std::wstring& from, const std::wstring& to) override;
  bool CopyFileLists(const std::vector<std::wstring>& sources, const std::vector<std::wstring>& destinations) override;
  bool CreateDirectoryChain(const std::wstring& path) override;
  bool SetStartupShortcut(const std::wstring& name, const std::wstring& target, const std::wstring& arguments,
                          bool create) override;
  bool DeleteDirectory(const std::wstring& path) override;
  bool DeleteFile(const std::wstring& path) override;
  bool ExecuteFile(const std::wstring& file, const std::wstring& parameters, bool wait,
                   std::uint32_t& exitCode) override;
  bool GetFileProperties(const std::wstring& file, TShellFilePropertyList& properties) override;
  std::wstring GetSharedFilesRoot() override;
  std::wstring GetSharedFilesFolder() override;
  bool OpenDocument(const std::wstring& file, WindowHandle owner) override;
  bool ShowFileProperties(const std::wstring& file, WindowHandle owner) override;
  bool StartupShortcutExists(const std::wstring& name) override;
};
