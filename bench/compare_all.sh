#!/usr/bin/env bash
# Whole-program timings side by side, in one hyperfine run, and their ratios against the goals:
#   the label program                      / cjpeg -quality 90 on a raster of the label's page  <= 3
#   pagewright barcode, eval, tree         / true (process start-up alone)                      <= 2
#   pagewright render, PDF, per page       / ReportLab per page                                 <= 1/3
#   pagewright render, JPEG, per page      / cjpeg's encoding of the same page, per page        <= 1.2
# and glabels-3-batch's cost per page beside render's. ReportLab (bench/peers/reportlab_labels.py)
# and glabels (bench/peers/parcel.glabels) draw the same label from the same records.
#
# A program's cost per page is (time for N labels - time for 1 label) / (N - 1), both from this
# run, so its start-up drops out. cjpeg encodes one picture a process: its N pages are the page
# tiled N times into one raster (100 pages a row, as JPEG sides stop at 65535 pixels).
# Only ratios within one run mean anything on a shared machine.
#
# Usage: bench/compare_all.sh [BUILD_DIR] [RUNS] [N]   (defaults: build, 5, 1000)
# RUNS is the least number of timed runs of each command (quick ones get more, up to about three
# seconds' worth). glabels takes about a minute for 1,000 labels, so the whole run takes
# (RUNS + 1) minutes and more. Needs a Release build of pagewright_label and pagewright_cli,
# hyperfine, cjpeg, djpeg and poppler-utils; ReportLab and glabels (under xvfb-run) are left out,
# with the reason, when missing or when their output lacks the pages or the text
# (scripts/install-deps.sh installs them all).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
runs=${2:-5}
n=${3:-1000}
[[ "$runs" =~ ^[1-9][0-9]*$ ]] || { echo "compare_all.sh: RUNS must be a positive number, not '$runs'" >&2; exit 1; }
[[ "$n" =~ ^[0-9]+$ ]] && [ "$n" -ge 2 ] && [ "$n" -le 10000 ] && [ $((n % 100 == 0 || n < 100)) -eq 1 ] ||
  { echo "compare_all.sh: N must be 2 to 99 or a multiple of 100 up to 10000, not '$n'" >&2; exit 1; }
label=$build/bin/pagewright-label
cli=$build/bin/pagewright
python=/usr/bin/python3  # Debian's, which has ReportLab
peers=$root/bench/peers
template=$root/examples/label/reportes/EtiquetaVelmo.pw3
for tool in hyperfine cjpeg djpeg pdfinfo pdftotext awk "$python"; do
  command -v "$tool" >/dev/null || { echo "compare_all.sh: $tool is missing (scripts/install-deps.sh)" >&2; exit 1; }
done
for prog in "$label" "$cli"; do
  [ -x "$prog" ] || { echo "compare_all.sh: $prog is missing (build pagewright_label pagewright_cli)" >&2; exit 1; }
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
  { echo "compare_all.sh: the label page is not 397x559" >&2; exit 1; }
# The same page N times, tiled in rows of up to 100 pages.
"$python" - "$ppm" "$n" "$work/pages.ppm" <<'PY'
import sys
src, n, out = sys.argv[1], int(sys.argv[2]), sys.argv[3]
w, h = 397, 559
data = open(src, "rb").read()[15:]
lines = [data[i * w * 3:(i + 1) * w * 3] for i in range(h)]
across = min(n, 100)
down = n // across
with open(out, "wb") as f:
    f.write(b"P6 %d %d 255\n" % (w * across, h * down))
    band = b"".join(line * across for line in lines)
    for _ in range(down):
        f.write(band)
PY

# The records: 1 and N of them, for every program; glabels' copies add the barcodes' digits.
for k in 1 "$n"; do
  "$python" "$peers/make_parcels.py" "$k" "$work/records$k.csv"
done

# Whether a PDF has COUNT pages with text on each: a peer that draws nothing is not compared.
check_pdf() {  # name pdf count
  local pages words
  pages=$(pdfinfo "$2" 2>/dev/null | awk '/^Pages:/ {print $2}')
  words=$(pdftotext "$2" - 2>/dev/null | wc -w)
  if [ "${pages:-0}" -ne "$3" ] || [ "$words" -lt "$3" ]; then
    echo "leaving out $1: its output has ${pages:-0} pages and $words words for $3 records" >&2
    return 1
  fi
}

# One entry per program: a name (no blanks or commas) and the command line. No shell between
# hyperfine and the programs: its start-up would swamp the small commands.
names=(true cjpeg label barcode eval tree)
commands=(
  "true"
  "cjpeg -quality 90 -outfile $work/page.jpg $ppm"
  "env -C $work/label $label"
  "$cli barcode bcCodeEAN128C '(00)384123450000000073'"
  "$cli eval 'IntToStr(6 * 7)'"
  "$cli tree $template"
)
names+=(cjpeg_n)
commands+=("cjpeg -quality 90 -outfile $work/pages.jpg $work/pages.ppm")
mkdir -p "$work/jpeg1" "$work/jpeg$n"
for k in 1 "$n"; do
  "$cli" render "$template" --data "$work/records$k.csv" --pdf "$work/pw$k.pdf" --quiet
  check_pdf "pagewright render" "$work/pw$k.pdf" "$k" ||
    { echo "compare_all.sh: pagewright render drew no label" >&2; exit 1; }
  "$cli" render "$template" --data "$work/records$k.csv" --jpeg "$work/jpeg$k/page.jpg" --quiet
  [ -s "$work/jpeg$k/page.$k.jpg" ] || { echo "compare_all.sh: pagewright render wrote no page $k" >&2; exit 1; }
done
suffix() { [ "$1" = 1 ] && echo 1 || echo n; }
for k in 1 "$n"; do
  names+=("pdf_$(suffix "$k")")
  commands+=("$cli render $template --data $work/records$k.csv --pdf $work/pw$k.pdf --quiet")
done
for k in 1 "$n"; do
  names+=("jpeg_$(suffix "$k")")
  commands+=("$cli render $template --data $work/records$k.csv --jpeg $work/jpeg$k/page.jpg --quiet")
done

if "$python" -c 'import reportlab' 2>/dev/null; then
  ok=1
  for k in 1 "$n"; do
    "$python" "$peers/reportlab_labels.py" "$work/records$k.csv" "$work/rl$k.pdf"
    check_pdf reportlab "$work/rl$k.pdf" "$k" || ok=0
  done
  if [ "$ok" = 1 ]; then
    for k in 1 "$n"; do
      names+=("reportlab_$(suffix "$k")")
      commands+=("$python $peers/reportlab_labels.py $work/records$k.csv $work/rl$k.pdf")
    done
  fi
else
  echo "leaving out reportlab: python3-reportlab is not installed" >&2
fi

if command -v glabels-3-batch >/dev/null && command -v xvfb-run >/dev/null; then
  # glabels-3-batch needs a display even to write a PDF; xvfb-run starts a private one each run.
  ok=1
  for k in 1 "$n"; do
    "$python" "$peers/glabels_records.py" "$work/records$k.csv" "$work/glabels$k.csv"
    sed "s#src=\"records.csv\"#src=\"$work/glabels$k.csv\"#" "$peers/parcel.glabels" > "$work/parcel$k.glabels"
    xvfb-run -a glabels-3-batch -o "$work/gl$k.pdf" "$work/parcel$k.glabels" > /dev/null 2>&1 || true
    check_pdf glabels "$work/gl$k.pdf" "$k" || ok=0
  done
  if [ "$ok" = 1 ]; then
    for k in 1 "$n"; do
      names+=("glabels_$(suffix "$k")")
      commands+=("xvfb-run -a glabels-3-batch -o $work/gl$k.pdf $work/parcel$k.glabels")
    done
  fi
else
  echo "leaving out glabels: glabels-3-batch or xvfb-run is not installed" >&2
fi

name_args=()
for name in "${names[@]}"; do name_args+=(--command-name "$name"); done
# Outputs go nowhere (glabels talks on them); a failing command stops hyperfine, so the figures
# are of successful runs.
hyperfine -N --warmup 1 --min-runs "$runs" --style basic --export-csv "$work/times.csv" \
  "${name_args[@]}" "${commands[@]}" > "$work/hyperfine.txt"
grep -E '^(Benchmark|  Time|  Range)' "$work/hyperfine.txt" || true

# Ratios of mean and median wall time, and of CPU time (user + system), which a busy machine
# disturbs less. Costs per page come from the 1 and N runs of the same program.
awk -F, -v n="$n" -v all="${names[*]}" '
  NR > 1 { mean[$1] = $2; median[$1] = $4; cpu[$1] = $5 + $6; seen[$1] = 1 }
  function per_page(p) {
    mean[p "_page"] = (mean[p "_n"] - mean[p "_1"]) / (n - 1)
    median[p "_page"] = (median[p "_n"] - median[p "_1"]) / (n - 1)
    cpu[p "_page"] = (cpu[p "_n"] - cpu[p "_1"]) / (n - 1)
    seen[p "_page"] = 1
  }
  function row(title, a, b, goal) {
    if (!(a in seen) || !(b in seen)) {
      printf "%-36s %8s %8s %8s %6s\n", title, "-", "-", "-", goal
      return
    }
    printf "%-36s %8.2f %8.2f %8.2f %6s\n", title, mean[a] / mean[b], median[a] / median[b], cpu[a] / cpu[b], goal
  }
  function ms(k) {
    if (k in seen) printf "%-16s %10.3f %10.3f %10.3f\n", k, mean[k] * 1000, median[k] * 1000, cpu[k] * 1000
  }
  END {
    mean["cjpeg_1"] = mean["cjpeg"]; median["cjpeg_1"] = median["cjpeg"]; cpu["cjpeg_1"] = cpu["cjpeg"]
    seen["cjpeg_1"] = 1
    per_page("cjpeg"); per_page("pdf"); per_page("jpeg")
    if ("reportlab_n" in seen) per_page("reportlab")
    if ("glabels_n" in seen) per_page("glabels")
    printf "\n%-36s %8s %8s %8s %6s\n", "ratio", "mean", "median", "cpu", "goal"
    row("label / cjpeg -quality 90", "label", "cjpeg", "<= 3")
    row("barcode / true", "barcode", "true", "<= 2")
    row("eval / true", "eval", "true", "<= 2")
    row("tree / true", "tree", "true", "<= 2")
    row("render pdf / reportlab, per page", "pdf_page", "reportlab_page", "<= 0.33")
    row("render jpeg / cjpeg, per page", "jpeg_page", "cjpeg_page", "<= 1.2")
    row("render pdf / glabels, per page", "pdf_page", "glabels_page", "")
    printf "\n%-16s %10s %10s %10s\n", "ms", "mean", "median", "cpu"
    count = split(all, every, " ")
    for (i = 1; i <= count; i++) ms(every[i])
    printf "\n%-16s %10s %10s %10s   (ms, (N - 1 label) / %d)\n", "per page", "mean", "median", "cpu", n - 1
    ms("cjpeg_page"); ms("pdf_page"); ms("jpeg_page"); ms("reportlab_page"); ms("glabels_page")
  }' "$work/times.csv"

# Peak memory of one label run (kilobytes, from the kernel's accounting of the child).
if [ -x /usr/bin/time ]; then
  peak=$( (cd "$work/label" && /usr/bin/time -f '%M' "$label" > /dev/null) 2>&1 | tail -1)
  echo "label peak resident memory: $((peak / 1024)) MB (goal < 30 MB)"
fi
