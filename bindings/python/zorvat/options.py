"""The credential-options record: where the server is and what is presented to it."""

from __future__ import annotations

from typing import Tuple

from . import native
from .text import Text, decode

__all__ = ["CredentialOptions"]


class CredentialOptions:
    """The 8-item credential-options record for one server.

    The items are copied into the login, direct and logout requests as they
    stand; their meaning is the server's business. Items are ``str`` (encoded
    to ISO-8859-15, strictly) or ``bytes``. The record is built once, here,
    and an instance does not change afterwards.

    The library does not check the items: one that holds the item separator
    0x1C gives a record of more than 8 items, which an operation then refuses
    with error C031.
    """

    __slots__ = ("_record", "_items", "_port")

    def __init__(
        self,
        host: Text,
        port: int,
        credential_item1: Text = "",
        credential_item3: Text = "",
        credential_item4: Text = "",
        credential_item5: Text = "",
        credential_item6: Text = "",
        plugin: Text = "",
    ) -> None:
        self._record: bytes = native.create_credential_options(
            host,
            credential_item1,
            port,
            credential_item3,
            credential_item4,
            credential_item5,
            credential_item6,
            plugin,
        )
        self._port: int = port
        self._items: Tuple[str, ...] = tuple(
            decode(native.to_c_text(item))
            for item in (
                host,
                credential_item1,
                str(port),
                credential_item3,
                credential_item4,
                credential_item5,
                credential_item6,
                plugin,
            )
        )

    @property
    def record(self) -> str:
        """The record string: the 8 items separated by 0x1C."""
        return decode(self._record)

    @property
    def record_bytes(self) -> bytes:
        """The record string as the library reads it."""
        return self._record

    @property
    def host(self) -> str:
        return self._items[0]

    @property
    def port(self) -> int:
        return self._port

    @property
    def credential_item1(self) -> str:
        return self._items[1]

    @property
    def credential_item3(self) -> str:
        return self._items[3]

    @property
    def credential_item4(self) -> str:
        return self._items[4]

    @property
    def credential_item5(self) -> str:
        return self._items[5]

    @property
    def credential_item6(self) -> str:
        return self._items[6]

    @property
    def plugin(self) -> str:
        return self._items[7]

    def __eq__(self, other: object) -> bool:
        if not isinstance(other, CredentialOptions):
            return NotImplemented
        return self._record == other._record

    def __hash__(self) -> int:
        return hash(self._record)

    def __repr__(self) -> str:
        # The credential items may hold a password: only where to connect is shown.
        return f"CredentialOptions(host={self.host!r}, port={self.port!r}, ...)"
