#!/usr/bin/env bash
# Builds the Linux module and the stand-in host, then passes a chat message
# through them and prints the HTML.
# Usage: scripts/run.sh [lumarix-host OPTION]... ['message body']
# Without a message body the worked example is sent; '' sends an empty message,
# and "-- BODY" a body that starts with "-".
# The build goes to build/run (its own directory, no tests), and its progress
# and any compiler error go to standard error, so standard output is the HTML.
source "$(dirname "$0")/lib.sh"
ensure_packages "${BASE_PACKAGES[@]}"
build="$ROOT/build/run"
{
    [ -f "$build/build.ninja" ] || cmake -S "$ROOT" -B "$build" -G Ninja \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMARIX_TESTS=OFF -DLUMARIX_BENCH=OFF
    cmake --build "$build" --target lumarix-host
} >&2
host="$build/lumarix-host"

# The host's own help says which options take a value ("  --set KEY=VALUE ...").
mapfile -t valued < <("$host" --help | awk '$1 ~ /^--/ && $2 ~ /^[A-Z]/ { print $1 }')
options=()
body="x [delphi]begin y:=1; end[/delphi] z"
given=0
while [ $# -gt 0 ]; do
    if [ "$1" = -- ] && [ $# -eq 2 ] && [ "$given" -eq 0 ]; then  # a body starting with "-"
        body="$2"
        break
    elif [[ "$1" == -* ]]; then
        options+=("$1")
        if [[ " ${valued[*]} " == *" $1 "* ]] && [ $# -gt 1 ]; then
            options+=("$2")
            shift
        fi
    elif [ "$given" -eq 0 ]; then
        body="$1"
        given=1
    else
        echo "scripts/run.sh: one message body only; got '$body' and '$1'" >&2
        exit 2
    fi
    shift
done
printf '%s' "$body" | "$host" "${options[@]}"
echo
