// Clean-up guards: which exits run the clean-up, and which failure the caller sees when the
// clean-up itself fails while an exception is already on its way.
#include "platform/scope_guard.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace pagewright {
namespace {

struct Outcome {
  bool ran = false;
  std::string caught;  // what left the scope, empty when it ended normally
};

template <bool OnlyOnFailure>
Outcome RunScope(bool fail, bool cleanUpFails, bool dismiss) {
  Outcome o;
  try {
    auto body = [&] {
      auto cleanUp = [&] {
        o.ran = true;
        if (cleanUpFails) throw std::runtime_error("clean-up");
      };
      TScopeGuard<decltype(cleanUp), OnlyOnFailure> guard(cleanUp);
      if (dismiss) guard.Dismiss();
      if (fail) throw std::runtime_error("body");
    };
    body();
  } catch (const std::runtime_error& e) {
    o.caught = e.what();
  }
  return o;
}

TEST(ScopeGuard, RunsOnTheExitsItIsMeantFor) {
  struct Case {
    bool onlyOnFailure, fail, cleanUpFails, dismiss;
    bool ran;
    const char* caught;
  } cases[] = {
      // ScopeExit: every exit; a failing clean-up on a normal exit reaches the caller, but never
      // hides the body's own failure.
      {false, false, false, false, true, ""},
      {false, true, false, false, true, "body"},
      {false, false, true, false, true, "clean-up"},
      {false, true, true, false, true, "body"},
      {false, true, false, true, false, "body"},
      // ScopeFail: only when an exception leaves the scope.
      {true, false, false, false, false, ""},
      {true, true, false, false, true, "body"},
      {true, true, true, false, true, "body"},
      {true, true, false, true, false, "body"},
  };
  for (const Case& c : cases) {
    const Outcome o = c.onlyOnFailure ? RunScope<true>(c.fail, c.cleanUpFails, c.dismiss)
                                      : RunScope<false>(c.fail, c.cleanUpFails, c.dismiss);
    SCOPED_TRACE(testing::Message() << "onlyOnFailure=" << c.onlyOnFailure << " fail=" << c.fail
                                    << " cleanUpFails=" << c.cleanUpFails << " dismiss=" << c.dismiss);
    EXPECT_EQ(o.ran, c.ran);
    EXPECT_EQ(o.caught, c.caught);
  }
}

// A guard made while another exception unwinds the stack (in a destructor) tells its own
// scope's normal end from a new failure: the unwinding already under way does not count.
TEST(ScopeGuard, MadeDuringUnwindingCountsOnlyNewExceptions) {
  bool ran = false;
  struct CleansUpOnUnwind {
    bool& ran;
    ~CleansUpOnUnwind() {
      auto guard = ScopeFail([&] { ran = true; });
    }
  };
  try {
    CleansUpOnUnwind c{ran};
    throw std::runtime_error("outer");
  } catch (const std::runtime_error&) {
  }
  EXPECT_FALSE(ran);
}

}  // namespace
}  // namespace pagewright
