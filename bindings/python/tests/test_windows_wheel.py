"""Python on Windows, as far as it can be checked without Windows' Python: the
loader's choice through its platform seam, and the wheel built from the
cross-built Zorvat.dll, as a file. Neither imports the package (a cross build
runs them with no library this interpreter can load)."""

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


def load_module(path):
    found = importlib.util.spec_from_file_location(f"{path.stem}_under_test", path)
    module = importlib.util.module_from_spec(found)
    found.loader.exec_module(module)
    return module


class WindowsTest(unittest.TestCase):
    def test_each_platform_loads_its_own_library(self):
        loader = load_module(ROOT / "zorvat" / "_loader.py")
        with tempfile.TemporaryDirectory() as folder:
            for name in ("Zorvat.dll", "libzorvat.so.1"):
                (Path(folder) / name).touch()
            for platform, expected in (("win32", "Zorvat.dll"), ("linux", "libzorvat.so.1")):
                found = loader.shipped_copies(Path(folder), platform)
                self.assertEqual([path.name for path in found], [expected])
                self.assertEqual(loader.library_names(platform)[0][0], expected)

    @unittest.skipUnless(os.path.isfile(WINDOWS_DLL), "ZORVAT_WINDOWS_DLL names no Zorvat.dll")
    def test_the_windows_wheel_ships_the_dll_and_records_every_file(self):
        backend = load_module(ROOT / "build_support" / "zorvat_build.py")
        with tempfile.TemporaryDirectory() as folder:
            with mock.patch.dict(os.environ, {"ZORVAT_LIBRARY": WINDOWS_DLL}):
                name = backend.build_wheel(folder)
            self.assertRegex(name, r"^zorvat-[0-9.]+-py3-none-win_amd64\.whl$")
            with zipfile.ZipFile(Path(folder) / name) as wheel:
                files = {path: wheel.read(path) for path in wheel.namelist()}
        dist_info = name.split("-py3-")[0] + ".dist-info"
        tags = files[f"{dist_info}/WHEEL"]
        self.assertIn(b"Root-Is-Purelib: false\nTag: py3-none-win_amd64\n", tags)
        self.assertEqual(files["zorvat/Zorvat.dll"][:2], b"MZ")
        record = files.pop(f"{dist_info}/RECORD").decode().split()
        self.assertIn(f"{dist_info}/RECORD,,", record)
        for path, data in files.items():
            digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
            self.assertIn(f"{path},sha256={digest},{len(data)}", record)
        self.assertEqual(len(record), len(files) + 1)
