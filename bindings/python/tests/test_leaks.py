"""Nothing leaks: many calls leave the process size where it was.

Each call handles blocks of 16 KiB, so that one block per call that the
binding failed to release would add up to far more than the bound.
"""

import unittest

import zorvat
from zorvat import native

from .support import SANITIZED, ReferenceServer, requires_server, resident_bytes

BLOCK = "x" * 16384
REPETITIONS = 400
ROUNDS = 4
GROWTH_BOUND = 3 * 1024 * 1024  # 400 leaked blocks would be 6.4 MiB


@unittest.skipIf(SANITIZED, "the sanitizer's allocator keeps freed memory in quarantine")
class LeakTest(unittest.TestCase):
    def assert_stable(self, call):
        # After a first round that lets the allocators settle, a leak grows
        # the process in every round; a new allocator arena only in some.
        growth = []
        for _ in range(ROUNDS):
            before = resident_bytes()
            for _ in range(REPETITIONS):
                call()
            growth.append(resident_bytes() - before)
        self.assertLess(min(growth[1:]), GROWTH_BOUND, growth)

    def test_toolkit_and_records(self):
        def call():
            native.join(native.split(native.join([BLOCK] * 4, "\x1f"), 0x1F), "\x1c")
            native.extract_from_split(BLOCK + "\x1c", 0x1C, 0)
            native.cat(BLOCK, BLOCK, "-")
            native.extract_data("K\xfeV\x1c" + BLOCK, "V")
            options = native.create_credential_options(BLOCK, "", 1, "", "", "", "")
            native.connection_info_items(native.create_connection_info(options))

        self.assert_stable(call)

    @requires_server
    def test_operations_and_their_failures(self):
        def login_and_logout():
            with zorvat.Session(options):
                pass

        def refused():
            with self.assertRaises(zorvat.NegotiationRefused):
                zorvat.execute_direct(refusing.options(), 20)

        # The record, and with it the login's answer, is as large as a block.
        with ReferenceServer() as server, ReferenceServer(
            "--fault", f"negotiation:refuse={BLOCK}"
        ) as refusing:
            options = server.options(credential_item6=BLOCK)
            with zorvat.Session(options) as session:
                self.assert_stable(lambda: session.execute(20, BLOCK))
            for call in (
                lambda: zorvat.execute_direct(options, 20, BLOCK),
                login_and_logout,
                refused,
            ):
                self.assert_stable(call)
