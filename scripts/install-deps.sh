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
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
