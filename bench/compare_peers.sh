#!/usr/bin/env bash
# Times `pagewright render` against two other ways of drawing the same parcel label for N records
# (default 200), in one hyperfine run: ReportLab (bench/peers/reportlab_labels.py) and
# glabels-3-batch (bench/peers/parcel.glabels, merged from the same CSV). Prints the mean time
# per page of each and its ratio to pagewright's. A peer whose output has no text on its pages
# is left out with the reason (glabels-3-batch needs a display; it runs under xvfb-run).
#
# usage: bench/compare_peers.sh [N] [RUNS]     (after a Release build in build/)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
n=${1:-200}
runs=${2:-3}
pw="$root/build/bin/pagewright"
python=/usr/bin/python3  # Debian's, which has ReportLab
[ -x "$pw" ] || { echo "build pagewright first (scripts/build.sh build)" >&2; exit 1; }
command -v hyperfine >/dev/null || { echo "hyperfine is not installed (scripts/install-deps.sh)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$python" "$root/bench/peers/make_parcels.py" "$n" "$work/records.csv"
sed "s#src=\"records.csv\"#src=\"$work/records.csv\"#" "$root/bench/peers/parcel.glabels" > "$work/parcel.glabels"

names=(pagewright)
cmds=("'$pw' render '$root/examples/label/reportes/EtiquetaVelmo.pw3' --data '$work/records.csv' --pdf '$work/pw.pdf' --quiet")
check() {  # name pdf: true when the PDF has N pages with text on them
  local pages words
  pages=$(pdfinfo "$2" 2>/dev/null | awk '/^Pages:/ {print $2}')
  words=$(pdftotext "$2" - 2>/dev/null | wc -w)
  if [ "${pages:-0}" -ne "$n" ] || [ "$words" -lt "$n" ]; then
    echo "leaving out $1: its output has ${pages:-0} pages and $words words for $n records" >&2
    return 1
  fi
}
if "$python" -c 'import reportlab' 2>/dev/null; then
  "$python" "$root/bench/peers/reportlab_labels.py" "$work/records.csv" "$work/rl.pdf"
  if check reportlab "$work/rl.pdf"; then
    names+=(reportlab)
    cmds+=("'$python' '$root/bench/peers/reportlab_labels.py' '$work/records.csv' '$work/rl.pdf'")
  fi
else
  echo "leaving out reportlab: python3-reportlab is not installed" >&2
fi
if command -v glabels-3-batch >/dev/null; then
  run_gl="glabels-3-batch -o '$work/gl.pdf' '$work/parcel.glabels'"
  command -v xvfb-run >/dev/null && run_gl="xvfb-run -a $run_gl"
  sh -c "$run_gl" >/dev/null 2>&1 || true
  if check glabels "$work/gl.pdf"; then
    names+=(glabels)
    cmds+=("$run_gl")
  fi
else
  echo "leaving out glabels: glabels is not installed" >&2
fi
"$pw" render "$root/examples/label/reportes/EtiquetaVelmo.pw3" --data "$work/records.csv" --pdf "$work/pw.pdf" --quiet
check pagewright "$work/pw.pdf"

args=()
for i in "${!names[@]}"; do args+=(--command-name "${names[$i]}" "${cmds[$i]}"); done
hyperfine --style basic --warmup 1 --runs "$runs" --export-json "$work/times.json" "${args[@]}" >&2
"$python" - "$work/times.json" "$n" <<'PY'
import json, sys
results = json.load(open(sys.argv[1]))["results"]
n = int(sys.argv[2])
base = results[0]["mean"]
print(f"{n} records, one label page each")
print(f"{'program':<12}{'mean s':>10}{'ms/page':>10}{'x pagewright':>14}")
for r in results:
    print(f"{r['command']:<12}{r['mean']:>10.2f}{1000 * r['mean'] / n:>10.2f}{r['mean'] / base:>14.2f}")
PY
