#!/usr/bin/env bash
# Installs what is missing, builds in Release and renders the sample label in examples/label.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
./scripts/build.sh build -DCMAKE_BUILD_TYPE=Release
if [ ! -x build/bin/pagewright-label ]; then
  echo "The label sample program is not built yet: it needs the report tree and root, template"
  echo "loading, the data-set adapter, the band engine and the PDF and JPEG export filters."
  exit 1
fi
cd examples/label
mkdir -p scratch
exec ../../build/bin/pagewright-label
