"""Finding and loading the shared library.

The library is looked for in three places, in this order:

1. the path in the environment variable ``ZORVAT_LIBRARY``;
2. the copy shipped inside the package (compiled when the package was
   built, or the file ``ZORVAT_LIBRARY`` named at that time);
3. the system's dynamic loader (``LD_LIBRARY_PATH``, the loader cache, the
   default folders).

A path given in ``ZORVAT_LIBRARY`` that cannot be loaded is an error of its
own: the caller asked for that copy, so no other one is tried in its place.
"""

from __future__ import annotations

import ctypes
import os
import sys
from pathlib import Path
from typing import List, Tuple

LIBRARY_VARIABLE = "ZORVAT_LIBRARY"

_PACKAGE_FOLDER = Path(__file__).resolve().parent


def library_names(platform: str) -> Tuple[Tuple[str, ...], Tuple[str, ...]]:
    """The names the system loader is asked for on a platform (a sys.platform
    value), and the patterns of a copy shipped beside the package there."""
    if platform == "win32":
        # Windows matches file names without regard to case.
        return ("Zorvat.dll",), ("Zorvat.dll",)
    if platform == "darwin":
        return ("libzorvat.1.dylib", "libzorvat.dylib"), ("libzorvat*.dylib",)
    return ("libzorvat.so.1", "libzorvat.so"), ("libzorvat.so*",)


def shipped_copies(folder: Path = _PACKAGE_FOLDER, platform: str = sys.platform) -> List[Path]:
    """The copies of the library for the platform that lie in folder."""
    found: List[Path] = []
    for pattern in library_names(platform)[1]:
        found.extend(sorted(folder.glob(pattern)))
    return found


def load_library() -> Tuple[ctypes.CDLL, str]:
    """Loads the library; returns it with the path or name it was found by.

    Raises ImportError that lists every place that was tried and why each
    one failed.
    """
    tried: List[str] = []

    requested = os.environ.get(LIBRARY_VARIABLE)
    if requested:
        try:
            return ctypes.CDLL(requested), requested
        except OSError as failure:
            raise ImportError(
                f"zorvat: cannot load the library named by {LIBRARY_VARIABLE}"
                f" ({requested}): {failure}"
            ) from failure
    tried.append(f"{LIBRARY_VARIABLE}: not set")

    shipped = shipped_copies()
    if not shipped:
        tried.append(f"beside the package ({_PACKAGE_FOLDER}): no copy shipped")
    for path in shipped:
        try:
            return ctypes.CDLL(str(path)), str(path)
        except OSError as failure:
            tried.append(f"beside the package: {path}: {failure}")

    for name in library_names(sys.platform)[0]:
        try:
            return ctypes.CDLL(name), name
        except OSError as failure:
            tried.append(f"system loader: {name}: {failure}")

    raise ImportError(
        "zorvat: the shared library was not found. Looked in:\n  - "
        + "\n  - ".join(tried)
        + f"\nSet {LIBRARY_VARIABLE} to the path of the library."
    )
