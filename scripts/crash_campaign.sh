#!/usr/bin/env bash
# The full crash campaign: a sync with pending changes on both sides, killed at every file
# call and cut off from the handheld at every host call, each followed by a clean sync and
# the checks of tests/mapi/crash_campaign.sh. Builds what it needs first. Prints the calls
# covered, trials and violations; exits non-zero on any violation.
# usage: bash scripts/crash_campaign.sh [STRIDE]   (STRIDE 1, the default, runs every call)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh release tethersync torrim mapi32 rescat >/dev/null
export TZ=America/New_York TETHER_CODEPAGE=1252
exec bash tests/mapi/crash_campaign.sh build/bin/tethersync "${1:-1}"
