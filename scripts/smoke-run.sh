#!/usr/bin/env bash
# Starts a built marrowick as a user would, for a few seconds: offscreen, in a throw-away home,
# with one TCP-port source on 127.0.0.1. Passes when it polled the source, wrote the poll into
# its history and exited with status 0 on SIGTERM. Usage: scripts/smoke-run.sh path/to/marrowick
set -euo pipefail

program=$(realpath "$1")
home=$(mktemp -d)
pid=
cleanup() {
  [[ -n "$pid" ]] && kill -KILL "$pid" 2>/dev/null || true
  rm -rf "$home"
}
trap cleanup EXIT

fail() {
  echo "Smoke run: $1" >&2
  echo "--- its output:" >&2
  cat "$home/output.log" >&2
  exit 1
}

data="$home/.local/share/Marrowick"
mkdir -p "$data"
id=5e1f0c2a-6d3b-4c8e-9f00-00000000cafe
# Port 1: nothing listens there, so the poll is answered at once (refused) and recorded as down.
cat > "$data/sources.json" <<EOF
[{"tcpPort":{"_0":{"id":"$id","displayName":"Smoke","pollInterval":60,
  "alertsEnabled":true,"alertThreshold":1,"host":"127.0.0.1","port":1}}}]
EOF

HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share" \
  XDG_CACHE_HOME="$home/.cache" QT_QPA_PLATFORM=offscreen "$program" > "$home/output.log" 2>&1 &
pid=$!

# The first poll starts at launch; a refused connection answers within milliseconds.
sleep 2
kill -0 "$pid" 2>/dev/null || fail "it stopped by itself"
kill -TERM "$pid"
for _ in $(seq 100); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$pid" 2>/dev/null && fail "it did not exit within 10 seconds of SIGTERM"
status=0
wait "$pid" || status=$?
pid=
[[ $status -eq 0 ]] || fail "it exited with status $status on SIGTERM"
[[ -f "$data/history.json" ]] || fail "it wrote no history.json"
# The history keys each series by its source id, in upper case.
grep -qi "\"$id" "$data/history.json" || fail "its history has no poll of the source"
echo "Smoke run: polled, wrote its history and exited 0 on SIGTERM"
