#pragma once
// Cancellation and waiting: terminate objects (thread-safe cancellation
// tokens with a parent chain), wait objects, overlapped-I/O objects and the
// named system objects, all made by one process-wide provider.
// Platform-neutral: no <windows.h> here.
//
// Wait operations never throw; a failed wait is WaitResult wrFailed.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/ObjList.h"
#include "platform/PlatformIntfTypes.h"
#include "platform/RefCounted.h"

// Result of the provider's waits: any other system answer counts as failed.
enum WaitResult : std::int32_t { wrSignaled = 0, wrTimeout = 1, wrAbandoned = 2, wrFailed = 3 };

// One process run under a terminate object (defined with the program runner).
class TExecuteProgramInfo;
// The processes running under a terminate object. It does not own its
// entries: the run that added one removes and frees it.
using TExecuteProcessList = TThreadObjectList<TExecuteProgramInfo>;

class ITerminateObject;
// Polled by CheckTerminated; true means "terminate now".
using TTerminateCheck = std::function<bool(TExecuteProcessList& processes)>;
// Called once for every change into the terminated state, outside the lock.
using TTerminateNotify = std::function<void(ITerminateObject& object)>;

// A cancellation token. Termination propagates downwards: a child sees its
// ancestors' state when it is checked, a parent never sees its children's.
// It is detected by polling CheckTerminated; the event lets a thread block
// on several tokens at once (GetWaitHandles with WaitForAnyHandle).
class ITerminateObject : public IInterface {
public:
  // Termination was requested of this object or of an ancestor.
  virtual bool IsTerminated() = 0;
  virtual TTerminateNotify GetOnTerminate() = 0;
  // Created on demand; lives as long as the object.
  virtual TExecuteProcessList& GetProcessList() = 0;
  virtual std::wstring GetName() = 0;
  virtual RefPtr<ITerminateObject> GetParent() = 0;
  // The polling test of long waits: the parent's state, then the check
  // callback, then an expired delay. Returns the terminated state.
  virtual bool CheckTerminated() = 0;
  // The manual-reset event signalled on termination, created on first call.
  virtual Handle GetEvent() = 0;
  // The parent's answer; 1 for an object without parent.
  virtual std::int32_t QueryRoot() = 0;
  virtual void SetOnTerminate(TTerminateNotify notify) = 0;
  // Setting the object that already is the parent changes nothing.
  virtual void SetParent(RefPtr<ITerminateObject> parent) = 0;
  // The non-null extra handles, then the events of this object and of each
  // ancestor, then (if asked) the process-wide object's event. A handle
  // already in the array is not repeated.
  virtual std::vector<Handle> GetWaitHandles(const std::vector<Handle>& extra, bool includeProcessWide) = 0;
  // Back to the initial state: not requested, not terminated, no delay, event reset.
  virtual void Reset() = 0;
  // 0 terminates at once; otherwise starts a delay unless one is pending
  // (a pending delay is neither shortened nor restarted).
  virtual void Terminate(std::uint32_t delayMs) = 0;
  // Marks the request and terminates at once.
  virtual void RequestTerminate() = 0;
};

// A manual-reset event with a 32-bit value; waits end early when the
// watched terminate chain (or the process-wide object) is terminated.
class IWaitObject : public IInterface {
public:
  virtual std::int32_t GetValue() = 0;
  // Stores the value and signals the event.
  virtual void SetValue(std::int32_t value) = 0;
  virtual void Reset() = 0;
  // True only when the own event was signalled and the value is nonzero.
  virtual bool Wait(std::uint32_t timeoutMs) = 0;
  // The raw result and the position of the signalled handle (0 = own event).
  virtual WaitResult WaitIndexed(std::int32_t& index, std::uint32_t timeoutMs) = 0;
};

// Overlapped reads and writes that a terminate chain can cancel.
class IOverlappedObject : public IInterface {
public:
  virtual Handle GetEvent() = 0;
  virtual RefPtr<ITerminateObject> GetTerminateObject() = 0;
  // A further event that ends the waits (the terminate object's by default).
  virtual Handle GetWatchedEvent() = 0;
  virtual void SetWatchedEvent(Handle event) = 0;
  // True when a client connected (or already was connected).
  virtual bool ConnectNamedPipe(Handle pipe) = 0;
  // Bytes transferred, -1 on failure or cancellation; a read at the end of
  // the file gives 0.
  virtual std::int32_t Read(Handle file, std::uint64_t offset, void* destination, std::uint32_t count) = 0;
  virtual std::int32_t Write(Handle file, std::uint64_t offset, const void* source, std::uint32_t count) = 0;
  virtual void ResetEvent() = 0;
};

// Makes the synchronisation objects. Global names get the "Global\" prefix.
class ISyncObjectsProvider : public IInterface {
public:
  // Without a terminate object the process-wide one is watched.
  virtual RefPtr<IOverlappedObject> CreateOverlappedObject(RefPtr<ITerminateObject> terminate) = 0;
  virtual RefPtr<ITerminateObject> CreateTerminateObjectWithCheck(TTerminateCheck check,
                                                                  RefPtr<ITerminateObject> parent,
                                                                  const std::wstring& name) = 0;
  virtual RefPtr<ITerminateObject> CreateTerminateObject(RefPtr<ITerminateObject> parent) = 0;
  virtual RefPtr<IWaitObject> CreateWaitObject(RefPtr<ITerminateObject> terminate) = 0;
  // An unnamed event; null on failure.
  virtual Handle CreateEvent(bool manualReset, bool signaled) = 0;
  virtual bool ResetEvent(Handle event) = 0;
  virtual bool SetEvent(Handle event) = 0;
  // Closes a non-null event and sets it to null.
  virtual void CloseEvent(Handle& event) = 0;
  // A manual-reset, non-signalled event that everyone may open.
  virtual Handle CreateGlobalEvent(const std::wstring& name) = 0;
  virtual Handle OpenGlobalEvent(const std::wstring& name) = 0;
  // Sets the named event if it exists.
  virtual void SignalGlobalEvent(const std::wstring& name) = 0;
  // Waits up to timeoutMs, closes and sets INVALID_HANDLE_VALUE.
  virtual void WaitAndCloseHandle(Handle& handle, std::uint32_t timeoutMs) = 0;
  virtual void CloseHandle(Handle handle) = 0;
  virtual Handle OpenGlobalMutex(const std::wstring& name) = 0;
  virtual Handle CreateGlobalMutex(const std::wstring& name) = 0;
  // True when the object was signalled within the time.
  virtual bool WaitForObject(Handle handle, std::uint32_t timeoutMs) = 0;
  virtual bool ReleaseMutex(Handle mutex) = 0;
  // Opens or creates a named page-file mapping and maps it whole. True when
  // the mapping was newly created. On failure both outputs are null, the
  // result false and the reason in the last error.
  virtual bool MapGlobalMemory(const std::wstring& name, bool openExisting, std::uint32_t size, Handle& mapping,
                               void*& view) = 0;
  virtual void UnmapGlobalMemory(void*& view) = 0;
  virtual WaitResult WaitForHandle(Handle handle, std::uint32_t timeoutMs) = 0;
  // Waits for any; index is the position of the signalled or abandoned handle.
  virtual WaitResult WaitForAnyHandle(const std::vector<Handle>& handles, std::uint32_t timeoutMs,
                                      std::int32_t& index) = 0;
  // Waits for a thread given by its handle.
  virtual WaitResult WaitForThread(Handle thread, std::uint32_t timeoutMs) = 0;
};

// The process-wide provider, made on first use.
ISyncObjectsProvider& SyncObjectsProvider();
// Replaces the process-wide provider (test seams); returns the previous one.
RefPtr<ISyncObjectsProvider> SetSyncObjectsProvider(RefPtr<ISyncObjectsProvider> provider);
// The process-wide terminate object, made on first use and kept to the end.
RefPtr<ITerminateObject> GetGlobalTerminateObject();
