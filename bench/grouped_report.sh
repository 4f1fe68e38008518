#!/usr/bin/env bash
# Preparing a grouped report (three group levels with totals, a running total, a reprinted group
# header: tests/data/engine/groups_three_deep.pw3) over N generated rows: time per row and peak
# memory of `pagewright render --prepared` (the prepared report saved, no page images).
# Usage: bench/grouped_report.sh [ROWS...]   (default 1000 100000)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=${PW_BIN:-$root/build/bin/pagewright}
tmpl=$root/tests/data/engine/groups_three_deep.pw3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
[ $# -gt 0 ] || set -- 1000 100000
printf '%8s %12s %12s %10s %8s\n' rows seconds "us/row" "peak MB" pages
for n in "$@"; do
  csv=$work/ship$n.csv
  # 10 countries, 10 cities each, 10 customers each, rows spread evenly, sorted by the groups.
  awk -v n="$n" 'BEGIN {
    print "country,city,customer,weight";
    for (i = 0; i < n; i++) {
      g = int(i * 1000 / n);
      printf "C%02d,T%02d,K%02d,%d\n", int(g / 100), int(g / 10) % 10, g % 10, (i * 7) % 50 + 1;
    }
  }' >"$csv"
  /usr/bin/time -f '%e %M' -o "$work/time" "$bin" render "$tmpl" --data "ship=$csv" --prepared "$work/out.fp3" --quiet
  read -r seconds kb <"$work/time"
  pages=$("$bin" prepare --prepared "$work/out.fp3" --dump | cut -f1 | sort -un | tail -1)
  awk -v n="$n" -v s="$seconds" -v kb="$kb" -v p="$pages" \
    'BEGIN { printf "%8d %12.2f %12.1f %10.1f %8d\n", n, s, s * 1e6 / n, kb / 1024, p }'
done
