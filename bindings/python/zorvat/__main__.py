"""python -m zorvat --version: the package's version and the library it loaded."""

from __future__ import annotations

import argparse
from typing import List, Optional


def main(arguments: Optional[List[str]] = None) -> int:
    parser = argparse.ArgumentParser(prog="python -m zorvat", description=__doc__)
    parser.add_argument("--version", action="store_true", help="print the versions and exit")
    options = parser.parse_args(arguments)
    if not options.version:
        parser.print_help()
        return 0
    import zorvat  # here, so that --help works without the library

    print(f"zorvat {zorvat.__version__}")
    print(f"libzorvat {zorvat.library_version()} ({zorvat.native.LIBRARY_PATH})")
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
