#!/usr/bin/env bash
# A private CUPS server for the printing tests, confined to one folder.
#
#   cups_server.sh start DIR   configures and starts cupsd under DIR, creates the queues and
#                              prints PORT=<n> on stdout when they accept jobs
#   cups_server.sh stop DIR    stops that cupsd and waits for it to exit
#
# Queues; each sends its jobs with the socket backend (the way network printers take raw data on
# a port) to a small listener started next to cupsd, which writes every connection's bytes to
# DIR/out/<queue>-<n>.<pdf|bin> (n counts jobs from 1; the file appears under that name only
# once the job's data is complete):
#   pw-pdf  takes PDF (a one-line PPD whose filter is "-": PDF goes to the device unchanged)
#   pw-png  takes PNG pictures only, at 200 dpi (the same PPD with an image filter "-")
#   pw-raw  a queue without a driver: the bytes of a job arrive unchanged
#   pw-closed  like pw-raw, but it rejects jobs ("closed for the test")
#
# Why not the file: device: the scheduler opens a file: device only as the output of the last
# filter it starts, so a job that needs no filter (every job of a raw queue, PDF to a PDF queue)
# is marked completed and nothing is written. Why not cups-pdf: its configuration is read from a
# fixed path under /etc/cups, its backend must run as root, and it writes into the submitting
# user's home, so it cannot be kept inside DIR.
#
# Works as root (cupsd then runs filters as user lp, so the spool and temporary folders are made
# reachable for that user) and as an ordinary user (everything runs as that user).
set -euo pipefail

usage() {
  echo "usage: $0 start|stop DIR" >&2
  exit 2
}

[ $# -eq 2 ] || usage
command="$1"
dir="$2"

# True while the process runs (a zombie no longer counts: where nothing reaps it, it stays).
running() {
  local state
  state="$(sed -E 's/^[0-9]+ \(.*\) ([A-Za-z]).*/\1/' "/proc/$1/stat" 2>/dev/null)" || return 1
  [ -n "$state" ] && [ "$state" != Z ] && [ "$state" != X ]
}

# Stops the process whose id is in the given file (TERM, then KILL after 10 s) and waits for it.
stop_process() {
  local pidFile="$1"
  [ -f "$pidFile" ] || return 0
  local pid
  pid="$(cat "$pidFile")"
  if running "$pid"; then
    kill -TERM "$pid" 2>/dev/null || true
    for _ in $(seq 1 100); do
      running "$pid" || break
      sleep 0.1
    done
    if running "$pid"; then
      kill -KILL "$pid" 2>/dev/null || true
      while running "$pid"; do sleep 0.1; done
    fi
  fi
  rm -f "$pidFile"
}

stop_server() {
  stop_process "$dir/cupsd.pid"
  stop_process "$dir/listener.pid"
}

# The printers' side of the socket backend: one port per queue; each connection's bytes go to
# DIR/out/<queue>-<n>.<ext>, written under a temporary name and renamed when the sender is done.
write_listener() {
  cat >"$1" <<'PY'
import os, selectors, socket, sys

out, portsFile = sys.argv[1], sys.argv[2]
queues = [q.split(":") for q in sys.argv[3:]]  # name:extension
selector = selectors.DefaultSelector()
ports = []
for name, ext in queues:
    server = socket.socket()
    server.bind(("127.0.0.1", 0))
    server.listen(4)
    selector.register(server, selectors.EVENT_READ, (name, ext))
    ports.append("%s=%d" % (name, server.getsockname()[1]))
with open(portsFile + ".part", "w") as f:
    f.write("\n".join(ports) + "\n")
os.rename(portsFile + ".part", portsFile)
counts = {}
while True:
    for key, _ in selector.select():
        name, ext = key.data
        connection, _ = key.fileobj.accept()
        counts[name] = counts.get(name, 0) + 1
        final = os.path.join(out, "%s-%d.%s" % (name, counts[name], ext))
        with connection, open(final + ".part", "wb") as f:
            while True:
                data = connection.recv(65536)
                if not data:
                    break
                f.write(data)
        os.rename(final + ".part", final)
PY
}

free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1]); s.close()'
}

start_server() {
  local cupsd
  cupsd="$(command -v cupsd || true)"
  [ -n "$cupsd" ] || cupsd=/usr/sbin/cupsd
  if [ ! -x "$cupsd" ]; then
    echo "cups_server.sh: cupsd is not installed" >&2
    exit 3
  fi
  if [ ! -x /usr/lib/cups/backend/socket ]; then
    echo "cups_server.sh: the socket backend /usr/lib/cups/backend/socket is missing (Debian package cups)" >&2
    exit 1
  fi
  if [ -f "$dir/cupsd.pid" ] && running "$(cat "$dir/cupsd.pid")"; then
    echo "cups_server.sh: a server is already running for $dir" >&2
    exit 1
  fi

  mkdir -p "$dir"
  dir="$(cd "$dir" && pwd)"
  local etc="$dir/etc" spool="$dir/spool" tmp="$dir/spool/tmp" cache="$dir/cache" \
        state="$dir/state" log="$dir/log" out="$dir/out"
  mkdir -p "$etc/ppd" "$etc/ssl" "$spool" "$tmp" "$cache" "$state/certs" "$log" "$out"

  local user group systemGroup
  if [ "$(id -u)" -eq 0 ]; then
    # cupsd refuses to run filters as root; they run as lp and must reach the spooled files.
    user=lp
    group=lp
    systemGroup=root
    chmod 0755 "$dir"
    chown root:lp "$spool" "$tmp"
    chmod 0710 "$spool"
    chmod 1770 "$tmp"
  else
    user="$(id -un)"
    group="$(id -gn)"
    systemGroup="$group"
  fi

  local port
  port="$(free_port)"

  cat >"$etc/cups-files.conf" <<CONF
User $user
Group $group
SystemGroup $systemGroup
ServerRoot $etc
ServerBin /usr/lib/cups
DataDir /usr/share/cups
DocumentRoot /usr/share/cups/doc-root
RequestRoot $spool
TempDir $tmp
CacheDir $cache
StateDir $state
ServerKeychain $etc/ssl
AccessLog $log/access_log
ErrorLog $log/error_log
PageLog $log/page_log
Printcap $etc/printcap
Sandboxing Relaxed
CONF

  cat >"$etc/cupsd.conf" <<CONF
LogLevel debug
Listen 127.0.0.1:$port
Browsing No
BrowseLocalProtocols none
DefaultAuthType None
DefaultEncryption Never
WebInterface No
MaxJobs 100
PreserveJobHistory Yes
PreserveJobFiles No
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
CONF

  # Whatever fails from here on must not leave the server or the listener running.
  trap stop_server EXIT
  setsid "$cupsd" -f -c "$etc/cupsd.conf" -s "$etc/cups-files.conf" \
    </dev/null >"$log/cupsd.out" 2>&1 &
  echo $! >"$dir/cupsd.pid"

  local server="127.0.0.1:$port" ready=0
  for _ in $(seq 1 100); do
    if ! running "$(cat "$dir/cupsd.pid")"; then
      echo "cups_server.sh: cupsd exited at start; see $log/cupsd.out and $log/error_log" >&2
      cat "$log/cupsd.out" >&2 || true
      exit 1
    fi
    if lpstat -h "$server" -r >/dev/null 2>&1; then
      ready=1
      break
    fi
    sleep 0.1
  done
  if [ "$ready" -ne 1 ]; then
    echo "cups_server.sh: cupsd on $server did not answer" >&2
    exit 1
  fi

  # A PDF printer in one line of PPD: PDF goes to the device unchanged ("-" is no program).
  cat >"$dir/pw-pdf.ppd" <<'PPD'
*PPD-Adobe: "4.3"
*FormatVersion: "4.3"
*FileVersion: "1.0"
*LanguageVersion: English
*LanguageEncoding: ISOLatin1
*PCFileName: "PWPDF.PPD"
*Manufacturer: "Pagewright"
*Product: "(Test PDF Sink)"
*ModelName: "Pagewright Test PDF Sink"
*ShortNickName: "Test PDF Sink"
*NickName: "Pagewright Test PDF Sink"
*PSVersion: "(3010.000) 0"
*LanguageLevel: "3"
*ColorDevice: True
*DefaultColorSpace: RGB
*FileSystem: False
*Throughput: "1"
*LandscapeOrientation: Plus90
*TTRasterizer: Type42
*cupsVersion: 2.4
*cupsFilter2: "application/pdf application/pdf 0 -"
*cupsSNMPSupplies: False
*OpenUI *PageSize/Media Size: PickOne
*OrderDependency: 10 AnySetup *PageSize
*DefaultPageSize: A4
*PageSize A4/A4: "<</PageSize[595 842]>>setpagedevice"
*PageSize Letter/US Letter: "<</PageSize[612 792]>>setpagedevice"
*CloseUI: *PageSize
*OpenUI *PageRegion: PickOne
*OrderDependency: 10 AnySetup *PageRegion
*DefaultPageRegion: A4
*PageRegion A4/A4: "<</PageSize[595 842]>>setpagedevice"
*PageRegion Letter/US Letter: "<</PageSize[612 792]>>setpagedevice"
*CloseUI: *PageRegion
*DefaultImageableArea: A4
*ImageableArea A4/A4: "0 0 595 842"
*ImageableArea Letter/US Letter: "0 0 612 792"
*DefaultPaperDimension: A4
*PaperDimension A4/A4: "595 842"
*PaperDimension Letter/US Letter: "612 792"
*DefaultResolution: 300dpi
PPD
  # A printer of pictures: the same PPD taking PNG only, at 200 dpi.
  sed -e 's|application/pdf application/pdf 0 -|image/png image/png 0 -|' \
    -e 's|PWPDF.PPD|PWPNG.PPD|; s|PDF Sink|PNG Sink|g; s|^\*DefaultResolution: 300dpi|*DefaultResolution: 200dpi|' \
    "$dir/pw-pdf.ppd" >"$dir/pw-png.ppd"

  write_listener "$dir/listener.py"
  setsid python3 "$dir/listener.py" "$out" "$dir/listener.ports" pw-pdf:pdf pw-raw:bin pw-png:png \
    </dev/null >"$log/listener.out" 2>&1 &
  echo $! >"$dir/listener.pid"
  for _ in $(seq 1 100); do
    [ -f "$dir/listener.ports" ] && break
    running "$(cat "$dir/listener.pid")" || break
    sleep 0.1
  done
  if [ ! -f "$dir/listener.ports" ]; then
    echo "cups_server.sh: the listener did not start; see $log/listener.out" >&2
    exit 1
  fi
  local pdfPort rawPort pngPort
  pdfPort="$(sed -n 's/^pw-pdf=//p' "$dir/listener.ports")"
  rawPort="$(sed -n 's/^pw-raw=//p' "$dir/listener.ports")"
  pngPort="$(sed -n 's/^pw-png=//p' "$dir/listener.ports")"

  # -E after -p enables the queue and makes it accept jobs (before -p it would mean encryption).
  # lpadmin warns that drivers (PPD files) are deprecated; the warning is not an error.
  lpadmin -h "$server" -p pw-pdf -E -v "socket://127.0.0.1:$pdfPort" -P "$dir/pw-pdf.ppd" \
    -o printer-is-shared=false 2>"$log/lpadmin.out" || { cat "$log/lpadmin.out" >&2; exit 1; }
  lpadmin -h "$server" -p pw-png -E -v "socket://127.0.0.1:$pngPort" -P "$dir/pw-png.ppd" \
    -o printer-is-shared=false 2>"$log/lpadmin.out" || { cat "$log/lpadmin.out" >&2; exit 1; }
  # No model at all (-m raw is deprecated) gives a queue without a driver: no filter runs and
  # the backend sends the job's bytes as they came.
  lpadmin -h "$server" -p pw-raw -E -v "socket://127.0.0.1:$rawPort" \
    -o printer-is-shared=false 2>"$log/lpadmin.out" || { cat "$log/lpadmin.out" >&2; exit 1; }

  # A queue that is enabled but rejects jobs: submitting must fail, not wait.
  lpadmin -h "$server" -p pw-closed -E -v "socket://127.0.0.1:$rawPort" \
    -o printer-is-shared=false 2>"$log/lpadmin.out" || { cat "$log/lpadmin.out" >&2; exit 1; }
  cupsreject -h "$server" -r "closed for the test" pw-closed

  # A queue that accepts jobs but is disabled keeps them queued for ever: check both states.
  for queue in pw-pdf pw-png pw-raw; do
    if ! lpstat -h "$server" -a "$queue" 2>/dev/null | grep -q 'accepting requests' ||
       ! lpstat -h "$server" -p "$queue" 2>/dev/null | grep -q 'enabled'; then
      echo "cups_server.sh: queue $queue is not enabled and accepting jobs" >&2
      exit 1
    fi
  done
  trap - EXIT
  echo "PORT=$port"
}

case "$command" in
  start) start_server ;;
  stop) stop_server ;;
  *) usage ;;
esac
