"""Operations driven on the running asyncio loop.

Each operation is the library's non-blocking machine (ZvStartDirectOperation,
ZvPollOperation, ...). The loop watches the operation's descriptor with
add_reader or add_writer and one call_at timer stands for its next limit, so
any number of operations wait on the loop's own thread.

The watch is removed before every poll and added again after it: a poll may
close the descriptor, and the number may come back at once as another
socket, which a registration left behind would then mistake for ours.

One scheduler per loop makes the polls, in slices of loop time: thousands of
operations that become ready together then hold the loop no longer than a
slice before its timers and other callbacks run.

Loops without add_reader (the proactor loop on Windows) hand their watches to
one waiting thread that serves the whole library (see _waiting_thread.py).
"""

from __future__ import annotations

import asyncio
import collections
import time
import weakref
from typing import Any, Callable, Deque, Optional, Tuple

from . import native
from ._waiting_thread import watcher_for_loop_without_readers

#: Seconds of polling before the scheduler lets the loop run its other work.
_SLICE = 0.002
#: When a waiting operation names no descriptor and no limit, it is polled
#: again after this many seconds rather than never.
_RETRY_WITHOUT_DESCRIPTOR = 0.01

Outcome = Tuple[Optional[bytes], Optional[bytes], Optional[bytes]]


class _Scheduler:
    """The operations of one loop that are due for a poll."""

    def __init__(self, loop: asyncio.AbstractEventLoop) -> None:
        self.loop_reference = weakref.ref(loop)
        self.due: Deque["_Operation"] = collections.deque()
        self.pending = False
        # The waiting thread's watcher, once the loop turned out to have no
        # add_reader; None while the loop's own are used.
        self.watcher: Any = None

    def schedule(self, operation: "_Operation") -> None:
        self.due.append(operation)
        if not self.pending:
            self.pending = True
            operation.loop.call_soon(self.run)

    def run(self) -> None:
        due = self.due
        until = time.perf_counter() + _SLICE
        try:
            while due:
                due.popleft().poll()
                if time.perf_counter() >= until:
                    break
        finally:  # also when Ctrl-C interrupted a poll
            loop = self.loop_reference()
            if due and loop is not None and not loop.is_closed():
                loop.call_soon(self.run)  # the next iteration, after timers and events
            else:
                self.pending = False


_schedulers: "weakref.WeakKeyDictionary[asyncio.AbstractEventLoop, _Scheduler]" = (
    weakref.WeakKeyDictionary()
)


def _scheduler_for(loop: asyncio.AbstractEventLoop) -> _Scheduler:
    scheduler = _schedulers.get(loop)
    if scheduler is None:
        scheduler = _schedulers[loop] = _Scheduler(loop)
    return scheduler


class _Operation:
    """One library operation and what the loop holds for it."""

    __slots__ = ("loop", "scheduler", "handle", "future", "watch", "timer", "queued")

    def __init__(self, loop: asyncio.AbstractEventLoop, handle: int) -> None:
        self.loop = loop
        self.scheduler = _scheduler_for(loop)
        self.handle: Optional[int] = handle
        self.future: "asyncio.Future[Outcome]" = loop.create_future()
        # (the function that removes the watch, descriptor) while one is watched
        self.watch: Optional[Tuple[Callable[[int], Any], int]] = None
        self.timer: Optional[asyncio.TimerHandle] = None
        self.queued = False  # waiting for its turn to be polled

    def poll(self) -> None:
        """Polls the operation: finishes it, or watches what it waits for."""
        self.queued = False
        handle = self.handle
        if handle is None:
            return  # finished while it waited for its turn
        self._unwatch()
        try:
            wants = native.ZvPollOperation(handle)
            if wants == native.OPERATION_DONE:
                outcome = self._finish()
                if not self.future.done():
                    self.future.set_result(outcome)
            else:
                self._wait_for(handle, wants)
        except Exception as failure:  # handed to the awaiting task
            self.close()
            if not self.future.done():
                self.future.set_exception(failure)
        except BaseException:  # Ctrl-C, SystemExit: the loop's to handle
            self.close()
            raise

    def _wait_for(self, handle: int, wants: int) -> None:
        descriptor = native.ZvGetOperationSocket(handle)
        timeout = native.ZvGetOperationTimeout(handle)
        if descriptor >= 0:
            self._watch(descriptor, wants == native.OPERATION_WANTS_READ)
        if timeout != native.NO_TIMEOUT:
            due = self.loop.time() + timeout / 1000
        elif descriptor < 0:
            due = self.loop.time() + _RETRY_WITHOUT_DESCRIPTOR
        else:
            return
        # A timer that falls due no later is kept: it polls early, which only
        # sets the next one. Most polls move the limit a little further.
        if self.timer is not None:
            if self.timer.when() <= due:
                return
            self.timer.cancel()
        self.timer = self.loop.call_at(due, self.timed_out)

    def _watch(self, descriptor: int, reading: bool) -> None:
        loop = self.loop
        watcher = self.scheduler.watcher
        if watcher is None:
            try:
                if reading:
                    loop.add_reader(descriptor, self.ready)
                    self.watch = (loop.remove_reader, descriptor)
                else:
                    loop.add_writer(descriptor, self.ready)
                    self.watch = (loop.remove_writer, descriptor)
                return
            except NotImplementedError:
                watcher = self.scheduler.watcher = watcher_for_loop_without_readers(loop)
        watcher.watch(descriptor, reading, self.ready)
        self.watch = (watcher.unwatch, descriptor)

    def ready(self) -> None:
        """The descriptor is ready: poll in turn."""
        self._unwatch()
        self.schedule()

    def timed_out(self) -> None:
        """The limit fell due: poll in turn, event or not."""
        self.timer = None
        self._unwatch()
        self.schedule()

    def schedule(self) -> None:
        if not self.queued:
            self.queued = True
            self.scheduler.schedule(self)

    def _unwatch(self) -> None:
        if self.watch is not None:
            remove, descriptor = self.watch
            self.watch = None
            remove(descriptor)

    def _release(self) -> int:
        self._unwatch()
        if self.timer is not None:
            self.timer.cancel()
            self.timer = None
        handle, self.handle = self.handle, None
        return handle

    def _finish(self) -> Outcome:
        return native.finish_operation(self._release())

    def close(self) -> None:
        """Finishes the operation if it still runs, which cancels it: its
        descriptors are closed before this returns. Nobody reads the outcome,
        so the library is not asked for its message."""
        if self.handle is not None:
            native.ZvFreeMemory(native.ZvFinishOperation(self._release(), None, None))


async def run(start: Callable[[], int]) -> Outcome:
    """Starts an operation with start() and drives it on the running loop to
    its end; returns (answer, message, record) as native.finish_operation.

    Cancelling the awaiting task finishes the operation at once (it is
    cancelled inside the library) before the cancellation goes on.
    """
    loop = asyncio.get_running_loop()
    operation = _Operation(loop, start())
    operation.schedule()
    try:
        return await operation.future
    finally:
        operation.close()
