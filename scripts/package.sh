#!/usr/bin/env bash
# Builds the release package for messenger users:
#   build/dist/lumarix-<version>-win32.zip
# holding lumarix.dll (the 32-bit build of preset windows-x86, as it is),
# CZYTAJ.txt (Polish), README.txt (English) and SHA256SUMS. The version is the
# project version in CMakeLists.txt, which also feeds the DLL's version resource.
# Usage: scripts/package.sh
source "$(dirname "$0")/lib.sh"
ensure_packages "${BASE_PACKAGES[@]}" g++-mingw-w64-i686 zip
build_preset windows-x86 >&2

version="$(sed -n 's/^project(Lumarix VERSION \([0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt")"
[ -n "$version" ] || { echo "scripts/package.sh: no project version in CMakeLists.txt" >&2; exit 1; }
dist="$ROOT/build/dist"
name="lumarix-$version-win32"
stage="$dist/$name"
rm -rf "$stage" "$dist/$name.zip"
mkdir -p "$stage"
cp "$ROOT/build/windows-x86/lumarix.dll" "$stage/"

# The texts are for Notepad on Windows: CRLF line ends, and UTF-8 with a
# byte-order mark, which every Notepad since Windows XP reads as UTF-8 whatever
# the system's code page, so the Polish letters show right everywhere.
write_text() {
    { printf '\xEF\xBB\xBF'; sed 's/$/\r/'; } >"$stage/$1"
}

write_text CZYTAJ.txt <<EOF
Lumarix $version - kolorowanie składni Delphi w wiadomościach

Wtyczka koloruje kod źródłowy Delphi, który w wiadomości stoi między
[delphi] i [/delphi]: komentarze, słowa kluczowe, stringi, cyfry i operatory
dostają kolor i styl wybrane w ustawieniach. Tekst poza blokiem zostaje bez zmian.

Instalacja
1. Zamknij komunikator.
2. Skopiuj lumarix.dll do folderu wtyczek komunikatora (tam, gdzie leżą
   jego pozostałe wtyczki DLL, obok programu komunikatora).
3. Uruchom komunikator. Wtyczka nazywa się "Lumarix" i ma własną stronę
   ustawień o tej samej nazwie.
Wtyczka jest 32-bitowa i potrzebuje tylko bibliotek samego Windows
(KERNEL32.dll, msvcrt.dll); nie trzeba niczego doinstalowywać.

Ustawienia
Na stronie "Lumarix" każda kategoria ma pole koloru i przełączniki
Pogrubiony, Pochylony, Podkreślony. Kolor wpisujemy w postaci szesnastkowej
z # na początku: #RRGGBB, na przykład #00AA00 (zielony) albo #7F0055.

Gdy nic nie jest kolorowane
- Znaczniki piszemy małymi literami i zawsze oba: [delphi] ... [/delphi].
- Po skopiowaniu DLL trzeba ponownie uruchomić komunikator.
Gdy kolor nie działa: sprawdź, czy ma postać #RRGGBB.

Odinstalowanie
Zamknij komunikator, usuń lumarix.dll z folderu wtyczek i uruchom go znowu.
Ustawienia wtyczki (klucze LX/...) zostają w ustawieniach komunikatora;
wtyczka nie zapisuje niczego innego.

Sumy kontrolne plików są w SHA256SUMS.
EOF

write_text README.txt <<EOF
Lumarix $version - Delphi syntax colouring in chat messages

The plug-in colours Delphi source that a chat message holds between [delphi]
and [/delphi]: comments, key words, strings, numbers and operators get the
colour and style chosen on its settings page. Text outside the block stays
as it was.

Installing
1. Close the messenger.
2. Copy lumarix.dll into the messenger's plug-in folder (where its other
   plug-in DLLs are, beside the messenger's program).
3. Start the messenger. The plug-in is called "Lumarix" and has a settings
   page of the same name.
The plug-in is 32-bit and needs only Windows' own libraries (KERNEL32.dll,
msvcrt.dll); there is nothing else to install.

Settings
On the "Lumarix" page each category has a colour field and the switches
Pogrubiony (bold), Pochylony (italic) and Podkreślony (underline). Enter a
colour in hexadecimal starting with #: #RRGGBB, for example #00AA00 (green)
or #7F0055.

When nothing is coloured
- The markers are lower case, and both are needed: [delphi] ... [/delphi].
- After copying the DLL the messenger must be restarted.
When a colour is ignored: check that it has the form #RRGGBB.

Uninstalling
Close the messenger, delete lumarix.dll from the plug-in folder and start it
again. The plug-in's settings (keys LX/...) stay in the messenger's settings;
the plug-in writes nothing else.

The files' checksums are in SHA256SUMS.
EOF

(cd "$stage" && sha256sum lumarix.dll CZYTAJ.txt README.txt >SHA256SUMS)
# Fixed times and order, so the same files give the same zip.
touch -d "@$(git -C "$ROOT" log -1 --format=%ct 2>/dev/null || date +%s)" "$stage"/*
(cd "$stage" && zip -q -X "../$name.zip" lumarix.dll CZYTAJ.txt README.txt SHA256SUMS)
rm -rf "$stage"
echo "$dist/$name.zip"
