#!/usr/bin/env bash
# The browser check: chat previews written by the stand-in host, opened in
# headless Chromium and judged by what a reader sees (computed styles), and
# the README's picture compared with what the program draws now.
source "$(dirname "$0")/../lib.sh"
ensure_packages chromium fonts-liberation
# Node.js 20 with its npm may already be there from outside Debian's archive;
# Debian's packages come in only for a command that is missing.
command -v node >/dev/null || ensure_packages nodejs
command -v npm >/dev/null || ensure_packages npm
build_preset linux  # stage 10 has built it; this only brings it up to date
cd "$ROOT/tests/browser"
npm ci --no-audit --no-fund --prefer-offline
export LUMARIX_HOST="$ROOT/build/linux/lumarix-host"
node --test --test-timeout=300000 preview.test.mjs
# The README's picture must be what the program draws today: the screenshot
# script draws it again and compares the pixels with docs/preview.png.
node screenshot.mjs --check
