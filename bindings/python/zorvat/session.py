"""A login session on the server, held in a connection-info record."""

from __future__ import annotations

import asyncio
import threading
import warnings
from types import TracebackType
from typing import Any, Callable, List, Optional, Tuple, Type, Union

from . import _cancellable, native
from .answer import Answer
from .errors import Error
from .operations import Arguments, argument_bytes, options_bytes, raise_for_outcome, wait_limits
from .options import CredentialOptions
from .text import Text, decode

__all__ = ["Session"]

_LOGIN = 1
_LOGOUT = 8
_RECORD_ID_ITEM = 8
_SESSION_ID_ITEM = 9
_NOT_LOGGED_IN = object()


def _wake(waiter: "asyncio.Future[None]") -> None:
    if not waiter.done():
        waiter.set_result(None)


class Session:
    """A session on one server: logs in on ``with``, logs out when the block ends.

    ::

        with zorvat.Session(options) as session:
            answer = session.execute(5, ["CUSTOMERS", "1001"])

    The session lives in the connection-info record (12 items) that the login
    fills with the server's record identifier, the session identifier and the
    session key. The record is kept in this object; nothing is left allocated
    in the library between calls.

    A Session may be used from several threads at once: operations run side by
    side, the login and the logout wait for the operations in flight, and only
    one logout is ever sent.

    timeout and connect_timeout (seconds, None for none) bound every call of
    the session as they do for execute_direct; Ctrl-C cancels a call.
    """

    def __init__(
        self,
        options: Union[CredentialOptions, Text],
        login_arguments: Arguments = "",
        reserved_value: int = 0,
        timeout: Optional[float] = None,
        connect_timeout: Optional[float] = None,
    ) -> None:
        self._logged_in = False
        self._limits = wait_limits(timeout, connect_timeout)
        self._record: bytes = native.create_connection_info(options_bytes(options), reserved_value)
        self._login_arguments = argument_bytes(login_arguments)
        self._login_answer = Answer("")
        # Guards the record and the state below; operations run outside it.
        self._state = threading.Condition(threading.Lock())
        self._operations_in_flight = 0
        self._changing = False  # a login or logout is under way
        # (loop, future) of the asyncio tasks waiting for the state to change
        self._task_waiters: List[Tuple[asyncio.AbstractEventLoop, "asyncio.Future[None]"]] = []

    # ---- State -----------------------------------------------------------

    @property
    def logged_in(self) -> bool:
        """Whether the login succeeded and no logout has been sent since."""
        with self._state:
            return self._logged_in

    @property
    def login_answer(self) -> Answer:
        """The server's answer to the login; empty before it."""
        with self._state:
            return self._login_answer

    @property
    def connection_info(self) -> str:
        """The whole connection-info record (12 items separated by 0x1C).

        After the login it holds the session key: keep it as secret as a
        password.
        """
        with self._state:
            return decode(self._record)

    @property
    def record_id(self) -> str:
        """The RECORD_ID value of the login answer (record item 8)."""
        return self._item(_RECORD_ID_ITEM)

    @property
    def session_id(self) -> str:
        """The session identifier the server assigned, as text (record item 9)."""
        return self._item(_SESSION_ID_ITEM)

    def _item(self, index: int) -> str:
        with self._state:
            record = self._record
        item = native.connection_info_item(record, index)
        return "" if item is None else decode(item)

    # ---- Login and logout -------------------------------------------------

    def _call(
        self,
        record: bytes,
        code: int,
        arguments: bytes = b"",
        input_format: int = 1,
        output_format: int = 1,
    ) -> tuple:
        """The library's call within the session's limits; Ctrl-C cancels it."""
        return _cancellable.run(
            lambda flag: native.execute_persistent_operation(
                record, code, arguments, input_format, output_format, 0, *self._limits,
                cancel_flag=flag,
            )
        )

    def login(self) -> Answer:
        """Logs in and returns the server's answer.

        Raises Error when the session is already logged in or the login
        fails; a failed login leaves the session as it was.
        """
        record = self._wait(self._begin_login)
        outcome = None
        try:
            outcome = self._call(record, _LOGIN, self._login_arguments)
        finally:
            answer = self._end_login(outcome)
        return answer

    def logout(self) -> Optional[Answer]:
        """Logs out and returns the server's answer; None when not logged in.

        Waits for the operations in flight on other threads. The logout is
        sent once: afterwards the session counts as logged out even when the
        server's answer was an error (which is raised).
        """
        if self._wait(self._begin_logout) is _NOT_LOGGED_IN:
            return None
        try:
            record = self._wait(self._idle_record)
            answer, message, _ = self._call(record, _LOGOUT)
        finally:
            self._end_logout()
        return raise_for_outcome(answer, message, negotiated=False)

    def execute(
        self,
        operation_code: int,
        arguments: Arguments = "",
        input_format: int = 1,
        output_format: int = 1,
    ) -> Answer:
        """Runs one operation inside the session and returns the server's answer.

        arguments is the argument string (items separated by 0x1F) or a list
        of arguments (see build_arguments). The login (1) and the logout (8)
        have their own methods and are refused here with ValueError. Raises
        Error when not logged in or when the operation fails; the server's
        own error text is a ServerError.
        """
        code, argument_text = self._operation_request(operation_code, arguments)
        record = self._wait(self._begin_operation)
        try:
            answer, message, _ = self._call(
                record, code, argument_text, input_format, output_format
            )
        finally:
            self._end_operation()
        return raise_for_outcome(answer, message, negotiated=False)

    # ---- The session's state, shared by threads and by asyncio tasks ---------
    #
    # Each _begin_* runs under the lock and either changes the state and
    # returns what the call needs, or returns None: wait for the next change.
    # Threads wait on the condition; tasks (zorvat.aio) on a future that the
    # change wakes through their loop.

    def _wait(self, begin: Callable[[], Any]) -> Any:
        with self._state:
            return self._state.wait_for(begin)

    def _notify(self) -> None:
        """Wakes every waiter; called under the lock."""
        self._state.notify_all()
        for loop, waiter in self._task_waiters:
            try:
                loop.call_soon_threadsafe(_wake, waiter)
            except RuntimeError:
                pass  # the loop was closed, with the task that waited on it
        self._task_waiters.clear()

    def _begin_login(self) -> Optional[bytes]:
        if self._changing:
            return None
        if self._logged_in:
            raise Error("the session is already logged in")
        self._changing = True
        return self._record

    def _end_login(self, outcome: Optional[tuple]) -> Answer:
        """Takes the login's outcome (None when it raised), and the new record
        when it succeeded; returns the answer or raises its Error."""
        with self._state:
            try:
                if outcome is None:
                    return Answer("")
                answer, message, new_record = outcome
                answer_text = raise_for_outcome(answer, message, negotiated=True)
                self._record = new_record
                self._login_answer = answer_text
                self._logged_in = True
                return answer_text
            finally:
                self._changing = False
                self._notify()

    def _begin_logout(self) -> Any:
        if self._changing:
            return None
        if not self._logged_in:
            return _NOT_LOGGED_IN
        self._changing = True  # no operation starts from now on
        return True

    def _idle_record(self) -> Optional[bytes]:
        return self._record if self._operations_in_flight == 0 else None

    def _end_logout(self) -> None:
        with self._state:
            self._logged_in = False
            self._changing = False
            self._notify()

    def _operation_request(self, operation_code: int, arguments: Arguments) -> tuple:
        if operation_code in (_LOGIN, _LOGOUT):
            raise ValueError("codes 1 and 8 are the login and the logout: use login() and logout()")
        return native.checked_byte(operation_code, "operation_code"), argument_bytes(arguments)

    def _begin_operation(self) -> Optional[bytes]:
        if self._changing:
            return None
        if not self._logged_in:
            raise Error("the session is not logged in")
        self._operations_in_flight += 1
        return self._record

    def _end_operation(self) -> None:
        with self._state:
            self._operations_in_flight -= 1
            self._notify()

    # ---- Context manager ----------------------------------------------------

    def __enter__(self) -> "Session":
        if not self.logged_in:
            self.login()
        return self

    def __exit__(
        self,
        exc_type: Optional[Type[BaseException]],
        exc: Optional[BaseException],
        traceback: Optional[TracebackType],
    ) -> None:
        try:
            self.logout()
        except Error as failure:
            if exc is None:
                raise
            # The block's own exception is the one worth seeing.
            if hasattr(exc, "add_note"):
                exc.add_note(f"zorvat: the logout failed as well: {failure}")

    def __del__(self) -> None:
        if getattr(self, "_logged_in", False):
            warnings.warn(
                "zorvat.Session dropped while logged in; the server keeps the session",
                ResourceWarning,
                stacklevel=2,
            )

    def __repr__(self) -> str:
        state = "logged in" if self._logged_in else "not logged in"
        return f"<zorvat.Session {state}>"
