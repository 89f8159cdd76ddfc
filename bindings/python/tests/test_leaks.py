"""Nothing leaks: many calls on blocks of 16 KiB leave the process size where it was."""

import os
import unittest

import zorvat
from zorvat import native

from .support import ReferenceServer, requires_server

BLOCK = "x" * 16384
REPETITIONS = 400
ROUNDS = 4
GROWTH_BOUND = 3 * 1024 * 1024  # one block leaked per call would be 6.4 MiB


def resident_bytes():
    with open("/proc/self/statm", encoding="ascii") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


# Set by the build under AddressSanitizer, whose allocator keeps freed memory.
@unittest.skipIf(os.environ.get("ZORVAT_SANITIZED"), "freed memory stays in quarantine")
@requires_server
class LeakTest(unittest.TestCase):
    def test_toolkit_records_and_operations(self):
        def toolkit():
            native.join(native.split(native.join([BLOCK] * 4, "\x1f"), 0x1F), "\x1c")
            native.extract_from_split(BLOCK + "\x1c", 0x1C, 0)
            native.cat(BLOCK, BLOCK, "-")
            native.extract_data("K\xfeV\x1c" + BLOCK, "V")
            credentials = native.create_credential_options(BLOCK, "", 1, "", "", "", "")
            native.connection_info_items(native.create_connection_info(credentials))

        def operations():
            zorvat.execute_direct(options, 20, BLOCK)
            with zorvat.Session(options) as session:
                session.execute(20, BLOCK)
            with self.assertRaises(zorvat.NegotiationRefused):
                zorvat.execute_direct(refusing.options(), 20)

        # The record, and with it the login's answer, is as large as a block.
        with ReferenceServer() as server, ReferenceServer(
            "--fault", f"negotiation:refuse={BLOCK}"
        ) as refusing:
            options = server.options(credential_item6=BLOCK)
            for call in (toolkit, operations):
                # After a first round that lets the allocators settle, a leak grows
                # the process in every round; a new allocator arena only in some.
                growth = []
                for _ in range(ROUNDS):
                    before = resident_bytes()
                    for _ in range(REPETITIONS):
                        call()
                    growth.append(resident_bytes() - before)
                self.assertLess(min(growth[1:]), GROWTH_BOUND, (call, growth))
