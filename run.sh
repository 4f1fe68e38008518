#!/usr/bin/env bash
# Installs what is missing, builds in Release the one program it runs, and renders the sample
# label in examples/label. The program creates no folder itself, so the output folder is made
# here; its exit code is ours.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
./scripts/build.sh build -DCMAKE_BUILD_TYPE=Release -- pagewright_label
cd examples/label
mkdir -p scratch
exec ../../build/bin/pagewright-label
