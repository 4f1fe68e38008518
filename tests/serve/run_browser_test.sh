#!/usr/bin/env bash
# Runs the browser test of `pagewright serve`: installs puppeteer-core from the npm registry into a
# folder of the build tree (no browser download: it drives the system's Chromium) and runs
# browser_test.mjs. Exits 77 (skipped, with the reason) when chromium, node or npm is missing.
# Usage: run_browser_test.sh PAGEWRIGHT SOURCE_DIR BINARY_DIR
set -euo pipefail
binary=$1 source_dir=$2 binary_dir=$3
for tool in chromium node npm qpdf; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "skipped: $tool is not installed (scripts/install-deps.sh installs it)"
    exit 77
  fi
done
prefix=$binary_dir/serve-test-node
if [ ! -f "$prefix/node_modules/puppeteer-core/package.json" ]; then
  mkdir -p "$prefix"
  # The browser comes from Debian; puppeteer-core never downloads one.
  if ! PUPPETEER_SKIP_DOWNLOAD=1 npm install --prefix "$prefix" --no-audit --no-fund --loglevel=error \
      puppeteer-core@24 >"$prefix/npm-install.log" 2>&1; then
    cat "$prefix/npm-install.log"
    echo "skipped: puppeteer-core could not be installed from the npm registry"
    exit 77
  fi
fi
export CHROMIUM=${CHROMIUM:-$(command -v chromium)}
exec node "$source_dir/tests/serve/browser_test.mjs" "$binary" "$source_dir" "$binary_dir/serve-test" "$prefix"
