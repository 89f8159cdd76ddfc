"""The operations for asyncio, driven on the running loop.

Each call is the library's non-blocking operation: the loop watches its
socket and its time limit, so thousands of calls can be in flight on the
loop's own thread, with no executor and no thread of their own. Cancelling
the awaiting task (task.cancel(), asyncio.wait_for, asyncio.timeout) ends the
call at once: the library cancels it and closes its connection before the
cancellation goes on.

::

    answer = await zorvat.aio.execute_direct(options, 2, ["CUSTOMERS", "1001"], timeout=30)
    async with zorvat.aio.Session(options, timeout=30) as session:
        print(await session.execute(5, ["CUSTOMERS", "1001"]))
"""

from __future__ import annotations

import asyncio
from types import TracebackType
from typing import Any, Callable, Optional, Type, Union

from . import _driven, native, operations, session
from .answer import Answer
from .operations import Arguments
from .options import CredentialOptions
from .text import Text

__all__ = ["execute_direct", "Session"]


async def execute_direct(
    options: Union[CredentialOptions, Text],
    operation_code: int,
    arguments: Arguments = "",
    input_format: int = 1,
    output_format: int = 1,
    timeout: Optional[float] = None,
    connect_timeout: Optional[float] = None,
) -> Answer:
    """zorvat.execute_direct, awaited."""
    limits = operations.wait_limits(timeout, connect_timeout)
    record = operations.options_bytes(options)
    argument_text = operations.argument_bytes(arguments)
    answer, message, _ = await _driven.run(
        lambda: native.start_direct_operation(
            record, operation_code, argument_text, input_format, output_format, 0, *limits
        )
    )
    return operations.raise_for_outcome(answer, message, negotiated=True)


class Session:
    """zorvat.Session with awaitable login, execute and logout, and ``async with``.

    It may be shared by tasks, and with threads that use the same session
    through ``.session``, the zorvat.Session it holds.
    """

    def __init__(
        self,
        options: Union[CredentialOptions, Text],
        login_arguments: Arguments = "",
        reserved_value: int = 0,
        timeout: Optional[float] = None,
        connect_timeout: Optional[float] = None,
    ) -> None:
        self.session = session.Session(
            options, login_arguments, reserved_value, timeout, connect_timeout
        )

    def __getattr__(self, name: str) -> Any:
        # logged_in, login_answer, connection_info, record_id, session_id
        return getattr(self.session, name)

    async def _wait(self, begin: Callable[[], Any]) -> Any:
        """begin() once the session's state lets it run (see zorvat.Session)."""
        state = self.session
        loop = asyncio.get_running_loop()
        while True:
            with state._state:
                result = begin()
                if result:
                    return result
                waiter = loop.create_future()
                entry = (loop, waiter)
                state._task_waiters.append(entry)
            try:
                await waiter
            finally:
                with state._state:
                    if entry in state._task_waiters:
                        state._task_waiters.remove(entry)

    async def _call(
        self,
        record: bytes,
        code: int,
        arguments: bytes = b"",
        input_format: int = 1,
        output_format: int = 1,
    ) -> tuple:
        """(answer, message, record after the call), as the blocking session's call."""
        limits = self.session._limits
        answer, message, new_record = await _driven.run(
            lambda: native.start_persistent_operation(
                record, code, arguments, input_format, output_format, 0, *limits
            )
        )
        return answer, message, record if new_record is None else new_record

    async def login(self) -> Answer:
        state = self.session
        record = await self._wait(state._begin_login)
        outcome = None
        try:
            outcome = await self._call(record, session._LOGIN, state._login_arguments)
        finally:
            answer = state._end_login(outcome)
        return answer

    async def logout(self) -> Optional[Answer]:
        state = self.session
        if await self._wait(state._begin_logout) is session._NOT_LOGGED_IN:
            return None
        try:
            record = await self._wait(state._idle_record)
            answer, message, _ = await self._call(record, session._LOGOUT)
        finally:
            state._end_logout()
        return operations.raise_for_outcome(answer, message, negotiated=False)

    async def execute(
        self,
        operation_code: int,
        arguments: Arguments = "",
        input_format: int = 1,
        output_format: int = 1,
    ) -> Answer:
        state = self.session
        code, argument_text = state._operation_request(operation_code, arguments)
        record = await self._wait(state._begin_operation)
        try:
            answer, message, _ = await self._call(
                record, code, argument_text, input_format, output_format
            )
        finally:
            state._end_operation()
        return operations.raise_for_outcome(answer, message, negotiated=False)

    async def __aenter__(self) -> "Session":
        if not self.session.logged_in:
            await self.login()
        return self

    async def __aexit__(
        self,
        exc_type: Optional[Type[BaseException]],
        exc: Optional[BaseException],
        traceback: Optional[TracebackType],
    ) -> None:
        # The logout's failure gives way to the block's own exception, as for
        # zorvat.Session.
        try:
            await self.logout()
        except Exception as failure:
            if exc is None:
                raise
            if hasattr(exc, "add_note"):
                exc.add_note(f"zorvat: the logout failed as well: {failure}")

    def __repr__(self) -> str:
        return repr(self.session).replace("zorvat.Session", "zorvat.aio.Session")
