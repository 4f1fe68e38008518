#!/usr/bin/env bash
# Checks the dependency directions between the engine's folders: every `#include "folder/..."`
# in src/<folder>/ and every DEPS list of src/CMakeLists.txt must follow the arrows below.
# Prints each violation with its place and exits 1 when there is one.
#
# The layers, lowest first. A folder may include itself and the folders listed for it; the
# arrows are not transitive, so every allowed folder is named.
#
#   platform      the runtime layer: nothing of the engine
#   storage       XML document and object serializer
#   support       resource strings (reads language files with the XML document)
#   render        canvas, fonts, text layout, pictures
#   barcode       the linear barcode encoder, pure
#   barcode2d     two-dimensional symbols: our adapter over libzint (its header stays inside)
#   script        the script engine
#   report        the report object tree; reaches what is above it through report/services.h
#   data          data sets and sources
#   barcode_view  the barcode report object and its drawing
#   prepared      prepared-page store and its export walk (filters seen as prepared/export_target.h)
#   export        export filters: PDF and raster
#   expressions   expression evaluation for reports
#   engine        the band engine: never export, render or barcode directly
#   startup       start-up and the default wiring: above everything, below nothing
#   driver, cli   the programs
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
src=${1:-$root/src}

declare -A allowed=(
  [platform]=""
  [storage]="platform"
  [support]="storage platform"
  [render]="support platform"
  [barcode]="support platform"
  [barcode2d]="support platform"
  [script]="storage support platform"
  [report]="render storage support platform"
  [data]="report render storage support platform"
  [barcode_view]="barcode2d barcode data report render storage support platform"
  [prepared]="barcode_view barcode2d barcode data report render storage support platform"
  [export]="prepared barcode_view barcode2d barcode data report render storage support platform"
  [expressions]="script data report render storage support platform"
  [engine]="expressions prepared data report script storage support platform"
  [startup]="engine export prepared barcode_view barcode2d barcode expressions data report script render storage support platform"
  [driver]="startup engine export prepared barcode_view barcode2d barcode expressions data report script render storage support platform"
  [cli]="driver startup engine export prepared barcode_view barcode2d barcode expressions data report script render storage support platform"
)

failures=0
fail() {
  echo "$1" >&2
  failures=$((failures + 1))
}

allows() {  # allows FROM TO
  [ "$1" = "$2" ] && return 0
  local a
  for a in ${allowed[$1]}; do [ "$a" = "$2" ] && return 0; done
  return 1
}

# Folders on disk that the table does not know are an error too: a new folder needs its arrows.
for dir in "$src"/*/; do
  name=$(basename "$dir")
  [[ -v allowed[$name] ]] || fail "src/$name: folder not in the dependency table of scripts/check-deps.sh"
done

# Includes.
while IFS= read -r hit; do
  file=${hit%%:*}
  rest=${hit#*:}
  line=${rest%%:*}
  text=${rest#*:}
  from=${file#"$src"/}
  from=${from%%/*}
  to=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([a-z_]+)\/.*/\1/' <<<"$text")
  [[ -v allowed[$from] ]] || continue
  [[ -v allowed[$to] ]] || continue  # not a folder of ours
  allows "$from" "$to" || fail "${file#"$root"/}:$line: $from must not include $to ($(sed -E 's/^[[:space:]]*//' <<<"$text"))"
done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[a-z_]+/' "$src" --include='*.h' --include='*.cpp' || true)

# CMake link lines: pw_module(NAME DEPS pw_a pw_b ...) possibly over several lines.
cmake=$src/CMakeLists.txt
if [ -f "$cmake" ]; then
  while IFS='|' read -r line name deps; do
    [[ -v allowed[$name] ]] || continue
    for dep in $deps; do
      to=${dep#pw_}
      allows "$name" "$to" || fail "src/CMakeLists.txt:$line: pw_$name must not link $dep"
    done
  done < <(awk '
    /^pw_module\(/ { start = NR; text = $0; open = 1 }
    open && NR > start { text = text " " $0 }
    open && /\)/ {
      open = 0
      sub(/^pw_module\(/, "", text); sub(/\).*/, "", text)
      n = split(text, w, /[[:space:]]+/); name = w[1]; deps = ""; mode = ""
      for (i = 2; i <= n; i++) {
        if (w[i] == "DEPS" || w[i] == "LIBS") { mode = w[i]; continue }
        if (mode == "DEPS" && w[i] ~ /^pw_/) deps = deps " " w[i]
      }
      print start "|" name "|" deps
    }' "$cmake")
fi

if [ "$failures" -gt 0 ]; then
  echo "dependency check: $failures violation(s)" >&2
  exit 1
fi
echo "dependency check: all includes and link lines follow the layers"
