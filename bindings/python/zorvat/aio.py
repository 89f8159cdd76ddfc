"""The operations for asyncio: each call runs on the loop's default executor,
and cancelling the awaiting task cancels the call itself (within about
100 ms) before the cancellation goes on.

::

    answer = await zorvat.aio.execute_direct(options, 2, ["CUSTOMERS", "1001"], timeout=30)
    async with zorvat.aio.Session(options, timeout=30) as session:
        print(await session.execute(5, ["CUSTOMERS", "1001"]))
"""

from __future__ import annotations

import functools
from types import TracebackType
from typing import Any, Optional, Type, Union

from . import operations, session
from ._cancellable import run_async
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
    # Checked here, so that a wrong argument is raised before anything runs.
    operations.wait_limits(timeout, connect_timeout)
    return await run_async(
        lambda flag: operations.execute_direct(
            options,
            operation_code,
            arguments,
            input_format,
            output_format,
            timeout,
            connect_timeout,
            _cancel_flag=flag,
        )
    )


class Session:
    """zorvat.Session with awaitable login, execute and logout, and ``async with``.

    It may be shared by tasks (and threads) as zorvat.Session may.
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

    async def login(self) -> Answer:
        return await run_async(lambda flag: self.session.login(_cancel_flag=flag))

    async def logout(self) -> Optional[Answer]:
        return await run_async(lambda flag: self.session.logout(_cancel_flag=flag))

    async def execute(
        self,
        operation_code: int,
        arguments: Arguments = "",
        input_format: int = 1,
        output_format: int = 1,
    ) -> Answer:
        call = functools.partial(
            self.session.execute, operation_code, arguments, input_format, output_format
        )
        return await run_async(lambda flag: call(_cancel_flag=flag))

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
