#pragma once
// One move-only owner for every kind of system handle. Each kind names its
// invalid value (null and INVALID_HANDLE_VALUE are not interchangeable) and
// its close function; closing keeps the thread's last error intact, so that
// an error code saved by the caller survives the clean-up.

#include <utility>

#include "platform/Win.h"

template <class Traits>
class UniqueHandle {
public:
  using Type = typename Traits::Type;

  UniqueHandle() = default;
  explicit UniqueHandle(Type value) : Value(value) {}
  UniqueHandle(UniqueHandle&& other) noexcept : Value(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { reset(); }

  Type get() const { return Value; }
  bool valid() const { return Traits::IsValid(Value); }
  explicit operator bool() const { return valid(); }

  void reset(Type value = Traits::Invalid()) {
    Type old = std::exchange(Value, value);
    if (Traits::IsValid(old)) {
      const DWORD saved = ::GetLastError();
      Traits::Close(old);
      ::SetLastError(saved);
    }
  }
  [[nodiscard]] Type release() { return std::exchange(Value, Traits::Invalid()); }

  // For out-parameters: closes the current value first, so reuse cannot leak.
  Type* put() {
    reset();
    return &Value;
  }

private:
  Type Value = Traits::Invalid();
};

struct KernelHandleTraits {  // CreateFile and friends: INVALID_HANDLE_VALUE
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(Type h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
  static void Close(Type h) { ::CloseHandle(h); }
};
struct FindHandleTraits {
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(Type h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
  static void Close(Type h) { ::FindClose(h); }
};
struct RegKeyTraits {
  using Type = HKEY;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type h) { return h != nullptr; }
  static void Close(Type h) { ::RegCloseKey(h); }
};
struct ModuleTraits {
  using Type = HMODULE;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type h) { return h != nullptr; }
  static void Close(Type h) { ::FreeLibrary(h); }
};
struct HeapBlockTraits {  // blocks of the process heap
  using Type = void*;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type h) { return h != nullptr; }
  static void Close(Type h) { ::HeapFree(::GetProcessHeap(), 0, h); }
};
struct LocalBlockTraits {  // LocalAlloc blocks (FormatMessage, SetEntriesInAcl)
  using Type = HLOCAL;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type h) { return h != nullptr; }
  static void Close(Type h) { ::LocalFree(h); }
};
struct GdiObjectTraits {
  using Type = HGDIOBJ;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type h) { return h != nullptr; }
  static void Close(Type h) { ::DeleteObject(h); }
};
struct ServiceHandleTraits {
  using Type = SC_HANDLE;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type h) { return h != nullptr; }
  static void Close(Type h) { ::CloseServiceHandle(h); }
};

using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;
using UniqueFindHandle = UniqueHandle<FindHandleTraits>;
using UniqueRegKey = UniqueHandle<RegKeyTraits>;
using UniqueModule = UniqueHandle<ModuleTraits>;
using UniqueHeapBlock = UniqueHandle<HeapBlockTraits>;
using UniqueLocalBlock = UniqueHandle<LocalBlockTraits>;
using UniqueGdiObject = UniqueHandle<GdiObjectTraits>;
using UniqueServiceHandle = UniqueHandle<ServiceHandleTraits>;

// Sets an error mode for a scope and restores the previous one (drive
// probes must not raise "insert a disk" dialogs).
class ScopedErrorMode {
public:
  explicit ScopedErrorMode(UINT mode = SEM_FAILCRITICALERRORS) : Previous(::SetErrorMode(mode)) {}
  ~ScopedErrorMode() { ::SetErrorMode(Previous); }
  ScopedErrorMode(const ScopedErrorMode&) = delete;
  ScopedErrorMode& operator=(const ScopedErrorMode&) = delete;

private:
  UINT Previous;
};
