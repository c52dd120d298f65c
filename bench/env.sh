#!/usr/bin/env bash
# What the window's load spends on the machine report and the update check:
# yanhe-cli probe, and yanhe-cli check-update against servers that answer
# badly (refused, never answering, dripping a byte at a time, unroutable) and
# against the carried address.
#   bench/env.sh      (after `make build`)
set -euo pipefail
cd "$(dirname "$0")/.."
cli=${BUILD:-build}/src/yanhe-cli
app=$(mktemp -d /tmp/yanhe-bench-env.XXXXXX)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true; rm -rf "$app"' EXIT
export YANHE_APP_FOLDER=$app

ms() { # wall-clock milliseconds of one run of the command
  local s e
  s=$(date +%s%N)
  "$@" >/dev/null 2>&1 || true
  e=$(date +%s%N)
  echo $(((e - s) / 1000000))
}

best=999999
for _ in 1 2 3 4 5; do
  t=$(ms "$cli" probe)
  ((t < best)) && best=$t
done
echo "yanhe-cli probe (three probes, nothing started): best of 5 ${best} ms"
"$cli" probe | head -1

# A server on loopback that accepts and then behaves as told; prints its port.
serve() {
  python3 -u - "$1" <<'PY' &
import socket, sys, threading, time
kind = sys.argv[1]
server = socket.socket()
server.bind(("127.0.0.1", 0))
server.listen(16)
print(server.getsockname()[1], flush=True)
held = []
def drip(conn):
    try:
        conn.recv(65536)
        conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: 100000\r\nContent-Type: text/plain\r\n\r\n")
        while True:
            conn.sendall(b" ")
            time.sleep(0.5)
    except OSError:
        pass  # the client gave up
while True:
    conn, _ = server.accept()
    held.append(conn)
    if kind == "drip":
        threading.Thread(target=drip, args=(conn,), daemon=True).start()
PY
  pids+=($!)
}

for kind in silent drip; do
  serve "$kind" >"$app/$kind.port"
  until [ -s "$app/$kind.port" ]; do sleep 0.1; done
  port=$(head -1 "$app/$kind.port")
  what=$([ $kind = silent ] && echo "never answers" || echo "sends a byte every 500 ms")
  echo "check-update, a server that $what: $(ms "$cli" check-update --address "http://127.0.0.1:$port/") ms"
done
closed=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
echo "check-update, connection refused: $(ms "$cli" check-update --address "http://127.0.0.1:$closed/") ms"
echo "check-update, unroutable address (10.255.255.1): $(ms "$cli" check-update --address "http://10.255.255.1/") ms"
echo "check-update, the carried address ($("$cli" update-address)): $(ms "$cli" check-update) ms"
