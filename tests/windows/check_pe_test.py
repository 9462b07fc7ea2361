#!/usr/bin/env python3
"""Proves that scripts/check_pe.py catches the faults it is there for: each
case damages one field of the built 32-bit module and expects that fault.

    python3 tests/windows/check_pe_test.py [path/to/lumarix.dll]
(default: build/windows-x86/lumarix.dll)
"""
import os
import struct
import sys
import unittest

import pefile

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "scripts"))
import check_pe  # noqa: E402

DLL = os.path.join(ROOT, "build", "windows-x86", "lumarix.dll")
ICON = os.path.join(ROOT, "module", "lumarix.ico")


def utf16(text):
    return text.encode("utf-16-le")


def replace_after(data, anchor, old, new):
    """Replaces the first `old` after `anchor` (both must be there)."""
    start = data.index(anchor)
    at = data.index(old, start + len(anchor))
    assert len(old) == len(new)
    data[at:at + len(old)] = new


def set_machine(data, value):
    struct.pack_into("<H", data, struct.unpack_from("<I", data, 0x3C)[0] + 4, value)


def rename_first_import(data, name):
    pe = pefile.PE(data=bytes(data))
    at = pe.get_offset_from_rva(pe.DIRECTORY_ENTRY_IMPORT[0].struct.Name)
    old = data[at:data.index(b"\0", at)]
    assert len(name) == len(old)
    data[at:at + len(old)] = name


def icon_image_at(data):
    return bytes(data).index(check_pe.read_ico_image(ICON))


def set_icon_bits(data, bits):
    struct.pack_into("<H", data, icon_image_at(data) + 14, bits)


def resources_at(data):
    pe = pefile.PE(data=bytes(data))
    return pe.get_offset_from_rva(pe.OPTIONAL_HEADER.DATA_DIRECTORY[2].VirtualAddress)


def set_file_version_major(data, major):
    at = bytes(data).index(struct.pack("<I", check_pe.VS_FIXEDFILEINFO_SIGNATURE))
    struct.pack_into("<I", data, at + 8, major << 16)


def spoil_commit_digit(data):
    """Puts a letter that is no hex digit where the commit begins."""
    at = bytes(data).index(utf16("commit "), bytes(data).index(utf16("Comments"))) + len(utf16("commit "))
    data[at:at + 2] = utf16("g")


def clear_dll_flag(data):
    coff = struct.unpack_from("<I", data, 0x3C)[0] + 4
    flags = struct.unpack_from("<H", data, coff + 18)[0]
    struct.pack_into("<H", data, coff + 18, flags & ~check_pe.IMAGE_FILE_DLL)


# (case, damage done to the bytes, text the reported problem must hold)
FAULTS = [
    ("64-bit machine", lambda d: set_machine(d, 0x8664), "machine 0x8664"),
    ("not a DLL", clear_dll_flag, "not a DLL"),
    ("export renamed",
     lambda d: replace_after(d, b"lumarix.dll\0", b"_IMessageProc@4", b"_IMessageProc@8"),
     "exports are [(1, '_IMessageProc@8')]"),
    ("import of a runtime DLL", lambda d: rename_first_import(d, b"libgcc_s.dll"),
     "not part of Windows: libgcc_s.dll"),
    ("file version 2", lambda d: set_file_version_major(d, 2), "file version is 2.0.0.0"),
    ("other string block",
     lambda d: replace_after(d, utf16("StringFileInfo"), utf16("041504E2"), utf16("040904E4")),
     "string blocks are ['040904E4']"),
    ("internal name",
     lambda d: replace_after(d, utf16("InternalName"), utf16("Lumarix"), utf16("Lumarax")),
     "InternalName is 'Lumarax'"),
    ("original file name",
     lambda d: replace_after(d, utf16("OriginalFilename"), utf16("lumarix.dll"), utf16("lumarix.exe")),
     "OriginalFilename is 'lumarix.exe'"),
    ("no commit",
     lambda d: replace_after(d, utf16("StringFileInfo"), utf16("Comments"), utf16("Commentz")),
     "Comments is None"),
    ("commit not hexadecimal", spoil_commit_digit, "Comments is 'commit g"),
    ("code page 1252",
     lambda d: replace_after(d, utf16("Translation"), b"\x15\x04\xe2\x04", b"\x15\x04\xe4\x04"),
     "translation is ['(0x0415, 1252)']"),
    ("icon at 4 bits", lambda d: set_icon_bits(d, 4), "icon image is (16, 16, 4, 256)"),
    ("icon pixels changed",
     lambda d: d.__setitem__(slice(icon_image_at(d) + 40 + 1024 + 20, icon_image_at(d) + 40 + 1024 + 21),
                             b"\x07"),
     "the embedded icon is not the image of"),
    ("headers cut short", lambda d: d.__delitem__(slice(0x200, None)), "not a PE image"),
    ("resources cut short", lambda d: d.__delitem__(slice(resources_at(d) + 8, None)), "malformed image"),
]


class CheckPeTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        with open(DLL, "rb") as f:
            cls.original = f.read()

    def test_accepts_the_built_module(self):
        problems, passed = check_pe.check_dll(self.original, "i386", ICON)
        self.assertEqual(problems, [])
        self.assertEqual(len(passed), 6)

    def test_reports_each_fault(self):
        for case, damage, expected in FAULTS:
            with self.subTest(case):
                data = bytearray(self.original)
                damage(data)
                self.assertNotEqual(bytes(data), self.original)
                problems, _ = check_pe.check_dll(bytes(data), "i386", ICON)
                self.assertTrue(any(expected in p for p in problems), problems)


if __name__ == "__main__":
    if len(sys.argv) > 1:
        DLL = sys.argv.pop(1)
    unittest.main(verbosity=1)
