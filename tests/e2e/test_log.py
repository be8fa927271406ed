#!/usr/bin/env python3
"""Pictalon's own log, end to end: a run that meets a rate limit and a page that never comes
leaves lines that say so, and none that carries a secret. Run as test_app.py is."""

import os
import re
import sys

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import harness  # noqa: E402
import app_case  # noqa: E402
from app_case import OWNER, home, incomplete  # noqa: E402


class RunLogTest(app_case.PictalonTestCase):
    def test_a_rate_limit_and_a_lost_page_leave_their_lines_in_the_log(self):
        # The tests' own log (app_case keeps it apart from the user's): what an earlier start
        # wrote stays, and this start's lines follow it.
        log = os.path.join(harness.pictalon_data_folder(), "pictalon.log")
        os.makedirs(os.path.dirname(log), exist_ok=True)
        with open(log, "a+", encoding="utf-8") as f:
            f.write("2026-01-01 00:00:00.000 run 41 ends: an earlier start\n")
            f.seek(0)
            earlier = f.read()
        run = 1 + max(int(n) for n in re.findall(r"(?<![\w])run (\d+)", earlier))
        app = self.start("log")
        app.login()
        app.analyse(home(OWNER), 4)
        self.ctl.fault({"host": "*.sinaimg.cn", "path": "/mw1024/*", "action": "limit",
                        "after_requests": 10, "ms": 3000, "status": 418})
        self.ctl.fault({"host": "photo.weibo.com", "path": "*album_id=6065&count=32&page=2&*",
                        "action": "status", "status": 503})
        app.driver.select(3)
        app.driver.command(10000)
        app.wait_status(incomplete(33, 65, 32, 0), timeout_ms=120000)
        app.driver.close()
        self.assertEqual(app.program.wait(30), 0)

        with open(log, encoding="utf-8") as f:
            text = f.read()[len(earlier):]
        print("\n" + text, file=sys.stderr)
        page2 = [line for line in text.splitlines() if "album_id=6065" in line and "page=2&" in line]
        self.assertIn("status 503; try 1 of 3, asking again in 300 ms", "\n".join(page2))
        self.assertIn("status 503; try 3 of 3, giving up", "\n".join(page2))
        self.assertIn("status 418: the service asks to slow down", text)
        self.assertRegex(text, r"pause until \d\d:\d\d:\d\d")
        self.assertRegex(text.splitlines()[0], r"Pictalon \d+\.\d+\.\d+\.\d+ starts, process \d+$")
        self.assertIn("run %d begins: owner %s (%s), album  六十五张." % (
            run, app_case.OWNER_NICK, OWNER), text)
        self.assertIn("run %d ends: 33 of 33 listed written, 0 failed, album total 65, "
                      "some pages never came" % run, text)
        for secret in ("qrid=", "alt=", "ticket=", "data="):
            self.assertIsNone(re.search(re.escape(secret) + r"[^&\s]", text, re.I), secret)
        self.assertNotIn("Cookie", text)


if __name__ == "__main__":
    app_case.main()
