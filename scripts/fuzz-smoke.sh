#!/usr/bin/env bash
# A short run of every fuzz program: builds the fuzz tree (clang, sanitizers) when needed, replays
# the saved regression cases of each program, then fuzzes it for a few seconds from its saved
# corpus. Fails on any finding (crash, sanitizer report, leak, timeout, memory limit).
#
# Usage: scripts/fuzz-smoke.sh [BUILD_DIR]   (default build-fuzz in the checkout)
# PW_FUZZ_SECONDS: seconds of fuzzing per program (default 2). New inputs the run finds go to a
# temporary folder, not into fuzz/corpus; a finding is kept there and its path printed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-fuzz}
seconds=${PW_FUZZ_SECONDS:-2}
cd "$root"

targets=()
for src in fuzz/*.cpp; do
  targets+=("fuzz_$(basename "$src" .cpp)")
done

# ccache makes this cheap when nothing changed.
if ! nice -n 10 scripts/build.sh "$build" -DPW_FUZZ=ON -DPW_TESTS=OFF -DPW_BENCH=OFF \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -- "${targets[@]}" >"${TMPDIR:-/tmp}/pagewright-fuzz-build.log" 2>&1; then
  # A failed build says why, not just that it failed.
  grep -E "error|Error" "${TMPDIR:-/tmp}/pagewright-fuzz-build.log" | head -20 >&2
  echo "fuzz-smoke: the fuzz programs did not build (full log: ${TMPDIR:-/tmp}/pagewright-fuzz-build.log)" >&2
  exit 1
fi

# Older findings kept beside the fixtures of their subsystem, replayed by the program that reads
# such bytes (each file is a whole input of that program). tests/data/fuzz_regressions/<program>/
# is replayed as well.
declare -A kept=(
  [export_truetype]=tests/data/truetype/fuzz     # fonts
  [render_pictures]=tests/data/pictures/fuzz     # picture files
  [script_run]=tests/data/scripts/fuzz           # programs in the default language
  [storage_template]=tests/data/templates/fuzz   # templates
  [data_csv]=tests/data/sources/fuzz             # a delimiter byte, then the CSV text
)

work=$(mktemp -d "${TMPDIR:-/tmp}/pagewright-fuzz-smoke.XXXXXX")
failed=()
started=$(date +%s)
for t in "${targets[@]}"; do
  name=${t#fuzz_}
  bin=$build/fuzz/$t
  log=$work/$name.log
  mkdir -p "$work/$name/new" "$work/$name/artifacts"
  corpora=("$work/$name/new")
  [ -d "fuzz/corpus/$name" ] && corpora+=("fuzz/corpus/$name")
  regressions=()
  for dir in "tests/data/fuzz_regressions/$name" ${kept[$name]:-}; do
    [ -d "$dir" ] || continue
    while IFS= read -r -d '' f; do regressions+=("$f"); done \
      < <(find "$dir" -type f ! -name '*.md' -print0 | sort -z)
  done
  # The sanitizers' reports end the program with a non-zero status; so do libFuzzer's own
  # findings (timeout, out of memory, leak).
  opts=(-timeout=20 -rss_limit_mb=2560 -malloc_limit_mb=2560 "-artifact_prefix=$work/$name/artifacts/"
        -print_final_stats=1)
  ok=1
  if [ ${#regressions[@]} -gt 0 ] && ! nice -n 10 "$bin" "${opts[@]}" "${regressions[@]}" >"$log" 2>&1; then
    ok=0
  fi
  if [ $ok = 1 ] && ! nice -n 10 "$bin" "${opts[@]}" -max_total_time="$seconds" "${corpora[@]}" >>"$log" 2>&1; then
    ok=0
  fi
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 || true)
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | tail -1 | grep -o '[0-9]*$' || true)
  if [ $ok = 1 ]; then
    printf '%-28s ok   %s, %s runs, %d regression cases\n' "$t" "${cov:-cov: ?}" "${runs:-?}" ${#regressions[@]}
  else
    printf '%-28s FAILED (log: %s)\n' "$t" "$log"
    { grep -E 'ERROR|SUMMARY|runtime error|Test unit written' "$log" || true; } | head -5 | sed 's/^/    /'
    failed+=("$t")
  fi
done
echo "fuzz smoke: ${#targets[@]} programs in $(( $(date +%s) - started )) s"
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz smoke: findings in ${failed[*]}; logs and inputs in $work" >&2
  exit 1
fi
rm -rf "$work"
