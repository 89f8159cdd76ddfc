"""Python binding of libzorvat, the client transport library for MultiValue databases.

::

    import zorvat

    options = zorvat.CredentialOptions("127.0.0.1", 4711, "ACCOUNT", "alice", "secret")
    print(zorvat.execute_direct(options, 2, ["CUSTOMERS", "1001"]))
    with zorvat.Session(options) as session:
        print(session.execute(5, ["CUSTOMERS", "1001"]))

Text goes in as ``str`` (encoded to ISO-8859-15, strictly) or ``bytes`` (as
they stand); answers come back as ``str`` decoded from ISO-8859-15. Failures
raise ``Error`` and its subclasses. ``zorvat.native`` holds the library's
functions themselves and thin helpers over its string toolkit.

The library is found through the environment variable ``ZORVAT_LIBRARY`` (a
path), else a copy shipped beside this package, else the system's loader.
"""

from __future__ import annotations

from . import native
from .native import library_version
from .errors import Error, NegotiationRefused, ServerError, ServerErrorOrRefusal
from .operations import Arguments, execute_direct
from .options import CredentialOptions
from .session import Session
from .text import (
    ARGUMENT_SEPARATOR,
    ENCODING,
    ITEM_SEPARATOR,
    SUBITEM_SEPARATOR,
    build_arguments,
    build_subitems,
    split_items,
)

__version__ = "1.1.0"

__all__ = [
    "ARGUMENT_SEPARATOR",
    "Arguments",
    "CredentialOptions",
    "ENCODING",
    "Error",
    "ITEM_SEPARATOR",
    "NegotiationRefused",
    "SUBITEM_SEPARATOR",
    "ServerError",
    "ServerErrorOrRefusal",
    "Session",
    "build_arguments",
    "build_subitems",
    "execute_direct",
    "library_version",
    "native",
    "split_items",
]
