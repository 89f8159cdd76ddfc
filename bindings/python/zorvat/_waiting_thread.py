"""One thread that waits on descriptors for loops that cannot.

The proactor loop on Windows has no add_reader or add_writer. Its operations
hand their descriptors to this thread, one for the whole library however
many loops and operations there are: it waits on all of them in one select,
and when one is ready it forgets it (each watch fires once) and calls the
operation back on its own loop with call_soon_threadsafe.
"""

from __future__ import annotations

import asyncio
import selectors
import socket
import sys
import threading
from typing import Callable, Dict, Optional, Tuple


_Callback = Callable[[], None]

#: Windows' select takes at most 512 sockets (CPython's FD_SETSIZE there).
_MOST_WATCHES = 500 if sys.platform == "win32" else None


class _WaitingThread:
    def __init__(self) -> None:
        self.lock = threading.Lock()
        self.selector = selectors.DefaultSelector()
        self.watches: Dict[int, Tuple[asyncio.AbstractEventLoop, _Callback]] = {}
        # Written to when the watches change, so that the select starts again
        # with them.
        self.wake_reader, self.wake_writer = socket.socketpair()
        for end in (self.wake_reader, self.wake_writer):
            end.setblocking(False)
        self.selector.register(self.wake_reader, selectors.EVENT_READ)
        self.thread = threading.Thread(target=self.run, name="zorvat-waiting", daemon=True)
        self.thread.start()

    def watch(
        self, descriptor: int, reading: bool, loop: asyncio.AbstractEventLoop, callback: _Callback
    ) -> None:
        event = selectors.EVENT_READ if reading else selectors.EVENT_WRITE
        with self.lock:
            if _MOST_WATCHES is not None and len(self.watches) >= _MOST_WATCHES:
                raise RuntimeError(
                    f"zorvat: {_MOST_WATCHES} calls already wait on this system's select"
                )
            self.selector.register(descriptor, event)
            self.watches[descriptor] = (loop, callback)
        self.wake()

    def unwatch(self, descriptor: int) -> None:
        # A watch that fired is gone already. The number is still the
        # operation's own: only its next poll or its end may close it, and
        # both come after this.
        with self.lock:
            if self.watches.pop(descriptor, None) is None:
                return
            self.selector.unregister(descriptor)
        self.wake()

    def wake(self) -> None:
        try:
            self.wake_writer.send(b"\0")
        except BlockingIOError:
            pass  # a wake-up is already waiting

    def run(self) -> None:
        while True:
            try:
                events = self.selector.select()
            except OSError:
                # A descriptor was unwatched and closed while the select
                # held it; the next select no longer has it.
                continue
            with self.lock:
                for key, _ in events:
                    if key.fileobj is self.wake_reader:
                        self._drain_wake_ups()
                        continue
                    watched = self.watches.pop(key.fd, None)
                    if watched is None:
                        continue
                    self.selector.unregister(key.fd)
                    loop, callback = watched
                    try:
                        loop.call_soon_threadsafe(callback)
                    except RuntimeError:
                        pass  # the loop was closed; its operations went with it

    def _drain_wake_ups(self) -> None:
        try:
            while self.wake_reader.recv(4096):
                pass
        except BlockingIOError:
            pass


_thread: Optional[_WaitingThread] = None
_thread_lock = threading.Lock()


def _waiting_thread() -> _WaitingThread:
    global _thread
    with _thread_lock:
        if _thread is None:
            _thread = _WaitingThread()
        return _thread


class _ThreadWatcher:
    """Watches for one loop through the library's waiting thread."""

    __slots__ = ("loop", "thread")

    def __init__(self, loop: asyncio.AbstractEventLoop) -> None:
        self.loop = loop
        self.thread = _waiting_thread()

    def watch(self, descriptor: int, reading: bool, callback: _Callback) -> None:
        self.thread.watch(descriptor, reading, self.loop, callback)

    def unwatch(self, descriptor: int) -> None:
        self.thread.unwatch(descriptor)


def watcher_for_loop_without_readers(loop: asyncio.AbstractEventLoop) -> _ThreadWatcher:
    return _ThreadWatcher(loop)
