"""Text at the library's boundary: the character set and the separators.

Everything the library reads and writes is 8-bit ISO-8859-15 text. Here a
``str`` is encoded strictly (a character outside ISO-8859-15 raises
UnicodeEncodeError before anything is sent) and ``bytes`` pass as they stand;
answers are decoded back to ``str``.
"""

from __future__ import annotations

from typing import Iterable, List, Union

from . import native
from .native import ENCODING, Text

__all__ = [
    "ENCODING",
    "ITEM_SEPARATOR",
    "ARGUMENT_SEPARATOR",
    "SUBITEM_SEPARATOR",
    "Text",
    "Argument",
    "build_arguments",
    "build_subitems",
    "split_items",
    "decode",
]

#: Separates the items of a record and of an answer (0x1C).
ITEM_SEPARATOR = "\x1c"
#: Separates the arguments of an operation (0x1F).
ARGUMENT_SEPARATOR = "\x1f"
#: Separates the sub-items inside one argument or item (0xFE, "þ").
SUBITEM_SEPARATOR = "\xfe"

#: One argument: text, or a list of sub-items to be joined with 0xFE.
Argument = Union[Text, Iterable[Text]]


def decode(data: bytes) -> str:
    """The str for ISO-8859-15 bytes (every byte value has a character)."""
    return data.decode(ENCODING)


def _as_str(value: Text, name: str) -> str:
    # Round-tripping through the C encoding checks str strictly, keeps bytes
    # exactly, and refuses a NUL either way.
    return decode(native.to_c_text(value, name))


def build_subitems(subitems: Iterable[Text]) -> str:
    """The sub-items joined with 0xFE into one argument.

    A sub-item that holds 0xFE or 0x1F would silently turn into several, so
    it is refused with ValueError.
    """
    parts = []
    for subitem in subitems:
        text = _as_str(subitem, "sub-item")
        if SUBITEM_SEPARATOR in text or ARGUMENT_SEPARATOR in text:
            raise ValueError(f"sub-item {text!r} holds a separator byte (0xFE or 0x1F)")
        parts.append(text)
    return SUBITEM_SEPARATOR.join(parts)


def build_arguments(arguments: Iterable[Argument]) -> str:
    """An operation's argument string from a list of arguments.

    Each argument is text, or a list or tuple of sub-items that are joined
    with 0xFE. The arguments are joined with 0x1F. An argument that holds
    0x1F would shift every later one, so it is refused with ValueError.

    >>> build_arguments(["CUSTOMERS", ["ID", "NAME"]]) == "CUSTOMERS\\x1fID\\xfeNAME"
    True
    """
    parts = []
    for argument in arguments:
        if isinstance(argument, (str, bytes, bytearray, memoryview)):
            text = _as_str(argument, "argument")
            if ARGUMENT_SEPARATOR in text:
                raise ValueError(f"argument {text!r} holds the argument separator 0x1F")
        elif isinstance(argument, (list, tuple)):
            text = build_subitems(argument)
        else:
            raise TypeError(
                "an argument must be str, bytes or a list of sub-items, "
                f"not {type(argument).__name__}"
            )
        parts.append(text)
    return ARGUMENT_SEPARATOR.join(parts)


def split_items(text: Text, separator: str = ITEM_SEPARATOR) -> List[str]:
    """The items of an answer or record between separators, as str."""
    return [decode(item) for item in native.split(text, separator)]
