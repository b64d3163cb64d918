#pragma once
// Reference-counted interfaces without interface identifiers: the platform
// services are abstract classes whose virtual operations keep a fixed slot
// order, shared through an intrusive reference count.

#include <atomic>
#include <cstdint>
#include <utility>

// Base of every service interface: AddRef and Release occupy the first slots.
class IInterface {
public:
  virtual std::int32_t AddRef() = 0;
  virtual std::int32_t Release() = 0;

protected:
  virtual ~IInterface() = default;
};

// Implements the reference count for a class that derives from one interface.
template <class Interface>
class TRefCountedObject : public Interface {
public:
  std::int32_t AddRef() override { return ++RefCount; }
  std::int32_t Release() override {
    const std::int32_t left = --RefCount;
    if (left == 0) delete this;
    return left;
  }

private:
  std::atomic<std::int32_t> RefCount{0};
};

// Owning pointer to a reference-counted interface.
template <class T>
class RefPtr {
public:
  RefPtr() = default;
  RefPtr(T* object) : Object(object) { if (Object) Object->AddRef(); }  // NOLINT: implicit by design
  RefPtr(const RefPtr& other) : RefPtr(other.Object) {}
  RefPtr(RefPtr&& other) noexcept : Object(std::exchange(other.Object, nullptr)) {}
  template <class U>
  RefPtr(const RefPtr<U>& other) : RefPtr(other.get()) {}  // NOLINT: upcast
  ~RefPtr() { reset(); }

  RefPtr& operator=(RefPtr other) noexcept {
    std::swap(Object, other.Object);
    return *this;
  }

  void reset() {
    if (T* old = std::exchange(Object, nullptr)) old->Release();
  }
  T* get() const { return Object; }
  T* operator->() const { return Object; }
  T& operator*() const { return *Object; }
  explicit operator bool() const { return Object != nullptr; }

private:
  T* Object = nullptr;
};

template <class T, class... Args>
RefPtr<T> MakeRef(Args&&... args) {
  return RefPtr<T>(new T(std::forward<Args>(args)...));
}
