#!/usr/bin/env bash
# Builds, then runs a sync on built-in sample data in a temporary folder.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh release
exec build/bin/tethersync demo "$@"
