#!/usr/bin/env bash
# The release package: builds it with scripts/package.sh and checks what a user
# unpacks: exactly the DLL, the two notes, the two release notes and the
# checksums; the DLL byte for byte the windows-x86 build, naming the commit
# checked out, without the build folder in its bytes, its version the one in
# the package's name; the checksums right; the texts UTF-8 with a byte-order
# mark and CRLF line ends.
# Then builds the package again from a clean clone of that commit, in another
# folder, later, in another time zone and under another umask, and requires
# the same DLL and the same zip, byte for byte.
source "$(dirname "$0")/../lib.sh"
ensure_packages unzip python3-pefile git
head="$(git -C "$ROOT" rev-parse HEAD)"
changes="$(git -C "$ROOT" status --porcelain)"
[ -z "$changes" ] || {
    echo "uncommitted changes; a package is rebuilt from a commit, so commit them first:"
    echo "$changes"
    exit 1
}

zip="$(bash "$ROOT/scripts/package.sh")"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/unpacked"
unzip -q "$zip" -d "$scratch/unpacked"
cd "$scratch/unpacked"

texts="CHANGES.txt CZYTAJ.txt README.txt ZMIANY.txt"
files="$(LC_ALL=C ls | tr '\n' ' ')"
[ "$files" = "CHANGES.txt CZYTAJ.txt README.txt SHA256SUMS ZMIANY.txt lumarix.dll " ] || { echo "the package holds: $files"; exit 1; }
cmp lumarix.dll "$ROOT/build/windows-x86/lumarix.dll"
# Every file but SHA256SUMS itself has its line.
[ "$(awk '{print $2}' SHA256SUMS | LC_ALL=C sort | tr '\n' ' ')" = "$texts lumarix.dll " ] ||
    { echo "SHA256SUMS covers: $(awk '{print $2}' SHA256SUMS | tr '\n' ' ')"; exit 1; }
sha256sum --check --quiet SHA256SUMS
for text in $texts; do
    [ "$(head -c 3 "$text" | od -An -tx1 | tr -d ' ')" = "efbbbf" ] ||
        { echo "$text has no UTF-8 byte-order mark"; exit 1; }
    iconv -f UTF-8 -t UTF-8 "$text" >/dev/null
    [ "$(grep -c $'\r$' "$text")" = "$(wc -l <"$text")" ] ||
        { echo "$text has lines without CRLF"; exit 1; }
done

version="$(basename "$zip" | sed -n 's/^lumarix-\(.*\)-win32\.zip$/\1/p')"
# The release notes say what this release does; they compare it with no
# other release (1.0.0 is the first).
for notes in CHANGES.txt ZMIANY.txt; do
    ! grep -inE 'older|earlier|previous|instead of|starsz|wcześniejsz|poprzedni|dawniej|zamiast' "$notes" ||
        { echo "$notes compares this release with another"; exit 1; }
done
for text in $texts; do
    head -1 "$text" | grep -q "^.*Lumarix $version - " || { echo "$text does not open with the version"; exit 1; }
done
# The DLL's version resource, read as stage 20 reads it, must name the
# package's version and the commit built.
pe_report="$(/usr/bin/python3 "$ROOT/scripts/check_pe.py" dll lumarix.dll --machine i386 \
    --icon "$ROOT/module/lumarix.ico" --commit "$head")" || { echo "$pe_report"; exit 1; }
dll_version="$(sed -n 's/^  ok: version \([0-9.]*\),.*/\1/p' <<<"$pe_report")"
[ "$dll_version" = "$version.0" ] ||
    { echo "the DLL says version $dll_version, the package $version"; exit 1; }
! LC_ALL=C grep -qaF "$ROOT" lumarix.dll || { echo "the DLL holds its build folder $ROOT"; exit 1; }
echo "== $zip: lumarix.dll $dll_version of commit $head, $texts, SHA256SUMS"

# The second build: a clean clone in a deeper folder of another name, its own
# configure and build, a time zone 14 hours east and a umask that leaves
# files unreadable to others; the commit's bytes must not notice.
second="$scratch/second build/lumarix"
git clone --quiet --no-checkout "$ROOT" "$second"
git -C "$second" checkout --quiet --detach "$head"
started=$(date +%s)
second_zip="$(cd "$second" && umask 077 && TZ=UTC-14 bash scripts/package.sh 2>"$scratch/second.log")" ||
    { tail -20 "$scratch/second.log"; exit 1; }
dll="$ROOT/build/windows-x86/lumarix.dll" second_dll="$second/build/windows-x86/lumarix.dll"
! LC_ALL=C grep -qaF "$second" "$second_dll" || { echo "the DLL holds its build folder $second"; exit 1; }
cmp "$dll" "$second_dll" || { echo "the two builds of $head give different DLLs"; exit 1; }
cmp "$zip" "$second_zip" || { echo "the two builds of $head give different zips"; exit 1; }
echo "== a clean clone in $second, built in $(($(date +%s) - started)) s," \
    "linked $(($(stat -c %Y "$second_dll") - $(stat -c %Y "$dll"))) s after the first:" \
    "the same DLL and zip, sha256 $(sha256sum <"$zip" | cut -d' ' -f1)"
