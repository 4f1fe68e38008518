#!/usr/bin/env bash
# Whole-program timings side by side, in one hyperfine run, and their ratios:
#   the label program against `cjpeg -quality 90` on a raster of the label's page size,
#   the small subcommands of `pagewright` against `true` (process start-up alone).
# Only ratios within one run mean anything on a shared machine.
#
# Usage: bench/compare_label.sh [BUILD_DIR] [RUNS]   (defaults: build, 15)
# Needs a Release build of pagewright_label and pagewright_cli, hyperfine, cjpeg and djpeg
# (scripts/install-deps.sh installs them).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
runs=${2:-15}
label=$build/bin/pagewright-label
cli=$build/bin/pagewright
for tool in hyperfine cjpeg djpeg awk; do
  command -v "$tool" >/dev/null || { echo "compare_label.sh: $tool is missing (scripts/install-deps.sh)" >&2; exit 1; }
done
for prog in "$label" "$cli"; do
  [ -x "$prog" ] || { echo "compare_label.sh: $prog is missing (build pagewright_label pagewright_cli)" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The label run, as run.sh does it: from examples/label, writing into a scratch/ folder. A copy of
# the example folder keeps the checkout's scratch/ untouched.
cp -r "$root/examples/label" "$work/label"
mkdir -p "$work/label/scratch"

# A page-sized raster (397 x 559, the label at 96 pixels per inch): the label's own page, decoded
# from the JPEG one run of the program writes, so the encoder compresses the same picture.
(cd "$work/label" && "$label" > /dev/null)
ppm=$work/page.ppm
djpeg -pnm "$work/label/scratch/EtiquetaBultoAXU_sample.1.jpg" > "$ppm"
[ "$(head -c 15 "$ppm" | tr '\n' ' ')" = "P6 397 559 255 " ] ||
  { echo "compare_label.sh: the label page is not 397x559" >&2; exit 1; }

tree_template=$root/examples/label/reportes/EtiquetaVelmo.pw3
# One entry per program: a name (no blanks or commas) and the command line.
names=(true cjpeg label barcode eval tree)
commands=(
  "true"
  "cjpeg -quality 90 -outfile $work/page.jpg $ppm"
  "env -C $work/label $label"
  "$cli barcode bcCodeEAN128C '(00)384123450000000073'"
  "$cli eval 'IntToStr(6 * 7)'"
  "$cli tree $tree_template"
)
# Other report programs rendering the same label: append a name to `others` and its command to
# `other_commands` here (same order); each is timed in the same run and compared with the label.
others=()
other_commands=()
names+=("${others[@]}")
commands+=("${other_commands[@]}")

name_args=()
for n in "${names[@]}"; do name_args+=(--command-name "$n"); done
# Outputs go nowhere; a failing command stops hyperfine, so the figures are of successful runs.
# No shell between hyperfine and the programs: its start-up would swamp the small commands.
hyperfine -N --warmup 3 --runs "$runs" --style basic --export-csv "$work/times.csv" \
  "${name_args[@]}" "${commands[@]}" > "$work/hyperfine.txt"
grep -E '^(Benchmark|  Time|  Range)' "$work/hyperfine.txt" || true

# Ratios with the goals they are checked against: of mean and median wall time, and of CPU time
# (user + system), which a busy machine disturbs less.
awk -F, -v others="${others[*]}" -v all="${names[*]}" '
  NR > 1 { mean[$1] = $2; median[$1] = $4; cpu[$1] = $5 + $6 }
  function row(label, a, b, goal) {
    printf "%-28s %8.2f %8.2f %8.2f %6s\n", label, mean[a] / mean[b], median[a] / median[b], cpu[a] / cpu[b], goal
  }
  END {
    printf "\n%-28s %8s %8s %8s %6s\n", "ratio", "mean", "median", "cpu", "goal"
    row("label / cjpeg -quality 90", "label", "cjpeg", "<= 3")
    row("barcode / true", "barcode", "true", "<= 2")
    row("eval / true", "eval", "true", "<= 2")
    row("tree / true", "tree", "true", "<= 2")
    n = split(others, extra, " ")
    for (i = 1; i <= n; i++) row(extra[i] " / label", extra[i], "label", "")
    printf "\n%-10s %9s %9s %9s\n", "ms", "mean", "median", "cpu"
    n = split(all, every, " ")
    for (i = 1; i <= n; i++) {
      k = every[i]
      printf "%-10s %9.2f %9.2f %9.2f\n", k, mean[k] * 1000, median[k] * 1000, cpu[k] * 1000
    }
  }' "$work/times.csv"

# Peak memory of one label run (kilobytes, from the kernel's accounting of the child).
if [ -x /usr/bin/time ]; then
  peak=$( (cd "$work/label" && /usr/bin/time -f '%M' "$label" > /dev/null) 2>&1 | tail -1)
  echo "label peak resident memory: $((peak / 1024)) MB (goal < 30 MB)"
fi
