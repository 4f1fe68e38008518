#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite through CTest.
#   ./test.sh             Release build in build/
#   ./test.sh --sanitize  clang with AddressSanitizer and UndefinedBehaviorSanitizer in build-sanitize/
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh

if [ "${1:-}" = "--sanitize" ]; then
  dir=build-sanitize
  ./scripts/build.sh "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPW_SANITIZE=ON -DPW_BENCH=OFF \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  # Instrumented frames are several times larger: with the usual 8 MB the stack guard, not the
  # script call-depth limit the tests expect, would stop an endless recursion first.
  ulimit -s 65536 2>/dev/null || true
else
  dir=build
  ./scripts/build.sh "$dir" -DCMAKE_BUILD_TYPE=Release
fi
ctest --test-dir "$dir" --output-on-failure --parallel "$(nproc)"
