#!/usr/bin/env python3
"""Pictalon end to end, the window and the sign-in: QR states, the catalogue, the layout and the
dpi, on the real program under Wine in the sandbox (see app_case.py)."""

import json
import os
import sys
import time
import unittest

sys.dont_write_bytecode = True  # keep the source folders clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from app_case import (  # noqa: E402
    ANALYSING, LOGIN_DONE, OTHER, OWNER, PROFILE, PictalonTestCase, QR_ERROR, QR_EXPIRED,
    QR_SCANNED, QR_USED, QR_WAITING, S, harness, home, naming, pages_of, qr_box, scenario, main)


class NamingRuleTest(unittest.TestCase):
    """The test's own naming rule on the examples everyone agrees on."""

    def test_known_names(self):
        self.assertEqual(naming.time_text(0), "[1970.01.01-08.00]")
        self.assertEqual(naming.picture_file_name(0, "", "abc.jpg"), "[1970.01.01-08.00]-abc.jpg")
        self.assertEqual(naming.picture_file_name(0, "", "abc.gif"), "[1970.01.01-08.00]-abc.gif")
        self.assertEqual(naming.picture_file_name(0, "", "abcdef"),
                         "[1970.01.01-08.00]-abcdef.jpg")
        self.assertEqual(naming.picture_file_name(0, "", "x.jpeg"),
                         "[1970.01.01-08.00]-x.jpeg.jpg")
        self.assertEqual(naming.picture_file_name(0, "", "run.bat"),
                         "[1970.01.01-08.00]-run.bat.jpg")
        self.assertEqual(naming.picture_file_name(0, ' "/:|?*<>\n\r', "a.png"),
                         "[1970.01.01-08.00]-a.png")
        self.assertEqual(len(naming.clean_caption("长" * 125).encode("gbk")), 200)
        self.assertEqual(naming.safe_name(" ..a:b.. "), "ab")
        self.assertEqual(naming.safe_name("con"), "_con")


class LoginTest(PictalonTestCase):
    def test_status_follows_every_qr_state_until_signed_in(self):
        app = self.start("login-states", qr=("waiting",))
        app.wait_status(QR_WAITING)
        qr_before = self.ctl.qr_status()
        self.assertEqual(len(qr_before["issued"]), 1)
        # A picture of the login page with its QR code, kept for people to look at.
        shot = harness.Picture.load(app.shot("login-page.png"))
        rects = app.driver.rects()
        box = qr_box(rects)
        self.assertEqual((box["screen"]["width"], box["screen"]["height"]), (182, 182))
        left = box["screen"]["left"] - rects["window"]["left"]
        top = box["screen"]["top"] - rects["window"]["top"]
        middle = shot.crop(left + 60, top + 60, 60, 60)
        corner = shot.crop(left - 8, top - 8, 4, 4)
        self.assertNotEqual(middle.colours(), corner.colours(), "no QR picture on show")

        watch = app.driver.watch_status(until=LOGIN_DONE, timeout_ms=60000)
        time.sleep(1.0)
        # Two seconds more of waiting first, so a watch that starts late misses nothing.
        self.ctl.qr_sequence(["waiting"] * 4 + ["scanned", "scanned", "expired", "waiting",
                                                "used", "waiting", "error", "waiting",
                                                "confirmed"])
        code, out = watch.result()
        self.assertEqual(code, 0, out)
        seen = json.loads(out)
        self.assertEqual(seen, [QR_WAITING, QR_SCANNED, QR_EXPIRED, QR_WAITING, QR_USED,
                                QR_WAITING, QR_ERROR, QR_WAITING, LOGIN_DONE])
        # Expired, used and error each brought a new code; waiting and scanned kept theirs.
        issued = self.ctl.qr_status()["issued"]
        self.assertEqual(len(issued), 4)
        # The new code is fetched right after the poll that retired the old one, before the
        # next poll: it is on show while the status still names the old code's fate.
        log = [r for r in self.log_paths(host="login.sina.com.cn")]
        kinds = ["check" if "/qrcode/check" in r["path"] else
                 "image" if "/qrcode/image" in r["path"] else "other" for r in log]
        checks = [i for i, k in enumerate(kinds) if k == "check"]
        images = [i for i, k in enumerate(kinds) if k == "image"]
        self.assertEqual(len(images), 4)
        self.assertTrue(checks)
        for image in images:
            self.assertEqual(kinds[image - 1], "check")
        for i in checks:
            self.assertRegex(log[i]["path"], r"^/sso/qrcode/check\?entry=weibo&qrid=[^&]*"
                                             r"&callback=STK_1503392084591317$")
        self.assertEqual(app.driver.status(), LOGIN_DONE)
        self.assertEqual(app.driver.boxes(), [])

    def test_an_expired_code_is_replaced_on_screen_while_the_status_says_so(self):
        app = self.start("qr-expired", qr=("waiting",))
        app.wait_status(QR_WAITING)

        def qr_pixels(name):
            shot = harness.Picture.load(app.shot(name))
            rects = app.driver.rects()
            box = qr_box(rects)
            return shot.crop(box["screen"]["left"] - rects["window"]["left"],
                             box["screen"]["top"] - rects["window"]["top"], 182, 182).rgb

        before = qr_pixels("qr-before-expiry.png")
        # The poll after the expiry is held back, so the expired status stays up for a while.
        self.ctl.fault({"host": "login.sina.com.cn", "path": "/sso/qrcode/check*",
                        "action": "delay", "delay_ms": 0, "count": 1})
        self.ctl.fault({"host": "login.sina.com.cn", "path": "/sso/qrcode/check*",
                        "action": "delay", "delay_ms": 8000})
        self.ctl.qr_sequence(["expired", "waiting"])
        app.wait_status(QR_EXPIRED)
        after = qr_pixels("qr-after-expiry.png")
        self.assertEqual(app.driver.status(), QR_EXPIRED)
        self.assertEqual(len(self.ctl.qr_status()["issued"]), 2)
        self.assertNotEqual(before, after, "the expired code is still on show")
        self.ctl.call("DELETE", "/faults")

    def test_short_cross_domain_list_gives_the_cookie_box_and_the_program_stays_usable(self):
        self.ctl.knobs({"cross_domain_count": 3})
        # Closing the box starts a new sign-in; its code waits for a scan.
        app = self.start("cookie-box", qr=("confirmed", "waiting"))
        box = app.driver.answer(timeout_ms=60000)
        self.assertEqual(box["text"], "TestCookies = 假")
        self.assertEqual(box["title"], "")
        self.assertEqual(box["owner"], 0)
        self.assertEqual(app.driver.boxes(), [])
        self.assertNotEqual(app.driver.status(), LOGIN_DONE)
        app.wait_status(QR_WAITING)
        # Still usable: an analysis runs (the cookies are not accepted, so it finds no owner).
        self.ctl.call("DELETE", "/log")
        app.analyse(home(OWNER), 0, wait_done=False)
        app.wait_status(ANALYSING)
        deadline = time.monotonic() + 20
        while not self.log_paths(host="weibo.com") and time.monotonic() < deadline:
            time.sleep(0.2)
        pages = self.log_paths(host="weibo.com")
        self.assertEqual([r["path"] for r in pages][:1], ["/u/" + OWNER])
        self.assertTrue(app.program.running())


class CatalogueTest(PictalonTestCase):
    def test_albums_listed_in_order_with_counts_and_their_own_covers(self):
        app = self.start("catalogue")
        app.login()
        listed = app.analyse(home(OWNER), 4)
        self.assertEqual([i["text"] for i in listed["items"]],
                         ["[空相册] 0张", "[三十二张] 32张", "[三十三/张?] 33张", "[ 六十五张.] 65张"])
        self.assertEqual([i["image"] for i in listed["items"]], [0, 1, 2, 3])
        albums = self.log_paths(host="photo.weibo.com", path="/albums/")
        self.assertEqual([r["path"] for r in albums][:1],
                         ["/albums/get_all?uid=%s&page=1&count=20&__rnd=1504067425791" % OWNER])
        shot = harness.Picture.load(app.shot("operate-page.png"))
        window = app.driver.rects()["window"]
        means = []
        for item in listed["items"]:
            icon = item["icon"]
            cx = icon["left"] + icon["width"] // 2 - window["left"]
            cy = icon["top"] + icon["height"] // 2 - window["top"]
            means.append(tuple(round(v) for v in shot.crop(cx - 8, cy - 8, 16, 16).mean()))
        self.assertEqual(len(set(means)), 4, "covers look alike: %r" % means)

        # A second analysis shows only its own albums.
        listed = app.analyse(home(OTHER), 2)
        self.assertEqual([i["text"] for i in listed["items"]], ["[甲] 3张", "[乙] 1张"])
        self.assertEqual([i["image"] for i in listed["items"]], [0, 1])

    def test_page_without_owner_leaves_the_list_empty(self):
        app = self.start("no-owner")
        app.login()
        app.analyse(home(OWNER), 4)
        self.ctl.call("DELETE", "/log")
        app.analyse(home("999999999"), 0, wait_done=False)
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline:
            pages = [r for r in self.log_paths(host="weibo.com") if r["status"] is not None]
            if pages:
                break
            time.sleep(0.2)
        time.sleep(2.0)
        self.assertEqual(app.driver.list()["count"], 0)
        self.assertEqual(app.driver.status(), ANALYSING)
        self.assertEqual(self.log_paths(host="photo.weibo.com"), [])

    def test_closing_during_an_analysis_ends_the_program_with_exit_code_0(self):
        app = self.start("close-during-analysis")
        app.login()
        # Slow covers keep the analysis busy inside a request when the window closes.
        self.ctl.fault({"host": "*.sinaimg.cn", "action": "delay", "delay_ms": 3000})
        app.analyse(home(OWNER), 4, wait_done=False)
        deadline = time.monotonic() + 30
        while not self.log_paths(host="photo.weibo.com") and time.monotonic() < deadline:
            time.sleep(0.2)
        self.assertTrue(self.log_paths(host="photo.weibo.com"), "the analysis never got going")
        time.sleep(0.5)
        started = time.monotonic()
        app.driver.close()
        code = app.program.wait(20)
        print("\nclose during an analysis: the process ended after %.2f s"
              % (time.monotonic() - started), file=sys.stderr)
        self.assertIsNotNone(code, "still running 20 s after the close")
        self.assertEqual(code, 0)

    def test_owner_with_23_albums_lists_them_all(self):
        self.ctl.scenario("default")
        app = self.start("many-albums")
        app.login()
        listed = app.analyse(home("2000002"), 23)
        owner = [o for o in self.ctl.current_scenario()["owners"] if o["id"] == "2000002"][0]
        expected = ["[%s] %d张" % (a["caption"], a["count"]) for a in owner["albums"]]
        self.assertEqual([i["text"] for i in listed["items"]], expected)
        self.assertEqual([i["image"] for i in listed["items"]], list(range(23)))


class LayoutTest(PictalonTestCase):
    def test_resizing_keeps_the_qr_centred_and_the_list_20_pixels_from_the_edges(self):
        app = self.start("layout", qr=("waiting",))
        app.wait_status(QR_WAITING)
        for width, height in ((640, 540), (900, 700), (520, 420), (1000, 600)):
            if (width, height) != (640, 540):
                app.driver.resize(width, height)
            rects = app.driver.rects()
            self.assertEqual((rects["window"]["width"], rects["window"]["height"]), (width, height))
            by_handle = {c["hwnd"]: c for c in rects["controls"]}
            tabs, pages = pages_of(rects)
            self.assertEqual(len(pages), 3)
            client = rects["client"]
            self.assertEqual(tabs["in_parent"], {"left": 10, "top": 10, "width": client["width"] - 20,
                                                 "height": client["height"] - 40})
            tw, th = tabs["screen"]["width"], tabs["screen"]["height"]
            self.assertEqual(qr_box(rects)["in_parent"], {"left": tw // 2 - 91,
                                                          "top": th // 2 - 91,
                                                          "width": 182, "height": 182},
                             (width, height))
            lists = [c for c in rects["controls"] if c["class"] == "SysListView32"]
            self.assertEqual(len(lists), 1)
            page = by_handle[lists[0]["parent"]]
            self.assertEqual(page["hwnd"], pages[1]["hwnd"])
            pw, ph = page["in_parent"]["width"], page["in_parent"]["height"]
            box = lists[0]["in_parent"]
            self.assertEqual((box["left"], box["top"]), (20, 80))
            self.assertEqual(pw - (box["left"] + box["width"]), 20, (width, height))
            self.assertEqual(ph - (box["top"] + box["height"]), 20, (width, height))


class LoginRecoveryTest(PictalonTestCase):
    def test_a_refused_code_is_asked_for_again_and_the_login_goes_on(self):
        self.ctl.qr_refuse("retcode")
        app = self.start("qr-refused")
        seen, last = app.driver.wait_status(S + "获取二维码失败,", contains=True, timeout_ms=60000)
        self.assertTrue(seen, last)
        self.ctl.qr_refuse(None)
        app.login()
        self.assertGreaterEqual(len(self.log_paths(path="/sso/qrcode/image")), 2)

    def test_after_the_cookie_box_a_new_code_is_shown_and_the_user_can_sign_in(self):
        self.ctl.knobs({"cross_domain_count": 3})
        app = self.start("login-again", qr=("confirmed", "waiting"))
        self.assertEqual(app.driver.answer(timeout_ms=60000)["text"], "TestCookies = 假")
        app.wait_status(QR_WAITING)
        self.assertEqual(len(self.ctl.qr_status()["issued"]), 2)
        self.ctl.knobs({"cross_domain_count": 4})
        self.ctl.qr("confirmed")
        app.login()
        self.assertEqual(app.driver.boxes(), [])



def ink_span(shot, window, control, inset):
    """(first column, last column, ink rows, inner width, screen row of the ink's middle) of the
    text ink inside a control seen on a screenshot: pixels far darker than any face or frame
    colour, inset pixels in from every edge. None when the control shows no ink there."""
    box = control["screen"]
    inner = shot.crop(box["left"] - window["left"] + inset, box["top"] - window["top"] + inset,
                      box["width"] - 2 * inset, box["height"] - 2 * inset)
    columns, rows = set(), set()
    for y in range(inner.height):
        for x in range(inner.width):
            if sum(inner.pixel(x, y)) < 200:
                columns.add(x)
                rows.add(y)
    if not columns:
        return None
    middle = box["top"] + inset + (min(rows) + max(rows)) / 2
    return min(columns), max(columns), max(rows) - min(rows) + 1, inner.width, middle


class DpiTest(PictalonTestCase):
    """The window at 96, 144 and 192 dpi: every figure of the layout scaled, the tab headers too,
    the text drawn in a font of the same scale, never cut, and in the edits on the same line as
    the labels beside them. Screenshots dpi-<n>-login.png, dpi-<n>-operate.png."""

    def test_both_pages_scale_with_the_dpi_and_no_text_is_cut(self):
        before = harness.log_pixels()
        self.addCleanup(harness.set_log_pixels, before)
        ink_heights, headers = {}, {}
        for dpi in (96, 144, 192):
            with self.subTest(dpi=dpi):
                harness.set_log_pixels(dpi)
                self.ctl.reset(PROFILE)
                self.ctl.scenario_json(scenario())
                app = self.start("dpi-%d" % dpi, qr=("waiting",))
                try:
                    ink_heights[dpi], headers[dpi] = self.check_pages(app, dpi)
                finally:
                    app.program.stop()  # a failed scale must not leave its window to the next
        # Text drawn at 96 dpi in a window scaled up would be cut nowhere but still tiny.
        for dpi in (144, 192):
            if 96 not in ink_heights or dpi not in ink_heights:
                continue  # already failed above
            self.assertGreaterEqual(ink_heights[dpi] * 96, ink_heights[96] * dpi * 0.8,
                                    "the text does not grow with the dpi: %r" % ink_heights)
            for small, large in zip(headers[96], headers[dpi]):
                self.assertGreaterEqual(large * 96, small * dpi * 0.9,
                                        "the tab headers do not grow with the dpi: %r" % headers)

    def check_pages(self, app, dpi):
        def s(value):
            return value * dpi // 96

        app.wait_status(QR_WAITING)
        app.shot("dpi-%d-login.png" % dpi)
        header_widths = [h["width"] for h in app.driver.tabs()["headers"]]
        self.assertEqual(len(header_widths), 3)
        rects = app.driver.rects()
        self.assertEqual((rects["window"]["width"], rects["window"]["height"]), (s(640), s(540)))
        tabs, _ = pages_of(rects)
        qr = qr_box(rects)["in_parent"]
        self.assertEqual((qr["width"], qr["height"]), (s(182), s(182)))
        self.assertEqual((qr["left"], qr["top"]), (tabs["screen"]["width"] // 2 - s(182) // 2,
                                                   tabs["screen"]["height"] // 2 - s(182) // 2))

        self.ctl.qr_sequence(["confirmed"])
        app.login()
        app.analyse(home(OWNER), 4)
        shot = harness.Picture.load(app.shot("dpi-%d-operate.png" % dpi))
        rects = app.driver.rects()
        by_handle = {c["hwnd"]: c for c in rects["controls"]}
        album_list = [c for c in rects["controls"] if c["class"] == "SysListView32"][0]
        page = by_handle[album_list["parent"]]["in_parent"]
        box = album_list["in_parent"]
        self.assertEqual((box["left"], box["top"]), (s(20), s(80)))
        self.assertEqual((page["width"] - box["left"] - box["width"],
                          page["height"] - box["top"] - box["height"]), (s(20), s(20)))

        heights, middles = [], {}
        for caption, inset in (("用户主页：", 0), ("保存目录：", 0), ("分析", 3), ("浏览", 3)):
            control = [c for c in rects["controls"] if c["text"] == caption][0]
            span = ink_span(shot, rects["window"], control, inset)
            self.assertIsNotNone(span, "%s shows no text at %d dpi" % (caption, dpi))
            first, last, rows, width, middles[caption] = span
            # Cut text runs into the edge it is clipped at; text that fits leaves room there.
            self.assertGreaterEqual(first, 2, "%s is cut at %d dpi: %r" % (caption, dpi, span))
            if inset:
                self.assertLessEqual(last, width - 3, "%s is cut at %d dpi" % (caption, dpi))
            heights.append(rows)
        edits = sorted((c for c in rects["controls"] if c["class"] == "Edit"),
                       key=lambda c: c["screen"]["top"])
        for label, edit in zip(("用户主页：", "保存目录："), edits):
            span = ink_span(shot, rects["window"], edit, 3)
            self.assertIsNotNone(span, "the edit beside %s shows no text at %d dpi" % (label, dpi))
            self.assertLessEqual(abs(span[4] - middles[label]), s(2),
                                 "the edit's text beside %s is not on the label's line at %d dpi"
                                 % (label, dpi))
        app.driver.close()
        self.assertEqual(app.program.wait(30), 0)
        return max(heights), header_widths


if __name__ == "__main__":
    main()
