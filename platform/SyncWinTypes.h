#pragma once
// The Windows implementation of the synchronisation objects: terminate
// objects, wait objects, overlapped-I/O objects and the provider that makes
// them and the named system objects.

#include "platform/SyncIntfTypes.h"

// The factories of the objects, independent of how events are made.
class TCustomSyncObjectsProvider : public TRefCountedObject<ISyncObjectsProvider> {
public:
  RefPtr<ITerminateObject> CreateTerminateObjectWithCheck(TTerminateCheck check, RefPtr<ITerminateObject> parent,
                                                          const std::wstring& name) override;
  RefPtr<ITerminateObject> CreateTerminateObject(RefPtr<ITerminateObject> parent) override;
  RefPtr<IWaitObject> CreateWaitObject(RefPtr<ITerminateObject> terminate) override;
  RefPtr<IOverlappedObject> CreateOverlappedObject(RefPtr<ITerminateObject> terminate) override;
};

// Events, mutexes, mappings and waits through the Windows kernel.
class TSyncObjectsProvider : public TCustomSyncObjectsProvider {
public:
  Handle CreateEvent(bool manualReset, bool signaled) override;
  bool ResetEvent(Handle event) override;
  bool SetEvent(Handle event) override;
  void CloseEvent(Handle& event) override;
  Handle CreateGlobalEvent(const std::wstring& name) override;
  Handle OpenGlobalEvent(const std::wstring& name) override;
  void SignalGlobalEvent(const std::wstring& name) override;
  void WaitAndCloseHandle(Handle& handle, std::uint32_t timeoutMs) override;
  void CloseHandle(Handle handle) override;
  Handle OpenGlobalMutex(const std::wstring& name) override;
  Handle CreateGlobalMutex(const std::wstring& name) override;
  bool WaitForObject(Handle handle, std::uint32_t timeoutMs) override;
  bool ReleaseMutex(Handle mutex) override;
  bool MapGlobalMemory(const std::wstring& name, bool openExisting, std::uint32_t size, Handle& mapping,
                       void*& view) override;
  void UnmapGlobalMemory(void*& view) override;
  WaitResult WaitForHandle(Handle handle, std::uint32_t timeoutMs) override;
  WaitResult WaitForAnyHandle(const std::vector<Handle>& handles, std::uint32_t timeoutMs,
                              std::int32_t& index) override;
  WaitResult WaitForThread(Handle thread, std::uint32_t timeoutMs) override;
};

// A system answer of WaitForSingleObject / WaitForMultipleObjects for count
// handles as a WaitResult and the position it names.
WaitResult ToWaitResult(std::uint32_t systemResult, std::uint32_t count, std::int32_t& index);
