"""Time limits and cancellation: a timeout, Ctrl-C, and the
cancellation of an asyncio task, against a server that never answers."""

import asyncio
import os
import signal
import threading
import time
import unittest

import zorvat

from .support import SilentServer, open_descriptors


@unittest.skipUnless(os.path.isdir("/proc/self/fd"), "descriptors are counted in /proc")
class LimitsTest(unittest.TestCase):
    def test_a_silent_server_times_out(self):
        with SilentServer() as options:
            before = open_descriptors()
            calls = (
                lambda: zorvat.execute_direct(options, 2, timeout=0.3),
                lambda: zorvat.Session(options, timeout=0.3, connect_timeout=5).login(),
            )
            for call in calls:
                started = time.monotonic()
                with self.assertRaises(TimeoutError) as caught:
                    call()
                self.assertGreaterEqual(time.monotonic() - started, 0.29)  # not cut short
                self.assertIsInstance(caught.exception, zorvat.Error)
                self.assertEqual(caught.exception.code, 407)
            self.assertEqual(open_descriptors(), before)
            with self.assertRaises(ValueError):
                zorvat.execute_direct(options, 2, timeout=0)

    def test_cancelling_the_task_cancels_the_call(self):
        async def cancel_while_waiting(make_call):
            task = asyncio.ensure_future(make_call())
            await asyncio.sleep(0.3)
            task.cancel()
            cancelled_at = time.monotonic()
            with self.assertRaises(asyncio.CancelledError):
                await task
            return time.monotonic() - cancelled_at

        async def in_session(options):
            async with zorvat.aio.Session(options, timeout=5) as session:
                await session.execute(20)

        # The limit only keeps a call that ignores the cancellation from hanging.
        with SilentServer() as options:
            before = open_descriptors()
            for make_call in (
                lambda: zorvat.aio.execute_direct(options, 2, timeout=5),
                lambda: in_session(options),
            ):
                self.assertLess(asyncio.run(cancel_while_waiting(make_call)), 0.5)
            self.assertEqual(open_descriptors(), before)

    def test_ctrl_c_interrupts_a_blocked_call(self):
        # A parent started in the background may pass SIGINT on ignored.
        previous = signal.signal(signal.SIGINT, signal.default_int_handler)
        self.addCleanup(signal.signal, signal.SIGINT, previous)
        with SilentServer() as options:
            before = (open_descriptors(), threading.active_count())
            ctrl_c = threading.Timer(0.3, os.kill, (os.getpid(), signal.SIGINT))
            ctrl_c.start()
            started = time.monotonic()
            with self.assertRaises(KeyboardInterrupt):
                zorvat.execute_direct(options, 2, timeout=5)
            elapsed = time.monotonic() - started
            ctrl_c.join()
            # No thread or descriptor left: the call was cancelled, not abandoned.
            self.assertEqual((open_descriptors(), threading.active_count()), before)
        self.assertLess(elapsed, 0.8)
