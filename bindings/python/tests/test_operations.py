"""Direct operations, and the server's own words as errors."""

import unittest

import zorvat
from zorvat import native

from .support import ReferenceServer, answer_fields, requires_server


@requires_server
class DirectOperationTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.server = ReferenceServer()
        cls.options = cls.server.options(credential_item6="six", plugin="plug")

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()

    def test_the_request_arrives_as_given(self):
        fields = answer_fields(zorvat.execute_direct(self.options, 20, "Zoë € Œ", 2, 3))
        header = [
            fields[name] for name in ("OPERATION", "SESSION_MODE", "INPUT_FORMAT", "OUTPUT_FORMAT")
        ]
        self.assertEqual(header, ["20", "128", "2", "3"])
        self.assertEqual(fields["ARGUMENTS"], "Zoë € Œ")
        answer = zorvat.execute_direct(self.options, 20, b"\xa4\xbc")  # bytes as they stand
        self.assertEqual(answer_fields(answer)["ARGUMENTS"], "€Œ")
        # Lists become argument strings; operation 7 puts the format's name in argument 1.
        answer = zorvat.execute_direct(self.options, 7, ["a0", "x", ["s0", "s1"]], 1, 3)
        self.assertEqual(answer_fields(answer)["ARGUMENTS"], "a0\x1fJSON\x1fs0\xfes1")


@requires_server
class ServerTextTest(unittest.TestCase):
    def test_refused_negotiation(self):
        with ReferenceServer("--fault", "negotiation:refuse=Too busy, come back later") as server:
            with self.assertRaises(zorvat.NegotiationRefused) as caught:
                zorvat.execute_direct(server.options(), 20)
            self.assertEqual(caught.exception.message, "Too busy, come back later")
            self.assertIsNone(caught.exception.code)

            session = zorvat.Session(server.options())
            record = session.connection_info
            with self.assertRaises(zorvat.NegotiationRefused):
                session.login()
            self.assertFalse(session.logged_in)
            self.assertEqual(session.connection_info, record)

    def test_error_flagged_by_the_server(self):
        with ReferenceServer("--require-item3", "bob") as server:
            with self.assertRaises(zorvat.ServerError) as caught:
                zorvat.execute_direct(server.options(), 20)
            self.assertEqual(
                (caught.exception.message, caught.exception.code), ("Invalid credentials", None)
            )
            with self.assertRaises(zorvat.ServerError):
                zorvat.Session(server.options()).login()

    def test_session_errors_are_never_taken_for_refusals(self):
        # Operations inside a session never negotiate a key.
        with ReferenceServer() as server:
            session = zorvat.Session(server.options())
            session.login()
            native.execute_persistent_operation(session.connection_info, 8)  # behind its back
            for operation in (lambda: session.execute(20), session.logout):
                with self.assertRaises(zorvat.ServerError) as caught:
                    operation()
                self.assertEqual(caught.exception.message, "Unknown session")
                self.assertNotIsInstance(caught.exception, zorvat.NegotiationRefused)
            self.assertFalse(session.logged_in)  # the logout was sent, and only once
