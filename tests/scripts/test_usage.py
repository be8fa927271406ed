#!/usr/bin/env python3
"""Every script answers --help with its usage and touches nothing; options a script does not know,
and an album the demo owner does not have, are refused before anything is built or installed."""

import glob
import os
import subprocess
import sys
import tempfile
import unittest

sys.dont_write_bytecode = True
ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SCRIPTS = sorted(p for p in glob.glob(os.path.join(ROOT, "scripts", "*"))
                 if os.path.isfile(p) and os.access(p, os.X_OK)) + \
    sorted(glob.glob(os.path.join(ROOT, "bench", "*.sh")))


def tree():
    """Every path under the checkout outside build folders: what a script could have left."""
    found = set()
    for folder, dirs, files in os.walk(ROOT):
        dirs[:] = [d for d in dirs if d not in (".git", "build", "out", "__pycache__")]
        found.update(os.path.join(folder, f) for f in files)
    return found


class ScriptUsageTest(unittest.TestCase):
    def run_script(self, *args):
        build = os.path.join(self.scratch, "build")
        env = dict(os.environ, PICT_BUILD=build)
        for name in ("PICT_IN_SANDBOX", "PICT_DEMO_INSIDE"):
            env.pop(name, None)
        done = subprocess.run(list(args), env=env, stdin=subprocess.DEVNULL, capture_output=True,
                              text=True, timeout=120)
        self.assertFalse(os.path.exists(build), "%s made %s" % (args, build))
        return done

    def setUp(self):
        self.scratch = tempfile.mkdtemp(prefix="pict-usage-")
        self.addCleanup(os.rmdir, self.scratch)
        self.before = tree()
        self.addCleanup(lambda: self.assertEqual(tree() - self.before, set()))

    def test_help_prints_the_usage(self):
        self.assertGreaterEqual(len(SCRIPTS), 12, SCRIPTS)
        for script in SCRIPTS:
            with self.subTest(script=os.path.relpath(script, ROOT)):
                done = self.run_script(script, "--help")
                self.assertEqual(done.returncode, 0, done.stderr)
                self.assertIn("usage", done.stdout.lower())

    def test_refused_before_anything_is_built(self):
        for args, says in ((["scripts/test", "--bogus"], "unknown argument '--bogus'"),
                           (["scripts/test", "-R"], "-R needs a value"),
                           (["scripts/demo", "--album", "999"], "there is no album 999"),
                           (["scripts/demo", "--album", "x"], "--album needs a number")):
            with self.subTest(args=args):
                done = self.run_script(os.path.join(ROOT, args[0]), *args[1:])
                self.assertEqual(done.returncode, 2, done.stdout + done.stderr)
                self.assertIn(says, done.stderr)


if __name__ == "__main__":
    unittest.main(verbosity=2)
