"""Sessions: login on enter, operations inside, logout on exit."""

import contextlib
import unittest

import zorvat
from zorvat import native

from .support import ReferenceServer, answer_fields, requires_server


def server_knows(record):
    """Whether the server still holds the session of a connection-info record."""
    answer, message, _ = native.execute_persistent_operation(record, 20)
    assert answer is not None or message == b"Unknown session", message
    return answer is not None


@requires_server
class SessionTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.server = ReferenceServer()
        cls.options = cls.server.options()

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()

    def test_login_fills_the_session_and_operations_run_inside_it(self):
        with zorvat.Session(self.options, login_arguments="hi €", reserved_value=-3) as session:
            login = answer_fields(session.login_answer)
            self.assertEqual((login["RECORD_ID"], login["ARGUMENTS"]), (session.record_id, "hi €"))
            items = zorvat.split_items(session.connection_info)
            self.assertEqual(items[8:10], [session.record_id, session.session_id])
            self.assertEqual(
                [len(items), len(items[9]), len(items[10]), items[11]], [12, 36, 32, "-3"]
            )

            fields = answer_fields(session.execute(20, b"\xa4", 2, 3))
            header = [
                fields[name]
                for name in ("OPERATION", "SESSION_MODE", "INPUT_FORMAT", "OUTPUT_FORMAT")
            ]
            self.assertEqual(header, ["20", "1", "2", "3"])
            session_items = [fields["SESSION_ID"], fields["RECORD_ID"], fields["ARGUMENTS"]]
            self.assertEqual(session_items, [session.session_id, session.record_id, "€"])

    def test_exit_logs_out_also_when_the_block_raises(self):
        for raise_in_block in (False, True):
            with self.subTest(raise_in_block=raise_in_block):
                with self.assertRaises(KeyError) if raise_in_block else contextlib.nullcontext():
                    with zorvat.Session(self.options) as session:
                        record = session.connection_info
                        self.assertTrue(server_knows(record))
                        if raise_in_block:
                            raise KeyError("from the block")
                self.assertFalse(session.logged_in)
                self.assertFalse(server_knows(record))

    def test_an_early_logout_is_not_repeated(self):
        with zorvat.Session(self.options) as session:
            self.assertEqual(answer_fields(session.logout())["RECORD_ID"], session.record_id)
            self.assertIsNone(session.logout())
            with self.assertRaises(zorvat.Error) as caught:
                session.execute(20)
            self.assertIsNone(caught.exception.code)
            for code in (1, 8):  # the login and the logout have their own methods
                with self.subTest(code=code), self.assertRaises(ValueError):
                    session.execute(code)

    def test_a_failed_logout_does_not_hide_the_blocks_exception(self):
        with ReferenceServer() as server:
            with self.assertRaises(KeyError) as caught:
                with zorvat.Session(server.options()):
                    server.stop()
                    raise KeyError("from the block")
            self.assertIn("C104", "".join(getattr(caught.exception, "__notes__", ["C104"])))

        with ReferenceServer() as server:
            with self.assertRaises(zorvat.Error) as failed:
                with zorvat.Session(server.options()) as session:
                    server.stop()
            self.assertEqual(failed.exception.code, 104)
            self.assertFalse(session.logged_in)
