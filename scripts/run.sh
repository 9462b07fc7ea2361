#!/usr/bin/env bash
# Builds the Linux module and the stand-in host, then passes a chat message
# through them and prints the HTML. Usage: scripts/run.sh ['message body']
source "$(dirname "$0")/lib.sh"
ensure_packages "${BASE_PACKAGES[@]}"
build_preset linux -DLUMARIX_TESTS=OFF -DLUMARIX_BENCH=OFF >/dev/null
body="${1:-x [delphi]begin y:=1; end[/delphi] z}"
printf '%s' "$body" | "$ROOT/build/linux/lumarix-host"
echo
