"""Finding the library: the environment variable first, a shipped copy, the system."""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

from zorvat import native

from .support import PACKAGE_ROOT


class LoadingTest(unittest.TestCase):
    def setUp(self):
        folder = tempfile.TemporaryDirectory()
        self.addCleanup(folder.cleanup)
        # A copy of the package alone, so that what lies beside it is under test.
        self.site = Path(folder.name)
        self.package = self.site / "zorvat"
        shutil.copytree(
            PACKAGE_ROOT / "zorvat",
            self.package,
            ignore=shutil.ignore_patterns("__pycache__", "libzorvat*"),
        )

    def library_found(self, **environment):
        """Runs a fresh interpreter that imports the copy; an empty value unsets a variable."""
        env = {**os.environ, **environment, "PYTHONPATH": str(self.site)}
        env = {name: value for name, value in env.items() if value}
        code = "import zorvat; print(zorvat.native.LIBRARY_PATH)"
        return subprocess.run(
            [sys.executable, "-c", code], env=env, cwd=self.site, capture_output=True, text=True
        )

    def test_the_variable_wins_over_a_copy_beside_the_package(self):
        # python.installed_import finds the shipped copy when nothing is set.
        shutil.copyfile(native.LIBRARY_PATH, self.package / Path(native.LIBRARY_PATH).name)
        found = self.library_found(ZORVAT_LIBRARY=native.LIBRARY_PATH)
        self.assertEqual(found.stdout.strip(), native.LIBRARY_PATH, found.stderr)

    def test_a_missing_library_says_where_it_looked(self):
        result = self.library_found(ZORVAT_LIBRARY="", LD_LIBRARY_PATH="")
        if result.returncode == 0:
            self.skipTest(f"a system copy was found: {result.stdout.strip()}")
        for place in ("ImportError", "ZORVAT_LIBRARY", str(self.package), "system loader"):
            self.assertIn(place, result.stderr)

        result = self.library_found(ZORVAT_LIBRARY="libm.so.6")
        self.assertIn("does not export ZvExecuteDirectOperation", result.stderr)
