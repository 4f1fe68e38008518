// Clean-up that runs when a scope ends: on every exit (ScopeExit) or only when the scope is left
// by an exception (ScopeFail). Restoring saved state this way needs no catch-all that rethrows.
//
// While an exception unwinds the scope, an exception from the clean-up itself is dropped: the
// first failure is the one the caller must see, and a second one cannot leave a destructor then.
// On a normal exit a ScopeExit clean-up may throw; the exception reaches the caller.
#pragma once

#include <exception>
#include <utility>

namespace pagewright {

template <class F, bool OnlyOnFailure>
class [[nodiscard]] TScopeGuard {
 public:
  explicit TScopeGuard(F f) : FCleanUp(std::move(f)), FUncaught(std::uncaught_exceptions()) {}
  TScopeGuard(const TScopeGuard&) = delete;
  TScopeGuard& operator=(const TScopeGuard&) = delete;

  ~TScopeGuard() noexcept(false) {
    if (FDismissed) return;
    if (std::uncaught_exceptions() > FUncaught) {
      try {
        FCleanUp();
      } catch (...) {
      }
    } else if (!OnlyOnFailure) {
      FCleanUp();
    }
  }

  // The clean-up is not wanted any more (the work it would undo has been kept).
  void Dismiss() { FDismissed = true; }

 private:
  F FCleanUp;
  int FUncaught;
  bool FDismissed = false;
};

template <class F>
TScopeGuard<F, false> ScopeExit(F f) {
  return TScopeGuard<F, false>(std::move(f));
}

template <class F>
TScopeGuard<F, true> ScopeFail(F f) {
  return TScopeGuard<F, true>(std::move(f));
}

}  // namespace pagewright
