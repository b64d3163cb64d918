#include "platform/SyncWinTypes.h"

#include "platform/Win.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>

#include "platform/AclApi.h"
#include "platform/ExecIntfTypes.h"

namespace {
HANDLE AsHandle(Handle handle) { return static_cast<HANDLE>(handle); }

std::wstring GlobalName(const std::wstring& name) { return L"Global\\" + name; }

constexpr DWORD FullEventAccess = 0x001F0003;  // EVENT_ALL_ACCESS, MUTEX_ALL_ACCESS

using CancelIoExFn = BOOL(WINAPI*)(HANDLE, LPOVERLAPPED);
const CancelIoExFn CancelIoExEntry = [] {
  HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
  return kernel ? reinterpret_cast<CancelIoExFn>(reinterpret_cast<void*>(::GetProcAddress(kernel, "CancelIoEx")))
                : nullptr;
}();

void AddOnce(std::vector<Handle>& handles, Handle handle) {
  if (!handle || handle == InvalidHandle) return;
  if (std::find(handles.begin(), handles.end(), handle) == handles.end()) handles.push_back(handle);
}

// The cancellation token. All state changes happen under Lock; the
// notification runs outside it, so that it may call back into the object.
class TCustomTerminateObject : public TRefCountedObject<ITerminateObject> {
public:
  TCustomTerminateObject(TTerminateCheck check, RefPtr<ITerminateObject> parent, std::wstring name)
      : Name(std::move(name)), Parent(std::move(parent)), Check(std::move(check)) {}

  ~TCustomTerminateObject() override { SyncObjectsProvider().CloseEvent(Event); }

  bool IsTerminated() override {
    RefPtr<ITerminateObject> parent;
    {
      std::lock_guard<std::mutex> lock(Lock);
      if (Requested) return true;
      parent = Parent;
    }
    return parent && parent->IsTerminated();
  }

  TTerminateNotify GetOnTerminate() override {
    std::lock_guard<std::mutex> lock(Lock);
    return OnTerminate;
  }

  TExecuteProcessList& GetProcessList() override {
    std::lock_guard<std::mutex> lock(Lock);
    if (!Processes) Processes = std::make_unique<TExecuteProcessList>(false);
    return *Processes;
  }

  std::wstring GetName() override { return Name; }

  RefPtr<ITerminateObject> GetParent() override {
    std::lock_guard<std::mutex> lock(Lock);
    return Parent;
  }

  bool CheckTerminated() override {
    RefPtr<ITerminateObject> parent;
    TTerminateCheck check;
    {
      std::lock_guard<std::mutex> lock(Lock);
      parent = Parent;
      check = Check;
    }
    if (parent && parent->CheckTerminated()) {
      EnterTerminated();
    } else if (!Terminated()) {
      if (check && check(GetProcessList())) {
        EnterTerminated();
      } else if (DelayExpired()) {
        EnterTerminated();
      }
    }
    return Terminated();
  }

  Handle GetEvent() override {
    std::lock_guard<std::mutex> lock(Lock);
    if (!Event) {
      Event = SyncObjectsProvider().CreateEvent(true, false);
      if (Event && IsInTerminatedState) SyncObjectsProvider().SetEvent(Event);
    }
    return Event;
  }

  std::int32_t QueryRoot() override {
    RefPtr<ITerminateObject> parent = GetParent();
    return parent ? parent->QueryRoot() : 1;
  }

  void SetOnTerminate(TTerminateNotify notify) override {
    std::lock_guard<std::mutex> lock(Lock);
    OnTerminate = std::move(notify);
  }

  void SetParent(RefPtr<ITerminateObject> parent) override {
    // A parent chain that led back here would make every check loop forever.
    for (RefPtr<ITerminateObject> p = parent; p; p = p->GetParent()) {
      if (p.get() == this) return;
    }
    std::lock_guard<std::mutex> lock(Lock);
    if (Parent.get() == parent.get()) return;
    Parent = std::move(parent);
  }

  std::vector<Handle> GetWaitHandles(const std::vector<Handle>& extra, bool includeProcessWide) override {
    std::vector<Handle> handles;
    handles.reserve(10);
    for (Handle handle : extra) AddOnce(handles, handle);
    for (RefPtr<ITerminateObject> object(this); object; object = object->GetParent())
      AddOnce(handles, object->GetEvent());
    if (includeProcessWide) AddOnce(handles, GetGlobalTerminateObject()->GetEvent());
    handles.shrink_to_fit();
    return handles;
  }

  void Reset() override {
    std::lock_guard<std::mutex> lock(Lock);
    Requested = false;
    IsInTerminatedState = false;
    Delay = 0;
    DelayStart = 0;
    if (Event) SyncObjectsProvider().ResetEvent(Event);
  }

  void Terminate(std::uint32_t delayMs) override {
    {
      std::lock_guard<std::mutex> lock(Lock);
      if (IsInTerminatedState) return;
      if (delayMs != 0) {
        if (Delay == 0) {
          Delay = delayMs;
          DelayStart = PlatformTools().GetTickCount();
        }
        return;
      }
    }
    EnterTerminated();
  }

  void RequestTerminate() override {
    {
      std::lock_guard<std::mutex> lock(Lock);
      Requested = true;
    }
    Terminate(0);
  }

private:
  bool Terminated() {
    std::lock_guard<std::mutex> lock(Lock);
    return IsInTerminatedState;
  }

  bool DelayExpired() {
    std::lock_guard<std::mutex> lock(Lock);
    return !IsInTerminatedState && Delay != 0 && PlatformTools().GetTickCount() - DelayStart >= Delay;
  }

  // The one way into the terminated state; nothing when already there.
  void EnterTerminated() {
    TTerminateNotify notify;
    {
      std::lock_guard<std::mutex> lock(Lock);
      if (IsInTerminatedState) return;
      IsInTerminatedState = true;
      Delay = 0;
      if (Event) SyncObjectsProvider().SetEvent(Event);
      notify = OnTerminate;
    }
    if (notify) notify(*this);
  }

  std::mutex Lock;
  std::unique_ptr<TExecuteProcessList> Processes = std::make_unique<TExecuteProcessList>(false);
  const std::wstring Name;
  RefPtr<ITerminateObject> Parent;
  TTerminateCheck Check;
  TTerminateNotify OnTerminate;
  bool Requested = false;
  bool IsInTerminatedState = false;
  std::uint64_t Delay = 0;
  std::uint64_t DelayStart = 0;
  Handle Event = nullptr;
};

// The chain a wait or overlapped object watches: its own terminate object,
// or the process-wide one.
RefPtr<ITerminateObject> WatchedObject(const RefPtr<ITerminateObject>& terminate) {
  return terminate ? terminate : GetGlobalTerminateObject();
}

class TCustomWaitObject : public TRefCountedObject<IWaitObject> {
public:
  explicit TCustomWaitObject(RefPtr<ITerminateObject> terminate)
      : Event(SyncObjectsProvider().CreateEvent(true, false)), Terminate(std::move(terminate)) {}
  ~TCustomWaitObject() override { SyncObjectsProvider().CloseEvent(Event); }

  std::int32_t GetValue() override { return Value.load(); }
  void SetValue(std::int32_t value) override {
    Value = value;
    SyncObjectsProvider().SetEvent(Event);
  }
  void Reset() override { SyncObjectsProvider().ResetEvent(Event); }

  bool Wait(std::uint32_t timeoutMs) override {
    std::int32_t index = -1;
    return WaitIndexed(index, timeoutMs) == wrSignaled && index == 0 && Value.load() != 0;
  }

  WaitResult WaitIndexed(std::int32_t& index, std::uint32_t timeoutMs) override {
    if (!Event) return wrFailed;
    const std::vector<Handle> handles = WatchedObject(Terminate)->GetWaitHandles({Event}, true);
    return SyncObjectsProvider().WaitForAnyHandle(handles, timeoutMs, index);
  }

private:
  Handle Event;
  std::atomic<std::int32_t> Value{0};
  RefPtr<ITerminateObject> Terminate;
};

class TOverlappedObject : public TRefCountedObject<IOverlappedObject> {
public:
  explicit TOverlappedObject(RefPtr<ITerminateObject> terminate)
      : Event(SyncObjectsProvider().CreateEvent(true, false)), Terminate(WatchedObject(terminate)),
        WatchedEvent(Terminate->GetEvent()) {
    Overlapped.hEvent = AsHandle(Event);
  }
  ~TOverlappedObject() override { SyncObjectsProvider().CloseEvent(Event); }

  Handle GetEvent() override { return Event; }
  RefPtr<ITerminateObject> GetTerminateObject() override { return Terminate; }
  Handle GetWatchedEvent() override { return WatchedEvent; }
  void SetWatchedEvent(Handle event) override { WatchedEvent = event; }

  bool ConnectNamedPipe(Handle pipe) override {
    ResetEvent();
    Overlapped.Offset = Overlapped.OffsetHigh = 0;
    if (::ConnectNamedPipe(AsHandle(pipe), &Overlapped)) return true;
    const DWORD error = ::GetLastError();
    if (error == ERROR_PIPE_CONNECTED) return true;
    if (error != ERROR_IO_PENDING) return false;
    DWORD ignored = 0;
    return Complete(pipe, ignored);
  }

  std::int32_t Read(Handle file, std::uint64_t offset, void* destination, std::uint32_t count) override {
    if (!Prepare(count, offset)) return -1;
    DWORD done = 0;
    if (!::ReadFile(AsHandle(file), Buffer.data(), count, &done, &Overlapped)) {
      const DWORD error = ::GetLastError();
      if (error == ERROR_HANDLE_EOF) return 0;
      if (error != ERROR_IO_PENDING || !Complete(file, done)) return -1;
    }
    std::copy_n(Buffer.data(), done, static_cast<char*>(destination));
    return static_cast<std::int32_t>(done);
  }

  std::int32_t Write(Handle file, std::uint64_t offset, const void* source, std::uint32_t count) override {
    if (!Prepare(count, offset)) return -1;
    std::copy_n(static_cast<const char*>(source), count, Buffer.data());
    DWORD done = 0;
    if (!::WriteFile(AsHandle(file), Buffer.data(), count, &done, &Overlapped)) {
      if (::GetLastError() != ERROR_IO_PENDING || !Complete(file, done)) return -1;
    }
    return static_cast<std::int32_t>(done);
  }

  void ResetEvent() override { SyncObjectsProvider().ResetEvent(Event); }

private:
  bool Prepare(std::uint32_t count, std::uint64_t offset) {
    if (!Event) return false;
    try {
      if (Buffer.size() < std::size_t{count} + 8) Buffer.resize(std::size_t{count} + 8);
    } catch (const std::bad_alloc&) {
      ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return false;
    }
    ResetEvent();
    Overlapped.Offset = static_cast<DWORD>(offset);
    Overlapped.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return true;
  }

  // Waits for the pending operation or for the watched chain; a cancelled
  // operation is collected before the buffer can be reused.
  bool Complete(Handle file, DWORD& done) {
    std::vector<Handle> handles{Event};
    AddOnce(handles, WatchedEvent);
    handles = Terminate->GetWaitHandles(handles, true);
    std::int32_t index = -1;
    const WaitResult result = SyncObjectsProvider().WaitForAnyHandle(handles, INFINITE, index);
    if (result == wrSignaled && index == 0) {
      if (::GetOverlappedResult(AsHandle(file), &Overlapped, &done, FALSE)) return true;
      if (::GetLastError() == ERROR_HANDLE_EOF) {
        done = 0;
        return true;
      }
      return false;
    }
    const BOOL cancelled = CancelIoExEntry ? CancelIoExEntry(AsHandle(file), &Overlapped) : ::CancelIo(AsHandle(file));
    if (cancelled || ::GetLastError() != ERROR_NOT_FOUND) {
      ::GetOverlappedResult(AsHandle(file), &Overlapped, &done, TRUE);
    }
    ::SetLastError(ERROR_OPERATION_ABORTED);
    return false;
  }

  Handle Event;
  RefPtr<ITerminateObject> Terminate;
  Handle WatchedEvent;
  OVERLAPPED Overlapped{};
  std::vector<char> Buffer;
};

struct TSyncInstance {
  std::mutex Guard;
  RefPtr<ISyncObjectsProvider> Provider;
  RefPtr<ITerminateObject> GlobalTerminate;
};

TSyncInstance& Instance() {
  // Never destroyed: objects released during static destruction still close their events.
  static TSyncInstance* instance = new TSyncInstance;
  return *instance;
}
}  // namespace

WaitResult ToWaitResult(std::uint32_t systemResult, std::uint32_t count, std::int32_t& index) {
  if (systemResult < WAIT_OBJECT_0 + count) {
    index = static_cast<std::int32_t>(systemResult - WAIT_OBJECT_0);
    return wrSignaled;
  }
  if (systemResult >= WAIT_ABANDONED_0 && systemResult < WAIT_ABANDONED_0 + count) {
    index = static_cast<std::int32_t>(systemResult - WAIT_ABANDONED_0);
    return wrAbandoned;
  }
  return systemResult == WAIT_TIMEOUT ? wrTimeout : wrFailed;
}

RefPtr<ITerminateObject> TCustomSyncObjectsProvider::CreateTerminateObjectWithCheck(TTerminateCheck check,
                                                                                    RefPtr<ITerminateObject> parent,
                                                                                    const std::wstring& name) {
  return RefPtr<ITerminateObject>(new TCustomTerminateObject(std::move(check), std::move(parent), name));
}

RefPtr<ITerminateObject> TCustomSyncObjectsProvider::CreateTerminateObject(RefPtr<ITerminateObject> parent) {
  return CreateTerminateObjectWithCheck({}, std::move(parent), {});
}

RefPtr<IWaitObject> TCustomSyncObjectsProvider::CreateWaitObject(RefPtr<ITerminateObject> terminate) {
  return RefPtr<IWaitObject>(new TCustomWaitObject(std::move(terminate)));
}

RefPtr<IOverlappedObject> TCustomSyncObjectsProvider::CreateOverlappedObject(RefPtr<ITerminateObject> terminate) {
  return RefPtr<IOverlappedObject>(new TOverlappedObject(std::move(terminate)));
}

Handle TSyncObjectsProvider::CreateEvent(bool manualReset, bool signaled) {
  return ::CreateEventW(nullptr, manualReset, signaled, nullptr);
}

bool TSyncObjectsProvider::ResetEvent(Handle event) { return ::ResetEvent(AsHandle(event)) != FALSE; }
bool TSyncObjectsProvider::SetEvent(Handle event) { return ::SetEvent(AsHandle(event)) != FALSE; }

void TSyncObjectsProvider::CloseEvent(Handle& event) {
  if (event) ::CloseHandle(AsHandle(event));
  event = nullptr;
}

Handle TSyncObjectsProvider::CreateGlobalEvent(const std::wstring& name) {
  return ::CreateEventW(EveryoneSecurityAttributes(), TRUE, FALSE, GlobalName(name).c_str());
}

Handle TSyncObjectsProvider::OpenGlobalEvent(const std::wstring& name) {
  return ::OpenEventW(FullEventAccess, FALSE, GlobalName(name).c_str());
}

void TSyncObjectsProvider::SignalGlobalEvent(const std::wstring& name) {
  HANDLE event = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, GlobalName(name).c_str());
  if (!event) return;
  ::SetEvent(event);
  ::CloseHandle(event);
}

void TSyncObjectsProvider::WaitAndCloseHandle(Handle& handle, std::uint32_t timeoutMs) {
  if (handle == InvalidHandle) return;
  ::WaitForSingleObject(AsHandle(handle), timeoutMs);
  ::CloseHandle(AsHandle(handle));
  handle = InvalidHandle;
}

void TSyncObjectsProvider::CloseHandle(Handle handle) {
  if (handle != InvalidHandle) ::CloseHandle(AsHandle(handle));
}

Handle TSyncObjectsProvider::OpenGlobalMutex(const std::wstring& name) {
  return ::OpenMutexW(FullEventAccess, FALSE, GlobalName(name).c_str());
}

Handle TSyncObjectsProvider::CreateGlobalMutex(const std::wstring& name) {
  return ::CreateMutexW(EveryoneSecurityAttributes(), FALSE, GlobalName(name).c_str());
}

bool TSyncObjectsProvider::WaitForObject(Handle handle, std::uint32_t timeoutMs) {
  return ::WaitForSingleObject(AsHandle(handle), timeoutMs) == WAIT_OBJECT_0;
}

bool TSyncObjectsProvider::ReleaseMutex(Handle mutex) { return ::ReleaseMutex(AsHandle(mutex)) != FALSE; }

bool TSyncObjectsProvider::MapGlobalMemory(const std::wstring& name, bool openExisting, std::uint32_t size,
                                           Handle& mapping, void*& view) {
  mapping = nullptr;
  view = nullptr;
  bool created = false;
  HANDLE handle = nullptr;
  if (openExisting) {
    handle = ::OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, GlobalName(name).c_str());
  } else {
    handle = ::CreateFileMappingW(INVALID_HANDLE_VALUE, EveryoneSecurityAttributes(), PAGE_READWRITE, 0, size,
                                  GlobalName(name).c_str());
    created = handle && ::GetLastError() == ERROR_SUCCESS;
  }
  if (!handle) return false;
  void* mapped = ::MapViewOfFile(handle, FILE_MAP_WRITE, 0, 0, 0);
  if (!mapped) {
    const DWORD error = ::GetLastError();
    ::CloseHandle(handle);
    ::SetLastError(error);
    return false;
  }
  mapping = handle;
  view = mapped;
  return created;
}

void TSyncObjectsProvider::UnmapGlobalMemory(void*& view) {
  if (view) ::UnmapViewOfFile(view);
  view = nullptr;
}

WaitResult TSyncObjectsProvider::WaitForHandle(Handle handle, std::uint32_t timeoutMs) {
  std::int32_t index = -1;
  return ToWaitResult(::WaitForSingleObject(AsHandle(handle), timeoutMs), 1, index);
}

WaitResult TSyncObjectsProvider::WaitForAnyHandle(const std::vector<Handle>& handles, std::uint32_t timeoutMs,
                                                  std::int32_t& index) {
  if (handles.empty() || handles.size() > MAXIMUM_WAIT_OBJECTS) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return wrFailed;
  }
  const auto count = static_cast<DWORD>(handles.size());
  const DWORD result =
      ::WaitForMultipleObjects(count, reinterpret_cast<const HANDLE*>(handles.data()), FALSE, timeoutMs);
  return ToWaitResult(result, count, index);
}

WaitResult TSyncObjectsProvider::WaitForThread(Handle thread, std::uint32_t timeoutMs) {
  return WaitForHandle(thread, timeoutMs);
}

ISyncObjectsProvider& SyncObjectsProvider() {
  TSyncInstance& instance = Instance();
  std::lock_guard<std::mutex> lock(instance.Guard);
  if (!instance.Provider) instance.Provider = RefPtr<ISyncObjectsProvider>(new TSyncObjectsProvider);
  return *instance.Provider;
}

RefPtr<ISyncObjectsProvider> SetSyncObjectsProvider(RefPtr<ISyncObjectsProvider> provider) {
  TSyncInstance& instance = Instance();
  std::lock_guard<std::mutex> lock(instance.Guard);
  RefPtr<ISyncObjectsProvider> previous = instance.Provider;
  instance.Provider = std::move(provider);
  return previous;
}

RefPtr<ITerminateObject> GetGlobalTerminateObject() {
  TSyncInstance& instance = Instance();
  {
    std::lock_guard<std::mutex> lock(instance.Guard);
    if (instance.GlobalTerminate) return instance.GlobalTerminate;
  }
  RefPtr<ITerminateObject> made = SyncObjectsProvider().CreateTerminateObject({});
  std::lock_guard<std::mutex> lock(instance.Guard);
  if (!instance.GlobalTerminate) instance.GlobalTerminate = made;
  return instance.GlobalTerminate;
}
