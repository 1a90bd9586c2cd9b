#!/usr/bin/env bash
# Installs every Debian package the build, the tests and `make run` need.
# Idempotent: does nothing when all of them are present.
set -euo pipefail

packages=(
  cmake g++ make pkg-config clang-format
  qt6-base-dev qt6-base-dev-tools
  libgtest-dev googletest
  xvfb xauth x11-utils xdotool openbox fonts-dejavu-core fonts-liberation
  util-linux
  desktop-file-utils dpkg-dev
  lintian appstream systemd man-db
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"

# Runs an apt-get command; while another package manager holds apt's locks
# (a fresh desktop's updater at boot), says so and waits, up to five minutes.
apt_get() {
  local waited=0 out
  until out=$($sudo env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=10 "$@" 2>&1); do
    if grep -qE "Could not get lock|Unable to acquire|another process using it" <<< "$out" &&
      [ "$waited" -lt 300 ]; then
      [ "$waited" -eq 0 ] && echo "Another package manager holds apt's lock; waiting for it (up to 5 minutes)..."
      sleep 10
      waited=$((waited + 20))  # the ten seconds apt waited, and ours
    else
      printf '%s\n' "$out" >&2
      return 1
    fi
  done
  [ -z "$out" ] || printf '%s\n' "$out"
}

echo "Installing: ${missing[*]}"
apt_get update -qq
apt_get install -y -qq --no-install-recommends "${missing[@]}"
