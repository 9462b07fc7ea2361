#!/usr/bin/env bash
# Builds everything and runs every test. Installs what is missing.
# Each stage in scripts/stages/ is a script of its own, run in name order.
source "$(dirname "$0")/lib.sh"
# A stage runs the README's commands, and the README shows this one: never
# start the suite again from inside itself.
[ -z "${LUMARIX_IN_TEST_SH:-}" ] || { echo "scripts/test.sh: already running" >&2; exit 2; }
export LUMARIX_IN_TEST_SH=1
ensure_packages "${BASE_PACKAGES[@]}"
start=$(date +%s)
for stage in "$ROOT"/scripts/stages/*.sh; do
    echo "== stage $(basename "$stage")"
    t0=$(date +%s)
    bash "$stage"
    echo "== stage $(basename "$stage") passed in $(( $(date +%s) - t0 )) s"
done
echo "== all stages passed in $(( $(date +%s) - start )) s"
