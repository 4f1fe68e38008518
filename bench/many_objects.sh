#!/usr/bin/env bash
# One band of N text objects (a grid of 1,000 a row): preparing must stay near-linear in N.
# Usage: bench/many_objects.sh [N...]   (default 10000 20000 40000 100000)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=${PW_BIN:-$root/build/bin/pagewright}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
[ $# -gt 0 ] || set -- 10000 20000 40000 100000
printf '%8s %10s %12s %10s\n' objects seconds "us/object" "peak MB"
for n in "$@"; do
  awk -v n="$n" 'BEGIN {
    rows = int((n + 999) / 1000);
    printf "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<TpgwReport><TpgwReportPage Name=\"Page1\" PaperWidth=\"5000\" PaperHeight=\"1000\"><TpgwReportTitle Name=\"T\" Height=\"%d\" Width=\"48000\">", rows * 20 + 20;
    for (i = 0; i < n; i++)
      printf "<TpgwMemoView Name=\"M%d\" Left=\"%d\" Top=\"%d\" Width=\"40\" Height=\"18\" Text=\"c%d\"/>", i, (i % 1000) * 45, int(i / 1000) * 20, i;
    print "</TpgwReportTitle></TpgwReportPage></TpgwReport>";
  }' >"$work/t.pw3"
  /usr/bin/time -f '%e %M' -o "$work/time" "$bin" render "$work/t.pw3" --prepared "$work/out.fp3" --quiet
  read -r seconds kb <"$work/time"
  awk -v n="$n" -v s="$seconds" -v kb="$kb" 'BEGIN { printf "%8d %10.2f %12.1f %10.1f\n", n, s, s * 1e6 / n, kb / 1024 }'
done
