#!/usr/bin/env bash
# Builds the release tree and the Debian package from it (build/package/tethermail_*.deb).
# Install it with: apt-get install ./build/package/tethermail_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh release
cpack -G DEB -B build/package --config build/CPackConfig.cmake
ls build/package/tethermail_*.deb
