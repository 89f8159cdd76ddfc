"""Shared test helpers: the reference server in a subprocess."""

import os
import re
import subprocess
import unittest
from pathlib import Path

import zorvat

PACKAGE_ROOT = Path(__file__).resolve().parent.parent
SERVER = os.environ.get("ZORVAT_SERVER", "")
requires_server = unittest.skipUnless(
    os.access(SERVER, os.X_OK), "ZORVAT_SERVER does not name the reference server"
)


class ReferenceServer:
    """zorvat-server on an ephemeral loopback port, for the life of a with-block."""

    def __init__(self, *arguments):
        # The server brings its own sanitizer runtime, if any; one preloaded
        # for the interpreter would clash with a statically linked one.
        environment = {name: value for name, value in os.environ.items() if name != "LD_PRELOAD"}
        self.process = subprocess.Popen(
            [SERVER, "--host", "127.0.0.1", "--port", "0", *arguments],
            env=environment,
            stdout=subprocess.PIPE,
            stderr=subprocess.DEVNULL,
            text=True,
        )
        first_line = self.process.stdout.readline()
        listening = re.fullmatch(r"listening on .*:(\d+)\s*", first_line)
        if listening is None:
            self.stop()
            raise RuntimeError(f"zorvat-server did not start: {first_line!r}")
        self.port = int(listening.group(1))

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=10)
        self.process.stdout.close()

    def options(self, **items):
        """Credential options for this server; items override the defaults."""
        values = dict(credential_item1="ACCOUNT", credential_item3="alice", credential_item4="pw")
        return zorvat.CredentialOptions("127.0.0.1", self.port, **{**values, **items})

    def __enter__(self):
        return self

    def __exit__(self, *exception):
        self.stop()
