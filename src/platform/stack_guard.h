// Recursion limits that hold on any stack: fixed depth counts crash on a host's small worker-thread
// stack, so recursive readers also check the stack that actually remains.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pagewright {

// What a guarded step leaves for the code it calls (library calls such as a picture codec or
// the text layout may need tens of kilobytes).
inline constexpr size_t kDefaultStackMargin = 128 * 1024;

// Bytes of stack left on the current thread below the caller's frame; -1 when the thread's stack
// cannot be found out.
int64_t RemainingStack();

// Raises EStackOverflow "Nesting too deep: the stack is nearly exhausted" when less than margin bytes
// of stack remain. Put one at the top of each recursive step over input (XML elements, expression
// operands, grammar rules); it costs a comparison once the thread's stack is known.
class StackGuard {
 public:
  explicit StackGuard(size_t margin = kDefaultStackMargin);
};

}  // namespace pagewright
