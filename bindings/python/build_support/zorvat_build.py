"""The package's own build backend (PEP 517 and PEP 660), standard library only.

The package is pure Python, so building it needs nothing but zipfile and
tarfile. Writing the wheel here keeps ``pip install --no-build-isolation``
working offline with any setuptools or none, and with or without the
``wheel`` module that older setuptools needs for bdist_wheel.

When the environment variable ZORVAT_LIBRARY names an existing file at build
time, that shared library is shipped inside the package, beside its modules,
and the wheel is tagged for this platform. Without it the wheel is pure
Python and the package finds the library at import time.
"""

from __future__ import annotations

import base64
import hashlib
import io
import os
import re
import sys
import sysconfig
import tarfile
import zipfile
from pathlib import Path
from typing import Dict, List, Optional, Tuple

_ROOT = Path(__file__).resolve().parent.parent
_PACKAGE = "zorvat"
_LIBRARY_VARIABLE = "ZORVAT_LIBRARY"
# Files of the package that go into every wheel, relative to the package folder.
_PACKAGE_SUFFIXES = (".py", ".typed")
# A fixed timestamp keeps archives reproducible (zip cannot hold times before 1980).
_ARCHIVE_TIME = (1980, 1, 1, 0, 0, 0)


# ---- Project metadata ------------------------------------------------------


def _project_table() -> Dict[str, object]:
    text = (_ROOT / "pyproject.toml").read_text(encoding="utf-8")
    try:
        import tomllib
    except ModuleNotFoundError:  # before Python 3.11
        return _read_simple_project_table(text)
    return tomllib.loads(text)["project"]


def _read_simple_project_table(text: str) -> Dict[str, object]:
    # Enough TOML for the flat 'key = "value"' lines of our [project] table.
    table: Dict[str, object] = {}
    inside = False
    for line in text.splitlines():
        stripped = line.strip()
        if stripped.startswith("["):
            inside = stripped == "[project]"
        elif inside:
            match = re.fullmatch(r'([A-Za-z0-9_-]+)\s*=\s*"([^"]*)"', stripped)
            if match:
                table[match.group(1)] = match.group(2)
    return table


def _metadata() -> str:
    project = _project_table()
    lines = [
        "Metadata-Version: 2.1",
        f"Name: {project['name']}",
        f"Version: {project['version']}",
    ]
    if "description" in project:
        lines.append(f"Summary: {project['description']}")
    if "requires-python" in project:
        lines.append(f"Requires-Python: {project['requires-python']}")
    license_table = project.get("license")
    if isinstance(license_table, dict) and "text" in license_table:
        lines.append(f"License: {license_table['text']}")
    for classifier in project.get("classifiers", []):  # type: ignore[union-attr]
        lines.append(f"Classifier: {classifier}")
    body = ""
    readme = project.get("readme")
    if isinstance(readme, str) and (_ROOT / readme).is_file():
        lines.append("Description-Content-Type: text/markdown")
        body = "\n" + (_ROOT / readme).read_text(encoding="utf-8")
    return "\n".join(lines) + "\n" + body


def _name_and_version() -> Tuple[str, str]:
    project = _project_table()
    return str(project["name"]), str(project["version"])


# ---- Wheels ----------------------------------------------------------------


def _shipped_library() -> Optional[Path]:
    requested = os.environ.get(_LIBRARY_VARIABLE)
    if not requested:
        return None
    path = Path(requested)
    if not path.is_file():
        print(
            f"zorvat_build: {_LIBRARY_VARIABLE}={requested} is not a file; "
            "building without a shipped library",
            file=sys.stderr,
        )
        return None
    return path


def _platform_tag() -> str:
    return re.sub(r"[^A-Za-z0-9]", "_", sysconfig.get_platform())


class _WheelWriter:
    """Writes a wheel: the files, then dist-info with its RECORD of hashes."""

    def __init__(self, path: Path) -> None:
        self._archive = zipfile.ZipFile(path, "w", compression=zipfile.ZIP_DEFLATED)
        self._record: List[str] = []

    def add(self, name: str, data: bytes, executable: bool = False) -> None:
        info = zipfile.ZipInfo(name, date_time=_ARCHIVE_TIME)
        info.external_attr = (0o755 if executable else 0o644) << 16
        info.compress_type = zipfile.ZIP_DEFLATED
        self._archive.writestr(info, data)
        digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=")
        self._record.append(f"{name},sha256={digest.decode()},{len(data)}")

    def close(self, dist_info: str) -> None:
        record_name = f"{dist_info}/RECORD"
        self._record.append(f"{record_name},,")
        info = zipfile.ZipInfo(record_name, date_time=_ARCHIVE_TIME)
        info.external_attr = 0o644 << 16
        self._archive.writestr(info, "\n".join(self._record) + "\n")
        self._archive.close()


def _write_wheel(wheel_directory: str, editable: bool) -> str:
    name, version = _name_and_version()
    library = None if editable else _shipped_library()
    tag = f"py3-none-{_platform_tag()}" if library else "py3-none-any"
    wheel_name = f"{name}-{version}-{tag}.whl"
    dist_info = f"{name}-{version}.dist-info"

    writer = _WheelWriter(Path(wheel_directory) / wheel_name)
    if editable:
        # The source folder goes on sys.path, so changes show without reinstalling.
        writer.add(f"__editable__.{name}.pth", (str(_ROOT) + "\n").encode())
    else:
        for path in sorted((_ROOT / _PACKAGE).iterdir()):
            if path.is_file() and path.suffix in _PACKAGE_SUFFIXES:
                writer.add(f"{_PACKAGE}/{path.name}", path.read_bytes())
        if library is not None:
            writer.add(f"{_PACKAGE}/{library.resolve().name}", library.read_bytes(), True)
    writer.add(f"{dist_info}/METADATA", _metadata().encode("utf-8"))
    writer.add(
        f"{dist_info}/WHEEL",
        (
            "Wheel-Version: 1.0\n"
            "Generator: zorvat_build\n"
            f"Root-Is-Purelib: {'false' if library else 'true'}\n"
            f"Tag: {tag}\n"
        ).encode(),
    )
    writer.add(f"{dist_info}/top_level.txt", f"{_PACKAGE}\n".encode())
    writer.close(dist_info)
    return wheel_name


def build_wheel(
    wheel_directory: str,
    config_settings: Optional[dict] = None,
    metadata_directory: Optional[str] = None,
) -> str:
    return _write_wheel(wheel_directory, editable=False)


def build_editable(
    wheel_directory: str,
    config_settings: Optional[dict] = None,
    metadata_directory: Optional[str] = None,
) -> str:
    return _write_wheel(wheel_directory, editable=True)


# ---- Source distributions --------------------------------------------------

_SDIST_FILES = ("pyproject.toml", "README.md", "CMakeLists.txt")
_SDIST_FOLDERS = ("zorvat", "tests", "build_support")


def build_sdist(sdist_directory: str, config_settings: Optional[dict] = None) -> str:
    name, version = _name_and_version()
    base = f"{name}-{version}"
    archive_name = f"{base}.tar.gz"

    members: List[Path] = [_ROOT / file for file in _SDIST_FILES if (_ROOT / file).is_file()]
    for folder in _SDIST_FOLDERS:
        members.extend(
            path
            for path in sorted((_ROOT / folder).rglob("*"))
            if path.is_file() and "__pycache__" not in path.parts
        )

    def add(archive: tarfile.TarFile, member_name: str, data: bytes) -> None:
        info = tarfile.TarInfo(f"{base}/{member_name}")
        info.size = len(data)
        info.mode = 0o644
        archive.addfile(info, io.BytesIO(data))

    with tarfile.open(
        Path(sdist_directory) / archive_name, "w:gz", format=tarfile.PAX_FORMAT
    ) as archive:
        for path in members:
            add(archive, path.relative_to(_ROOT).as_posix(), path.read_bytes())
        add(archive, "PKG-INFO", _metadata().encode("utf-8"))
    return archive_name
