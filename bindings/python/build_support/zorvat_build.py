"""The package's build backend (PEP 517 and PEP 660), standard library only.

Our machines reach no package index, so an isolated build could not fetch
setuptools; this backend needs nothing. It reads the standard metadata of
pyproject.toml ([project]) and the package list of [tool.setuptools], so
setuptools builds the same package when named in [build-system] instead.

The wheel ships libzorvat beside the modules, stripped:

- a copy of the file named by the environment variable ZORVAT_LIBRARY at
  build time, or
- one compiled from the checkout this folder sits in (bindings/python/../..)
  with CMake, in a temporary build folder (Release, library only).

The library is plain C loaded through ctypes, not a Python extension, so it
does not depend on the interpreter: the wheel is tagged py3-none-PLATFORM with
the platform of this build (linux_x86_64 here). It is built against this
system's C and C++ runtimes and libcrypto, so it claims no manylinux tag.
ZORVAT_LIBRARY may also name Zorvat.dll from the MinGW cross build: the wheel
is then py3-none-win_amd64, for Windows, whatever the building machine.
Without a checkout or ZORVAT_LIBRARY (an sdist on its own), the wheel is pure
Python and the package loads the system's installed library.
"""

from __future__ import annotations

import ast
import base64
import hashlib
import io
import os
import shutil
import subprocess
import sys
import sysconfig
import tarfile
import tempfile
import zipfile
from pathlib import Path
from typing import Dict, List, Optional

try:
    import tomllib
except ModuleNotFoundError:  # before Python 3.11: the small reader below
    tomllib = None  # type: ignore[assignment]

_ROOT = Path(__file__).resolve().parent.parent
_CHECKOUT = _ROOT.parent.parent
_LIBRARY_VARIABLE = "ZORVAT_LIBRARY"
# A fixed timestamp keeps archives reproducible (zip cannot hold times before 1980).
_ARCHIVE_TIME = (1980, 1, 1, 0, 0, 0)


def _read_simple_toml(text: str) -> Dict:
    """The part of TOML that pyproject.toml uses: [tables], bare keys, and
    values that are strings, numbers, booleans or arrays of strings and
    numbers, an array possibly over several lines. Enough for this file on an interpreter
    without tomllib; anything else is refused rather than misread."""
    document: Dict = {}
    table = document
    pending = ""
    for number, line in enumerate(text.splitlines(), 1):
        stripped = line.strip()
        if not pending and (not stripped or stripped.startswith("#")):
            continue
        if not pending and stripped.startswith("["):
            table = document
            for name in stripped.strip("[]").split("."):
                table = table.setdefault(name.strip().strip('"'), {})
            continue
        pending += line + "\n"
        key, _, value = pending.partition("=")
        if value.count("[") > value.count("]"):
            continue  # an array that goes on
        pending = ""
        value = value.strip()
        try:
            table[key.strip().strip('"')] = (
                value == "true" if value in ("true", "false") else ast.literal_eval(value)
            )
        except (ValueError, SyntaxError):
            raise RuntimeError(f"zorvat_build: pyproject.toml line {number} is beyond the "
                               "simple reader; build with Python 3.11 or later") from None
    return document


def _pyproject() -> Dict:
    with open(_ROOT / "pyproject.toml", "rb") as file:
        if tomllib is not None:
            return tomllib.load(file)
        return _read_simple_toml(file.read().decode("utf-8"))


def _package_files() -> Dict[str, bytes]:
    """Archive name to contents for the modules and package data, as setuptools picks them."""
    settings = _pyproject().get("tool", {}).get("setuptools", {})
    files: Dict[str, bytes] = {}
    for package in settings.get("packages", []):
        folder = _ROOT / package.replace(".", "/")
        patterns = ["*.py"] + settings.get("package-data", {}).get(package, [])
        for pattern in patterns:
            for path in sorted(folder.glob(pattern)):
                if path.is_file() and not _is_library(path.name):
                    files[path.relative_to(_ROOT).as_posix()] = path.read_bytes()
    return files


def _metadata() -> str:
    project = _pyproject()["project"]
    lines = ["Metadata-Version: 2.1", f"Name: {project['name']}", f"Version: {project['version']}"]
    if "description" in project:
        lines.append(f"Summary: {project['description']}")
    if "requires-python" in project:
        lines.append(f"Requires-Python: {project['requires-python']}")
    lines += [f"Classifier: {classifier}" for classifier in project.get("classifiers", [])]
    body = ""
    readme = project.get("readme")
    if isinstance(readme, str):
        lines.append("Description-Content-Type: text/markdown")
        body = "\n" + (_ROOT / readme).read_text(encoding="utf-8")
    return "\n".join(lines) + "\n" + body


def _dist_name() -> str:
    project = _pyproject()["project"]
    return f"{project['name']}-{project['version']}"


# ---- The library ------------------------------------------------------------


def _compiled_library(scratch: Path) -> Optional[Path]:
    """libzorvat built from the checkout and installed stripped into scratch."""
    if not (_CHECKOUT / "include" / "zorvat.h").is_file():
        return None
    cmake = shutil.which("cmake")
    if cmake is None:
        raise RuntimeError("zorvat_build: building libzorvat needs cmake on PATH")
    build, stage = scratch / "build", scratch / "stage"
    configure = [cmake, "-S", str(_CHECKOUT), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release"]
    configure += [f"-DZORVAT_BUILD_{part}=OFF" for part in ("TESTS", "TOOLS", "EXAMPLES")]
    if shutil.which("ninja"):
        configure += ["-G", "Ninja"]
    steps = [
        configure,
        [cmake, "--build", str(build), "--target", "zorvat", "-j", str(os.cpu_count() or 1)],
        [cmake, "--install", str(build), "--prefix", str(stage), "--strip"],
    ]
    for step in steps:
        # Progress goes to stderr: stdout may be the frontend's channel.
        subprocess.run(step, check=True, stdout=sys.stderr)
    found = sorted(stage.glob("lib*/libzorvat.so.*.*"))
    if not found:
        raise RuntimeError(f"zorvat_build: the CMake build installed no library in {stage}")
    return found[0]


def _is_library(name: str) -> bool:
    """Whether a file in the package folder is a copy of the library (never source)."""
    return name.startswith("libzorvat") or name.lower() == "zorvat.dll"


def _windows_platform(library: Path) -> Optional[str]:
    """win_amd64 for a 64-bit x86 Windows DLL, None for a library of another system."""
    with open(library, "rb") as file:
        header = file.read(4096)
    if header[:2] != b"MZ":
        return None
    offset = int.from_bytes(header[0x3C:0x40], "little")
    signature, machine = header[offset : offset + 4], header[offset + 4 : offset + 6]
    if signature != b"PE\0\0" or machine != b"\x64\x86":
        raise RuntimeError(f"zorvat_build: {library} is not a DLL for 64-bit x86 Windows")
    return "win_amd64"


def _given_library(requested: str, scratch: Path) -> Path:
    """A stripped copy of the library named by ZORVAT_LIBRARY."""
    if not Path(requested).is_file():
        raise RuntimeError(f"zorvat_build: {_LIBRARY_VARIABLE}={requested} is not a file")
    copy = scratch / Path(requested).resolve().name
    # The build machine's strip may not read a Windows DLL; MinGW's does.
    windows = _windows_platform(Path(requested)) is not None
    strip = shutil.which("x86_64-w64-mingw32-strip" if windows else "strip")
    if strip is None:
        shutil.copyfile(requested, copy)
    else:
        subprocess.run([strip, "--strip-unneeded", "-o", str(copy), requested], check=True)
    return copy


def _library(scratch: Path) -> Optional[Path]:
    requested = os.environ.get(_LIBRARY_VARIABLE)
    if requested:
        return _given_library(requested, scratch)
    library = _compiled_library(scratch)
    if library is None:
        print("zorvat_build: no checkout to build libzorvat from; the package will load the "
              "system's library", file=sys.stderr)
    return library


def _shipped_name(library: Path) -> str:
    """The name the loader asks for: the soname for a versioned library."""
    name = library.resolve().name
    if ".so." in name:
        return name[: name.index(".so.") + 4] + name.split(".so.")[1].split(".")[0]
    return name


# ---- Wheels ----------------------------------------------------------------


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
        self._record.append(f"{dist_info}/RECORD,,")
        self.add(f"{dist_info}/RECORD", ("\n".join(self._record) + "\n").encode())
        self._archive.close()


def _write_wheel(wheel_directory: str, editable: bool) -> str:
    with tempfile.TemporaryDirectory(prefix="zorvat-build-") as scratch:
        library = _library(Path(scratch))
        platform = _windows_platform(library) if library else None
        platform = platform or sysconfig.get_platform().replace("-", "_").replace(".", "_")
        tag = f"py3-none-{platform}" if library else "py3-none-any"
        wheel_name = f"{_dist_name()}-{tag}.whl"
        dist_info = f"{_dist_name()}.dist-info"
        writer = _WheelWriter(Path(wheel_directory) / wheel_name)
        if editable:
            # The source folder goes on sys.path and the library into it, as
            # an in-place build does, so changes show without reinstalling.
            writer.add(f"__editable__.{_dist_name()}.pth", f"{_ROOT}\n".encode())
            if library is not None:
                shutil.copyfile(library, _ROOT / "zorvat" / _shipped_name(library))
        else:
            for name, data in _package_files().items():
                writer.add(name, data)
            if library is not None:
                writer.add(f"zorvat/{_shipped_name(library)}", library.read_bytes(), True)
        writer.add(f"{dist_info}/METADATA", _metadata().encode("utf-8"))
        wheel = "Wheel-Version: 1.0\nGenerator: zorvat_build\n"
        wheel += f"Root-Is-Purelib: {'false' if library else 'true'}\nTag: {tag}\n"
        writer.add(f"{dist_info}/WHEEL", wheel.encode())
        writer.close(dist_info)
    return wheel_name


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None) -> str:
    return _write_wheel(wheel_directory, editable=False)


def build_editable(wheel_directory, config_settings=None, metadata_directory=None) -> str:
    return _write_wheel(wheel_directory, editable=True)


# ---- Source distributions --------------------------------------------------


def build_sdist(sdist_directory, config_settings=None) -> str:
    """The Python package alone; a wheel built from it loads the system's library."""
    base = _dist_name()
    members = [_ROOT / name for name in ("pyproject.toml", "README.md", "CMakeLists.txt")]
    for folder in ("zorvat", "tests", "build_support"):
        members += sorted(path for path in (_ROOT / folder).rglob("*") if path.is_file())
    members = [path for path in members if "__pycache__" not in path.parts]
    members = [path for path in members if not _is_library(path.name)]

    def add(archive: tarfile.TarFile, name: str, data: bytes) -> None:
        info = tarfile.TarInfo(f"{base}/{name}")
        info.size, info.mode = len(data), 0o644
        archive.addfile(info, io.BytesIO(data))

    with tarfile.open(Path(sdist_directory) / f"{base}.tar.gz", "w:gz") as archive:
        for path in members:
            add(archive, path.relative_to(_ROOT).as_posix(), path.read_bytes())
        add(archive, "PKG-INFO", _metadata().encode("utf-8"))
    return f"{base}.tar.gz"
