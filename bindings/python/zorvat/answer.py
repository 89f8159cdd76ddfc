"""A server's answer: text that also offers its items and its named values."""

from __future__ import annotations

import functools
from typing import Dict, List, Optional, Tuple, TypeVar, Union, overload

from .text import ITEM_SEPARATOR, SUBITEM_SEPARATOR

__all__ = ["Answer"]

_Default = TypeVar("_Default")


class Answer(str):
    """The text of an answer (a ``str``, so code that treats it as one keeps
    working), with its structure:

    - ``items``: the text split at the item separator 0x1C;
    - a *keyed* answer, whose first item lists names separated by 0xFE (the
      name at position i names item i; the first names the list itself), is
      also a read-only mapping from those names to the items::

          answer = session.execute(20, ["CUSTOMERS", "1001"])
          answer["RECORD_ID"]          # KeyError when absent
          answer.get("NAME", "")
          for name, value in answer.fields.items():
              print(f"{name:16} {value}")

    ``answer[name]`` and ``get`` find what the library's ZvExtractData finds
    for every name, the first one included (it gives the list itself); a name
    that occurs twice maps to its later item. ``fields`` and ``keys()`` leave
    the list's own name out. Indexes and slices keep their ``str`` meaning.
    The text is split once, on the first use of its structure.
    """

    @functools.cached_property
    def _structure(self) -> Tuple[List[str], List[str], Dict[str, str]]:
        """The items, the names that name one, and each name's item as
        ZvExtractData finds it."""
        items = self.split(ITEM_SEPARATOR)
        # Names beyond the items name nothing; zip keeps a later name's item.
        names = items[0].split(SUBITEM_SEPARATOR)[: len(items)]
        return items, names, dict(zip(names, items))

    @property
    def items(self) -> List[str]:
        """The items between 0x1C separators (one item for text without any)."""
        return list(self._structure[0])

    @property
    def keyed(self) -> bool:
        """Whether the first item is a list of names for the items."""
        items = self._structure[0]
        return len(items) > 1 and SUBITEM_SEPARATOR in items[0]

    @property
    def fields(self) -> Dict[str, str]:
        """The named items in answer order, without the list's own name; empty
        for an answer that is not keyed."""
        if not self.keyed:
            return {}
        _, names, values = self._structure
        if len(values) == len(names):  # no name twice: the common case
            fields = dict(values)
            del fields[names[0]]
            return fields
        # A name that occurs again takes its later place.
        fields = {}
        for name in names[1:]:
            fields.pop(name, None)
            fields[name] = values[name]
        return fields

    def keys(self) -> List[str]:
        """The names of a keyed answer (so ``dict(answer)`` gives its fields)."""
        return list(self.fields)

    @overload
    def __getitem__(self, key: str) -> str: ...

    @overload
    def __getitem__(self, key: Union[int, slice]) -> str: ...

    def __getitem__(self, key):  # type: ignore[override]
        if isinstance(key, str):
            return self._structure[2][key]
        return str.__getitem__(self, key)

    def get(self, name: str, default: Optional[_Default] = None) -> Union[str, _Default, None]:
        """The item named name, or default."""
        return self._structure[2].get(name, default)
