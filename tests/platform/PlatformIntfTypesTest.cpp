#include <gtest/gtest.h>

#include "platform/RefCounted.h"

namespace {
class ICounter : public IInterface {
public:
  virtual int Value() = 0;
};
class TCounter : public TRefCountedObject<ICounter> {
public:
  explicit TCounter(int* destroyed) : Destroyed(destroyed) {}
  ~TCounter() override { ++*Destroyed; }
  int Value() override { return 7; }

private:
  int* Destroyed;
};
}  // namespace

TEST(RefPtr, ReleasesTheObjectWithTheLastReference) {
  int destroyed = 0;
  {
    RefPtr<ICounter> first = MakeRef<TCounter>(&destroyed);
    RefPtr<ICounter> second = first;
    RefPtr<ICounter> moved = std::move(second);
    EXPECT_FALSE(second);
    EXPECT_EQ(moved->Value(), 7);
    first.reset();
    EXPECT_EQ(destroyed, 0);
  }
  EXPECT_EQ(destroyed, 1);
}
