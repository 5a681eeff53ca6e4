#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Marrowick need, when missing.
# Idempotent; works as root or through sudo.
set -euo pipefail

# QtKeychain loads libsecret at run time to reach the Secret Service; it does not depend on it.
# zlib decodes compressed replies; xcb tells of an X11 tray that starts after the program.
BUILD_PACKAGES=(cmake ninja-build g++ pkg-config qt6-base-dev qcoro-qt6-dev qtkeychain-qt6-dev zlib1g-dev libsecret-1-0
  libxcb1-dev)
# Test services: a private D-Bus session with a Secret Service, a DNS server for SRV lookups,
# an X server, a real notification server to check the alerts against, real clicks and keys,
# the accessibility bus that Qt needs before it keeps an accessibility tree, monitors plugged,
# changed and unplugged on that X server (RandR), and two real window managers to click under.
TEST_PACKAGES=(dbus dbus-x11 gnome-keyring libsecret-tools dnsmasq-base xvfb xauth dunst xdotool at-spi2-core
  libxcb-randr0-dev icewm openbox)
# The fuzz targets need clang's libFuzzer.
FUZZ_PACKAGES=(clang)

want=("${BUILD_PACKAGES[@]}")
if [[ "${1:-}" == "--with-test-tools" ]]; then
  want+=("${TEST_PACKAGES[@]}")
elif [[ "${1:-}" == "--with-fuzz-tools" ]]; then
  want+=("${FUZZ_PACKAGES[@]}")
fi

missing=()
for package in "${want[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

if [[ $(id -u) -eq 0 ]]; then
  as_root=()
elif command -v sudo >/dev/null 2>&1; then
  as_root=(sudo)
else
  echo "Missing packages (${missing[*]}) and neither root nor sudo is available." >&2
  exit 1
fi

echo "Installing: ${missing[*]}"
"${as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
