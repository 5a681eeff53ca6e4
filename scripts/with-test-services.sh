#!/usr/bin/env bash
# Runs a command inside a private D-Bus session with its own unlocked Secret Service, so tests
# never touch the user's own session bus or keyring. Tests start any other server they need
# themselves, on 127.0.0.1.
set -euo pipefail

if [[ "${1:-}" != "--inside-private-session" ]]; then
  # The bus reads a configuration of its own whose only service folder is empty: nothing
  # installed on the machine (a notification daemon, say) is started on demand behind a test.
  bus=$(mktemp -d)
  trap 'rm -rf "$bus"' EXIT
  mkdir "$bus/services"
  cat > "$bus/session.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <keep_umask/>
  <listen>unix:tmpdir=/tmp</listen>
  <auth>EXTERNAL</auth>
  <servicedir>$bus/services</servicedir>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
EOF
  status=0
  dbus-run-session --config-file="$bus/session.conf" -- bash "$0" --inside-private-session "$@" || status=$?
  exit "$status"
fi
shift

scratch=$(mktemp -d)
keyring_pid=
accessibility_pid=
cleanup() {
  [[ -n "$keyring_pid" ]] && kill "$keyring_pid" 2>/dev/null || true
  [[ -n "$accessibility_pid" ]] && kill "$accessibility_pid" 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT

# A keyring of its own: a throw-away home, data and runtime folder, and a throw-away password,
# which the keyring tests use to unlock it again after locking it. No prompter can start on
# this bus, so a prompt of the keyring ends at once, as a declined one does.
mkdir -p "$scratch/home" "$scratch/data" "$scratch/runtime"
chmod 700 "$scratch/runtime"
export XDG_DATA_HOME="$scratch/data" XDG_RUNTIME_DIR="$scratch/runtime"
export MARROWICK_TEST_KEYRING_PASSWORD=throw-away
if command -v gnome-keyring-daemon >/dev/null 2>&1; then
  HOME="$scratch/home" gnome-keyring-daemon --foreground --unlock --components=secrets \
    < <(printf '%s' "$MARROWICK_TEST_KEYRING_PASSWORD") > "$scratch/keyring.log" 2>&1 &
  keyring_pid=$!
  for _ in $(seq 100); do
    if dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null | grep -q "boolean true"; then
      export MARROWICK_TEST_SECRET_SERVICE=1
      break
    fi
    sleep 0.05
  done
  if [[ -z "${MARROWICK_TEST_SECRET_SERVICE:-}" ]]; then
    echo "The private Secret Service did not start:" >&2
    cat "$scratch/keyring.log" >&2
    exit 1
  fi
fi

# The accessibility bus of a desktop session, one for every test on this bus: Qt turns its
# accessibility on only where there is one, and tests that check what a screen reader is told
# run side by side.
for launcher in /usr/libexec/at-spi-bus-launcher /usr/lib/at-spi2-core/at-spi-bus-launcher; do
  [[ -x "$launcher" ]] || continue
  "$launcher" --launch-immediately > "$scratch/accessibility.log" 2>&1 &
  accessibility_pid=$!
  for _ in $(seq 100); do
    dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
      org.freedesktop.DBus.NameHasOwner string:org.a11y.Bus 2>/dev/null | grep -q "boolean true" && break
    sleep 0.05
  done
  break
done

"$@"
