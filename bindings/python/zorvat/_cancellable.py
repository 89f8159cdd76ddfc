"""Running a blocking library call so that Ctrl-C in the main thread stops it.

The library reads a flag (a ctypes int32) at every wait and stops within
100 ms once it is set. A call made on the main thread runs on a worker thread
while the main thread waits in short slices, so that Python can deliver
SIGINT; on KeyboardInterrupt the flag is set, the worker is joined (the call
has closed what it opened by then) and the interrupt goes on.
"""

from __future__ import annotations

import math
import threading
from typing import Callable, Optional, TypeVar

from .native import CancelFlag

Result = TypeVar("Result")

#: How long the waiting main thread sleeps between chances to see a signal.
_SLICE = 0.05


def milliseconds(seconds: Optional[float], name: str) -> int:
    """A limit in seconds as the library's milliseconds; None is no limit (0)."""
    if seconds is None:
        return 0
    if isinstance(seconds, bool) or not isinstance(seconds, (int, float)):
        raise TypeError(f"{name} must be a number of seconds or None, not {type(seconds).__name__}")
    if not 0 < seconds < 4294967.295:
        raise ValueError(f"{name} must be above 0 and below 4294967.295 seconds, not {seconds}")
    # Rounded up: a limit never ends earlier than asked, and never becomes 0.
    return math.ceil(seconds * 1000)


def run(function: Callable[[Optional[CancelFlag]], Result]) -> Result:
    """function(flag), cancelled through the flag when Ctrl-C interrupts the wait.

    Only the main thread receives signals; elsewhere the call runs in place.
    """
    if threading.current_thread() is not threading.main_thread():
        return function(None)
    flag = CancelFlag(0)
    outcome: dict = {}
    # Waited for rather than the thread itself: an interrupted Thread.join
    # can leave the thread marked as stopped while it still runs.
    done = threading.Event()

    def work() -> None:
        try:
            outcome["result"] = function(flag)
        except BaseException as failure:  # handed to the waiting thread
            outcome["failure"] = failure
        finally:
            done.set()

    worker = threading.Thread(target=work, name="zorvat-call", daemon=True)
    worker.start()
    try:
        while not done.wait(_SLICE):
            pass
    except BaseException:
        flag.value = 1
        _finish_regardless(done, worker)
        raise
    worker.join()
    if "failure" in outcome:
        raise outcome["failure"]
    return outcome["result"]


def _finish_regardless(done: threading.Event, worker: threading.Thread) -> None:
    # The call ends within 100 ms of the flag; a second Ctrl-C meanwhile must
    # not leave it running behind the first one's back.
    while True:
        try:
            done.wait()
            worker.join()
            return
        except KeyboardInterrupt:
            pass
