#!/usr/bin/env bash
# Builds the release package for messenger users:
#   build/dist/lumarix-<version>-win32.zip
# holding lumarix.dll (the 32-bit build of preset windows-x86, as it is),
# CZYTAJ.txt and ZMIANY.txt (Polish), README.txt and CHANGES.txt (English) and
# SHA256SUMS; ZMIANY.txt and CHANGES.txt are the release notes. The version
# is the project version in CMakeLists.txt, which also feeds the DLL's
# version resource.
# The same commit gives the same zip, byte for byte, in any folder, at any time
# of day, in any time zone and under any umask: the DLL names its commit and
# carries the commit's time (CMakeLists.txt), and the zip takes that time, UTC,
# fixed file modes and a fixed order. Stage 60 proves it with a second build.
# Usage: scripts/package.sh
source "$(dirname "$0")/lib.sh"
ensure_packages "${BASE_PACKAGES[@]}" g++-mingw-w64-i686 zip
# Only the DLL goes into the package.
(cd "$ROOT" && cmake --preset windows-x86 >/dev/null && cmake --build --preset windows-x86 --target lumarix) >&2

version="$(sed -n 's/^project(Lumarix VERSION \([0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt")"
[ -n "$version" ] || { echo "scripts/package.sh: no project version in CMakeLists.txt" >&2; exit 1; }
commit="$(sed -n 's/^#define SOURCE_COMMIT_TEXT "\(.*\)"$/\1/p' "$ROOT/build/windows-x86/generated/source_commit.h")"
[[ "$commit" =~ ^commit\ [0-9a-f]{40}$ ]] ||
    echo "scripts/package.sh: warning: the DLL says \"$commit\": this package cannot be rebuilt from a commit" >&2
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

Co robi to wydanie: ZMIANY.txt.

Sprawdzenie paczki
Sumy kontrolne plików są w SHA256SUMS. W folderze z rozpakowanymi plikami
sprawdza je wszystkie (w Linuksie) polecenie
  sha256sum -c SHA256SUMS
a w Windows polecenie certutil -hashfile lumarix.dll SHA256 wypisuje sumę,
którą porównujemy z wierszem lumarix.dll w SHA256SUMS.
lumarix.dll podaje commit, z którego go zbudowano (pole Comments zasobu
wersji; w PowerShell: (Get-Item lumarix.dll).VersionInfo.Comments).
Zbudowana z tego commita w Debianie 12 poleceniem scripts/package.sh
paczka wychodzi bajt w bajt taka sama: zip ma tę samą sumę SHA-256.
EOF

write_text ZMIANY.txt <<EOF
Lumarix $version - pierwsze wydanie

Co robi to wydanie i co obiecuje:

- Kod źródłowy Delphi, który w wiadomości stoi między [delphi] i
  [/delphi], jest pokazywany w kolorach i stylach wybranych na stronie
  ustawień wtyczki. Tekst poza blokiem zostaje bez zmian.
- Kod jest pokazywany jako kod: znaki <, > i & z bloku trafiają do okna
  rozmowy jako encje &lt; &gt; &amp;, więc kod nigdy nie staje się
  znacznikami HTML.
- Wynik jest ostateczny. Znacznik wewnątrz kodu (w komentarzu albo
  w stringu) jest zapisywany jako &#91;delphi], co okno rozmowy pokazuje
  jako [delphi], więc pokolorowana wiadomość, która wraca (zacytowana,
  przekazana dalej albo wysłana ponownie), przechodzi bez zmian i nigdy
  nie pokazuje HTML jako tekstu.
- Pomyłka w kolorze nie zepsuje okna rozmowy: cudzysłów, <, > i & w kolorze
  są zapisywane jako encje, więc nie kończą znacznika koloru przed czasem.
  Każdy zamierzony kolor (#RRGGBB, red, ...) jest zapisywany tak, jak go
  wpisano.
- Słowa kluczowe, także implementation, dispinterface i repeat, są
  kolorowane jako słowa kluczowe.
- Wiadomość za duża na dostępną pamięć przechodzi bez zmian, a komunikator
  działa dalej.
- Zanim komunikator wczyta ustawienia, wiadomości są kolorowane domyślnymi
  kolorami i stylami, a każdy znacznik HTML ma swoją parę.
- Pokolorowana wiadomość, którą komunikator oddaje wtyczce (zacytowana,
  przekazana dalej albo wysłana ponownie), jest tylko czytana: wtyczka
  nigdy nie pisze w wiadomości, którą czyta, a każda pokolorowana
  wiadomość zostaje taka, jaka była, gdy wtyczka koloruje następnych
  dziewiętnaście.
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

What this release does: CHANGES.txt.

Checking the package
SHA256SUMS holds the files' checksums. In the folder the files were
unpacked to, this command (on Linux) checks them all:
  sha256sum -c SHA256SUMS
On Windows, certutil -hashfile lumarix.dll SHA256 prints the sum to
compare with the line of lumarix.dll in SHA256SUMS.
lumarix.dll names the commit it was built from (Comments in its version
resource; in PowerShell: (Get-Item lumarix.dll).VersionInfo.Comments).
Built from that commit on Debian 12 with scripts/package.sh, the package
comes out the same, byte for byte: the zip has the same SHA-256 sum.
EOF

write_text CHANGES.txt <<EOF
Lumarix $version - the first release

What this release does, and what it promises:

- Delphi source that a chat message holds between [delphi] and [/delphi]
  is shown in the colours and styles chosen on the plug-in's settings
  page. Text outside the block stays as it was.
- Code is shown as code: <, > and & in a block reach the chat window as
  the entities &lt; &gt; &amp;, so code never turns into markup.
- The output is final. A marker inside the code (in a comment or a
  string) is written as &#91;delphi], which the chat window shows as
  [delphi], so a highlighted message that comes back (quoted, forwarded
  or resent) passes unchanged and never shows HTML as text.
- A mistyped colour cannot break the chat window: a quote, <, > or & in a
  colour is written as an entity, so it cannot end the colour's tag early.
  Every colour meant (#RRGGBB, red, ...) is written as typed.
- Key words, implementation, dispinterface and repeat among them, are
  highlighted as key words.
- A message too large for the memory left passes unchanged, and the
  messenger goes on working.
- Until the messenger has loaded the settings, messages are highlighted
  with the default colours and styles, and every HTML tag has its pair.
- A highlighted message that the messenger hands back to the plug-in
  (quoted, forwarded or resent) is only read: the plug-in never writes
  into a message it is reading, and each highlighted message stays as it
  was while the plug-in highlights the next nineteen.
EOF

files=(lumarix.dll CZYTAJ.txt README.txt ZMIANY.txt CHANGES.txt)
(cd "$stage" && sha256sum "${files[@]}" >SHA256SUMS)
# Fixed times, modes and order, so the same files give the same zip. The time
# is the commit's; zip stores it as local time, so the zone is fixed too.
touch -d "@$(git -C "$ROOT" log -1 --format=%ct 2>/dev/null || date +%s)" "$stage"/*
chmod 644 "$stage"/*
(cd "$stage" && TZ=UTC zip -q -X "../$name.zip" "${files[@]}" SHA256SUMS)
rm -rf "$stage"
echo "$dist/$name.zip"
