"""Operations on the reference server: direct ones, sessions, the server's own
words as errors, and many threads at once."""

import threading
import unittest
from concurrent.futures import ThreadPoolExecutor

import zorvat
from zorvat import native

from .support import ReferenceServer, requires_server

THREADS = 8
CALLS = 25


def header(answer):
    return [answer[name] for name in ("OPERATION", "SESSION_MODE", "INPUT_FORMAT", "OUTPUT_FORMAT")]


def server_knows(record):
    """Whether the server still holds the session of a connection-info record."""
    answer, message, _ = native.execute_persistent_operation(record, 20)
    assert answer is not None or message == b"Unknown session", message
    return answer is not None


def run_together(work):
    """Runs work(i) on THREADS threads released at the same moment; returns the results."""
    start = threading.Barrier(THREADS)

    def task(index):
        start.wait()
        return work(index)

    with ThreadPoolExecutor(THREADS) as pool:
        return list(pool.map(task, range(THREADS)))


@requires_server
class OperationsTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.server = ReferenceServer()
        cls.options = cls.server.options()

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()

    def test_a_direct_request_arrives_as_given(self):
        answer = zorvat.execute_direct(self.options, 20, ["Zoë € Œ", ["s0", b"\xa4"]], 2, 3)
        self.assertEqual(header(answer), ["20", "128", "2", "3"])
        self.assertEqual(answer["ARGUMENTS"], "Zoë € Œ\x1fs0\xfe€")

    def test_a_session_logs_in_runs_operations_and_logs_out(self):
        with zorvat.Session(self.options, login_arguments="hi €", reserved_value=-3) as session:
            login = session.login_answer
            self.assertEqual((login["RECORD_ID"], login["ARGUMENTS"]), (session.record_id, "hi €"))
            self.assertEqual(zorvat.split_items(session.connection_info)[11], "-3")
            answer = session.execute(20, b"\xa4", 2, 3)
            self.assertEqual(header(answer), ["20", "1", "2", "3"])
            self.assertEqual(
                [answer["SESSION_ID"], answer["RECORD_ID"], answer["ARGUMENTS"]],
                [session.session_id, session.record_id, "€"],
            )
            record = session.connection_info
            self.assertTrue(server_knows(record))
        self.assertFalse(session.logged_in)
        self.assertFalse(server_knows(record))

        with self.assertRaises(KeyError), zorvat.Session(self.options) as session:
            record = session.connection_info
            raise KeyError("from the block")
        self.assertFalse(server_knows(record))

    def test_an_early_logout_is_not_repeated(self):
        with zorvat.Session(self.options) as session:
            self.assertEqual(session.logout()["RECORD_ID"], session.record_id)
            self.assertIsNone(session.logout())
            with self.assertRaises(zorvat.Error) as caught:
                session.execute(20)
            self.assertIsNone(caught.exception.code)
            for code in (1, 8):  # the login and the logout have their own methods
                with self.subTest(code=code), self.assertRaises(ValueError):
                    session.execute(code)

    def test_session_errors_are_never_taken_for_refusals(self):
        # Operations inside a session never negotiate a key.
        session = zorvat.Session(self.options)
        session.login()
        native.execute_persistent_operation(session.connection_info, 8)  # behind its back
        for operation in (lambda: session.execute(20), session.logout):
            with self.assertRaises(zorvat.ServerError) as caught:
                operation()
            self.assertEqual(caught.exception.message, "Unknown session")
            self.assertNotIsInstance(caught.exception, zorvat.NegotiationRefused)
        self.assertFalse(session.logged_in)  # the logout was sent, and only once

    def test_threads_share_a_session_and_log_it_out_once(self):
        with zorvat.Session(self.options) as session:

            def in_session(index):
                texts = [f"{index}/{n} €" for n in range(CALLS)]
                return [session.execute(20, text)["ARGUMENTS"] for text in texts] == texts

            self.assertEqual(run_together(in_session), [True] * THREADS)
            answers = run_together(lambda index: session.logout())
            self.assertEqual(sum(answer is not None for answer in answers), 1)


@requires_server
class ServerTextTest(unittest.TestCase):
    def test_the_servers_own_words_from_a_call_that_negotiates(self):
        # A refused negotiation and an error flagged in the answer look alike.
        for arguments, message in (
            (["--fault", "negotiation:refuse=Too busy, try later"], "Too busy, try later"),
            (["--require-item3", "bob"], "Invalid credentials"),
        ):
            with self.subTest(message=message), ReferenceServer(*arguments) as server:
                session = zorvat.Session(server.options())
                record = session.connection_info
                for call in (lambda: zorvat.execute_direct(server.options(), 20), session.login):
                    with self.assertRaises(zorvat.ServerError) as caught:
                        call()
                    self.assertIsInstance(caught.exception, zorvat.NegotiationRefused)
                    self.assertEqual(caught.exception.message, message)
                    self.assertIsNone(caught.exception.code)
                self.assertFalse(session.logged_in)
                self.assertEqual(session.connection_info, record)

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
