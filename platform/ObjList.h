#pragma once
// The list bases of the data classes: a list of objects that may own them,
// its thread-safe variant, a string list that compares ordinally and its
// variant that owns the objects attached to its strings. Typed on the
// element so that derived lists need no casts. Plain objects, not copyable.

#include <algorithm>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/Exception.h"

// Raised for an index outside a list and for operations a sorted list refuses.
class EListError : public Exception {
public:
  using Exception::Exception;
};

namespace objlist_detail {
[[noreturn]] void RaiseIndexError(std::ptrdiff_t index);
[[noreturn]] void RaiseSortedError();
[[noreturn]] void RaiseDuplicateError();
// Ordinal comparison by UTF-16 code units (also where wchar_t is 32-bit).
int CompareOrdinal(const std::wstring& a, const std::wstring& b);
// Comparison after the system's upper-casing.
int CompareIgnoreCase(const std::wstring& a, const std::wstring& b);
}  // namespace objlist_detail

// A list of object pointers; with owns-objects set, the list frees the
// objects it deletes, removes with free, or clears. Null entries are allowed
// and skipped when freeing.
template <class T>
class TObjectList {
public:
  explicit TObjectList(bool ownsObjects = true) : OwnsObjects(ownsObjects) {}
  virtual ~TObjectList() { ClearItems(); }
  TObjectList(const TObjectList&) = delete;
  TObjectList& operator=(const TObjectList&) = delete;

  int Count() const { return static_cast<int>(Items.size()); }
  bool Empty() const { return Items.empty(); }
  bool GetOwnsObjects() const { return OwnsObjects; }
  void SetOwnsObjects(bool owns) { OwnsObjects = owns; }

  // The entry at index; raises EListError outside the list.
  T* Get(int index) const { return Items[CheckIndex(index)]; }
  T* operator[](int index) const { return Get(index); }
  // Replaces the entry without freeing the previous object.
  void Put(int index, T* object) { Items[CheckIndex(index)] = object; }
  T* First() const { return Get(0); }
  T* Last() const { return Get(Count() - 1); }

  // Appends; returns the new index. The list owns the object if it owns
  // objects. Virtual so that a list keeping an index of its items sees
  // every addition.
  virtual int Add(T* object) {
    Items.push_back(object);
    return Count() - 1;
  }
  // Inserts before index (Count() appends).
  void Insert(int index, T* object) {
    if (index < 0 || index > Count()) objlist_detail::RaiseIndexError(index);
    Items.insert(Items.begin() + index, object);
  }
  // Index of the first entry holding object, -1 if none.
  int IndexOf(const T* object) const {
    const auto it = std::find(Items.begin(), Items.end(), object);
    return it == Items.end() ? -1 : static_cast<int>(it - Items.begin());
  }

  // Frees the object at index when the list owns it, leaving a null entry.
  virtual void FreeItem(int index) {
    T* object = Get(index);
    if (!OwnsObjects || !object) return;
    Items[index] = nullptr;
    delete object;
  }
  // Frees the item (when owned) and removes the entry; nothing for a negative index.
  virtual void Delete(int index) {
    if (index < 0) return;
    FreeItem(index);
    Items.erase(Items.begin() + CheckIndex(index));
  }
  // Removes the entry holding object; with free, the object is freed when
  // the list owns it. Returns the entry's former index, -1 if not found.
  virtual int Remove(T* object, bool free = true) {
    const int index = IndexOf(object);
    if (index < 0) return index;
    if (free) {
      Delete(index);
    } else {
      Items.erase(Items.begin() + index);
    }
    return index;
  }
  // Removes the entry holding object without freeing it; returns it, or null.
  T* Extract(T* object) { return Remove(object, false) < 0 ? nullptr : object; }
  // Frees every item from the last to the first, then empties the list.
  virtual void Clear() { ClearItems(); }

  // Moves the entry at from to position to; the object is kept.
  void Move(int from, int to) {
    T* object = Get(from);
    CheckIndex(to);
    Items.erase(Items.begin() + from);
    Items.insert(Items.begin() + to, object);
  }
  void Exchange(int a, int b) { std::swap(Items[CheckIndex(a)], Items[CheckIndex(b)]); }
  // Stable sort by a "less than" predicate.
  template <class Less>
  void Sort(Less less) {
    std::stable_sort(Items.begin(), Items.end(), less);
  }

  auto begin() const { return Items.begin(); }
  auto end() const { return Items.end(); }

protected:
  std::size_t CheckIndex(int index) const {
    if (index < 0 || index >= Count()) objlist_detail::RaiseIndexError(index);
    return static_cast<std::size_t>(index);
  }

private:
  void ClearItems() {
    for (int i = Count() - 1; i >= 0; --i) {
      if (OwnsObjects && Items[i]) delete std::exchange(Items[i], nullptr);
    }
    Items.clear();
  }

  std::vector<T*> Items;
  bool OwnsObjects;
};

// A TObjectList shared between threads: Add, Remove and Clear take the
// list's own lock; callers that iterate hold it with LockList/UnlockList.
template <class T>
class TThreadObjectList {
public:
  explicit TThreadObjectList(bool ownsObjects = true) : List(ownsObjects) {}

  int Add(T* object) {
    std::lock_guard<std::recursive_mutex> lock(Guard);
    return List.Add(object);
  }
  // Removes the entry; the object is freed only when the list owns it.
  void Remove(T* object) {
    std::lock_guard<std::recursive_mutex> lock(Guard);
    List.Remove(object, true);
  }
  void Clear() {
    std::lock_guard<std::recursive_mutex> lock(Guard);
    List.Clear();
  }
  // Takes the lock and gives access to the list until UnlockList.
  TObjectList<T>& LockList() {
    Guard.lock();
    return List;
  }
  void UnlockList() { Guard.unlock(); }

private:
  std::recursive_mutex Guard;
  TObjectList<T> List;
};

// How a sorted string list treats a string it already holds.
enum class TDuplicates { Ignore, Accept, Error };

// A string list with an object attached to each string. Case-sensitive from
// the start, comparing UTF-16 code units ordinally; when sorted, strings are
// inserted at their ordinal place and Find is a binary search that returns
// the first of equal strings. Does not own the attached objects.
template <class T>
class TBinaryStrings {
public:
  explicit TBinaryStrings(bool sorted = false) : Sorted(sorted) {}
  virtual ~TBinaryStrings() = default;
  TBinaryStrings(const TBinaryStrings&) = delete;
  TBinaryStrings& operator=(const TBinaryStrings&) = delete;

  int Count() const { return static_cast<int>(Entries.size()); }
  bool Empty() const { return Entries.empty(); }
  const std::wstring& Strings(int index) const { return Entries[CheckIndex(index)].Text; }
  const std::wstring& operator[](int index) const { return Strings(index); }
  T* Objects(int index) const { return Entries[CheckIndex(index)].Object; }
  // Replaces the attached object without freeing the previous one.
  void PutObject(int index, T* object) { Entries[CheckIndex(index)].Object = object; }

  bool GetSorted() const { return Sorted; }
  // Sorting an unsorted list orders it at once.
  void SetSorted(bool sorted) {
    if (sorted && !Sorted) SortEntries();
    Sorted = sorted;
  }
  bool GetCaseSensitive() const { return CaseSensitive; }
  void SetCaseSensitive(bool caseSensitive) {
    CaseSensitive = caseSensitive;
    if (Sorted) SortEntries();
  }
  TDuplicates Duplicates = TDuplicates::Ignore;

  int Add(const std::wstring& text) { return AddObject(text, nullptr); }
  // Appends, or inserts at the ordinal place when sorted. A sorted list that
  // already holds the text ignores it (returning the existing index) or
  // raises, as Duplicates says; TObjectStrings frees an ignored object.
  virtual int AddObject(const std::wstring& text, T* object) {
    int index = Count();
    if (Sorted && Find(text, index)) {
      if (Duplicates == TDuplicates::Ignore) {
        DiscardObject(object);
        return index;
      }
      if (Duplicates == TDuplicates::Error) objlist_detail::RaiseDuplicateError();
    }
    Entries.insert(Entries.begin() + index, TEntry{text, object});
    return index;
  }
  // Inserts before index; a sorted list refuses.
  void InsertObject(int index, const std::wstring& text, T* object) {
    if (Sorted) objlist_detail::RaiseSortedError();
    if (index < 0 || index > Count()) objlist_detail::RaiseIndexError(index);
    Entries.insert(Entries.begin() + index, TEntry{text, object});
  }
  void Insert(int index, const std::wstring& text) { InsertObject(index, text, nullptr); }

  // Index of the text, -1 if absent: exact linear search when unsorted,
  // Find when sorted; case-insensitive lists compare upper-cased text.
  virtual int IndexOf(const std::wstring& text) const {
    if (Sorted) {
      int index = 0;
      return Find(text, index) ? index : -1;
    }
    for (int i = 0; i < Count(); ++i) {
      if (Compare(Entries[i].Text, text) == 0) return i;
    }
    return -1;
  }
  int IndexOfObject(const T* object) const {
    for (int i = 0; i < Count(); ++i) {
      if (Entries[i].Object == object) return i;
    }
    return -1;
  }
  // Binary search of a sorted list (ordinal when case-sensitive). True on a
  // hit; index is the first of the equal entries, or the place where the
  // text would be inserted.
  virtual bool Find(const std::wstring& text, int& index) const {
    int low = 0, high = Count() - 1;
    bool found = false;
    while (low <= high) {
      const int middle = low + (high - low) / 2;
      const int order = Compare(Entries[middle].Text, text);
      if (order < 0) {
        low = middle + 1;
        continue;
      }
      high = middle - 1;  // an equal entry may have equal ones to its left
      if (order == 0) found = true;
    }
    index = low;
    return found;
  }

  // Removes the entry; nothing for index -1.
  virtual void Delete(int index) {
    if (index == -1) return;
    Entries.erase(Entries.begin() + CheckIndex(index));
  }
  virtual void Clear() { Entries.clear(); }
  // Moves the entry at from to position to, keeping its object.
  virtual void Move(int from, int to) {
    if (from == to) return;
    CheckIndex(to);
    TEntry entry = std::move(Entries[CheckIndex(from)]);
    Entries.erase(Entries.begin() + from);
    Entries.insert(Entries.begin() + to, std::move(entry));
  }
  void Exchange(int a, int b) { std::swap(Entries[CheckIndex(a)], Entries[CheckIndex(b)]); }
  // Orders the list by its comparison (stable).
  void Sort() { SortEntries(); }

protected:
  struct TEntry {
    std::wstring Text;
    T* Object;
  };

  // Called for an object that AddObject did not store.
  virtual void DiscardObject(T*) {}

  int Compare(const std::wstring& a, const std::wstring& b) const {
    return CaseSensitive ? objlist_detail::CompareOrdinal(a, b) : objlist_detail::CompareIgnoreCase(a, b);
  }
  std::size_t CheckIndex(int index) const {
    if (index < 0 || index >= Count()) objlist_detail::RaiseIndexError(index);
    return static_cast<std::size_t>(index);
  }
  // Nulls the entry's object and returns what it held.
  T* TakeObject(int index) { return std::exchange(Entries[CheckIndex(index)].Object, nullptr); }

private:
  void SortEntries() {
    std::stable_sort(Entries.begin(), Entries.end(),
                     [this](const TEntry& a, const TEntry& b) { return Compare(a.Text, b.Text) < 0; });
  }

  std::vector<TEntry> Entries;
  bool Sorted;
  bool CaseSensitive = true;
};

// A TBinaryStrings that owns the objects attached to its strings: deleting,
// removing and clearing free them; moving an entry keeps its object.
template <class T>
class TObjectStrings : public TBinaryStrings<T> {
  using Base = TBinaryStrings<T>;

public:
  explicit TObjectStrings(bool sorted = false) : Base(sorted) {}
  ~TObjectStrings() override { FreeAll(); }

  // Removes the entry and frees its object; nothing for index -1.
  void Delete(int index) override {
    if (index == -1) return;
    T* object = this->TakeObject(index);
    Base::Delete(index);
    delete object;
  }
  // Frees every object (last to first), then clears the strings.
  void Clear() override {
    FreeAll();
    Base::Clear();
  }
  // Deletes the entry with the text; returns its former index, -1 if absent.
  int Remove(const std::wstring& text) {
    const int index = this->IndexOf(text);
    Delete(index);
    return index;
  }
  // Deletes the entry holding object; returns its former index, -1 if absent.
  int RemoveObject(const T* object) {
    const int index = this->IndexOfObject(object);
    Delete(index);
    return index;
  }
  // Frees the object of the entry and leaves the string with no object.
  void FreeObject(int index) { delete this->TakeObject(index); }
  // Detaches and returns the object of the entry; the caller owns it.
  T* ExtractObject(int index) { return this->TakeObject(index); }

protected:
  void DiscardObject(T* object) override { delete object; }

private:
  void FreeAll() {
    for (int i = this->Count() - 1; i >= 0; --i) delete this->TakeObject(i);
  }
};
