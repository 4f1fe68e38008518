// The memory budget refuses what goes past its limit with a message that says what asked, and
// reservations give their bytes back.
#include "platform/memory_budget.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <thread>
#include <vector>

#include "platform/exceptions.h"

namespace pagewright {
namespace {

TEST(MemoryBudget, DrawsUpToTheLimitAndNamesWhatWentPastIt) {
  TMemoryBudget budget(1000);
  budget.Draw(600, "a page bitmap");
  EXPECT_FALSE(budget.TryDraw(401));
  EXPECT_FALSE(budget.TryDraw(-1));
  EXPECT_FALSE(budget.TryDraw(INT64_MAX));  // no overflow of the sum
  try {
    budget.Draw(500, "a string of 250 characters");
    ADD_FAILURE() << "drawn";
  } catch (const EOutOfMemory& e) {
    EXPECT_EQ(e.Message(), "Out of memory: a string of 250 characters needs 500 bytes; 600 of 1000 bytes are in use");
  }
  EXPECT_EQ(budget.Used(), 600);
  EXPECT_TRUE(budget.TryDraw(400));
  budget.Release(2000);  // never below zero
  EXPECT_EQ(budget.Used(), 0);
  EXPECT_EQ(TMemoryBudget::Process().Limit(), int64_t(1) << 30);
}

TEST(MemoryBudget, ReservationsGrowShrinkAndGiveBack) {
  TMemoryBudget budget(100);
  {
    TMemoryReservation r(budget, 40, "an array");
    r.Resize(90, "an array");
    EXPECT_EQ(budget.Used(), 90);
    EXPECT_THROW(r.Resize(101, "an array"), EOutOfMemory);
    EXPECT_EQ(r.Bytes(), 90);  // unchanged by the refusal
    r.Resize(10, "an array");
    EXPECT_EQ(budget.Used(), 10);
  }
  EXPECT_EQ(budget.Used(), 0);
}

TEST(MemoryBudget, ConcurrentDrawsNeverExceedTheLimit) {
  TMemoryBudget budget(10000);
  std::vector<std::thread> threads;
  std::atomic<int> granted{0};
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 10000; ++i)
        if (budget.TryDraw(1)) ++granted;
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(granted.load(), 10000);
  EXPECT_EQ(budget.Used(), 10000);
}

}  // namespace
}  // namespace pagewright
