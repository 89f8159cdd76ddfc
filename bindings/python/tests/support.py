"""Shared test helpers: servers in a subprocess or a socket, processes, memory."""

import os
import re
import socket
import subprocess
import sys
import unittest
from pathlib import Path

import zorvat

PACKAGE_ROOT = Path(__file__).resolve().parent.parent
SERVER = os.environ.get("ZORVAT_SERVER", "")
requires_server = unittest.skipUnless(
    os.access(SERVER, os.X_OK), "ZORVAT_SERVER does not name the reference server"
)
# Set by the build under AddressSanitizer, whose allocator keeps freed memory.
SANITIZED = bool(os.environ.get("ZORVAT_SANITIZED"))


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
        listening = re.search(r":(\d+)\s*$", first_line)
        if not first_line.startswith("listening on") or listening is None:
            self.stop()
            raise RuntimeError(f"zorvat-server did not start: {first_line!r}")
        self.port = int(listening.group(1))

    def stop(self):
        if self.process.poll() is None:
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


class SilentServer:
    """A listener that never accepts: the connection completes in its backlog
    and no answer ever comes. Gives the credential options for it."""

    def __enter__(self):
        self.listener = socket.socket()
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(8)
        return zorvat.CredentialOptions("127.0.0.1", self.listener.getsockname()[1])

    def __exit__(self, *exception):
        self.listener.close()


def open_descriptors():
    return len(os.listdir("/proc/self/fd"))


def resident_bytes():
    with open("/proc/self/statm", encoding="ascii") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def run_python(code, site, **environment):
    """Runs code in a fresh interpreter that imports zorvat from site.

    An empty value removes the variable from the environment.
    """
    env = {**os.environ, **environment, "PYTHONPATH": str(site)}
    env = {name: value for name, value in env.items() if value}
    return subprocess.run(
        [sys.executable, "-c", code], env=env, cwd=site, capture_output=True, text=True, timeout=60
    )
