#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/ObjList.h"

namespace {
// Records its own destruction in a shared set, so that a test can tell
// exactly which objects a list freed.
class TTracked {
public:
  TTracked(std::set<int>& freed, int id) : Id(id), Freed(freed) {}
  ~TTracked() { Freed.insert(Id); }
  TTracked(const TTracked&) = delete;
  TTracked& operator=(const TTracked&) = delete;

  const int Id;

private:
  std::set<int>& Freed;
};
}  // namespace

TEST(TObjectList, OwningListFreesOnDeleteRemoveAndClear) {
  std::set<int> freed;
  {
    TObjectList<TTracked> list(true);
    for (int id = 0; id < 5; ++id) list.Add(new TTracked(freed, id));
    list.Add(nullptr);  // null entries are skipped when freeing

    list.Delete(1);
    EXPECT_EQ(freed, (std::set<int>{1}));
    EXPECT_EQ(list.Count(), 5);

    TTracked* third = list[2];
    EXPECT_EQ(list.Remove(third), 2);
    EXPECT_EQ(freed, (std::set<int>{1, 3}));

    TTracked* kept = list.Extract(list[0]);
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(freed.count(0), 0u);
    delete kept;

    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(freed, (std::set<int>{0, 1, 2, 3, 4}));

    list.Add(new TTracked(freed, 9));
  }
  EXPECT_EQ(freed.count(9), 1u) << "destroying the list frees what it still owns";
}

TEST(TObjectList, ListThatDoesNotOwnFreesNothing) {
  std::set<int> freed;
  TTracked a(freed, 1), b(freed, 2);
  {
    TObjectList<TTracked> list(false);
    list.Add(&a);
    list.Add(&b);
    list.FreeItem(0);
    EXPECT_EQ(list[0], &a);
    list.Remove(&a);
    list.Delete(0);
    EXPECT_EQ(list.Count(), 0);
    list.Add(&b);
  }
  EXPECT_TRUE(freed.empty());
}

TEST(TObjectList, IndexOutsideTheListRaises) {
  TObjectList<int> list(true);
  list.Add(new int(1));
  EXPECT_THROW(list.Get(1), EListError);
  EXPECT_THROW(list.Get(-1), EListError);
  EXPECT_THROW(list.Delete(1), EListError);
  EXPECT_NO_THROW(list.Delete(-1));
  EXPECT_THROW(list.Insert(3, nullptr), EListError);
  EXPECT_EQ(list.Remove(nullptr), -1);
  EXPECT_EQ(list.Count(), 1);
}

TEST(TObjectList, MoveKeepsTheObjects) {
  std::set<int> freed;
  TObjectList<TTracked> list(true);
  for (int id = 0; id < 3; ++id) list.Add(new TTracked(freed, id));
  list.Move(0, 2);
  EXPECT_TRUE(freed.empty());
  EXPECT_EQ(list[0]->Id, 1);
  EXPECT_EQ(list[2]->Id, 0);
}

TEST(TThreadObjectList, ConcurrentAddsAndRemovesKeepTheListConsistent) {
  TThreadObjectList<int> list(true);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&list] {
      for (int i = 0; i < 500; ++i) {
        int* item = new int(i);
        list.Add(item);
        if (i % 2 == 0) list.Remove(item);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  TObjectList<int>& locked = list.LockList();
  EXPECT_EQ(locked.Count(), 4 * 250);
  list.UnlockList();
  list.Clear();
  EXPECT_EQ(list.LockList().Count(), 0);
  list.UnlockList();
}

TEST(TBinaryStrings, SortedListKeepsOrdinalOrder) {
  TBinaryStrings<void> list(true);
  for (const wchar_t* text : {L"a", L"B", L"b", L"A", L"_", L"\u0436", L"\u0416", L"B"}) list.Add(text);
  // Ordinal: upper case before lower case, Cyrillic after Latin; the second B is ignored.
  const std::vector<std::wstring> expected{L"A", L"B", L"_", L"a", L"b", L"\u0416", L"\u0436"};
  ASSERT_EQ(list.Count(), static_cast<int>(expected.size()));
  for (int i = 0; i < list.Count(); ++i) EXPECT_EQ(list[i], expected[i]) << i;

  int index = -1;
  EXPECT_TRUE(list.Find(L"a", index));
  EXPECT_EQ(index, 3);
  EXPECT_TRUE(list.Find(L"B", index));
  EXPECT_EQ(index, 1);
  EXPECT_FALSE(list.Find(L"Ab", index));
  EXPECT_EQ(index, 1) << "the insertion point";
  EXPECT_EQ(list.IndexOf(L"b"), 4);
  EXPECT_EQ(list.IndexOf(L"c"), -1);
  EXPECT_THROW(list.Insert(0, L"x"), EListError);
}

TEST(TBinaryStrings, FindReturnsTheFirstOfEqualEntries) {
  TBinaryStrings<void> list(true);
  list.Duplicates = TDuplicates::Accept;
  for (const wchar_t* text : {L"k", L"k", L"a", L"k", L"z", L"k", L"k"}) list.Add(text);
  int index = -1;
  ASSERT_TRUE(list.Find(L"k", index));
  EXPECT_EQ(index, 1);
  EXPECT_EQ(list.Count(), 7);

  TBinaryStrings<void> strict(true);
  strict.Duplicates = TDuplicates::Error;
  strict.Add(L"x");
  EXPECT_THROW(strict.Add(L"x"), EListError);
}

TEST(TBinaryStrings, UnsortedListSearchesExactlyUnlessCaseInsensitive) {
  TBinaryStrings<void> list(false);
  list.Add(L"Beta");
  list.Add(L"alpha");
  list.Add(L"beta");
  EXPECT_EQ(list.IndexOf(L"beta"), 2);
  EXPECT_EQ(list.IndexOf(L"ALPHA"), -1);
  list.SetCaseSensitive(false);
  EXPECT_EQ(list.IndexOf(L"ALPHA"), 1);
  EXPECT_EQ(list.IndexOf(L"beta"), 0);
}

TEST(TObjectStrings, OwnsObjectsAcrossMoveDeleteAndClear) {
  std::set<int> freed;
  {
    TObjectStrings<TTracked> list;
    list.AddObject(L"zero", new TTracked(freed, 0));
    list.AddObject(L"one", new TTracked(freed, 1));
    list.AddObject(L"two", new TTracked(freed, 2));

    list.Move(0, 2);
    EXPECT_TRUE(freed.empty()) << "moving an entry keeps its object";
    EXPECT_EQ(list[2], L"zero");
    EXPECT_EQ(list.Objects(2)->Id, 0);
    EXPECT_EQ(list.Objects(0)->Id, 1);

    list.Delete(1);
    EXPECT_EQ(freed, (std::set<int>{2}));
    list.Delete(-1);

    list.AddObject(L"three", new TTracked(freed, 3));
    EXPECT_EQ(list.Remove(L"three"), 2);
    EXPECT_EQ(freed, (std::set<int>{2, 3}));
    EXPECT_EQ(list.RemoveObject(list.Objects(0)), 0);
    EXPECT_EQ(freed, (std::set<int>{1, 2, 3}));

    list.AddObject(L"four", new TTracked(freed, 4));
    list.FreeObject(1);
    EXPECT_EQ(freed.count(4), 1u);
    EXPECT_EQ(list.Objects(1), nullptr);
    EXPECT_EQ(list.Count(), 2);

    list.Clear();
    EXPECT_EQ(freed, (std::set<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(list.Count(), 0);

    list.AddObject(L"five", new TTracked(freed, 5));
  }
  EXPECT_EQ(freed.count(5), 1u);
}

TEST(TObjectStrings, SortedListFreesAnIgnoredDuplicateObject) {
  std::set<int> freed;
  TObjectStrings<TTracked> list(true);
  list.AddObject(L"x", new TTracked(freed, 1));
  EXPECT_EQ(list.AddObject(L"x", new TTracked(freed, 2)), 0);
  EXPECT_EQ(list.Count(), 1);
  EXPECT_EQ(freed, (std::set<int>{2}));
  EXPECT_EQ(list.Objects(0)->Id, 1);
}
