#include "setup/distribution/RegOleFiles.h"

#include <cstdint>
#include <vector>

#include "platform/ExecIntfTypes.h"
#include "platform/FileTool.h"
#include "platform/PlatformIntfTypes.h"
#include "platform/StrTool.h"
#include "platform/UniqueHandle.h"
#include "platform/Win.h"
#include "setup/messages/FormatText.h"
#include "setup/messages/SetupRuntimeMessages.h"

#include <oleauto.h>

namespace {

enum class TOleFileKind { InProcessServer, TypeLibrary, LocalServer };

// One registration: the file actually registered and the direction.
struct TRegOleJob {
  std::wstring FileName;
  bool Unregister = false;
  TOleFileKind Kind = TOleFileKind::InProcessServer;
};

// Servers look for the modules beside them in the current folder: it is the
// file's folder while the job runs.
class TCurrentDirectoryScope {
public:
  explicit TCurrentDirectoryScope(const std::wstring& folder) {
    const DWORD size = ::GetCurrentDirectoryW(0, nullptr);
    Previous.resize(size);
    Previous.resize(::GetCurrentDirectoryW(size, Previous.data()));
    if (!folder.empty()) ::SetCurrentDirectoryW(folder.c_str());
  }
  ~TCurrentDirectoryScope() {
    if (!Previous.empty()) ::SetCurrentDirectoryW(Previous.c_str());
  }
  TCurrentDirectoryScope(const TCurrentDirectoryScope&) = delete;
  TCurrentDirectoryScope& operator=(const TCurrentDirectoryScope&) = delete;

private:
  std::wstring Previous;
};

template <class T>
struct ComReleaseTraits {
  using Type = T*;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type p) { return p != nullptr; }
  static void Close(Type p) { p->Release(); }
};

struct BStrTraits {
  using Type = BSTR;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type s) { return s != nullptr; }
  static void Close(Type s) { ::SysFreeString(s); }
};

std::int64_t ResultCode(HRESULT result) { return static_cast<std::uint32_t>(result); }

// The system's text for an OLE result; the result in hexadecimal where the
// system has none (most type library errors under Wine).
std::wstring OleErrorText(HRESULT result) {
  const auto code = static_cast<std::uint32_t>(result);
  const std::wstring text = SystemErrorMessage(code);
  if (text != L"System error " + std::to_wstring(code)) return text;
  return FormatText(L"OLE error %x", {static_cast<std::int64_t>(code)});
}

[[noreturn]] void RaiseOleError(HRESULT result, const std::wstring& fileName) {
  throw EOSError(static_cast<std::uint32_t>(result), OleErrorText(result) + L" (" + fileName + L")");
}

TRegOleJob ClassifyFile(const std::wstring& fileName, bool unregister) {
  TRegOleJob job{fileName, unregister, TOleFileKind::InProcessServer};
  const std::wstring extension = UpperCaseText(ExtractFileExt(fileName));
  if (extension == L".TLB") {
    job.Kind = TOleFileKind::TypeLibrary;
  } else if (extension == L".EXE") {
    const std::wstring library = ChangeFileExt(fileName, L".tlb");
    if (PlatformTools().FileExists(library)) {
      job.FileName = library;
      job.Kind = TOleFileKind::TypeLibrary;
    } else {
      job.Kind = TOleFileKind::LocalServer;
    }
  }
  return job;
}

void CallServerEntryPoint(const TRegOleJob& job) {
  const char* entryName = job.Unregister ? "DllUnregisterServer" : "DllRegisterServer";
  const std::wstring entryText = job.Unregister ? L"DllUnregisterServer" : L"DllRegisterServer";
  UniqueModule module(::LoadLibraryExW(job.FileName.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
  if (!module) throw Exception(FormatText(rsRegOleLoadError, {job.FileName}));
  using EntryPoint = HRESULT(STDAPICALLTYPE*)();
  const auto entry = reinterpret_cast<EntryPoint>(reinterpret_cast<void*>(::GetProcAddress(module.get(), entryName)));
  if (!entry) throw Exception(FormatText(rsRegOleFunctionNotFound, {entryText, job.FileName}));
  const HRESULT result = entry();
  if (result != S_OK) {
    throw Exception(
        FormatText(rsRegOleCallError, {ResultCode(result), entryText, job.FileName, OleErrorText(result)}));
  }
}

void RegisterLibrary(ITypeLib* library, const std::wstring& fileName) {
  // The help folder is where the library's own help file lies.
  UniqueHandle<BStrTraits> helpFile;
  std::wstring helpFolder;
  if (SUCCEEDED(library->GetDocumentation(-1, nullptr, nullptr, nullptr, helpFile.put())) && helpFile.valid())
    helpFolder = ExtractFilePath(std::wstring(helpFile.get(), ::SysStringLen(helpFile.get())));
  std::wstring path = fileName;
  const HRESULT result =
      ::RegisterTypeLib(library, path.data(), helpFolder.empty() ? nullptr : helpFolder.data());
  if (FAILED(result)) RaiseOleError(result, fileName);
}

void UnregisterLibrary(const TLIBATTR& attributes, const std::wstring& fileName) {
  // Older automation libraries lack the entry point.
  using UnregisterFunction = HRESULT(WINAPI*)(REFGUID, WORD, WORD, LCID, SYSKIND);
  const HMODULE automation = ::GetModuleHandleW(L"OLEAUT32.DLL");
  const auto unregister = automation ? reinterpret_cast<UnregisterFunction>(reinterpret_cast<void*>(
                                           ::GetProcAddress(automation, "UnRegisterTypeLib")))
                                     : nullptr;
  if (!unregister) throw Exception(rsRegOleInvalidVersion);
  const HRESULT result = unregister(attributes.guid, attributes.wMajorVerNum, attributes.wMinorVerNum,
                                    attributes.lcid, attributes.syskind);
  if (FAILED(result)) RaiseOleError(result, fileName);
}

void RegisterTypeLibrary(const TRegOleJob& job) {
  UniqueHandle<ComReleaseTraits<ITypeLib>> library;
  HRESULT result = ::LoadTypeLib(job.FileName.c_str(), library.put());
  if (FAILED(result)) RaiseOleError(result, job.FileName);
  TLIBATTR* attributes = nullptr;
  result = library.get()->GetLibAttr(&attributes);
  if (FAILED(result)) RaiseOleError(result, job.FileName);
  struct AttributesRelease {
    ITypeLib* Library;
    TLIBATTR* Attributes;
    ~AttributesRelease() { Library->ReleaseTLibAttr(Attributes); }
  } release{library.get(), attributes};
  if (job.Unregister) {
    UnregisterLibrary(*attributes, job.FileName);
  } else {
    RegisterLibrary(library.get(), job.FileName);
  }
}

// The server registers itself once running; nobody waits for it.
void StartLocalServer(const TRegOleJob& job) {
  std::wstring commandLine = job.FileName + (job.Unregister ? L" /unregserver" : L" /regserver");
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  const bool started = ::CreateProcessW(job.FileName.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        nullptr, &startup, &process) != FALSE;
  CheckOSResult(started, job.FileName);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
}

void RunJob(const TRegOleJob& job) {
  switch (job.Kind) {
    case TOleFileKind::InProcessServer:
      CallServerEntryPoint(job);
      break;
    case TOleFileKind::TypeLibrary:
      RegisterTypeLibrary(job);
      break;
    case TOleFileKind::LocalServer:
      StartLocalServer(job);
      break;
  }
}

// The system's own tool, for servers that register in a way of their own
// (an entry point reporting S_FALSE among them). Only its exit code counts:
// a tool that did not start leaves -1.
bool RunRegsvr32(const TRegOleJob& job) {
  const std::wstring commandLine =
      std::wstring(L"regsvr32.exe /s ") + (job.Unregister ? L"/u " : L"") + L"\"" + job.FileName + L"\"";
  const RefPtr<IExitCode> exitCode = CreateExitCode(0);
  ExecuteProgramProvider().ExecuteCaptured(commandLine, CreateMemoryOutputStream(), wmWaitForEnd, nullptr, exitCode,
                                           nullptr, false);
  return exitCode->GetExitCode() == 0;
}

void ProcessOleFile(const std::wstring& fileName, bool unregister) {
  TCurrentDirectoryScope folder(ExcludeTrailingBackslash(ExtractFilePath(fileName)));
  const TRegOleJob job = ClassifyFile(fileName, unregister);
  try {
    RunJob(job);
  } catch (const Exception&) {
    // The user is told why the first way failed, not what the tool said.
    if (!RunRegsvr32(job)) throw;
  }
}

}  // namespace

void RegisterOleFile(const std::wstring& fileName) { ProcessOleFile(fileName, false); }

void UnregisterOleFile(const std::wstring& fileName) { ProcessOleFile(fileName, true); }
