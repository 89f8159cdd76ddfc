"""Running one operation outside any session."""

from __future__ import annotations

from typing import List, Optional, Tuple, Union

from . import _cancellable, native
from .answer import Answer
from .errors import error_for
from .options import CredentialOptions
from .text import Argument, Text, build_arguments, decode

__all__ = ["Arguments", "execute_direct"]

#: An operation's arguments: the argument string itself, or a list of
#: arguments for build_arguments.
Arguments = Union[Text, List[Argument], Tuple[Argument, ...]]


def argument_bytes(arguments: Arguments) -> bytes:
    """The argument string as the library takes it."""
    if isinstance(arguments, (list, tuple)):
        return native.to_c_text(build_arguments(arguments), "arguments")
    return native.to_c_text(arguments, "arguments")


def options_bytes(options: Union[CredentialOptions, Text]) -> bytes:
    """The credential-options record as the library takes it."""
    if isinstance(options, CredentialOptions):
        return options.record_bytes
    return native.to_c_text(options, "options")


def raise_for_outcome(
    answer: Optional[bytes], message: Optional[bytes], *, negotiated: bool
) -> Answer:
    """The answer as an Answer, or the Error that the message stands for."""
    if answer is not None and message is None:
        return Answer(decode(answer))
    raise error_for(None if message is None else decode(message), negotiated=negotiated)


def execute_direct(
    options: Union[CredentialOptions, Text],
    operation_code: int,
    arguments: Arguments = "",
    input_format: int = 1,
    output_format: int = 1,
    timeout: Optional[float] = None,
    connect_timeout: Optional[float] = None,
) -> Answer:
    """Runs one operation on the server that options describe; returns its answer.

    The library agrees a fresh key with the server for this one call.
    arguments is the argument string (items separated by 0x1F) or a list of
    arguments (see build_arguments). Raises Error (code set for the
    library's "Cnnn:" messages), or the server's text as ServerError or
    NegotiationRefused; raises ValueError for a code or format outside 0 to
    255 and UnicodeEncodeError for text outside ISO-8859-15, before anything
    is sent.

    timeout is the longest, in seconds, that any one wait for the server may
    last (it starts again whenever bytes move); connect_timeout bounds the
    set-up of each connection. None waits as long as it takes. Past either,
    zorvat.TimeoutError is raised. Ctrl-C cancels the call and raises
    KeyboardInterrupt. Once the request was sent, neither says whether the
    server ran the operation.
    """
    limits = wait_limits(timeout, connect_timeout)
    options_record = options_bytes(options)
    argument_text = argument_bytes(arguments)
    answer, message = _cancellable.run(
        lambda flag: native.execute_direct_operation(
            options_record,
            operation_code,
            argument_text,
            input_format,
            output_format,
            0,
            *limits,
            cancel_flag=flag,
        )
    )
    return raise_for_outcome(answer, message, negotiated=True)


def wait_limits(timeout: Optional[float], connect_timeout: Optional[float]) -> Tuple[int, int]:
    """(connect_timeout_ms, io_timeout_ms) for the library, from seconds."""
    return (
        _cancellable.milliseconds(connect_timeout, "connect_timeout"),
        _cancellable.milliseconds(timeout, "timeout"),
    )
