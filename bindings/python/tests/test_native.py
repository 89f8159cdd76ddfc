"""The low-level layer: declarations, marshalling, and what cannot cross."""

import unittest

from zorvat import native

from .support import PACKAGE_ROOT


class NativeTest(unittest.TestCase):
    def test_every_exported_name_is_declared(self):
        listing = PACKAGE_ROOT.parent.parent / "cmake" / "exported-symbols.txt"
        for name in listing.read_text().split():
            with self.subTest(name=name):
                self.assertIsNotNone(getattr(native, name).argtypes)

    def test_results_come_back_as_bytes_or_none(self):
        self.assertEqual(native.split(b"Zo\xeb\x1f\x1f\xa4", 0x1F), [b"Zo\xeb", b"", b"\xa4"])
        self.assertEqual(native.split("a\xfeb", "\xfe"), [b"a", b"b"])
        self.assertEqual(native.join([], ","), b"")  # the library itself refuses nothing to join
        self.assertIsNone(native.extract_from_split("a\x1cb\x1c", 0x1C, 3))
        self.assertEqual(native.cat(None, None), b"")
        self.assertEqual(native.extract_data("K\xfeA\x1cv", "A"), b"v")
        self.assertIsNone(native.extract_data("K\xfeA\x1cv", "B"))

        options = native.create_credential_options("h", "acc", -5, "u", "p", "", "six", "plug")
        self.assertEqual(options, b"h\x1cacc\x1c-5\x1cu\x1cp\x1c\x1csix\x1cplug")
        info = native.create_connection_info(options, -7)
        items = native.connection_info_items(info)
        self.assertEqual(items, native.credential_options_items(options) + [b"", b"", b"", b"-7"])
        changed = native.change_connection_info(info, 0, "other")
        self.assertEqual(native.connection_info_item(changed, 0), b"other")
        self.assertIsNone(native.change_connection_info(info, 12, "x"))
        self.assertIsNone(native.connection_info_items("a\x1cb"))

    def test_what_cannot_cross_the_interface_is_refused(self):
        with self.assertRaises(ValueError):
            native.split("a\0b", 0x1F)  # would be cut short at the NUL
        with self.assertRaises(UnicodeEncodeError):
            native.split("Ω", 0x1F)
        # ctypes alone would keep the low bits: 0x11F would split at 0x1F.
        for separator in (-1, 0x11F, "ab", ""):
            with self.subTest(separator=separator), self.assertRaises(ValueError):
                native.split("a", separator)
        with self.assertRaises(ValueError):
            native.extract_from_split("a", 0x1C, -1)
