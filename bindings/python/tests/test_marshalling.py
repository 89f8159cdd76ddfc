"""What crosses the C interface: declarations, characters, refusals, arguments, answers."""

import unittest

import zorvat
from zorvat import native

from .support import PACKAGE_ROOT


class MarshallingTest(unittest.TestCase):
    def test_every_exported_name_is_declared_and_the_version_matches(self):
        listing = PACKAGE_ROOT.parent.parent / "cmake" / "exported-symbols.txt"
        for name in listing.read_text().split():
            self.assertIsNotNone(getattr(native, name).argtypes, name)
        self.assertEqual(zorvat.library_version(), zorvat.__version__)

    def test_results_come_back_as_bytes_or_none(self):
        self.assertEqual(native.split(b"Zo\xeb\x1f\x1f\xa4", 0x1F), [b"Zo\xeb", b"", b"\xa4"])
        self.assertEqual(native.split("a\xfeb", "\xfe"), [b"a", b"b"])
        self.assertIsNone(native.extract_from_split("a\x1cb", 0x1C, 2))
        self.assertEqual(native.cat(None, None), b"")
        options = native.create_credential_options("h", "acc", -5, "u", "p", "", "six", "plug")
        info = native.create_connection_info(options, -7)
        # Items 2 and 11: the port and the reserved value, both signed.
        self.assertEqual(native.connection_info_items(info)[2::9], [b"-5", b"-7"])

    def test_what_cannot_cross_the_interface_is_refused(self):
        # Nothing listens on port 1, so a call that reached the library would give C104.
        options = zorvat.CredentialOptions("127.0.0.1", 1)
        refusals = [
            (ValueError, native.split, "a\0b", 0x1F),  # would be cut short at the NUL
            (UnicodeEncodeError, native.split, "Ω", 0x1F),
            (ValueError, native.extract_from_split, "a", 0x1C, -1),
            (ValueError, zorvat.CredentialOptions, "db", 2**32 + 4711),  # ctypes would wrap it
            (UnicodeEncodeError, zorvat.CredentialOptions, "db", 4711, "", "Ω"),
            (UnicodeEncodeError, zorvat.execute_direct, options, 20, "Ω"),
            (UnicodeEncodeError, zorvat.Session, options, ["Ω"]),
            (ValueError, zorvat.execute_direct, options, 2, "", 1, 1, 0),  # a timeout of 0 s
        ]
        # ctypes alone would keep the low bits: 0x11F would split at 0x1F.
        for separator in (-1, 0x11F, "ab", ""):
            refusals.append((ValueError, native.split, "a", separator))
        # Operation codes and formats are single bytes.
        for arguments in ((256,), (-1,), (20, "", 256), (20, "", 1, 300)):
            refusals.append((ValueError, zorvat.execute_direct, options, *arguments))
        for error, function, *arguments in refusals:
            with self.subTest(function=function, arguments=arguments), self.assertRaises(error):
                function(*arguments)

    def test_lists_become_argument_strings_unless_an_item_holds_its_separator(self):
        arguments = zorvat.build_arguments(["FILE", ["ID", b"NAME"], "", b"\xa4", "a\xfeb"])
        self.assertEqual(arguments, "FILE\x1fID\xfeNAME\x1f\x1f€\x1fa\xfeb")
        # It would silently turn into two items and shift every later one.
        for arguments in (["a\x1fb"], [["a\xfeb"]], [["a\x1fb"]], [b"a\x1fb"]):
            with self.subTest(arguments=arguments), self.assertRaises(ValueError):
                zorvat.build_arguments(arguments)

    def test_answers_split_into_items_and_map_names_when_keyed(self):
        cases = [
            ("L\xfeA\xfeB\x1c1\x1c2", ["L\xfeA\xfeB", "1", "2"], {"A": "1", "B": "2"}),
            ("L\xfeA\xfeA\x1c1\x1c2", ["L\xfeA\xfeA", "1", "2"], {"A": "2"}),  # the later wins
            ("L\xfeA\xfeB\x1c1", ["L\xfeA\xfeB", "1"], {"A": "1"}),  # more names than items
            ("plain\x1c1", ["plain", "1"], {}),
        ]
        for text, items, fields in cases:
            with self.subTest(text=text):
                answer = zorvat.Answer(text)
                self.assertEqual((answer, answer.items, dict(answer)), (text, items, fields))
                self.assertEqual(answer[:1], text[:1])
                for name in items[0].split("\xfe") + ["missing"]:  # the list's own name too
                    found = native.extract_data(text, name)
                    self.assertEqual(answer.get(name), found and found.decode("iso-8859-15"))
        with self.assertRaises(KeyError):
            zorvat.Answer("L\xfeA\x1c1")["B"]

    def test_credential_options_become_a_record_that_hides_them(self):
        options = zorvat.CredentialOptions("db", 4711, "ACC", "alice", b"s\xa4cret", plugin="p")
        self.assertEqual(options.record, "db\x1cACC\x1c4711\x1calice\x1cs€cret\x1c\x1c\x1cp")
        self.assertNotIn("cret", repr(options))  # credentials stay out of logs
