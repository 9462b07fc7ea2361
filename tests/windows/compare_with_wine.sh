#!/usr/bin/env bash
# Feeds the same chat messages through a Windows build (lumarix-host.exe and
# lumarix.dll under Wine, so through the Windows loader) and through the Linux
# build, and requires the same output bytes and exit statuses. Also checks the
# values --info reads from the Windows module's version resource (the source
# commit among them) and icon.
#
# Usage: tests/windows/compare_with_wine.sh [x64|x86]
#   x64 (the default): build/windows-x64 under 64-bit Wine, natively.
#   x86: build/windows-x86, the product, under 32-bit Wine. On a machine
#   without 32-bit support Wine's 32-bit half runs under qemu-i386 (binfmt_misc)
#   and every program start costs about a minute, so all messages that share
#   the host's arguments go to one lumarix-host run (--message, repeated).
# Environment: LUMARIX_LINUX_BUILD (default build/linux), LUMARIX_WINDOWS_BUILD
# (default build/windows-ARCH), LUMARIX_PASCAL_FILES (files spread over the
# Free Pascal sources, default 40), LUMARIX_KEEP_WORK=1 (keep the cases and the
# Wine prefix for a look afterwards).
set -euo pipefail

ARCH="${1:-x64}"
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
LINUX_HOST="${LUMARIX_LINUX_BUILD:-$ROOT/build/linux}/lumarix-host"
WINDOWS_HOST="${LUMARIX_WINDOWS_BUILD:-$ROOT/build/windows-$ARCH}/lumarix-host.exe"
PASCAL_FILE_COUNT="${LUMARIX_PASCAL_FILES:-40}"
FPCSRC=/usr/share/fpcsrc
# One 64-bit Wine serves both: a prefix gets its 32-bit half when Debian's
# wine32 is installed, and a 64-bit cmd starts 32-bit programs through the
# 32-bit loader. Only those are then emulated, not the batch's cmd as well.
WINE=/usr/lib/wine/wine64
WINESERVER_BIN=/usr/lib/wine/wineserver64
case "$ARCH" in
x64) LOADER=/usr/lib/wine/wine64 LOADER_PACKAGE=wine64 ;;
x86) LOADER=/usr/lib/wine/wine LOADER_PACKAGE=wine32:i386 ;;
*)
    echo "usage: $0 [x64|x86]" >&2
    exit 2
    ;;
esac
EXAMPLE='x [delphi]begin y:=1; end[/delphi] z'

fail() {
    echo "compare_with_wine ($ARCH): $*" >&2
    exit 1
}

[ -x "$LINUX_HOST" ] || fail "no $LINUX_HOST; build preset linux first"
[ -f "$WINDOWS_HOST" ] || fail "no $WINDOWS_HOST; build preset windows-$ARCH first"
[ -x "$LOADER" ] || fail "no $LOADER; install Debian's $LOADER_PACKAGE"
[ -x "$WINE" ] && [ -x "$WINESERVER_BIN" ] || fail "no $WINE; install Debian's wine64"
[ -d "$FPCSRC" ] || fail "no $FPCSRC; install Debian's fpc-source"

work="$(mktemp -d "${TMPDIR:-/tmp}/lumarix-wine.XXXXXX")"
# A fresh prefix each run, so the result never depends on an earlier one.
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINESERVER="$WINESERVER_BIN"
# No Mono or Gecko installers while the prefix is made; nothing here needs them.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
cleanup() {
    "$WINESERVER_BIN" -k >/dev/null 2>&1 || true
    [ -n "${LUMARIX_KEEP_WORK:-}" ] || rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$WINEPREFIX" "$work/cases"

windows_path() { printf 'Z:%s' "${1//\//\\}"; }

# --- The messages -------------------------------------------------------------
# Each case is a directory with standard input (input), the host's arguments
# (args, one a line; paths are relative to the case directory), the message
# files they name (m0, m1, ...) and what a correct answer looks like (expect:
# html, unchanged, page, error or info). A case marked linux-only is a
# baseline for another and costs Wine no start.
cases=()
new_case() { # NAME EXPECT ARG...
    local name="$1" expect="$2"
    shift 2
    local dir="$work/cases/$name"
    mkdir "$dir"
    : >"$dir/args"
    local arg
    for arg in "$@"; do
        # Each argument goes into a cmd batch line inside double quotes.
        case "$arg" in *[\"%$'\n']*) fail "case $name: argument '$arg' cannot pass through cmd" ;; esac
        printf '%s\n' "$arg" >>"$dir/args"
    done
    echo "$expect" >"$dir/expect"
    cases+=("$name")
}

add_case() { # NAME EXPECT INPUT ARG...: INPUT on standard input
    local name="$1" expect="$2" input="$3"
    shift 3
    new_case "$name" "$expect" "$@"
    cp "$input" "$work/cases/$name/input"
    cp "$input" "$work/cases/$name/unchanged"
}

add_batch() { # NAME EXPECT ARG... -- FILE...: the FILEs as messages of one run
    local name="$1" expect="$2"
    shift 2
    local args=()
    while [ "$1" != -- ]; do
        args+=("$1")
        shift
    done
    shift
    local k
    for ((k = 1; k <= $#; k++)); do args+=(--message "m$k"); done
    new_case "$name" "$expect" "${args[@]}"
    local dir="$work/cases/$name" file
    : >"$dir/input"
    k=0
    for file in "$@"; do
        k=$((k + 1))
        cp "$file" "$dir/m$k"
        # The host joins the answers with form feeds.
        [ "$k" = 1 ] || printf '\f' >>"$dir/unchanged"
        cat "$file" >>"$dir/unchanged"
    done
}

linux_only() { touch "$work/cases/${cases[-1]}/linux-only"; }
# Under emulation each Windows program start costs about a minute: the cases
# that only repeat what the others cover, by another way in, run on x64 alone.
x64_only() { [ "$ARCH" = x64 ] || linux_only; }

# The last case changes settings, so its answer must differ from BASELINE's:
# two builds that both ignored the settings would agree too.
differs_from() { echo "$1" >"$work/cases/${cases[-1]}/baseline"; }

message() { # NAME TEXT: a file holding TEXT
    printf '%s' "$2" >"$work/$1"
    echo "$work/$1"
}

wrap_file() { # NAME FILE...: each FILE as a marked block, with chat text around
    local out="$work/$1" file
    shift
    printf 'Look at this:' >"$out"
    for file in "$@"; do
        printf '\n[delphi]' >>"$out"
        cat "$file" >>"$out"
        printf '[/delphi]\nand' >>"$out"
    done
    printf ' that is all.' >>"$out"
    echo "$out"
}

has_nul() { LC_ALL=C grep -qaP '\x00' "$1"; }

# An even spread over the sorted Pascal sources (as the unit tests pick them),
# plus the first file with bytes above 127 and the first with carriage returns.
pick_pascal_files() {
    local list="$work/pascal-files" total k line file
    find "$FPCSRC" -type f \( -name '*.pas' -o -name '*.pp' -o -name '*.inc' \) -size +0 |
        LC_ALL=C sort >"$list"
    total=$(wc -l <"$list")
    [ "$total" -ge "$PASCAL_FILE_COUNT" ] || fail "only $total Pascal files in $FPCSRC"
    for ((k = 0; k < PASCAL_FILE_COUNT; k++)); do
        line=$((k * total / PASCAL_FILE_COUNT + 1))
        file="$(sed -n "${line}p" "$list")"
        # A chat message cannot carry a NUL byte; take the next file then.
        while has_nul "$file"; do
            line=$((line + 1))
            file="$(sed -n "${line}p" "$list")"
        done
        echo "$file"
    done
    for pattern in '[\x80-\xff]' '\r'; do
        file="$(tr '\n' '\0' <"$list" | LC_ALL=C xargs -0 grep -laP "$pattern" 2>/dev/null |
            while read -r f; do has_nul "$f" || { echo "$f"; break; }; done)" || true
        [ -n "$file" ] || fail "no Pascal file matches $pattern"
        echo "$file"
    done
}

mapfile -t pascal < <(pick_pascal_files)
[ "${#pascal[@]}" -eq $((PASCAL_FILE_COUNT + 2)) ] || fail "could not pick the Pascal files"

# The hostile bodies of the bad-input tests: floods of markers, every byte
# value (a chat message carries no NUL), dense operators and escaped bytes.
hostile_bodies() {
    python3 - "$work/hostile" <<'PY'
import os, sys
out = sys.argv[1]
os.mkdir(out)
every = bytes(range(1, 256))
bodies = {
    "empty-blocks": b"a" + b"[delphi][/delphi]" * 100000 + b"z",
    "opening-markers": b"[/delphi] " + b"[delphi]" * 100000,
    "closing-then-opening": b"[/delphi]" * 100000 + b"[delphi]",
    "markers-in-one-block": b"[delphi]" * 100000 + b"[/delphi]",
    "every-byte-outside": every + b"[delphi][/delphi]" + every,
    "every-byte-alone": b"".join(b"[delphi]" + bytes([b]) + b"[/delphi]" for b in range(1, 256)),
    "every-byte-in-one": b"[delphi]" + every + b"[/delphi]",
    "long-comment-lines": b"head [delphi]"
    + b"x := 1; { a < b & c > d " + b"c" * 1000 + b" } 'str' + y;\n" * 2000 + b"[/delphi] tail",
    "special-bytes": b"[delphi]" + b"&<>" * 1000000 + b"[/delphi]",
    "dense-code": b"[delphi]" + b"a:=b+1;x[i]:=(y*2)-z;\n" * 100000 + b"[/delphi]",
    "unterminated": b"[delphi]{ never closed 'nor this (* [/delphi] after [delphi]'[/delphi]",
}
for name, body in bodies.items():
    with open(os.path.join(out, name), "wb") as f:
        f.write(body)
PY
    ls -d "$work/hostile/"*
}
mapfile -t hostile < <(hostile_bodies)

example="$(message example "$EXAMPLE")"
two_blocks="$(wrap_file two-blocks "${pascal[2]}" "${pascal[3]}")"
# Every category in a block of its own, then two real files: what the settings change.
all_kinds="$work/all-kinds"
printf '%s\n' '[delphi]{ comment } (* another *) // line' \
    "procedure P(const S: string); begin X := 'text' + #13 + S; Y := \$FF + 12.5e3; end;[/delphi]" \
    >"$all_kinds"
cat "$two_blocks" >>"$all_kinds"
wrapped=()
for k in "${!pascal[@]}"; do wrapped+=("$(wrap_file "pascal-$k" "${pascal[$k]}")"); done

add_case example html "$example"
x64_only
add_batch messages html -- "$example" "${wrapped[@]}" "$two_blocks" "$all_kinds" "${hostile[@]}"
add_batch no-markers unchanged -- "$(message plain 'no code here [delphi] only an opening marker')" \
    "$(message closing 'only a closing marker [/delphi] here')" "$work/hostile/opening-markers"
x64_only
add_batch copy html --copy -- "$example" "${wrapped[4]}" "$two_blocks"
add_batch all-kinds html -- "$all_kinds"
linux_only
add_batch switches html --set LX/Colors/Numbers=red --set LX/Style/Italic/Key_words=1 -- "$all_kinds"
differs_from all-kinds
x64_only
add_batch settings-file html --settings settings.txt --set LX/Style/Italic/Key_words=1 -- "$all_kinds"
differs_from all-kinds
# Comments, a CRLF line, a key set twice (the later value wins), markers and
# 10,000 bytes in colours.
{
    printf '%s\n' '# colours and styles for the comparison' 'LX/Colors/Comments=#00AA00' \
        'LX/Colors/Strings=#123456' 'LX/Style/Bold/Key_words=0' $'LX/Style/Underline/Operators=1\r' \
        'LX/Style/Bold/Numbers=1' 'LX/Colors/Comments=green' 'LX/Colors/Key_words=[delphi]' \
        'LX/Colors/Operators=[delphi][/delphi]'
    printf 'LX/Colors/Numbers='
    head -c 10000 /dev/zero | tr '\0' '#'
    printf '\n'
} >"$work/cases/settings-file/settings.txt"
# A message whose comment names both markers, its result handed back, and a
# string under a mistyped colour: the result must pass unchanged, and the
# colour stay inside its attribute.
printf '%s\n' 'LX/Colors/Strings=#00AA00">' >"$work/mistyped-colour"
markers="$(message markers-in-comment $'[delphi]x := 1; // put code between [delphi] and [/delphi]\n[/delphi]')"
"$LINUX_HOST" --settings "$work/mistyped-colour" <"$markers" >"$work/highlighted-once"
add_batch final-output html --settings colours.txt -- "$work/highlighted-once" "$markers" \
    "$(message mistyped-colour-string "[delphi]s := 'x';[/delphi]")"
cp "$work/mistyped-colour" "$work/cases/final-output/colours.txt"
add_case example-copy html "$example" --copy
linux_only
add_case settings-copy html "$example" --copy --set LX/Style/Underline/Numbers=1 \
    --set LX/Colors/Key_words=#0000FF
differs_from example-copy
x64_only
add_case unknown-key error "$example" --set LX/Colors/Nothing=red
x64_only
add_case info info "$example" --info
add_case page page "$example" --page
x64_only
add_case page-settings page "$example" --set LX/Colors/Numbers=#00FF00 \
    --set LX/Style/Italic/Strings=1 --toggle Cyfry --page
differs_from page

# --- Linux --------------------------------------------------------------------
for name in "${cases[@]}"; do
    dir="$work/cases/$name"
    mapfile -t args <"$dir/args"
    status=0
    (cd "$dir" && "$LINUX_HOST" "${args[@]}" <input >linux.out 2>linux.err) || status=$?
    echo "$status" >"$dir/linux.rc"
done

# --- Windows: every case from one cmd batch, so Wine starts once -------------
{
    echo '@echo off'
    for name in "${cases[@]}"; do
        dir="$work/cases/$name"
        [ -e "$dir/linux-only" ] && continue
        line="\"$(windows_path "$WINDOWS_HOST")\""
        while IFS= read -r arg; do line+=" \"$arg\""; done <"$dir/args"
        echo "cd /d \"$(windows_path "$dir")\""
        echo "$line <input >windows.out 2>windows.err"
        # The space before > keeps a one-digit status from reading as a handle.
        echo 'echo rc %ERRORLEVEL% >windows.rc'
    done
    # cmd would pass on the last case's status; the statuses are in the files.
    echo 'exit 0'
} | sed 's/$/\r/' >"$work/run.cmd"

"$WINESERVER_BIN" -p
started=$(date +%s)
timeout 1500 "$WINE" cmd /c "$(windows_path "$work/run.cmd")" >"$work/wine.log" 2>&1 ||
    { cat "$work/wine.log" >&2; fail "wine cmd /c run.cmd failed"; }
runs=$(grep -c '^cd ' "$work/run.cmd")
messages=$(grep -o ' "--message"' "$work/run.cmd" | wc -l)
echo "wine ran $runs host runs in $(($(date +%s) - started)) s (one cmd, fresh prefix)"

# --- Comparison ---------------------------------------------------------------
identity_lines() { LC_ALL=C grep -a '^300[0-9][0-9]: ' "$1" || true; }
problems=0
problem() {
    echo "  DIFFERENT: $*"
    problems=$((problems + 1))
}

for name in "${cases[@]}"; do
    dir="$work/cases/$name"
    expect="$(cat "$dir/expect")"
    linux_rc="$(cat "$dir/linux.rc")"
    # The two agreeing is not enough: both must also give a sound answer.
    case "$expect" in
    error)
        [ "$linux_rc" = 2 ] && [ ! -s "$dir/linux.out" ] || problem "$name: expected exit 2 and no output"
        ;;
    *)
        [ "$linux_rc" = 0 ] || problem "$name: exit status $linux_rc: $(head -c 300 "$dir/linux.err")"
        ;;
    esac
    case "$expect" in
    html) grep -q 'face="Courier New"' "$dir/linux.out" || problem "$name: no highlighted block" ;;
    unchanged) cmp -s "$dir/unchanged" "$dir/linux.out" || problem "$name: body changed" ;;
    page) [ -s "$dir/linux.out" ] || problem "$name: empty page" ;;
    esac
    if [ -f "$dir/baseline" ] && cmp -s "$dir/linux.out" "$work/cases/$(cat "$dir/baseline")/linux.out"; then
        problem "$name: the settings changed nothing against $(cat "$dir/baseline")"
    fi
    if [ -e "$dir/linux-only" ]; then
        echo "  baseline: $name ($(wc -c <"$dir/linux.out") bytes on Linux)"
        continue
    fi
    windows_rc="$(awk '{print $2}' "$dir/windows.rc" 2>/dev/null || echo missing)"
    if [ "$linux_rc" != "$windows_rc" ]; then
        problem "$name: exit status $linux_rc on Linux, $windows_rc on Windows ($(head -c 300 "$dir/windows.err"))"
        continue
    fi
    if [ "$expect" = info ]; then
        identity_lines "$dir/linux.out" >"$dir/linux.identity"
        identity_lines "$dir/windows.out" >"$dir/windows.identity"
        [ "$(wc -l <"$dir/linux.identity")" = 8 ] || problem "$name: not 8 identity lines"
        if cmp -s "$dir/linux.identity" "$dir/windows.identity"; then
            echo "  same: $name (identity lines 30010-30017)"
        else
            problem "$name: identity lines differ: $(diff "$dir/linux.identity" "$dir/windows.identity" | head -5)"
        fi
    elif cmp -s "$dir/linux.out" "$dir/windows.out"; then
        echo "  same: $name ($(wc -c <"$dir/linux.out") bytes, exit $linux_rc)"
    else
        problem "$name: output differs: $(cd "$dir" && cmp linux.out windows.out 2>&1 | head -1)"
    fi
done

final="$work/cases/final-output/linux.out"
head -c "$(wc -c <"$work/highlighted-once")" "$final" | cmp -s - "$work/highlighted-once" ||
    problem "final-output: a result handed back was highlighted again"
grep -qF '<font color="#00AA00&quot;&gt;">'"'x'"'</font>' "$final" ||
    problem "final-output: the mistyped colour is not escaped in its attribute"

# What the Windows host read from the module's resources through the Win32 API.
# Comments names the commit checked out, and says so when the work tree differs
# from it (the build finds both the same way; build again after a commit).
info="$work/cases/info/windows.out"
commit="commit $(git -C "$ROOT" rev-parse HEAD)"
[ -z "$(git -C "$ROOT" status --porcelain)" ] || commit+=" + niezatwierdzone zmiany"
for want in 'file version: 1.0.0.0' 'product version: 1.0.0.0' 'translation: 0x0415 1250' \
    'InternalName: "Lumarix"' 'OriginalFilename: "lumarix.dll"' "Comments: \"$commit\"" \
    'icon 100 images: 16x16 8 bpp'; do
    grep -qFx "$want" "$info" || problem "info: Windows --info lacks '$want'"
done
# The loaded icon's colour bitmap takes the display's depth; its size must be 16 x 16.
grep -qx 'icon 100 loaded: 16x16 [0-9]* bpp' "$info" || problem "info: Windows --info lacks a 16x16 loaded icon"
if [ "$problems" -eq 0 ]; then
    echo "  ok: Windows --info: $(grep -c '' "$info") lines, version 1.0.0.0, translation 0x0415/1250, $commit, icon 100 16x16 at 8 bpp"
fi

if [ "$problems" -ne 0 ]; then
    [ -n "${LUMARIX_KEEP_WORK:-}" ] && echo "  the cases are kept in $work/cases"
    fail "$problems differences between the Windows and the Linux build (LUMARIX_KEEP_WORK=1 keeps the cases)"
fi
echo "Wine comparison ($ARCH): $runs host runs, $messages messages by file, identical on Windows and Linux"
