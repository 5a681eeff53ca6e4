#!/usr/bin/env bash
# Runs a command inside a private D-Bus session, so tests never touch the user's own session
# bus or keyring. Tests start any other server they need themselves, on 127.0.0.1.
set -euo pipefail
exec dbus-run-session -- "$@"
