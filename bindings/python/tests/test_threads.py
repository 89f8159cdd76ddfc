"""Many threads at once: direct operations and one shared session."""

import threading
import unittest
from concurrent.futures import ThreadPoolExecutor

import zorvat

from .support import ReferenceServer, answer_fields, requires_server

THREADS = 8
CALLS = 25


def run_together(work):
    """Runs work(i) on THREADS threads released at the same moment; returns the results."""
    start = threading.Barrier(THREADS)

    def task(index):
        start.wait()
        return work(index)

    with ThreadPoolExecutor(THREADS) as pool:
        return list(pool.map(task, range(THREADS)))


@requires_server
class ThreadsTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.server = ReferenceServer()
        cls.options = cls.server.options()

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()

    def test_direct_operations_get_their_own_answers(self):
        def work(index):
            texts = [f"thread {index} call {n} €" for n in range(CALLS)]
            answers = [zorvat.execute_direct(self.options, 20, text) for text in texts]
            return [answer_fields(answer)["ARGUMENTS"] for answer in answers] == texts

        self.assertEqual(run_together(work), [True] * THREADS)

    def test_one_session_shared_by_many_threads(self):
        with zorvat.Session(self.options) as session:

            def work(index):
                texts = [f"{index}/{n}" for n in range(CALLS)]
                answers = [answer_fields(session.execute(20, text))["ARGUMENTS"] for text in texts]
                return answers == texts

            self.assertEqual(run_together(work), [True] * THREADS)
            # Of many simultaneous logouts only one is sent.
            answers = run_together(lambda index: session.logout())
            self.assertEqual(sum(answer is not None for answer in answers), 1)
