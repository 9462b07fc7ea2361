#!/usr/bin/env bash
# Memory and undefined-behaviour checks:
# 1. the whole test suite built with AddressSanitizer and UndefinedBehaviorSanitizer
#    (preset linux-asan), run by ctest;
# 2. a short run of each libFuzzer target (preset fuzz) from its seed corpus;
# 3. valgrind over the plain stand-in host (build/linux) on a few messages.
# LUMARIX_FUZZ_SECONDS sets the length of each fuzz run (default 45).
source "$(dirname "$0")/../lib.sh"
ensure_packages "${BASE_PACKAGES[@]}" clang libclang-rt-14-dev llvm valgrind googletest \
    libgtest-dev fpc-source

export ASAN_OPTIONS="abort_on_error=1:detect_leaks=1:strict_string_checks=1:check_initialization_order=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
symbolizer="$(command -v llvm-symbolizer || true)"
[ -n "$symbolizer" ] && export ASAN_SYMBOLIZER_PATH="$symbolizer"

echo "== sanitizer build and tests (build/linux-asan)"
build_preset linux-asan
(cd "$ROOT/build/linux-asan" && ctest --output-on-failure -j2)

echo "== fuzzers (build/fuzz)"
build_preset fuzz
seconds="${LUMARIX_FUZZ_SECONDS:-45}"
findings="$ROOT/build/fuzz/findings"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$findings"
for target in lexer formatter host; do
    mkdir -p "$work/$target"
    # New inputs go to the scratch corpus; the committed seeds are only read.
    if ! "$ROOT/build/fuzz/${target}_fuzzer" -max_total_time="$seconds" -timeout=10 \
        -rss_limit_mb=4096 -dict="$ROOT/fuzz/delphi.dict" -print_final_stats=1 \
        -artifact_prefix="$findings/$target-" "$work/$target" "$ROOT/fuzz/seeds/$target" \
        >"$work/$target.log" 2>&1; then
        tail -n 60 "$work/$target.log"
        echo "== fuzzer $target found a failure; the input is in $findings"
        exit 1
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/$target.log")
    echo "== fuzzer $target: $runs runs in $seconds s, no finding"
done

echo "== valgrind over the stand-in host (build/linux)"
host="$ROOT/build/linux/lumarix-host"
[ -x "$host" ] || build_preset linux
vg() {
    valgrind --quiet --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite \
        "$host" "$@"
}
# valgrind looks for memory errors; the bytes themselves are the test suite's
# business, so each run must only print what the same host prints without it.
body='x [delphi]begin y:=1; end[/delphi] z'
for args in "" --copy "--set LX/Colors/Comments=red --set LX/Style/Bold/Key_words=0"; do
    # shellcheck disable=SC2086 # the arguments are split on purpose
    checked="$(printf '%s' "$body" | vg $args)"  # valgrind's error exit stops the stage here
    # shellcheck disable=SC2086
    [ "$checked" = "$(printf '%s' "$body" | "$host" $args)" ] ||
        { echo "valgrind run '${args:-in place}': output differs from the plain run"; exit 1; }
done
# sed reads every line, so sort never meets a closed pipe (SIGPIPE under pipefail).
pascal="$(find /usr/share/fpcsrc -name '*.pp' -size +20k | sort | sed -n 1p)"
{ printf '[delphi]'; cat "$pascal"; printf '[/delphi]'; } | vg --copy >/dev/null
echo "== valgrind: no errors (a message in place, copied and with settings changed, $(basename "$pascal"))"
