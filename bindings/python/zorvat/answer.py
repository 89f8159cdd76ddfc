"""A server's answer: text that also offers its items and its named values."""

from __future__ import annotations

from typing import Dict, List, Optional, TypeVar, Union, overload

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

    A name that occurs twice maps to its later item, as the library's
    ZvExtractData finds it. Indexes and slices keep their ``str`` meaning.
    """

    __slots__ = ()

    @property
    def items(self) -> List[str]:
        """The items between 0x1C separators (one item for text without any)."""
        return self.split(ITEM_SEPARATOR)

    @property
    def keyed(self) -> bool:
        """Whether the first item is a list of names for the items."""
        items = self.items
        return len(items) > 1 and SUBITEM_SEPARATOR in items[0]

    @property
    def fields(self) -> Dict[str, str]:
        """The named items in answer order; empty for an answer that is not keyed."""
        if not self.keyed:
            return {}
        items = self.items
        names = items[0].split(SUBITEM_SEPARATOR)
        fields: Dict[str, str] = {}
        for name, value in zip(names[1:], items[1:]):
            fields.pop(name, None)  # a later duplicate takes the later place
            fields[name] = value
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
            return self.fields[key]
        return str.__getitem__(self, key)

    def get(self, name: str, default: Optional[_Default] = None) -> Union[str, _Default, None]:
        """The item named name, or default."""
        return self.fields.get(name, default)
