"""Text going in: the character set, argument lists and checked numbers."""

import unittest

import zorvat

from .support import unused_port


class TextTest(unittest.TestCase):
    def test_lists_become_argument_strings(self):
        arguments = zorvat.build_arguments(["FILE", ["ID", b"NAME"], "", b"\xa4"])
        self.assertEqual(arguments, "FILE\x1fID\xfeNAME\x1f\x1f€")
        self.assertEqual(zorvat.split_items(b"a\xfe\xa4", zorvat.SUBITEM_SEPARATOR), ["a", "€"])

    def test_an_item_holding_its_own_separator_is_refused(self):
        # It would silently turn into two items and shift every later one.
        for arguments in (["a\x1fb"], [["a\xfeb"]], [["a\x1fb"]], [b"a\x1fb"]):
            with self.subTest(arguments=arguments), self.assertRaises(ValueError):
                zorvat.build_arguments(arguments)

    def test_answers_split_into_items_and_map_names_when_keyed(self):
        # text, items, fields
        cases = [
            ("L\xfeA\xfeB\x1c1\x1c2", ["L\xfeA\xfeB", "1", "2"], {"A": "1", "B": "2"}),
            ("L\xfeA\xfeA\x1c1\x1c2", ["L\xfeA\xfeA", "1", "2"], {"A": "2"}),  # the later wins
            ("L\xfeA\xfeB\x1c1", ["L\xfeA\xfeB", "1"], {"A": "1"}),  # more names than items
            ("plain\x1c1", ["plain", "1"], {}),
            ("L\xfeA", ["L\xfeA"], {}),
            ("", [""], {}),
        ]
        for text, items, fields in cases:
            with self.subTest(text=text):
                answer = zorvat.Answer(text)
                self.assertEqual((answer, answer.items, dict(answer)), (text, items, fields))
                self.assertEqual((answer.get("A"), answer[:1]), (fields.get("A"), text[:1]))
        with self.assertRaises(KeyError):
            zorvat.Answer("L\xfeA\x1c1")["B"]

    def test_credential_options(self):
        options = zorvat.CredentialOptions("db", 4711, "ACC", "alice", b"s\xa4cret", plugin="p")
        self.assertEqual(options.record, "db\x1cACC\x1c4711\x1calice\x1cs€cret\x1c\x1c\x1cp")
        self.assertNotIn("cret", repr(options))  # credentials stay out of logs
        with self.assertRaises(ValueError):
            zorvat.CredentialOptions("db", 2**32 + 4711)  # ctypes would wrap it to 4711
        with self.assertRaises(UnicodeEncodeError):
            zorvat.CredentialOptions("db", 4711, credential_item3="Ω")

    def test_bad_input_fails_before_the_library_is_called(self):
        # Nothing listens there, so reaching the library would give C104.
        options = zorvat.CredentialOptions("127.0.0.1", unused_port())
        with self.assertRaises(UnicodeEncodeError):
            zorvat.execute_direct(options, 20, "Ω")
        with self.assertRaises(UnicodeEncodeError):
            zorvat.Session(options, login_arguments=["Ω"])
        for arguments in ((256,), (-1,), (20, "", 256), (20, "", 1, 300)):
            with self.subTest(arguments=arguments), self.assertRaises(ValueError):
                zorvat.execute_direct(options, *arguments)

    def test_records_the_library_refuses_are_coded_errors(self):
        port = unused_port()
        for options, message in (
            (zorvat.CredentialOptions("127.0.0.1", 0), "C030: Invalid PORT number"),
            (zorvat.CredentialOptions("127.0.0.1", port, credential_item4="a\x1cb"), "C031: "),
            (zorvat.CredentialOptions("127.0.0.1", port), "C104: Unable to connect to server!"),
        ):
            with self.subTest(message=message), self.assertRaises(zorvat.Error) as caught:
                zorvat.execute_direct(options, 20)
            self.assertEqual(caught.exception.code, int(message[1:4]))
            self.assertTrue(caught.exception.message.startswith(message))
            self.assertNotIsInstance(
                caught.exception, (zorvat.ServerError, zorvat.NegotiationRefused)
            )
