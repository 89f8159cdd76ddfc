"""Python on Windows, as far as it can be checked without Windows' Python:
the loader's choice of library through its platform seam, and the wheel
built from the cross-built Zorvat.dll checked as a file (tag, RECORD, files).
Neither imports the package, so that a cross build can run them."""

import base64
import hashlib
import importlib.util
import os
import tempfile
import unittest
import zipfile
from pathlib import Path
from unittest import mock

ROOT = Path(__file__).resolve().parent.parent
WINDOWS_DLL = os.environ.get("ZORVAT_WINDOWS_DLL", "")


def load_module(name, path):
    spec = importlib.util.spec_from_file_location(name, path)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


class WindowsTest(unittest.TestCase):
    def test_each_platform_loads_its_own_library(self):
        loader = load_module("zorvat_loader_under_test", ROOT / "zorvat" / "_loader.py")
        with tempfile.TemporaryDirectory() as folder:
            for name in ("Zorvat.dll", "libzorvat.so.1"):
                (Path(folder) / name).touch()
            for platform, expected in (("win32", "Zorvat.dll"), ("linux", "libzorvat.so.1")):
                found = [path.name for path in loader.shipped_copies(Path(folder), platform)]
                self.assertEqual(found, [expected])
                self.assertEqual(loader.library_names(platform)[0][0], expected)

    @unittest.skipUnless(os.path.isfile(WINDOWS_DLL), "ZORVAT_WINDOWS_DLL names no Zorvat.dll")
    def test_the_windows_wheel_ships_the_dll_and_records_every_file(self):
        backend = load_module("zorvat_build_under_test", ROOT / "build_support" / "zorvat_build.py")
        with tempfile.TemporaryDirectory() as folder, mock.patch.dict(
            os.environ, {"ZORVAT_LIBRARY": WINDOWS_DLL}
        ):
            name = backend.build_wheel(folder)
            self.assertRegex(name, r"^zorvat-[0-9.]+-py3-none-win_amd64\.whl$")
            wheel = zipfile.ZipFile(Path(folder) / name)
        with wheel:
            dist_info = name.split("-py3-")[0] + ".dist-info"
            tags = wheel.read(f"{dist_info}/WHEEL").decode()
            self.assertIn("Tag: py3-none-win_amd64\n", tags)
            self.assertIn("Root-Is-Purelib: false\n", tags)
            self.assertEqual(wheel.read("zorvat/Zorvat.dll")[:2], b"MZ")
            self.assertFalse([n for n in wheel.namelist() if "libzorvat" in n])
            record = wheel.read(f"{dist_info}/RECORD").decode().split()
            record = [line.split(",") for line in record]
            self.assertEqual(sorted(row[0] for row in record), sorted(wheel.namelist()))
            for path, digest, size in record:
                if path != f"{dist_info}/RECORD":
                    data = wheel.read(path)
                    hashed = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=")
                    self.assertEqual((digest, size), (f"sha256={hashed.decode()}", str(len(data))))
