// The stack guard stops a deep recursion on a small thread stack (a host's worker thread) with an
// exception instead of a crash.
#include "platform/stack_guard.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/exceptions.h"

namespace pagewright {
namespace {

// A recursive step that keeps some of its own stack, as a reader's step does.
int Descend(int depth, int limit) {
  StackGuard guard;
  volatile char frame[512];
  frame[0] = static_cast<char>(depth);
  if (depth >= limit) return depth;
  return Descend(depth + 1, limit) + (frame[0] & 0);
}

struct ThreadResult {
  int reached = 0;
  std::string error;
  int64_t remainingAtStart = 0;
};

void* RunDeep(void* arg) {
  auto* r = static_cast<ThreadResult*>(arg);
  r->remainingAtStart = RemainingStack();
  try {
    r->reached = Descend(0, 1000000);
  } catch (const EStackOverflow& e) {
    r->error = e.Message();
  }
  return nullptr;
}

ThreadResult RunOnStack(size_t stackSize) {
  ThreadResult result;
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  // A stack of our own, of exactly this size (the library may otherwise reuse a larger one).
  std::vector<char> stack(stackSize + 4096);
  char* base = stack.data() + (4096 - reinterpret_cast<uintptr_t>(stack.data()) % 4096) % 4096;
  EXPECT_EQ(pthread_attr_setstack(&attr, base, stackSize), 0);
  pthread_t thread;
  EXPECT_EQ(pthread_create(&thread, &attr, RunDeep, &result), 0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);
  return result;
}

TEST(StackGuard, StopsADeepRecursionOnASmallThreadStack) {
  for (size_t size : {size_t(512 * 1024), size_t(2 * 1024 * 1024)}) {
    SCOPED_TRACE(size);
    const ThreadResult r = RunOnStack(size);
    EXPECT_EQ(r.error, "Nesting too deep: the stack is nearly exhausted");
    EXPECT_GT(r.remainingAtStart, static_cast<int64_t>(size) - 64 * 1024);
    EXPECT_LE(r.remainingAtStart, static_cast<int64_t>(size));
  }
}

TEST(StackGuard, AllowsOrdinaryDepthsAndMeasuresTheMainStack) {
  EXPECT_GT(RemainingStack(), static_cast<int64_t>(kDefaultStackMargin));
  EXPECT_EQ(Descend(0, 100), 100);
}

}  // namespace
}  // namespace pagewright
