#!/usr/bin/env bash
# The Windows builds: the 32-bit module (the product, build/windows-x86/lumarix.dll)
# and the 64-bit module and stand-in host, which run under Wine. Checks both
# modules' PE headers, exports, imports and resources, and compares the 64-bit
# build under Wine with the Linux build of stage 10 (build/linux). Stage 25 runs
# the 32-bit product under 32-bit Wine the same way.
source "$(dirname "$0")/../lib.sh"
ensure_packages g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine64 python3 fpc-source
ensure_packages python3-pefile

for preset in windows-x86 windows-x64; do
    build_preset "$preset"
    echo "== built $preset"
done

cd "$ROOT"
# Debian's interpreter, which sees python3-pefile whatever else is on the PATH.
pe_python=/usr/bin/python3
$pe_python scripts/check_pe.py icon module/lumarix.ico
$pe_python scripts/check_pe.py dll build/windows-x86/lumarix.dll --machine i386 --icon module/lumarix.ico
$pe_python scripts/check_pe.py dll build/windows-x64/lumarix.dll --machine x64 --icon module/lumarix.ico
$pe_python tests/windows/check_pe_test.py build/windows-x86/lumarix.dll
echo "== the PE checks catch every damaged field they test"

# Stage 10 built it; when this stage runs alone, build just the host and module.
[ -x build/linux/lumarix-host ] || build_preset linux -DLUMARIX_TESTS=OFF -DLUMARIX_BENCH=OFF
bash tests/windows/compare_with_wine.sh x64
echo "== the 32-bit product: $ROOT/build/windows-x86/lumarix.dll"
