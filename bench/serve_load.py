#!/usr/bin/env python3
"""A bounded load on a running `pagewright serve`: CLIENTS threads send REQUESTS requests in all,
each thread on its own keep-alive connection, and the latency percentiles are printed per kind of
request and overall. Every answer is checked (status 200 and the right content type, a PNG of the
asked page's size); a wrong one counts as an error.

Usage: serve_load.py BASE_URL [REQUESTS] [CLIENTS]
"""
import http.client
import json
import statistics
import sys
import threading
import time
import urllib.parse

base = urllib.parse.urlsplit(sys.argv[1])
total = int(sys.argv[2]) if len(sys.argv) > 2 else 200
clients = int(sys.argv[3]) if len(sys.argv) > 3 else 8


def connect():
    return http.client.HTTPConnection(base.hostname, base.port, timeout=60)


def fetch(conn, path):
    conn.request("GET", path)
    r = conn.getresponse()
    return r.status, r.getheader("Content-Type", ""), r.read()


# The templates and their page sizes, from the server itself.
conn = connect()
status, _, body = fetch(conn, "/api/templates")
templates = [t for t in json.loads(body)["templates"] if t != "endless.pw3"]
pages = {}
for t in templates:
    status, _, body = fetch(conn, "/api/report?t=" + urllib.parse.quote(t))
    state = json.loads(body)
    if state["ok"]:
        pages[t] = [(p["width"], p["height"]) for p in state["pages"]]
conn.close()
if not pages:
    sys.exit("serve_load.py: no template renders")

# The mix: page images at four resolutions (the first of each is drawn, later ones come from the
# cache), the report state, and now and then the whole PDF (written every time).
plan = []
names = sorted(pages)
for i in range(total):
    t = names[i % len(names)]
    if i % 10 == 9:
        plan.append(("pdf", t, "/api/pdf?t=" + urllib.parse.quote(t), None))
    elif i % 5 == 4:
        plan.append(("state", t, "/api/report?t=" + urllib.parse.quote(t), None))
    else:
        n = 1 + (i // len(names)) % len(pages[t])
        dpi = (96, 120, 144, 192)[(i // 7) % 4]
        w, h = pages[t][n - 1]
        plan.append(("page", t, "/api/page?t=%s&n=%d&dpi=%d" % (urllib.parse.quote(t), n, dpi), (w, h, dpi)))

lock = threading.Lock()
results = []  # (kind, seconds, ok, note)
next_index = [0]


def worker():
    conn = connect()
    while True:
        with lock:
            i = next_index[0]
            next_index[0] += 1
        if i >= len(plan):
            break
        kind, t, path, size = plan[i]
        start = time.perf_counter()
        try:
            status, ctype, body = fetch(conn, path)
            ok, note = status == 200, ""
            if ok and kind == "page":
                w, h, dpi = size
                got = (int.from_bytes(body[16:20], "big"), int.from_bytes(body[20:24], "big"))
                # The raster export rounds the page's size at its resolution.
                want = (round(w * dpi / 96), round(h * dpi / 96))
                ok = ctype == "image/png" and body[1:4] == b"PNG" and all(abs(a - b) <= 1 for a, b in zip(got, want))
                note = "%s page size %s, expected %s" % (t, got, want)
            elif ok and kind == "pdf":
                ok = body.startswith(b"%PDF-")
            elif ok:
                ok = json.loads(body)["template"] == t
        except Exception as e:  # a dropped connection is an error of the run
            ok, note = False, repr(e)
            conn.close()
            conn = connect()
        with lock:
            results.append((kind, time.perf_counter() - start, ok, note))
    conn.close()


started = time.perf_counter()
threads = [threading.Thread(target=worker) for _ in range(clients)]
for th in threads:
    th.start()
for th in threads:
    th.join()
elapsed = time.perf_counter() - started


def percentile(values, p):
    values = sorted(values)
    k = (len(values) - 1) * p / 100
    lo, hi = int(k), min(int(k) + 1, len(values) - 1)
    return values[lo] + (values[hi] - values[lo]) * (k - lo)


def line(label, rows):
    ms = [r[1] * 1000 for r in rows]
    return "%-8s %5d  p50 %7.1f  p90 %7.1f  p99 %7.1f  max %7.1f  mean %7.1f ms" % (
        label, len(ms), percentile(ms, 50), percentile(ms, 90), percentile(ms, 99), max(ms), statistics.mean(ms))


errors = [r for r in results if not r[2]]
print("%d requests from %d concurrent clients in %.2f s (%.1f requests/s), %d errors" %
      (len(results), clients, elapsed, len(results) / elapsed, len(errors)))
for kind in ("page", "state", "pdf"):
    rows = [r for r in results if r[0] == kind]
    if rows:
        print(line(kind, rows))
print(line("all", results))
for e in errors[:10]:
    print("error:", e[0], e[3])
sys.exit(1 if errors else 0)
