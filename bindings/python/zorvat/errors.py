"""The exceptions raised for failed operations.

The library reports a failed operation by a message alone: "Cnnn: text" for
its own failures, or the server's own words. The class of the exception says
which kind of message it was.
"""

from __future__ import annotations

import builtins
import re
from typing import Optional

__all__ = [
    "Error",
    "ServerError",
    "NegotiationRefused",
    "ServerErrorOrRefusal",
    "TimeoutError",
    "OperationCancelled",
    "error_for",
]

# The library writes its failures as "C%03d: text".
_CODED_MESSAGE = re.compile(r"C(\d{3,}): ", re.ASCII)


class Error(Exception):
    """An operation failed.

    ``code`` is the number of a "Cnnn: text" message from the library, or None
    when the message has no such number; ``message`` is the message exactly as
    the library handed it over (decoded from ISO-8859-15).
    """

    code: Optional[int]
    message: str

    def __init__(self, message: str, code: Optional[int] = None) -> None:
        super().__init__(message)
        self.message = message
        self.code = code

    def __str__(self) -> str:
        return self.message

    def __repr__(self) -> str:
        return f"{type(self).__name__}({self.message!r}, code={self.code!r})"

    def __reduce__(self):  # type: ignore[no-untyped-def]
        return (type(self), (self.message, self.code))


class ServerError(Error):
    """The server answered the operation with its own error text (code None)."""


class NegotiationRefused(Error):
    """The server refused the key negotiation; the message is its text (code None)."""


class ServerErrorOrRefusal(ServerError, NegotiationRefused):
    """The server's own text from a call that negotiates a key.

    A direct operation and a login first negotiate a key, and the library
    hands over the server's text in the same way whether the server refused
    that negotiation or flagged an error in its answer to the operation. Such
    a text is therefore raised as an instance of both classes, so that either
    ``except ServerError`` or ``except NegotiationRefused`` catches it.
    """


class TimeoutError(Error, builtins.TimeoutError):  # noqa: A001 - the point is the name
    """The server took longer than the call's limit: to accept the connection
    (code 105) or to take or send the next bytes (code 407).

    Also a built-in ``TimeoutError``. Once the request was sent, the server
    may have run the operation all the same.
    """


class OperationCancelled(Error):
    """The call was cancelled (code 408): by Ctrl-C, or by the cancellation of
    its asyncio task. Once the request was sent, the server may have run the
    operation all the same."""


_CODED_CLASSES = {105: TimeoutError, 407: TimeoutError, 408: OperationCancelled}


def error_for(message: Optional[str], *, negotiated: bool) -> Error:
    """The exception for a failed operation's message.

    negotiated says whether the call ran a key negotiation (a direct operation
    or a login); only then can an uncoded text be a refusal.
    """
    if message is None:
        return Error("the operation failed and the library gave no message")
    coded = _CODED_MESSAGE.match(message)
    if coded is not None:
        code = int(coded.group(1))
        return _CODED_CLASSES.get(code, Error)(message, code)
    if negotiated:
        return ServerErrorOrRefusal(message)
    return ServerError(message)
