#!/usr/bin/env bash
# Configures and builds one build tree. Usage: scripts/build.sh DIR [cmake options...] [-- targets...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# Paths inside the checkout hash as relative ones, so a fresh clone elsewhere reuses the cache.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$root}"
# Builds with debug information (the sanitizer suite) would otherwise be cached per clone folder.
export CCACHE_NOHASHDIR="${CCACHE_NOHASHDIR:-1}"
dir=$1; shift
opts=(); targets=()
while [ $# -gt 0 ]; do
  if [ "$1" = "--" ]; then shift; targets=("$@"); break; fi
  opts+=("$1"); shift
done
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S "$root" -B "$dir" -G Ninja "${opts[@]}"
elif [ ${#opts[@]} -gt 0 ]; then
  cmake "$dir" "${opts[@]}" >/dev/null
fi
if [ ${#targets[@]} -gt 0 ]; then
  cmake --build "$dir" --parallel "$(nproc)" --target "${targets[@]}"
else
  cmake --build "$dir" --parallel "$(nproc)"
fi
