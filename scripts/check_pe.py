#!/usr/bin/env python3
"""Inspects the built Windows module the way the messenger's loader sees it.

    check_pe.py dll PATH --machine i386|x64 [--icon ICO]
        the PE headers, the single export, the imported DLLs, the version
        resource and icon 100 (and, with --icon, that the icon embedded is
        the image of ICO);
    check_pe.py icon ICO
        that ICO is what scripts/make_icon.py writes now, one 16 x 16 image
        in 256 colours.

Reads the files itself (standard library only). Prints one line per check
passed; on a failed check prints every problem found and exits 1.
"""
import argparse
import os
import struct
import subprocess
import sys
import tempfile

MACHINES = {"i386": (0x14C, 0x10B), "x64": (0x8664, 0x20B)}  # machine, optional header magic
EXPORT_NAME = "_IMessageProc@4"
EXPORT_ORDINAL = 1
MODULE_NAME = "lumarix.dll"
VERSION = (1, 0, 0, 0)
STRING_BLOCK = "041504E2"
TRANSLATION = (0x0415, 1250)
ICON_ID = 100
RT_ICON, RT_GROUP_ICON, RT_VERSION = 3, 14, 16
RESOURCE_TYPES = {RT_ICON, RT_GROUP_ICON, RT_VERSION}
# DLLs every Windows installation has; the runtimes are linked in statically.
SYSTEM_DLLS = {
    "kernel32.dll", "msvcrt.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll",
    "ole32.dll", "oleaut32.dll", "ntdll.dll", "version.dll", "ws2_32.dll", "comctl32.dll",
}
IMAGE_FILE_DLL = 0x2000
IMAGE_SCN_MEM_EXECUTE = 0x20000000
VS_FIXEDFILEINFO_SIGNATURE = 0xFEEF04BD
VFT_DLL = 2


class BadImage(Exception):
    """The file cannot be read as a PE image at all."""


def u16(data, offset):
    return struct.unpack_from("<H", data, offset)[0]


def u32(data, offset):
    return struct.unpack_from("<I", data, offset)[0]


def ascii_z(data, offset):
    end = data.index(b"\0", offset)
    return data[offset:end].decode("ascii", "replace")


class PeImage:
    """The parts of a PE file that the checks read."""

    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise BadImage("no MZ header")
        pe = u32(data, 0x3C)
        if data[pe:pe + 4] != b"PE\0\0":
            raise BadImage("no PE signature")
        coff = pe + 4
        self.machine = u16(data, coff)
        section_count = u16(data, coff + 2)
        optional_size = u16(data, coff + 16)
        self.characteristics = u16(data, coff + 18)
        optional = coff + 20
        self.magic = u16(data, optional)
        if self.magic == 0x10B:
            count_at, directories_at = 92, 96
        elif self.magic == 0x20B:
            count_at, directories_at = 108, 112
        else:
            raise BadImage("unknown optional header magic 0x%x" % self.magic)
        count = u32(data, optional + count_at)
        self.directories = [
            struct.unpack_from("<II", data, optional + directories_at + 8 * k) for k in range(count)
        ]
        self.sections = []
        table = optional + optional_size
        for k in range(section_count):
            entry = table + 40 * k
            name = data[entry:entry + 8].rstrip(b"\0").decode("ascii", "replace")
            virtual_size, address, raw_size, raw_at = struct.unpack_from("<IIII", data, entry + 8)
            flags = u32(data, entry + 36)
            self.sections.append((name, address, max(virtual_size, raw_size), raw_at, raw_size, flags))

    def directory(self, index):
        return self.directories[index] if index < len(self.directories) else (0, 0)

    def section_of(self, rva):
        for section in self.sections:
            if section[1] <= rva < section[1] + section[2]:
                return section
        return None

    def offset(self, rva):
        section = self.section_of(rva)
        if section is None or rva - section[1] >= section[4]:
            raise BadImage("address 0x%x lies in no section's file bytes" % rva)
        return section[3] + rva - section[1]

    def bytes_at(self, rva, size):
        start = self.offset(rva)
        return self.data[start:start + size]


def read_exports(image):
    """The DLL's name and its exports as (ordinal, name or None, address)."""
    rva, size = image.directory(0)
    if rva == 0:
        return None, []
    d = image.offset(rva)
    data = image.data
    dll_name = ascii_z(data, image.offset(u32(data, d + 12)))
    base, function_count, name_count = struct.unpack_from("<III", data, d + 16)
    functions, names, ordinals = struct.unpack_from("<III", data, d + 28)
    by_index = {}
    for k in range(name_count):
        name = ascii_z(data, image.offset(u32(data, image.offset(names) + 4 * k)))
        by_index.setdefault(u16(data, image.offset(ordinals) + 2 * k), []).append(name)
    exports = []
    for k in range(function_count):
        address = u32(data, image.offset(functions) + 4 * k)
        if address == 0:
            continue  # an unused ordinal
        for name in by_index.get(k, [None]):
            exports.append((base + k, name, address))
    return dll_name, exports


def read_imports(image):
    rva, _ = image.directory(1)
    names = []
    if rva == 0:
        return names
    at = image.offset(rva)
    while True:
        descriptor = struct.unpack_from("<IIIII", image.data, at)
        if not any(descriptor):
            return names
        names.append(ascii_z(image.data, image.offset(descriptor[3])))
        at += 20


def read_resources(image):
    """{(type, name): {language: bytes}} from the three-level resource tree."""
    root, _ = image.directory(2)
    if root == 0:
        return {}
    data = image.data

    def entries(directory_rva):
        at = image.offset(directory_rva)
        count = u16(data, at + 12) + u16(data, at + 14)
        for k in range(count):
            key, target = struct.unpack_from("<II", data, at + 16 + 8 * k)
            if key & 0x80000000:  # a name: counted UTF-16 text
                name_at = image.offset(root + (key & 0x7FFFFFFF))
                length = u16(data, name_at)
                key = data[name_at + 2:name_at + 2 + 2 * length].decode("utf-16-le")
            yield key, target

    resources = {}
    for rtype, names_at in entries(root):
        for name, languages_at in entries(root + (names_at & 0x7FFFFFFF)):
            for language, leaf in entries(root + (languages_at & 0x7FFFFFFF)):
                if leaf & 0x80000000:
                    raise BadImage("resource tree deeper than three levels")
                data_rva, size = struct.unpack_from("<II", data, image.offset(root + leaf))
                resources.setdefault((rtype, name), {})[language] = image.bytes_at(data_rva, size)
    return resources


def align4(offset):
    return (offset + 3) & ~3


def parse_version_node(data, at):
    """One node of a version resource: (key, value, children)."""
    length, value_length, value_type = struct.unpack_from("<HHH", data, at)
    end = at + length
    key_end = at + 6
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = data[at + 6:key_end].decode("utf-16-le")
    p = align4(key_end + 2)
    if value_type == 1 and value_length == 0:  # a text node without a value: a block
        value = ""
    elif value_type == 1:  # text, whose length some compilers count in bytes: read to the NUL
        text_end = p
        while text_end + 1 < end and data[text_end:text_end + 2] != b"\0\0":
            text_end += 2
        value = data[p:text_end].decode("utf-16-le")
        p = align4(text_end + 2)
    else:
        value = data[p:p + value_length]
        p = align4(p + value_length)
    children = []
    while p < end:
        child, child_end = parse_version_node(data, p)
        children.append(child)
        p = align4(child_end)
    return (key, value, children), end


def check_version(block, problems, passed):
    (key, fixed, children), _ = parse_version_node(block, 0)
    if key != "VS_VERSION_INFO" or len(fixed) < 52:
        problems.append("the version resource has no VS_VERSION_INFO with fixed file information")
        return
    fields = struct.unpack_from("<13I", fixed)
    if fields[0] != VS_FIXEDFILEINFO_SIGNATURE:
        problems.append("VS_FIXEDFILEINFO signature is 0x%08x" % fields[0])
    split = lambda ms, ls: (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
    file_version, product_version = split(fields[2], fields[3]), split(fields[4], fields[5])
    want = ".".join(map(str, VERSION))
    for label, got in (("file", file_version), ("product", product_version)):
        if got != VERSION:
            problems.append("%s version is %s, not %s" % (label, ".".join(map(str, got)), want))
    if fields[9] != VFT_DLL:
        problems.append("file type is %d, not VFT_DLL" % fields[9])

    tables = [c for c in children if c[0] == "StringFileInfo"]
    blocks = [t for table in tables for t in table[2]]
    if [b[0].upper() for b in blocks] != [STRING_BLOCK]:
        problems.append("string blocks are %s, not just %s" % ([b[0] for b in blocks], STRING_BLOCK))
    else:
        strings = {s[0]: s[1] for s in blocks[0][2]}
        for name, want_text in (("InternalName", "Lumarix"), ("OriginalFilename", MODULE_NAME),
                                ("FileVersion", want), ("ProductVersion", want)):
            if strings.get(name) != want_text:
                problems.append("%s is %r, not %r" % (name, strings.get(name), want_text))

    variables = [v for c in children if c[0] == "VarFileInfo" for v in c[2]]
    translation = [v[1] for v in variables if v[0] == "Translation"]
    pairs = []
    if translation:
        raw = translation[0]
        pairs = [struct.unpack_from("<HH", raw, k) for k in range(0, len(raw) - len(raw) % 4, 4)]
    if pairs != [TRANSLATION]:
        problems.append("translation is %s, not [(0x%04x, %d)]" % (
            ["(0x%04x, %d)" % p for p in pairs], TRANSLATION[0], TRANSLATION[1]))
    if not problems:
        passed.append("version %s, string block %s, InternalName Lumarix, OriginalFilename %s, "
                      "translation 0x%04x/%d" % (want, STRING_BLOCK, MODULE_NAME, *TRANSLATION))


def describe_bitmap(image):
    """(width, height, bits per pixel, colours) of an icon image's bitmap header."""
    if len(image) < 40 or u32(image, 0) < 40:
        return None
    width, height, planes, bits, compression = struct.unpack_from("<iiHHI", image, 4)
    colours_used = u32(image, 32)
    colours = colours_used or (1 << bits if bits <= 8 else 0)
    # The height counts the colour rows and then the mask rows.
    return width, height // 2, bits, colours


def check_icon_group(resources, problems, passed):
    groups = sorted(name for rtype, name in resources if rtype == RT_GROUP_ICON)
    if groups != [ICON_ID]:
        problems.append("icon groups are %s, not just %d" % (groups, ICON_ID))
        return None
    group = next(iter(resources[(RT_GROUP_ICON, ICON_ID)].values()))
    reserved, kind, count = struct.unpack_from("<HHH", group, 0)
    if kind != 1 or count != 1:
        problems.append("icon group %d holds %d images (type %d), not one icon" % (ICON_ID, count, kind))
        return None
    width, height, colours, _, planes, bits, size, image_id = struct.unpack_from("<BBBBHHIH", group, 6)
    if (width, height, bits) != (16, 16, 8):
        problems.append("icon directory entry says %dx%d at %d bits" % (width, height, bits))
    image = next(iter(resources.get((RT_ICON, image_id), {}).values()), None)
    if image is None:
        problems.append("icon image %d of group %d is missing" % (image_id, ICON_ID))
        return None
    if len(image) != size:
        problems.append("icon image is %d bytes, its directory entry says %d" % (len(image), size))
    header = describe_bitmap(image)
    if header != (16, 16, 8, 256):
        problems.append("icon image is %s, not 16x16 at 8 bits in 256 colours" % (header,))
    icons = sorted(name for rtype, name in resources if rtype == RT_ICON)
    if icons != [image_id]:
        problems.append("icon images %s, but group %d uses only %d" % (icons, ICON_ID, image_id))
    if not problems:
        passed.append("icon group %d: one 16x16 image, 8 bits per pixel, 256 colours" % ICON_ID)
    return image


def check_dll(data, machine, icon_file=None):
    """(problems, passed checks) for the module's bytes."""
    problems, passed = [], []
    try:
        image = PeImage(data)
    except (BadImage, struct.error, ValueError) as error:
        return ["not a PE image: %s" % error], passed
    want_machine, want_magic = MACHINES[machine]
    if image.machine != want_machine or image.magic != want_magic:
        problems.append("machine 0x%x with optional header 0x%x, not %s (0x%x, 0x%x)" % (
            image.machine, image.magic, machine, want_machine, want_magic))
    if not image.characteristics & IMAGE_FILE_DLL:
        problems.append("the image is not a DLL")
    if not problems:
        passed.append("machine %s (0x%x), a DLL" % (machine, want_machine))

    try:
        count = len(problems)
        dll_name, exports = read_exports(image)
        export_rva, export_size = image.directory(0)
        if dll_name != MODULE_NAME:
            problems.append("export directory names the DLL %r" % dll_name)
        if [(o, n) for o, n, _ in exports] != [(EXPORT_ORDINAL, EXPORT_NAME)]:
            problems.append("exports are %s, not just %s at ordinal %d" % (
                [(o, n) for o, n, _ in exports], EXPORT_NAME, EXPORT_ORDINAL))
        else:
            address = exports[0][2]
            section = image.section_of(address)
            if export_rva <= address < export_rva + export_size:
                problems.append("%s is forwarded, not code of the module" % EXPORT_NAME)
            elif section is None or not section[5] & IMAGE_SCN_MEM_EXECUTE:
                problems.append("%s points outside executable code" % EXPORT_NAME)
        if len(problems) == count:
            passed.append("one export: %s at ordinal %d, in section %s" % (
                EXPORT_NAME, EXPORT_ORDINAL, image.section_of(exports[0][2])[0]))

        count = len(problems)
        imports = read_imports(image)
        foreign = [name for name in imports if name.lower() not in SYSTEM_DLLS]
        if foreign:
            problems.append("imports DLLs that are not part of Windows: %s" % ", ".join(foreign))
        else:
            passed.append("imports only system DLLs: %s" % ", ".join(imports))

        resources = read_resources(image)
        types = sorted({rtype for rtype, _ in resources}, key=str)
        if set(types) != RESOURCE_TYPES:
            problems.append("resource types are %s, not icon, icon group and version" % types)
        versions = [resources[key] for key in resources if key[0] == RT_VERSION]
        if len(versions) != 1 or len(versions[0]) != 1:
            problems.append("expected one version resource in one language")
        else:
            version_problems = []
            check_version(next(iter(versions[0].values())), version_problems, passed)
            problems += version_problems
        icon_problems = []
        embedded = check_icon_group(resources, icon_problems, passed)
        problems += icon_problems
        if icon_file is not None and embedded is not None:
            if embedded != read_ico_image(icon_file):
                problems.append("the embedded icon is not the image of %s" % icon_file)
            else:
                passed.append("the embedded icon is the image of %s" % icon_file)
    except (BadImage, struct.error, ValueError, IndexError) as error:
        problems.append("malformed image: %s" % error)
    return problems, passed


def read_ico_image(path):
    """The bitmap of a single-image .ico file."""
    with open(path, "rb") as f:
        data = f.read()
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    if kind != 1 or count != 1:
        raise ValueError("%s holds %d images of type %d, not one icon" % (path, count, kind))
    size, offset = struct.unpack_from("<II", data, 6 + 8)
    return data[offset:offset + size]


def check_icon_file(path, maker):
    problems, passed = [], []
    with tempfile.TemporaryDirectory() as scratch:
        fresh = os.path.join(scratch, "lumarix.ico")
        subprocess.run([sys.executable, maker, fresh], check=True)
        with open(fresh, "rb") as f:
            regenerated = f.read()
    with open(path, "rb") as f:
        kept = f.read()
    if kept != regenerated:
        problems.append("%s differs from what %s writes now; run it again" % (path, maker))
    else:
        passed.append("%s is what %s writes" % (path, os.path.basename(maker)))
    try:
        entry = struct.unpack_from("<BBBBHHII", kept, 6)
        header = describe_bitmap(read_ico_image(path))
        if entry[:2] != (16, 16) or entry[5] != 8 or header != (16, 16, 8, 256):
            problems.append("%s is not one 16x16 image at 8 bits in 256 colours" % path)
        else:
            passed.append("%s: one 16x16 image, 8 bits per pixel, 256 colours" % path)
    except (ValueError, struct.error) as error:
        problems.append("%s: %s" % (path, error))
    return problems, passed


def report(what, problems, passed):
    for line in passed:
        print("  ok: %s" % line)
    for line in problems:
        print("  FAILED: %s" % line)
    print("%s: %s" % (what, "FAILED" if problems else "passed"))
    return 1 if problems else 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    commands = parser.add_subparsers(dest="command", required=True)
    dll = commands.add_parser("dll")
    dll.add_argument("path")
    dll.add_argument("--machine", choices=sorted(MACHINES), required=True)
    dll.add_argument("--icon", help="the .ico file the embedded icon must match")
    icon = commands.add_parser("icon")
    icon.add_argument("path")
    args = parser.parse_args()
    if args.command == "dll":
        with open(args.path, "rb") as f:
            problems, passed = check_dll(f.read(), args.machine, args.icon)
        return report("PE checks of %s (%s)" % (args.path, args.machine), problems, passed)
    maker = os.path.join(os.path.dirname(os.path.abspath(__file__)), "make_icon.py")
    return report("icon file %s" % args.path, *check_icon_file(args.path, maker))


if __name__ == "__main__":
    sys.exit(main())
