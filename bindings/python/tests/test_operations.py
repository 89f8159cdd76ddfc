"""Operations on the reference server: direct, in sessions, failing, from many threads."""

import asyncio
import os
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


def threads():
    """The process's threads, the library's own included where the system tells
    (not under a sanitizer, whose runtime may start threads of its own)."""
    if os.path.isdir("/proc/self/task") and not os.environ.get("ZORVAT_SANITIZED"):
        return len(os.listdir("/proc/self/task"))
    return threading.active_count()


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
        cls.server = ReferenceServer("--require-item3", "alice")
        cls.addClassCleanup(cls.server.stop)
        cls.options = cls.server.options()

    def test_requests_arrive_as_given_and_a_session_logs_out_once(self):
        answer = zorvat.execute_direct(self.options, 20, ["Zoë € Œ", ["s0", b"\xa4"]], 2, 3)
        self.assertEqual(header(answer), ["20", "128", "2", "3"])
        self.assertEqual(answer["ARGUMENTS"], "Zoë € Œ\x1fs0\xfe€")

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
            for code in (1, 8):  # the login and the logout have their own methods
                with self.subTest(code=code), self.assertRaises(ValueError):
                    session.execute(code)
            record = session.connection_info
            # An early logout is not repeated at the end of the block.
            self.assertEqual(session.logout()["RECORD_ID"], session.record_id)
        self.assertEqual(native.execute_persistent_operation(record, 20)[1], b"Unknown session")
        self.assertIsNone(session.logout())

    def test_the_servers_words_are_a_refusal_only_where_calls_negotiate(self):
        # A refused negotiation and an error flagged in the answer look alike.
        strangers = self.server.options(credential_item3="mallory")
        session = zorvat.Session(strangers)
        record = session.connection_info
        for call in (lambda: zorvat.execute_direct(strangers, 20), session.login):
            with self.assertRaises(zorvat.NegotiationRefused) as caught:
                call()
            self.assertIsInstance(caught.exception, zorvat.ServerError)
            self.assertEqual(caught.exception.message, "Invalid credentials")
            self.assertIsNone(caught.exception.code)
        self.assertFalse(session.logged_in)
        self.assertEqual(session.connection_info, record)

        # Inside a session, logged out behind its back, no call negotiates.
        with self.assertRaises(zorvat.ServerError) as at_exit:
            with zorvat.Session(self.options) as session:
                native.execute_persistent_operation(session.connection_info, 8)
                with self.assertRaises(zorvat.ServerError) as in_block:
                    session.execute(20)
        for failure in (in_block.exception, at_exit.exception):
            self.assertEqual(failure.message, "Unknown session")
            self.assertNotIsInstance(failure, zorvat.NegotiationRefused)
        self.assertFalse(session.logged_in)  # the logout was sent, and only once

        # A failed logout adds a note to the block's own exception instead.
        with self.assertRaises(KeyError) as caught, zorvat.Session(self.options) as session:
            native.execute_persistent_operation(session.connection_info, 8)
            raise KeyError("from the block")
        self.assertFalse(session.logged_in)  # the logout was tried all the same
        notes = getattr(caught.exception, "__notes__", ["Unknown session"])  # before Python 3.11
        self.assertIn("Unknown session", "".join(notes))

    def test_threads_share_a_session_and_log_it_out_once(self):
        with zorvat.Session(self.options) as session:

            def in_session(index):
                texts = [f"{index}/{n} €" for n in range(CALLS)]
                return [session.execute(20, text)["ARGUMENTS"] for text in texts] == texts

            self.assertEqual(run_together(in_session), [True] * THREADS)
            answers = run_together(lambda index: session.logout())
            self.assertEqual(sum(answer is not None for answer in answers), 1)

    def test_calls_in_flight_together_wait_on_the_loops_own_thread(self):
        # More calls than any executor has workers, each answered after 200 ms.
        count = 300

        async def together(options):
            async def count_threads():
                while True:
                    seen.add(threads())
                    await asyncio.sleep(0.01)

            counting = asyncio.ensure_future(count_threads())
            async with zorvat.aio.Session(options) as session:
                calls = [zorvat.aio.execute_direct(options, 20, str(i)) for i in range(count)]
                calls += [session.execute(20, str(count + i)) for i in range(20)]
                answers = await asyncio.gather(*calls)
            counting.cancel()
            return [answer["ARGUMENTS"] for answer in answers]

        class LoopWithoutReaders(asyncio.SelectorEventLoop):  # as the proactor loop
            def add_reader(self, *arguments):
                raise NotImplementedError

            add_writer = add_reader

        expected = [str(i) for i in range(count + 20)]
        with ReferenceServer("--fault", "response:delay=200") as slow:
            seen = set()
            before = threads()
            self.assertEqual(asyncio.run(together(slow.options())), expected)
            self.assertEqual(seen, {before})
            # Such loops share the library's one waiting thread.
            seen = set()
            loop = LoopWithoutReaders()
            self.addCleanup(loop.close)
            self.assertEqual(loop.run_until_complete(together(slow.options())), expected)
            self.assertLessEqual(max(seen), before + 1)
