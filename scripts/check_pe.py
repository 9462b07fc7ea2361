#!/usr/bin/env python3
"""Inspects the built Windows module the way the messenger's loader sees it.

    check_pe.py dll PATH --machine i386|x64 [--icon ICO] [--commit HASH]
        the PE headers, the single export, the imported DLLs, the version
        resource with the source commit in its Comments, and icon 100 (and,
        with --icon, that the icon embedded is the image of ICO; with
        --commit, that the module names commit HASH and no uncommitted
        changes);
    check_pe.py icon ICO
        that ICO is what scripts/make_icon.py writes now, one 16 x 16 image
        in 256 colours.

Reads the module with Debian's python3-pefile. Prints one line per check
passed; on a failed check prints every problem found and exits 1.
"""
import argparse
import os
import re
import struct
import subprocess
import sys
import tempfile

import pefile

MACHINES = {"i386": (0x14C, 0x10B), "x64": (0x8664, 0x20B)}  # machine, optional header magic
EXPORT_NAME = "_IMessageProc@4"
EXPORT_ORDINAL = 1
MODULE_NAME = "lumarix.dll"


def read_project_version():
    """The project version of CMakeLists.txt, as the version resource's four parts."""
    cmake = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "CMakeLists.txt")
    with open(cmake) as f:
        found = re.search(r"^project\(Lumarix VERSION ([0-9.]+)", f.read(), re.M)
    parts = [int(part) for part in found.group(1).split(".")]
    return tuple(parts + [0] * (4 - len(parts)))


VERSION = read_project_version()
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
VS_FIXEDFILEINFO_SIGNATURE = 0xFEEF04BD
# What cmake/source_commit.cmake writes into Comments for a git work tree.
COMMIT_TEXT = re.compile(r"commit [0-9a-f]{40}( \+ niezatwierdzone zmiany)?")
VFT_DLL = 2


def text(value):
    return value.decode("ascii", "replace") if isinstance(value, bytes) else value


def read_resources(pe):
    """{(type id, name id): {language: bytes}} of the resource tree."""
    resources = {}
    for rtype in getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None) and pe.DIRECTORY_ENTRY_RESOURCE.entries or []:
        for name in rtype.directory.entries:
            for language in name.directory.entries:
                entry = language.data.struct
                resources.setdefault((rtype.id, name.id), {})[language.id] = pe.get_data(
                    entry.OffsetToData, entry.Size)
    return resources


def check_exports(pe, problems, passed):
    directory = getattr(pe, "DIRECTORY_ENTRY_EXPORT", None)
    if directory is None:
        problems.append("the module exports nothing")
        return
    count = len(problems)
    dll_name = text(pe.get_string_at_rva(directory.struct.Name))
    if dll_name != MODULE_NAME:
        problems.append("export directory names the DLL %r" % dll_name)
    exports = [(s.ordinal, text(s.name)) for s in directory.symbols]
    if exports != [(EXPORT_ORDINAL, EXPORT_NAME)]:
        problems.append("exports are %s, not just %s at ordinal %d" % (exports, EXPORT_NAME, EXPORT_ORDINAL))
    else:
        symbol = directory.symbols[0]
        section = pe.get_section_by_rva(symbol.address)
        if symbol.forwarder:
            problems.append("%s is forwarded, not code of the module" % EXPORT_NAME)
        elif section is None or not section.IMAGE_SCN_MEM_EXECUTE:
            problems.append("%s points outside executable code" % EXPORT_NAME)
    if len(problems) == count:
        section = pe.get_section_by_rva(directory.symbols[0].address)
        passed.append("one export: %s at ordinal %d, in section %s" % (
            EXPORT_NAME, EXPORT_ORDINAL, text(section.Name).rstrip("\0")))


def check_imports(pe, problems, passed):
    imports = [text(entry.dll) for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])]
    foreign = [name for name in imports if name.lower() not in SYSTEM_DLLS]
    if foreign:
        problems.append("imports DLLs that are not part of Windows: %s" % ", ".join(foreign))
    else:
        passed.append("imports only system DLLs: %s" % ", ".join(imports))


def check_commit(comments, commit, problems):
    """Comments must name the source commit: exactly `commit` when given."""
    if commit is not None:
        if comments != "commit " + commit:
            problems.append("Comments is %r, not 'commit %s'" % (comments, commit))
    elif comments is None or not COMMIT_TEXT.fullmatch(comments):
        problems.append("Comments is %r, not the source commit ('commit' and 40 hex digits)" % comments)


def check_version(pe, problems, passed, commit=None):
    count = len(problems)
    fixed = (getattr(pe, "VS_FIXEDFILEINFO", None) or [None])[0]
    if fixed is None:
        problems.append("the version resource has no VS_VERSION_INFO with fixed file information")
        return
    if fixed.Signature != VS_FIXEDFILEINFO_SIGNATURE:
        problems.append("VS_FIXEDFILEINFO signature is 0x%08x" % fixed.Signature)
    split = lambda ms, ls: (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
    want = ".".join(map(str, VERSION))
    for label, got in (("file", split(fixed.FileVersionMS, fixed.FileVersionLS)),
                       ("product", split(fixed.ProductVersionMS, fixed.ProductVersionLS))):
        if got != VERSION:
            problems.append("%s version is %s, not %s" % (label, ".".join(map(str, got)), want))
    if fixed.FileType != VFT_DLL:
        problems.append("file type is %d, not VFT_DLL" % fixed.FileType)

    infos = [info for group in getattr(pe, "FileInfo", []) for info in group]
    blocks = [table for info in infos if info.Key == b"StringFileInfo" for table in info.StringTable]
    if [text(b.LangID).upper() for b in blocks] != [STRING_BLOCK]:
        problems.append("string blocks are %s, not just %s" % ([text(b.LangID) for b in blocks], STRING_BLOCK))
    else:
        strings = {text(k): text(v) for k, v in blocks[0].entries.items()}
        for name, want_text in (("InternalName", "Lumarix"), ("OriginalFilename", MODULE_NAME),
                                ("FileVersion", want), ("ProductVersion", want)):
            if strings.get(name) != want_text:
                problems.append("%s is %r, not %r" % (name, strings.get(name), want_text))
        check_commit(strings.get("Comments"), commit, problems)

    # pefile gives each translation as "0xLLLL 0xCCCC".
    pairs = [tuple(int(part, 16) for part in value.split())
             for info in infos if info.Key == b"VarFileInfo"
             for var in info.Var for key, value in var.entry.items() if key == b"Translation"]
    if pairs != [TRANSLATION]:
        problems.append("translation is %s, not [(0x%04x, %d)]" % (
            ["(0x%04x, %d)" % p for p in pairs], TRANSLATION[0], TRANSLATION[1]))
    if len(problems) == count:
        passed.append("version %s, string block %s, InternalName Lumarix, OriginalFilename %s, "
                      "translation 0x%04x/%d, Comments %r" % (
                          want, STRING_BLOCK, MODULE_NAME, *TRANSLATION, strings["Comments"]))


def describe_bitmap(image):
    """(width, height, bits per pixel, colours) of an icon image's bitmap header."""
    if len(image) < 40 or struct.unpack_from("<I", image, 0)[0] < 40:
        return None
    width, height, planes, bits = struct.unpack_from("<iiHH", image, 4)
    colours_used = struct.unpack_from("<I", image, 32)[0]
    colours = colours_used or (1 << bits if bits <= 8 else 0)
    # The height counts the colour rows and then the mask rows.
    return width, height // 2, bits, colours


def check_icon_group(resources, problems, passed):
    groups = sorted(name for rtype, name in resources if rtype == RT_GROUP_ICON)
    if groups != [ICON_ID]:
        problems.append("icon groups are %s, not just %d" % (groups, ICON_ID))
        return None
    group = next(iter(resources[(RT_GROUP_ICON, ICON_ID)].values()))
    count = len(problems)
    reserved, kind, images = struct.unpack_from("<HHH", group, 0)
    if kind != 1 or images != 1:
        problems.append("icon group %d holds %d images (type %d), not one icon" % (ICON_ID, images, kind))
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
    if len(problems) == count:
        passed.append("icon group %d: one 16x16 image, 8 bits per pixel, 256 colours" % ICON_ID)
    return image


def check_dll(data, machine, icon_file=None, commit=None):
    """(problems, passed checks) for the module's bytes."""
    problems, passed = [], []
    try:
        pe = pefile.PE(data=data)
    except pefile.PEFormatError as error:
        return ["not a PE image: %s" % error], passed
    want_machine, want_magic = MACHINES[machine]
    if pe.FILE_HEADER.Machine != want_machine or pe.OPTIONAL_HEADER.Magic != want_magic:
        problems.append("machine 0x%x with optional header 0x%x, not %s (0x%x, 0x%x)" % (
            pe.FILE_HEADER.Machine, pe.OPTIONAL_HEADER.Magic, machine, want_machine, want_magic))
    if not pe.FILE_HEADER.Characteristics & IMAGE_FILE_DLL:
        problems.append("the image is not a DLL")
    if not problems:
        passed.append("machine %s (0x%x), a DLL" % (machine, want_machine))
    # pefile reads what it can of a damaged file and records the rest as warnings.
    problems += ["malformed image: %s" % warning for warning in pe.get_warnings()
                 if "resource" in warning.lower() or "export" in warning.lower()]
    try:
        check_exports(pe, problems, passed)
        check_imports(pe, problems, passed)
        resources = read_resources(pe)
        types = sorted({rtype for rtype, _ in resources}, key=str)
        if set(types) != RESOURCE_TYPES:
            problems.append("resource types are %s, not icon, icon group and version" % types)
        versions = [resources[key] for key in resources if key[0] == RT_VERSION]
        if len(versions) != 1 or len(versions[0]) != 1:
            problems.append("expected one version resource in one language")
        else:
            check_version(pe, problems, passed, commit)
        embedded = check_icon_group(resources, problems, passed)
        if icon_file is not None and embedded is not None:
            if embedded != read_ico_image(icon_file):
                problems.append("the embedded icon is not the image of %s" % icon_file)
            else:
                passed.append("the embedded icon is the image of %s" % icon_file)
    except (pefile.PEFormatError, struct.error, ValueError, IndexError) as error:
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
    dll.add_argument("--commit", help="the commit the module must name, from a clean work tree")
    icon = commands.add_parser("icon")
    icon.add_argument("path")
    args = parser.parse_args()
    if args.command == "dll":
        with open(args.path, "rb") as f:
            problems, passed = check_dll(f.read(), args.machine, args.icon, args.commit)
        return report("PE checks of %s (%s)" % (args.path, args.machine), problems, passed)
    maker = os.path.join(os.path.dirname(os.path.abspath(__file__)), "make_icon.py")
    return report("icon file %s" % args.path, *check_icon_file(args.path, maker))


if __name__ == "__main__":
    sys.exit(main())
