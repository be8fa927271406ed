#!/usr/bin/env python3
"""The window driver against driver_fixture.exe, a window of Pictalon's shape whose reactions are
known: each test starts its own fixture and checks what the driver reads, changes and reports.
Run inside scripts/sandbox (Wine, Xvfb)."""

import json
import os
import sys
import tempfile
import time
import unittest

sys.dont_write_bytecode = True  # keep the source folders clean
sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "e2e"))

import harness  # noqa: E402

WAITING = "  状态:等待操作！"


class FixtureTestCase(unittest.TestCase):
    exit_code = 0

    def setUp(self):
        if not os.path.isfile(harness.fixture_exe()):
            self.skipTest("driver_fixture.exe is not built")
        self.program = harness.Program(harness.fixture_exe(),
                                       ["--exit-code", str(self.exit_code)],
                                       log_name="driver-fixture")
        self.addCleanup(self.program.stop)
        self.driver = harness.Driver()
        self.driver.find(timeout_ms=120000)

    def wait_for_status(self, text):
        seen, last = self.driver.wait_status(text)
        self.assertTrue(seen, "status stayed at %r" % last)


class ReadAndTypeTest(FixtureTestCase):
    def test_status_edits_and_buttons_round_trip_chinese_text(self):
        self.assertEqual(self.driver.status(), WAITING)
        address = "http://weibo.com/n/摄影爱好者?x=1"
        self.driver.set_edit(0, address)
        self.assertEqual(self.driver.get_edit(0), address)
        self.assertEqual(self.driver.get_edit(1), "C:\\")
        # By caption, though the button sits on a hidden page.
        self.driver.click("分析")
        self.wait_for_status("clicked 20001 " + address)
        self.driver.set_edit(0, "second")
        self.driver.click(20001)
        self.wait_for_status("clicked 20001 second")

    def test_unknown_controls_and_bad_arguments_fail_with_a_message(self):
        out, code = self.driver.run("click", "no such button", check=False)
        self.assertNotEqual(code, 0)
        out, code = self.driver.run("set-edit", "7", "x", check=False)
        self.assertNotEqual(code, 0)
        out, code = self.driver.run("select", "99", check=False)
        self.assertNotEqual(code, 0)
        out, code = self.driver.run("frobnicate", check=False)
        self.assertEqual(code, 2)
        # A window that never appears: the wait ends at its time-out with a failure.
        started = time.monotonic()
        out, code = harness.Driver(title="NoSuchTitle").run("find", timeout_ms=1500, check=False)
        self.assertNotEqual(code, 0)
        self.assertGreaterEqual(time.monotonic() - started, 1.4)

    def test_watch_status_lists_each_text_once_until_the_one_asked_for(self):
        watch = self.driver.watch_status(until="clicked 20001 b", timeout_ms=20000)
        time.sleep(1.0)
        for text in ("a", "a", "b"):
            self.driver.set_edit(0, text)
            self.driver.click(20001)
            time.sleep(0.3)
        code, out = watch.result()
        self.assertEqual(code, 0, out)
        seen = json.loads(out)
        # On a busy machine the watch may start after the first text has gone.
        self.assertIn(seen, ([WAITING, "clicked 20001 a", "clicked 20001 b"],
                             ["clicked 20001 a", "clicked 20001 b"]))
        watch = self.driver.watch_status(until="never", timeout_ms=500)
        code, out = watch.result()
        self.assertNotEqual(code, 0)
        self.assertEqual(json.loads(out), ["clicked 20001 b"])

    def test_wait_status_reports_the_last_text_when_it_never_comes(self):
        seen, last = self.driver.wait_status("never", timeout_ms=800)
        self.assertFalse(seen)
        self.assertEqual(last, WAITING)
        seen, last = self.driver.wait_status("等待", contains=True)
        self.assertTrue(seen)


class TabsAndListTest(FixtureTestCase):
    def test_tab_click_switches_the_visible_page(self):
        tabs = self.driver.tabs()
        self.assertEqual(tabs["tabs"], ["登录", "操作", "关于"])
        self.assertEqual(tabs["selected"], 0)
        self.assertEqual([p["visible"] for p in tabs["pages"]], [True, False, False])
        tabs = self.driver.tab(1)
        self.assertEqual(tabs["selected"], 1)
        self.assertEqual([p["visible"] for p in tabs["pages"]], [False, True, False])
        tabs = self.driver.tab("关于")
        self.assertEqual([p["visible"] for p in tabs["pages"]], [False, False, True])

    def test_list_items_selection_and_download_command(self):
        self.driver.tab(1)
        listed = self.driver.list()
        self.assertEqual(listed["count"], 3)
        self.assertEqual([i["text"] for i in listed["items"]],
                         ["[旅行] 25张", "[美食] 40张", "[B] 0张"])
        self.assertEqual([i["image"] for i in listed["items"]], [0, 1, 2])
        self.assertEqual([i["selected"] for i in listed["items"]], [False] * 3)
        # Nothing selected: the fixture ignores the command, like the program does.
        self.driver.command(10000)
        self.driver.command(10004)
        self.wait_for_status("command 10004")
        listed = self.driver.select(2)
        self.assertEqual([i["selected"] for i in listed["items"]], [False, False, True])
        self.driver.command(10000)
        self.wait_for_status("download 2")
        listed = self.driver.select(-1)
        self.assertEqual([i["selected"] for i in listed["items"]], [False] * 3)
        self.assertEqual(self.driver.list(wait_count=3)["count"], 3)
        out, code = self.driver.run("list", "--wait-count", "5", timeout_ms=600, check=False)
        self.assertNotEqual(code, 0)

    def test_icons_on_a_screenshot_show_each_items_picture(self):
        self.driver.tab(1)
        items = self.driver.list()["items"]
        window = self.driver.rects()["window"]
        path = os.path.join(tempfile.mkdtemp(), "fixture.bmp")
        self.driver.shot(path)
        shot = harness.Picture.load(path)
        self.assertEqual((shot.width, shot.height), (window["width"], window["height"]))
        means = []
        for item in items:
            icon = item["icon"]
            crop = shot.crop(icon["left"] - window["left"] + 8, icon["top"] - window["top"] + 8,
                             icon["width"] - 16, icon["height"] - 16)
            means.append(crop.mean())
        # The fixture's icons are red, green and blue squares.
        self.assertGreater(means[0][0], 150)
        self.assertGreater(means[1][1], 150)
        self.assertGreater(means[2][2], 150)
        self.assertLess(means[0][2], 100)


class MenusAndBoxesTest(FixtureTestCase):
    def test_right_click_opens_the_menu_at_the_pointer_and_dismisses_it(self):
        self.driver.tab(1)
        opened = self.driver.rclick(1)
        self.assertTrue(opened["menu"])
        self.assertTrue(opened["closed"])
        self.wait_for_status("menu %d,%d" % (opened["at"]["x"], opened["at"]["y"]))
        # An empty spot works too.
        self.assertTrue(self.driver.rclick()["menu"])
        # Picking the first item selects nothing new: item 1 was selected by the right-click.
        picked = self.driver.rclick(1, pick=0)
        self.assertTrue(picked["closed"])
        self.wait_for_status("download 1")

    def test_message_boxes_of_worker_threads_are_listed_and_answered(self):
        self.assertEqual(self.driver.boxes(), [])
        self.driver.command(10001)
        box = self.driver.answer()
        self.assertEqual(box["title"], "[2017.08.22-16.14]a.jpg")
        self.assertEqual(box["text"], "拒绝访问。")
        self.assertEqual(box["owner"], 0)
        self.assertEqual(self.driver.boxes(), [])
        self.driver.click("浏览")
        box = self.driver.answer(title="")
        self.assertEqual(box["text"], "TestCookies = 假")
        out, code = self.driver.run("answer", timeout_ms=500, check=False)
        self.assertNotEqual(code, 0)


class GeometryAndCloseTest(FixtureTestCase):
    exit_code = 7

    def test_resize_moves_the_controls_and_close_reports_the_exit_code(self):
        def control(rects, cls, nth=0):
            return [c for c in rects["controls"] if c["class"] == cls][nth]

        before = self.driver.rects()
        self.assertEqual((before["window"]["width"], before["window"]["height"]), (640, 540))
        self.driver.resize(800, 600)
        after = self.driver.rects()
        self.assertEqual((after["window"]["width"], after["window"]["height"]), (800, 600))
        tabs = control(after, "SysTabControl32")
        self.assertEqual(tabs["in_parent"]["width"], after["client"]["width"] - 20)
        self.assertEqual(tabs["in_parent"]["height"], after["client"]["height"] - 40)
        self.assertGreater(control(after, "SysListView32")["screen"]["width"],
                           control(before, "SysListView32")["screen"]["width"])
        result, code = self.driver.close(wait=True)
        self.assertEqual(code, 0)
        self.assertTrue(result["exited"])
        self.assertEqual(result["exit_code"], 7)
        self.assertEqual(self.program.wait(30), 7)


if __name__ == "__main__":
    unittest.main(verbosity=2)
