#!/usr/bin/env bash
# The release package: builds it with scripts/package.sh and checks what a user
# unpacks: exactly the DLL, the two texts and the checksums; the DLL byte for
# byte the windows-x86 build, its version the one in the package's name; the
# checksums right; the texts UTF-8 with a byte-order mark and CRLF line ends.
source "$(dirname "$0")/../lib.sh"
ensure_packages unzip python3-pefile
zip="$(bash "$ROOT/scripts/package.sh")"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
unzip -q "$zip" -d "$scratch"
cd "$scratch"

files="$(LC_ALL=C ls | tr '\n' ' ')"
[ "$files" = "CZYTAJ.txt README.txt SHA256SUMS lumarix.dll " ] ||
    { echo "the package holds: $files"; exit 1; }
cmp lumarix.dll "$ROOT/build/windows-x86/lumarix.dll"
sha256sum --check --quiet SHA256SUMS
for text in CZYTAJ.txt README.txt; do
    [ "$(head -c 3 "$text" | od -An -tx1 | tr -d ' ')" = "efbbbf" ] ||
        { echo "$text has no UTF-8 byte-order mark"; exit 1; }
    iconv -f UTF-8 -t UTF-8 "$text" >/dev/null
    [ "$(grep -c $'\r$' "$text")" = "$(wc -l <"$text")" ] ||
        { echo "$text has lines without CRLF"; exit 1; }
done

version="$(basename "$zip" | sed -n 's/^lumarix-\(.*\)-win32\.zip$/\1/p')"
# The fixed part of the version resource starts with its signature 0xFEEF04BD.
# The DLL's version resource, read as stage 20 reads it, must name the package's version.
pe_report="$(/usr/bin/python3 "$ROOT/scripts/check_pe.py" dll lumarix.dll --machine i386 \
    --icon "$ROOT/module/lumarix.ico")" || { echo "$pe_report"; exit 1; }
dll_version="$(sed -n 's/^  ok: version \([0-9.]*\),.*/\1/p' <<<"$pe_report")"
[ "$dll_version" = "$version.0" ] ||
    { echo "the DLL says version $dll_version, the package $version"; exit 1; }
echo "== $zip: lumarix.dll $dll_version (the windows-x86 build), CZYTAJ.txt, README.txt, SHA256SUMS"
