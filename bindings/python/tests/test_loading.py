"""Finding the library: the environment variable first, a shipped copy, the system."""

import shutil
import tempfile
import unittest
from pathlib import Path

from zorvat import native

from .support import PACKAGE_ROOT, run_python

REPORT_PATH = "import zorvat; print(zorvat.native.LIBRARY_PATH)"


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

    def test_the_variable_wins_over_a_copy_beside_the_package(self):
        # python.installed_import finds the shipped copy when nothing is set.
        shutil.copyfile(native.LIBRARY_PATH, self.package / Path(native.LIBRARY_PATH).name)
        found = run_python(REPORT_PATH, self.site, ZORVAT_LIBRARY=native.LIBRARY_PATH)
        self.assertEqual(found.stdout.strip(), native.LIBRARY_PATH, found.stderr)

    def test_a_missing_library_says_where_it_looked(self):
        result = run_python(REPORT_PATH, self.site, ZORVAT_LIBRARY="", LD_LIBRARY_PATH="")
        if result.returncode == 0:
            self.skipTest(f"a system copy was found: {result.stdout.strip()}")
        for place in ("ImportError", "ZORVAT_LIBRARY", str(self.package), "system loader"):
            self.assertIn(place, result.stderr)

        result = run_python(REPORT_PATH, self.site, ZORVAT_LIBRARY="libm.so.6")
        self.assertIn("does not export ZvExecuteDirectOperation", result.stderr)
