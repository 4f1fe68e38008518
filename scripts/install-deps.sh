#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests and the external checkers need.
# Idempotent: when everything is present it only asks dpkg and returns.
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build ccache pkg-config clang
  # libraries
  zlib1g-dev libjpeg62-turbo-dev libpng-dev libgif-dev
  libfreetype-dev libharfbuzz-dev libfontconfig-dev libcairo2-dev
  # AES and SHA-2 of 256-bit PDF encryption
  libssl-dev
  # fonts the engine pins ("Arial" and friends map to Liberation, the rest to DejaVu)
  fonts-liberation2 fonts-dejavu-core
  # tests and benchmarks
  googletest libgtest-dev libgmock-dev libbenchmark-dev lua5.4
  # sanitizer and fuzzing runtime for clang
  libclang-rt-14-dev
  # two-dimensional symbols (QR Code, Data Matrix, PDF417, Aztec) are encoded by libzint
  libzint-dev
  # external checkers used by end-to-end tests (ZXingReader reads the 2D symbols zbar lacks)
  poppler-utils qpdf zbar-tools zint zxing-cpp-tools
  # data sources of `pagewright render` (SQLite, PostgreSQL, JSON, CSV); the sqlite3 program and
  # the PostgreSQL server for their tests
  libsqlite3-dev libpq-dev libsimdjson-dev libcsv-dev sqlite3 postgresql
  # benchmarks (bench/compare_all.sh; glabels-3-batch needs a display, which xvfb-run gives it)
  hyperfine libjpeg-turbo-progs python3-reportlab glabels xvfb
  # `pagewright print` goes through libcups; its tests run a private cupsd (cups-daemon), set up
  # its queues with lpadmin (cups-client) and send their jobs with the socket backend (cups)
  libcups2-dev cups-daemon cups-client cups
  # `pagewright serve` (HTTP server header); its browser tests drive chromium headless through
  # puppeteer-core, which the tests install with npm into a folder of their own
  libcpp-httplib-dev chromium nodejs
)
# Debian's npm conflicts with a nodejs that already bundles npm (as some machines' builds do).
if ! command -v npm >/dev/null 2>&1; then
  packages+=(npm)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  SUDO=sudo
else
  SUDO=
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
