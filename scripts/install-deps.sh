#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need (only those missing).
set -euo pipefail
PKGS=(
  cmake ninja-build g++ clang pkg-config ccache git python3
  libgtest-dev libgmock-dev libbenchmark-dev
  libsqlite3-dev libicu-dev libgmime-3.0-dev libcurl4-openssl-dev libxxhash-dev libcrypt-dev
  locales-all python3-aiosmtpd tzdata
  man-db dpkg-dev file
  qt6-base-dev xvfb xauth
)
missing=()
for p in "${PKGS[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi
  $SUDO apt-get update -q
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
