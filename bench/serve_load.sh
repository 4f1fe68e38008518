#!/usr/bin/env bash
# Load test of `pagewright serve`: starts it on a free loopback port with the sample label (bound
# to examples/data/parcels.csv) and a two-page template, sends REQUESTS requests from CLIENTS
# concurrent clients (bench/serve_load.py) and prints the latency percentiles; exits 1 on any
# error. The server is stopped with Ctrl-C (SIGINT) at the end and must exit cleanly.
#
# Usage: bench/serve_load.sh [BUILD_DIR] [REQUESTS] [CLIENTS]   (defaults: build, 200, 8)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
requests=${2:-200}
clients=${3:-8}
cli=$build/bin/pagewright
[ -x "$cli" ] || { echo "serve_load.sh: $cli is missing (build pagewright_cli)" >&2; exit 1; }
work=$(mktemp -d)
server=
cleanup() {
  if [ -n "$server" ] && kill -0 "$server" 2>/dev/null; then kill "$server"; fi
  rm -rf "$work"
}
trap cleanup EXIT
mkdir "$work/templates"
cp "$root/examples/label/reportes/EtiquetaVelmo.pw3" "$work/templates/label.pw3"
cp "$root/tests/data/serve/two_pages.pw3" "$work/templates/"
"$cli" serve --port 0 --data "pgwDBmaster=$root/examples/data/parcels.csv" "$work/templates" 2>"$work/serve.err" &
server=$!
url=
for _ in $(seq 100); do
  url=$(sed -n 's|.* at \(http://[^ ]*/\) .*|\1|p' "$work/serve.err")
  [ -n "$url" ] && break
  sleep 0.05
done
[ -n "$url" ] || { cat "$work/serve.err" >&2; echo "serve_load.sh: the server did not start" >&2; exit 1; }
echo "server: $(head -1 "$work/serve.err")"
status=0
python3 "$root/bench/serve_load.py" "$url" "$requests" "$clients" || status=$?
kill -INT "$server"
wait "$server" || { echo "serve_load.sh: the server did not stop cleanly" >&2; status=1; }
server=
exit $status
