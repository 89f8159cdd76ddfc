"""Python binding of libzorvat, the client transport library for MultiValue databases.

::

    import zorvat

    options = zorvat.CredentialOptions("127.0.0.1", 4711, "ACCOUNT", "alice", "secret")
    print(zorvat.execute_direct(options, 2, ["CUSTOMERS", "1001"]).items)
    with zorvat.Session(options) as session:
        print(session.execute(5, ["CUSTOMERS", "1001"]).fields)

Text goes in as ``str`` (encoded to ISO-8859-15, strictly) or ``bytes`` (as
they stand); answers come back as ``Answer``, a ``str`` decoded from
ISO-8859-15 that also splits itself into ``items`` and, when keyed, maps
names to items. Failures raise ``Error`` and its subclasses; ``timeout`` and
``connect_timeout`` (seconds) bound every call, which then raises
``zorvat.TimeoutError``, and Ctrl-C cancels a call. ``zorvat.aio`` offers the
same for asyncio. ``zorvat.native`` holds the library's
functions themselves and thin helpers over its string toolkit.

The library is found through the environment variable ``ZORVAT_LIBRARY`` (a
path), else a copy shipped beside this package, else the system's loader.
"""

from __future__ import annotations

from . import native
from .answer import Answer
from .native import library_version
from .errors import (
    Error,
    NegotiationRefused,
    OperationCancelled,
    ServerError,
    ServerErrorOrRefusal,
    TimeoutError,
)
from .operations import Arguments, execute_direct
from .options import CredentialOptions
from .session import Session
from . import aio  # noqa: E402 - after the modules it builds on
from .text import (
    ARGUMENT_SEPARATOR,
    ENCODING,
    ITEM_SEPARATOR,
    SUBITEM_SEPARATOR,
    build_arguments,
    build_subitems,
    split_items,
)

__version__ = "1.2.0"

__all__ = [
    "ARGUMENT_SEPARATOR",
    "Answer",
    "Arguments",
    "CredentialOptions",
    "ENCODING",
    "Error",
    "ITEM_SEPARATOR",
    "NegotiationRefused",
    "OperationCancelled",
    "SUBITEM_SEPARATOR",
    "ServerError",
    "ServerErrorOrRefusal",
    "Session",
    "TimeoutError",
    "build_arguments",
    "aio",
    "build_subitems",
    "execute_direct",
    "library_version",
    "native",
    "split_items",
]
