#!/usr/bin/env bash
# A few seconds of the side-by-side speed comparison, so that bench/compare keeps
# working: builds the release configuration, runs every tool once on 64 KB and
# the scaling runs in miniature. It measures nothing that can fail a build; it
# fails only when a tool cannot be run or writes no highlighted output.
# bench/compare installs what it needs (ensure_packages, npm ci).
source "$(dirname "$0")/../lib.sh"
ensure_packages "${BASE_PACKAGES[@]}"
"$ROOT/bench/compare" --quick
