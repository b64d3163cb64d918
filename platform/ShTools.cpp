#include "platform/ShTools.h"

#include "platform/Win.h"  // before the other system headers, which need its types

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <shlguid.h>
#include <shellapi.h>

#include <iterator>

#include "platform/FileTool.h"
#include "platform/StrTool.h"
#include "platform/UniqueHandle.h"
#include "setup/ui/GuiIntfTypes.h"

namespace {
template <class T>
struct ComInterfaceTraits {
  using Type = T*;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type p) { return p != nullptr; }
  static void Close(Type p) { p->Release(); }
};
template <class T>
using UniqueComPtr = UniqueHandle<ComInterfaceTraits<T>>;

struct ItemListTraits {  // item identifier lists of the shell allocator
  using Type = LPITEMIDLIST;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type p) { return p != nullptr; }
  static void Close(Type p) { ::CoTaskMemFree(p); }
};
using UniqueItemList = UniqueHandle<ItemListTraits>;

// Leaves a failed COM call's result as the thread's last error.
bool ComSucceeded(HRESULT result) {
  if (SUCCEEDED(result)) return true;
  ::SetLastError(HRESULT_FACILITY(result) == FACILITY_WIN32 ? HRESULT_CODE(result) : static_cast<DWORD>(result));
  return false;
}

constexpr int FolderKindTable[] = {0,  10, 3,  16, 17, 6, 20, 18, 19, 5,  4, 2,
                                   8,  9,  11, 7,  21, 17, 23, -1, 26, 28, 38};

std::wstring FromAnsi(const char* text) { return PlatformTools().AnsiToUnicode(text, PlatformTools().GetAnsiCodePage()); }

std::wstring PathOfItem(LPCITEMIDLIST item) {
  wchar_t path[MAX_PATH + 1] = {};
  return item && ::SHGetPathFromIDListW(item, path) ? std::wstring(path) : std::wstring();
}

std::wstring ShellAnswer(int csidl) {
  TComScope com;
  wchar_t path[MAX_PATH + 1] = {};
  if (::SHGetSpecialFolderPathW(nullptr, path, csidl, FALSE)) return path;
  char ansi[MAX_PATH + 1] = {};
  if (::SHGetSpecialFolderPathA(nullptr, ansi, csidl, FALSE)) return FromAnsi(ansi);
  UniqueItemList list;
  if (SUCCEEDED(::SHGetSpecialFolderLocation(nullptr, csidl, reinterpret_cast<PIDLIST_ABSOLUTE*>(list.put()))) &&
      list && ::SHGetPathFromIDListA(list.get(), ansi))
    return FromAnsi(ansi);
  return {};
}

std::wstring ShellFoldersAnswer(int csidl) {
  const std::wstring name = ShellFoldersValueName(csidl);
  if (name.empty()) return {};
  const RegistryRoot root = name.rfind(L"Common ", 0) == 0 ? RegistryRoot::LocalMachine : RegistryRoot::CurrentUser;
  std::wstring value;
  PlatformTools().ReadRegistryString(root, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                                     name, value, 0);
  return value;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
  return UpperCaseText(ExcludeTrailingBackslash(a)) == UpperCaseText(ExcludeTrailingBackslash(b));
}

// A path list for SHFileOperationW: entries separated by NUL, ending in two.
std::wstring PathList(const std::vector<std::wstring>& paths) {
  std::wstring list;
  for (const std::wstring& path : paths) {
    list += path;
    list.push_back(L'\0');
  }
  list.push_back(L'\0');
  return list;
}

int RunShellFileOperation(UINT function, const std::wstring& from, const std::wstring& to, FILEOP_FLAGS flags) {
  SHFILEOPSTRUCTW operation{};
  operation.wFunc = function;
  operation.pFrom = from.c_str();
  operation.pTo = to.empty() ? nullptr : to.c_str();
  operation.fFlags = flags;
  return ::SHFileOperationW(&operation);
}

// What the folder dialog's callback works with.
struct TSelectDirectoryInit {
  bool EditBox = false;
  LPITEMIDLIST InitialItem = nullptr;
  std::wstring Path;
  WNDPROC DialogProc = nullptr;
};

constexpr int BrowseTitleControl = 14146;
constexpr int BrowseEditControl = 14148;
constexpr wchar_t BrowseInitProperty[] = L"TavrelSelectDirectoryInit";

// Takes the edit box's text when OK is pressed: not every shell validates
// (or even reads) what was typed there, and a folder that does not exist
// yet must be choosable.
LRESULT CALLBACK BrowseDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* init = static_cast<TSelectDirectoryInit*>(::GetPropW(dialog, BrowseInitProperty));
  if (!init) return ::DefWindowProcW(dialog, message, wParam, lParam);
  if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
    wchar_t text[MAX_PATH * 4] = {};
    ::GetDlgItemTextW(dialog, BrowseEditControl, text, static_cast<int>(std::size(text)));
    const std::wstring typed = TrimText(text);
    if (!typed.empty()) {
      init->Path = typed;
    }
  }
  const WNDPROC original = init->DialogProc;
  if (message == WM_NCDESTROY) {
    ::SetWindowLongPtrW(dialog, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
    ::RemovePropW(dialog, BrowseInitProperty);
  }
  return ::CallWindowProcW(original, dialog, message, wParam, lParam);
}

bool CommonControlsVersion6() {
  struct TVersion {
    DWORD Size, Major, Minor, Build, Platform;
  };
  using Fn = HRESULT(CALLBACK*)(TVersion*);
  HMODULE module = ::GetModuleHandleW(L"comctl32.dll");
  auto fn = module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, "DllGetVersion"))) : nullptr;
  TVersion version{sizeof(TVersion), 0, 0, 0, 0};
  return fn && SUCCEEDED(fn(&version)) && version.Major >= 6;
}

int CALLBACK BrowseCallback(HWND dialog, UINT message, LPARAM lParam, LPARAM data) {
  auto* init = reinterpret_cast<TSelectDirectoryInit*>(data);
  switch (message) {
    case BFFM_INITIALIZED: {
      wchar_t title[1024] = {};
      ::GetDlgItemTextW(dialog, BrowseTitleControl, title, 1024);
      ::SetWindowTextW(dialog, title);
      if (init->InitialItem) {
        ::SendMessageW(dialog, CommonControlsVersion6() ? BFFM_SETEXPANDED : BFFM_SETSELECTIONW, FALSE,
                       reinterpret_cast<LPARAM>(init->InitialItem));
      }
      const std::wstring initialPath = PathOfItem(init->InitialItem);
      if (!init->Path.empty()) {
        ::SetDlgItemTextW(dialog, BrowseEditControl, init->Path.c_str());
      } else {
        ::SetDlgItemTextW(dialog, BrowseEditControl, initialPath.c_str());
        init->Path = initialPath;
      }
      ::SetDlgItemTextW(dialog, BrowseTitleControl, initialPath.c_str());
      if (init->EditBox && ::SetPropW(dialog, BrowseInitProperty, init)) {
        init->DialogProc = reinterpret_cast<WNDPROC>(
            ::SetWindowLongPtrW(dialog, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(BrowseDialogProc)));
      }
      GuiTools().CenterWindow(dialog, nullptr, true);
      break;
    }
    case BFFM_SELCHANGED:
      if (::IsWindowVisible(dialog) && lParam) {
        const std::wstring path = PathOfItem(reinterpret_cast<LPCITEMIDLIST>(lParam));
        ::SetDlgItemTextW(dialog, BrowseTitleControl, path.c_str());
        ::SetDlgItemTextW(dialog, BrowseEditControl, path.c_str());
        init->Path = path;
      }
      break;
    case BFFM_VALIDATEFAILEDW:
      // A folder that does not exist yet may be chosen: setup creates it.
      init->Path = reinterpret_cast<const wchar_t*>(lParam);
      return 0;
  }
  return 0;
}

UniqueItemList ParseItem(const std::wstring& path) {
  UniqueItemList item;
  UniqueComPtr<IShellFolder> desktop;
  if (FAILED(::SHGetDesktopFolder(desktop.put()))) return item;
  std::wstring name = path;
  desktop.get()->ParseDisplayName(nullptr, nullptr, name.data(), nullptr, item.put(), nullptr);
  return item;
}

// Runs one shell file operation object; elevated through the elevation
// moniker, which asks the user for administrator rights.
template <class Queue>
HRESULT RunFileOperation(bool elevated, Queue queue) {
  TComScope com(COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  UniqueComPtr<IFileOperation> operation;
  HRESULT result;
  if (elevated) {
    wchar_t classId[64] = {};
    ::StringFromGUID2(CLSID_FileOperation, classId, 64);
    const std::wstring moniker = L"Elevation:Highest!new:" + std::wstring(classId);
    BIND_OPTS3 options{};
    options.cbStruct = sizeof(options);
    options.dwClassContext = CLSCTX_LOCAL_SERVER;
    result = ::CoGetObject(moniker.c_str(), &options, IID_IFileOperation, reinterpret_cast<void**>(operation.put()));
  } else {
    result = ::CoCreateInstance(CLSID_FileOperation, nullptr, CLSCTX_ALL, IID_IFileOperation,
                                reinterpret_cast<void**>(operation.put()));
  }
  if (FAILED(result)) return result;
  result = operation.get()->SetOperationFlags(FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR | FOF_NOERRORUI);
  if (SUCCEEDED(result)) result = queue(operation.get());
  if (SUCCEEDED(result)) result = operation.get()->PerformOperations();
  BOOL aborted = FALSE;
  if (SUCCEEDED(result) && SUCCEEDED(operation.get()->GetAnyOperationsAborted(&aborted)) && aborted) result = E_FAIL;
  return result;
}

UniqueComPtr<IShellItem> ShellItemOf(const std::wstring& path) {
  UniqueComPtr<IShellItem> item;
  ::SHCreateItemFromParsingName(path.c_str(), nullptr, IID_IShellItem, reinterpret_cast<void**>(item.put()));
  return item;
}

// Creates the missing folders of path one level at a time (each level must
// exist before the next can be named as a parent).
HRESULT EnsureFolderItems(const std::wstring& path, bool elevated) {
  const std::wstring folder = ExcludeTrailingBackslash(path);
  if (folder.size() < 3 || PlatformTools().DirectoryExists(folder)) return S_OK;
  const std::wstring parent = ExcludeTrailingBackslash(ExtractFilePath(folder));
  HRESULT result = EnsureFolderItems(parent, elevated);
  if (FAILED(result)) return result;
  return RunFileOperation(elevated, [&](IFileOperation* operation) {
    UniqueComPtr<IShellItem> parentItem = ShellItemOf(parent);
    if (!parentItem) return E_FAIL;
    return operation->NewItem(parentItem.get(), FILE_ATTRIBUTE_DIRECTORY, ExtractFileName(folder).c_str(), nullptr,
                              nullptr);
  });
}
}  // namespace

static_assert(COINIT_APARTMENTTHREADED == 2, "the default of TComScope");

TComScope::TComScope(unsigned long flags) : Result(::CoInitializeEx(nullptr, flags)) {}
TComScope::~TComScope() {
  if (SUCCEEDED(Result)) ::CoUninitialize();
}

int FolderKindCsidl(int kind) {
  return kind >= 0 && kind < static_cast<int>(std::size(FolderKindTable)) ? FolderKindTable[kind] : -1;
}

std::wstring ShellFoldersValueName(int csidl) {
  switch (csidl) {
    case 0: case 16: return L"Desktop";
    case 2: return L"Programs";
    case 5: case 12: return L"Personal";
    case 6: return L"Favorites";
    case 7: return L"Startup";
    case 8: return L"Recent";
    case 9: return L"SendTo";
    case 11: return L"Start Menu";
    case 13: return L"My Music";
    case 14: return L"My Video";
    case 19: return L"NetHood";
    case 20: return L"Fonts";
    case 21: return L"Templates";
    case 22: return L"Common Start Menu";
    case 23: return L"Common Programs";
    case 24: return L"Common Startup";
    case 25: return L"Common Desktop";
    case 26: return L"AppData";
    case 27: return L"PrintHood";
    case 28: return L"Local AppData";
    case 32: return L"Cache";
    case 33: return L"Cookies";
    case 34: return L"History";
    case 35: return L"Common AppData";
    case 39: return L"My Pictures";
    case 47: return L"Common Administrative Tools";
    case 48: return L"Administrative Tools";
    default: return {};
  }
}

const TSpecialFolderQueries& SystemSpecialFolderQueries() {
  static const TSpecialFolderQueries queries{ShellAnswer, ShellFoldersAnswer,
                                             [] { return PlatformTools().GetWindowsDirectory(); }};
  return queries;
}

std::wstring GetSpecialFolderPath(int csidl, const TSpecialFolderQueries& queries) {
  std::wstring path = queries.Shell(csidl);
  if (path.empty()) path = queries.ShellFolders(csidl);
  if (path.empty() && csidl == CSIDL_PROGRAM_FILES) {
    const std::wstring windows = queries.WindowsDirectory();
    if (windows.size() >= 2 && windows[1] == L':') path = windows.substr(0, 2) + L"\\Program Files";
  }
  return path;
}

std::wstring GetLocalAppDataFolder(const TSpecialFolderQueries& queries) {
  std::wstring path = GetSpecialFolderPath(CSIDL_LOCAL_APPDATA, queries);
  if (path.empty()) path = GetSpecialFolderPath(CSIDL_APPDATA, queries);
  if (path.empty()) path = queries.WindowsDirectory() + L"\\Application Data";
  return path;
}

std::wstring GetCommonAppDataFolder(const TSpecialFolderQueries& queries) {
  std::wstring path = GetSpecialFolderPath(CSIDL_COMMON_APPDATA, queries);
  if (!path.empty()) return path;
  return queries.WindowsDirectory() +
         (RuntimeEnvironment().IsWindowsNT ? L"\\Profiles\\All Users\\Application Data" : L"\\Application Data");
}

std::wstring GetShellFolderParsingName(int kind) {
  const int csidl = FolderKindCsidl(kind);
  if (csidl < 0) return {};
  TComScope com;
  UniqueItemList list;
  if (FAILED(::SHGetSpecialFolderLocation(nullptr, csidl, reinterpret_cast<PIDLIST_ABSOLUTE*>(list.put()))) || !list)
    return {};
  UniqueComPtr<IShellFolder> desktop;
  if (FAILED(::SHGetDesktopFolder(desktop.put()))) return {};
  STRRET name{};
  if (FAILED(desktop.get()->GetDisplayNameOf(list.get(), SHGDN_FORPARSING, &name))) return {};
  switch (name.uType) {
    case STRRET_WSTR: {
      std::wstring text = name.pOleStr ? name.pOleStr : L"";
      ::CoTaskMemFree(name.pOleStr);
      return text;
    }
    case STRRET_OFFSET:
      return FromAnsi(reinterpret_cast<const char*>(list.get()) + name.uOffset);
    case STRRET_CSTR:
      return FromAnsi(name.cStr);
  }
  return {};
}

std::wstring GetProgramsFolder() {
  std::wstring folder = GetShellFolderParsingName(18);
  return folder.empty() ? GetShellFolderParsingName(11) : folder;
}

std::wstring NearestExistingDirectory(const std::wstring& path) {
  std::wstring directory = ExcludeTrailingBackslash(path);
  while (!directory.empty() && !PlatformTools().DirectoryExists(directory)) {
    const std::wstring parent = ExcludeTrailingBackslash(ExtractFilePath(directory));
    if (parent == directory) return {};
    directory = parent;
  }
  return directory;
}

bool SelectDirectory(std::wstring& path, const std::wstring& caption, int rootKind, bool includeFiles,
                     bool editBox) {
  TComScope com;
  std::wstring displayName(MAX_PATH, L'\0');
  TSelectDirectoryInit init;
  init.EditBox = editBox;
  UniqueItemList root;
  const int rootCsidl = FolderKindCsidl(rootKind);
  if (rootKind != FolderKindNone && rootCsidl >= 0)
    ::SHGetSpecialFolderLocation(nullptr, rootCsidl, reinterpret_cast<PIDLIST_ABSOLUTE*>(root.put()));
  UniqueItemList initial;
  if (!path.empty()) {
    const std::wstring nearest = NearestExistingDirectory(path);
    if (!nearest.empty()) initial = ParseItem(nearest.size() == 2 ? nearest + L"\\" : nearest);
  }
  init.InitialItem = initial.get();

  BROWSEINFOW browse{};
  browse.hwndOwner = ::GetForegroundWindow();
  browse.pidlRoot = root.get();
  browse.pszDisplayName = displayName.data();
  browse.lpszTitle = caption.c_str();
  browse.ulFlags = BIF_NEWDIALOGSTYLE | (editBox ? BIF_EDITBOX | BIF_VALIDATE : 0) |
                   (includeFiles ? BIF_BROWSEINCLUDEFILES : 0);
  browse.lpfn = BrowseCallback;
  browse.lParam = reinterpret_cast<LPARAM>(&init);

  TTaskWindowList disabled = PlatformTools().DisableTaskWindows(nullptr);
  UniqueItemList chosen(::SHBrowseForFolderW(&browse));
  PlatformTools().EnableTaskWindows(disabled);
  if (!chosen) return false;

  std::wstring result = PathOfItem(chosen.get());
  if (editBox && !init.Path.empty()) {
    // What the edit box held (typed, or the last selection); a relative name
    // is taken inside the selected folder.
    result = IsAbsolutePath(init.Path) || result.empty() ? init.Path : MakeAbsolutePath(init.Path, result);
  }
  if (result.empty()) return false;
  if (includeFiles && PlatformTools().FileExists(result)) result = ExtractFilePath(result);
  path = result;
  return true;
}

bool CreateShortcut(const std::wstring& target, const std::wstring& arguments, const std::wstring& description,
                    const std::wstring& linkFile, const std::wstring& iconLocation) {
  TComScope com;
  UniqueComPtr<IShellLinkW> link;
  if (!ComSucceeded(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                       reinterpret_cast<void**>(link.put()))))
    return false;
  if (!arguments.empty()) link.get()->SetArguments(arguments.c_str());
  if (!iconLocation.empty()) link.get()->SetIconLocation(iconLocation.c_str(), 0);
  link.get()->SetDescription(description.c_str());
  if (!ComSucceeded(link.get()->SetPath(target.c_str()))) return false;
  std::wstring workingFolder = ExtractFilePath(target);
  if (workingFolder.size() > 3) workingFolder = ExcludeTrailingBackslash(workingFolder);
  link.get()->SetWorkingDirectory(workingFolder.c_str());
  ShellCreateDirectory(ExtractFilePath(linkFile));
  UniqueComPtr<IPersistFile> file;
  if (!ComSucceeded(link.get()->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.put())))) return false;
  return ComSucceeded(file.get()->Save(linkFile.c_str(), TRUE));
}

bool CreateShortcutToItem(const std::wstring& itemPath, const std::wstring& arguments, const std::wstring& linkFile) {
  TComScope com;
  UniqueItemList item = ParseItem(itemPath);
  UniqueComPtr<IShellLinkW> link;
  if (!item || !ComSucceeded(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                                reinterpret_cast<void**>(link.put()))))
    return false;
  if (!arguments.empty()) link.get()->SetArguments(arguments.c_str());
  if (!ComSucceeded(link.get()->SetIDList(item.get()))) return false;
  ShellCreateDirectory(ExtractFilePath(linkFile));
  UniqueComPtr<IPersistFile> file;
  if (!ComSucceeded(link.get()->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.put())))) return false;
  return ComSucceeded(file.get()->Save(linkFile.c_str(), TRUE));
}

std::wstring ProgramsShortcutFile(const std::wstring& group, const std::wstring& name) {
  const std::wstring programs = GetProgramsFolder();
  // Without the Programs folder the link would land in a drive's root.
  if (programs.empty() || name.empty()) return {};
  const std::wstring folder = group.empty() ? IncludeTrailingBackslash(programs)
                                            : IncludeTrailingBackslash(IncludeTrailingBackslash(programs) + group);
  const std::wstring link = folder + name + L".lnk";
  // A group or name with ".." must not lead out of the Programs folder.
  wchar_t full[32768];
  const DWORD length = ::GetFullPathNameW(link.c_str(), 32768, full, nullptr);
  if (length == 0 || length >= 32768) return {};
  const std::wstring normalized(full, length);
  return IsSubPath(programs, normalized) ? normalized : std::wstring();
}

bool CreateProgramsShortcut(const std::wstring& group, const std::wstring& name, const std::wstring& target,
                            const std::wstring& arguments) {
  const std::wstring link = ProgramsShortcutFile(group, name);
  if (link.empty()) {
    ::SetLastError(ERROR_INVALID_NAME);
    return false;
  }
  return CreateShortcut(target, arguments, ExtractFileName(name), link, {});
}

bool DeleteProgramsShortcut(const std::wstring& group, const std::wstring& name) {
  const std::wstring programs = GetProgramsFolder();
  const std::wstring link = ProgramsShortcutFile(group, name);
  if (link.empty()) {
    ::SetLastError(ERROR_INVALID_NAME);
    return false;
  }
  if (!PlatformTools().FileExists(link)) return true;
  if (ShellDelete(link, false) != 0) return false;
  // Group folders that held nothing else go too; a group name that leads
  // out of the Programs folder removes nothing there.
  for (std::wstring folder = ExtractFilePath(link);
       !SamePath(folder, programs) && IsSubPath(programs, ExcludeTrailingBackslash(folder));
       folder = ExtractFilePath(ExcludeTrailingBackslash(folder))) {
    if (DirectoryHasEntries(folder, L"*.*", true) || !ShellDeleteDirectory(folder)) break;
  }
  return true;
}

int ShellDelete(const std::wstring& path, bool isDirectory) {
  const bool exists = isDirectory ? PlatformTools().DirectoryExists(path) : PlatformTools().FileExists(path);
  if (!exists) return 0;
  return RunShellFileOperation(FO_DELETE, PathList({path}), {}, FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI);
}

bool ShellDeleteDirectory(const std::wstring& path) {
  const std::wstring directory = ExcludeTrailingBackslash(path);
  return ShellDelete(directory, true) == 0 || PlatformTools().RemoveDirectory(directory);
}

int ShellCopy(const std::wstring& from, const std::wstring& to, bool silent) {
  const FILEOP_FLAGS flags = silent ? FOF_MULTIDESTFILES | FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR |
                                          FOF_NOERRORUI
                                    : FOF_MULTIDESTFILES | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR;
  std::wstring source = from, destination = to;
  // Both lists end in two NUL characters.
  source.append(2, L'\0');
  destination.append(2, L'\0');
  return RunShellFileOperation(FO_COPY, source, destination, flags);
}

int ShellCopyLists(const std::vector<std::wstring>& sources, const std::vector<std::wstring>& destinations) {
  std::wstring from = PathList(sources), to = PathList(destinations);
  from.pop_back();  // ShellCopy adds the terminators
  from.pop_back();
  to.pop_back();
  to.pop_back();
  return ShellCopy(from, to, false);
}

bool ShellCreateDirectory(const std::wstring& directory) {
  const std::wstring folder = ExcludeTrailingBackslash(directory);
  if (folder.empty()) return false;
  const int result = ::SHCreateDirectory(nullptr, folder.c_str());
  if (result == ERROR_SUCCESS || result == ERROR_ALREADY_EXISTS || result == ERROR_FILE_EXISTS) return true;
  return EnsureDirectories(folder);
}

bool ShellForceDirectories(const std::wstring& path) {
  const std::wstring folder = ExcludeTrailingBackslash(path);
  if (folder.size() < 3 || PlatformTools().DirectoryExists(folder)) return true;
  const std::wstring parent = ExcludeTrailingBackslash(ExtractFilePath(folder));
  if (parent != folder && !ShellForceDirectories(parent)) return false;
  return ShellCreateDirectory(folder);
}

void NotifyAssociationsChanged() { ::SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_FLUSH | SHCNF_FLUSHNOWAIT, nullptr, nullptr); }

bool ShellExecuteAndWait(const std::wstring& file, const std::wstring& parameters, const std::wstring& verb,
                         int showCommand, bool wait, std::uint32_t pollMs, std::uint32_t& exitCode,
                         RefPtr<ITerminateObject> terminate) {
  TComScope com;
  exitCode = 0;
  SHELLEXECUTEINFOW execute{};
  execute.cbSize = sizeof(execute);
  execute.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_DOENVSUBST | SEE_MASK_FLAG_NO_UI;
  execute.lpVerb = verb.empty() ? nullptr : verb.c_str();
  execute.lpFile = file.c_str();
  execute.lpParameters = parameters.empty() ? nullptr : parameters.c_str();
  execute.nShow = showCommand;
  if (!::ShellExecuteExW(&execute)) return false;
  UniqueKernelHandle process(execute.hProcess);
  if (!wait || !process) return true;
  while (::WaitForSingleObject(process.get(), pollMs) == WAIT_TIMEOUT) {
    if (terminate && terminate->CheckTerminated()) {
      ::TerminateProcess(process.get(), 0);
      ::SetLastError(ERROR_CANCELLED);
      return false;
    }
    PlatformTools().ProcessPendingMessages();
  }
  DWORD code = 0;
  if (::GetExitCodeProcess(process.get(), &code)) exitCode = code;
  return true;
}

bool OpenWithDialog(const std::wstring& file, WindowHandle owner) {
  if (RuntimeEnvironment().IsWindowsVistaOrLater) {
    using Fn = HRESULT(WINAPI*)(HWND, const OPENASINFO*);
    HMODULE shell = ::GetModuleHandleW(L"shell32.dll");
    auto fn = shell ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(shell, "SHOpenWithDialog")))
                    : nullptr;
    if (fn) {
      OPENASINFO info{};
      info.pcszFile = file.c_str();
      info.oaifInFlags = OAIF_ALLOW_REGISTRATION | OAIF_REGISTER_EXT | OAIF_EXEC;
      return ComSucceeded(fn(static_cast<HWND>(owner), &info));
    }
  }
  const std::wstring arguments = L"shell32.dll,OpenAs_RunDLL \"" + file + L"\"";
  const std::wstring system = PlatformTools().GetSystemDirectory();
  return reinterpret_cast<INT_PTR>(::ShellExecuteW(::GetDesktopWindow(), L"open", L"rundll32.exe", arguments.c_str(),
                                                   system.c_str(), SW_SHOWNORMAL)) > 32;
}

bool OpenDocument(const std::wstring& file, bool offerOpenWith, WindowHandle owner) {
  if (reinterpret_cast<INT_PTR>(::ShellExecuteW(static_cast<HWND>(owner), L"open", file.c_str(), nullptr, nullptr,
                                                SW_SHOWMAXIMIZED)) > 32)
    return true;
  const DWORD error = ::GetLastError();
  if (offerOpenWith && OpenWithDialog(file, owner)) return true;
  ShowErrorMessage(SystemErrorMessage(error) + L" (" + file + L")");
  ::SetLastError(error);
  return false;
}

std::int32_t FileOperationCopyFolder(const std::wstring& from, const std::wstring& to, bool elevated) {
  HRESULT result = EnsureFolderItems(to, elevated);
  if (FAILED(result)) return result;
  return RunFileOperation(elevated, [&](IFileOperation* operation) -> HRESULT {
    UniqueComPtr<IShellItem> source = ShellItemOf(ExcludeTrailingBackslash(from));
    UniqueComPtr<IShellItem> destination = ShellItemOf(ExcludeTrailingBackslash(to));
    if (!source || !destination) return E_FAIL;
    UniqueComPtr<IEnumShellItems> items;
    HRESULT queued = source.get()->BindToHandler(nullptr, BHID_EnumItems, IID_IEnumShellItems,
                                                 reinterpret_cast<void**>(items.put()));
    if (FAILED(queued)) return queued;
    for (;;) {
      UniqueComPtr<IShellItem> item;
      if (items.get()->Next(1, item.put(), nullptr) != S_OK) break;
      queued = operation->CopyItem(item.get(), destination.get(), nullptr, nullptr);
      if (FAILED(queued)) return queued;
    }
    return S_OK;
  });
}

std::int32_t FileOperationDelete(const std::wstring& path, bool elevated) {
  return RunFileOperation(elevated, [&](IFileOperation* operation) -> HRESULT {
    UniqueComPtr<IShellItem> item = ShellItemOf(ExcludeTrailingBackslash(path));
    return item ? operation->DeleteItem(item.get(), nullptr) : E_FAIL;
  });
}
