#!/usr/bin/env bash
# Times the script engine's 1,000,000-pass loop against the same loop in Lua 5.4 on this
# machine, in one run: processor time on both sides (the median of five benchmark runs; the
# best of five Lua runs), so that other load on the machine counts less.
# Usage: bench/lua/compare.sh BUILD_DIR (with bench_script_run built).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:?usage: compare.sh BUILD_DIR}
lua=$(command -v lua5.4 || true)
if [ -z "$lua" ]; then
  echo "lua5.4 is not installed (scripts/install-deps.sh installs it)" >&2
  exit 1
fi
ours=$("$build/bench/bench_script_run" --benchmark_filter='^BM_LoopIntegerAndString$' \
  --benchmark_repetitions=5 --benchmark_report_aggregates_only=true --benchmark_format=csv 2>/dev/null |
  awk -F, '/_median"?,/ {print $4; exit}')
theirs=$("$lua" "$here/loop.lua")
awk -v a="$ours" -v b="$theirs" 'BEGIN {
  printf "script engine: %.2f ms   lua 5.4: %.2f ms   ratio: %.1f\n", a, b, a / b }'
