#!/usr/bin/env bash
# 32-bit x86, executed: the whole test suite built with -m32 (preset linux-x86)
# and run under qemu-i386, and the product itself, build/windows-x86/lumarix.dll
# loaded by the 32-bit lumarix-host.exe under 32-bit Wine, compared byte for
# byte with the Linux build. See docs/32-bit.md.
source "$(dirname "$0")/../lib.sh"

# Wine's 32-bit half comes from Debian's i386 architecture.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    unset LUMARIX_APT_UPDATED # the package lists must be read again
fi
ensure_packages qemu-user g++-multilib googletest fpc-source g++-mingw-w64-i686 wine64 python3
ensure_packages wine32:i386

# 32-bit programs, and the 32-bit Wine loader, start through binfmt_misc.
register_qemu_i386() {
    local dir=/proc/sys/fs/binfmt_misc
    [ -e "$dir/qemu-i386" ] && return 0
    [ -e "$dir/register" ] || mount -t binfmt_misc binfmt_misc "$dir" 2>/dev/null || return 1
    [ -e "$dir/qemu-i386" ] && return 0
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386:' \
        >"$dir/register" 2>/dev/null
    [ -e "$dir/qemu-i386" ]
}
if ! register_qemu_i386; then
    echo "25-x86: FAILED: cannot register qemu-i386 in /proc/sys/fs/binfmt_misc (needs root and a mountable binfmt_misc), so no 32-bit program can run" >&2
    exit 1
fi

cd "$ROOT"
started=$(date +%s)
build_preset linux-x86
(cd build/linux-x86 && ctest --output-on-failure -j2)
echo "== the 32-bit test suite passed under qemu-i386 in $(($(date +%s) - started)) s"

# Stage 10 built the Linux host; when this stage runs alone, build it. The
# product is brought up to date in any case (nothing to do after stage 20), so
# that its version resource names the commit checked out.
[ -x build/linux/lumarix-host ] || build_preset linux -DLUMARIX_TESTS=OFF -DLUMARIX_BENCH=OFF
build_preset windows-x86
bash tests/windows/compare_with_wine.sh x86
echo "== the 32-bit product ran under Wine: $ROOT/build/windows-x86/lumarix.dll"
