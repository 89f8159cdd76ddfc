"""A timeout, Ctrl-C and a cancelled asyncio task, against a server that never answers."""

import asyncio
import os
import signal
import socket
import threading
import time
import unittest

import zorvat


def descriptors_and_threads():
    return len(os.listdir("/proc/self/fd")), threading.active_count()


@unittest.skipUnless(os.path.isdir("/proc/self/fd"), "descriptors are counted in /proc")
class LimitsTest(unittest.TestCase):
    def test_calls_to_a_silent_server_end_on_time_and_leave_nothing(self):
        # A parent started in the background may pass SIGINT on ignored.
        previous = signal.signal(signal.SIGINT, signal.default_int_handler)
        self.addCleanup(signal.signal, signal.SIGINT, previous)

        async def cancelled_while_waiting(call):
            task = asyncio.ensure_future(call())
            await asyncio.sleep(0.3)
            task.cancel()
            cancelled_at = time.monotonic()
            with self.assertRaises(asyncio.CancelledError):
                await task
            self.assertLess(time.monotonic() - cancelled_at, 0.5)

        async def in_session():
            async with zorvat.aio.Session(options, timeout=5) as session:
                await session.execute(20)

        with socket.create_server(("127.0.0.1", 0)) as listener:
            options = zorvat.CredentialOptions("127.0.0.1", listener.getsockname()[1])
            before = descriptors_and_threads()
            for call in (
                lambda: zorvat.execute_direct(options, 2, timeout=0.3),
                lambda: zorvat.Session(options, timeout=0.3, connect_timeout=5).login(),
            ):
                started = time.monotonic()
                with self.assertRaises(TimeoutError) as caught:
                    call()
                self.assertGreaterEqual(time.monotonic() - started, 0.29)  # not cut short
                self.assertIsInstance(caught.exception, zorvat.Error)
                self.assertEqual(caught.exception.code, 407)

            ctrl_c = threading.Timer(0.3, os.kill, (os.getpid(), signal.SIGINT))
            ctrl_c.start()
            started = time.monotonic()
            with self.assertRaises(KeyboardInterrupt):
                zorvat.execute_direct(options, 2, timeout=5)
            self.assertLess(time.monotonic() - started, 0.8)
            ctrl_c.join()

            # The limit of 5 s only keeps a call that ignores the cancellation from hanging.
            for call in (lambda: zorvat.aio.execute_direct(options, 2, timeout=5), in_session):
                asyncio.run(cancelled_while_waiting(call))
            # asyncio's own limit cancels the call in the same way.
            limited = asyncio.wait_for(zorvat.aio.execute_direct(options, 2, timeout=5), 0.3)
            started = time.monotonic()
            with self.assertRaises(asyncio.TimeoutError):
                asyncio.run(limited)
            self.assertLess(time.monotonic() - started, 0.5)
            # No thread or descriptor left: each call was cancelled, not abandoned.
            self.assertEqual(descriptors_and_threads(), before)
