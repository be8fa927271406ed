#!/usr/bin/env python3
"""Pictalon end to end, downloads: every size, failures, commands during a run, the service
pushing back, UTF-8 answers and the taskbar, checked on disk and in the stand-in's request log
(see app_case.py)."""

import os
import sys
import time

sys.dont_write_bytecode = True  # keep the source folders clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from app_case import (  # noqa: E402
    CATALOGUE_DONE, OTHER, OWNER, PAGE_RND, PictalonTestCase, S, SIZES, finished, home,
    harness, incomplete, naming, picture, pictures_in, scenario, main)


class DownloadSizesTest(PictalonTestCase):
    """Albums of 0, 32, 33 and 65 photos in one size per test: names, contents, queries, status."""

    def run_sizes(self, command):
        segment = SIZES[command]
        app = self.start("download-" + segment)
        app.login()
        app.analyse(home(OWNER), 4)
        app.driver.command(command)
        for index, (album_id, total) in enumerate((("6000", 0), ("6032", 32), ("6033", 33),
                                                    ("6065", 65))):
            self.ctl.call("DELETE", "/log")
            app.download(index, total, total)
            folder, names = self.expected_files(app, OWNER, album_id)
            self.assertEqual(len(names), total)
            self.assert_album_on_disk(folder, names, segment)
            pages = [r["path"] for r in self.log_paths(host="photo.weibo.com",
                                                       path="/photos/get_all")]
            query = "/photos/get_all?uid=%s&album_id=%s&count=32&page=%%d&type=&__rnd=%s" % (
                OWNER, album_id, PAGE_RND)
            # The first page alone, with the total; then the others, a few at a time, so in any
            # order, and none twice, up to the first that is not full, whatever the total said.
            self.assertEqual(pages[:1], [query % 1])
            self.assertEqual(sorted(pages[1:]),
                             sorted(query % p for p in range(2, total // 32 + 2)))
            pictures = [r["path"] for r in self.log_paths() if r["host"].endswith("sinaimg.cn")]
            self.assertEqual(sorted(pictures),
                             sorted("/%s/%s" % (segment, p["pic_name"]) for p in names.values()))
        app.shot("download-finished-%s.png" % segment)

    def test_full_size(self):
        self.run_sizes(10002)

    def test_high_definition(self):
        self.run_sizes(10003)

    def test_standard_definition(self):
        self.run_sizes(10004)

    def test_thumbnail(self):
        self.run_sizes(10005)


class DownloadFailuresTest(PictalonTestCase):
    def test_failed_pictures_are_retried_or_reported_and_the_run_goes_on(self):
        app = self.start("download-failures")
        app.login()
        app.analyse(home(OWNER), 4)
        folder, names = self.expected_files(app, OWNER, "6032")
        by_pic = {p["pic_name"]: n for n, p in names.items()}
        self.ctl.fault({"host": "*.sinaimg.cn", "path": "/mw1024/6032_5.jpg", "action": "status",
                        "status": 404})
        self.ctl.fault({"host": "*.sinaimg.cn", "path": "/mw1024/6032_9.jpg", "action": "reset",
                        "after": 10})
        # A folder sits where one picture would go: its write fails with a box.
        taken = by_pic["6032_3.jpg"]
        os.makedirs(os.path.join(folder, taken))
        self.ctl.call("DELETE", "/log")
        app.driver.select(1)
        app.driver.command(10000)
        box = app.driver.answer(timeout_ms=60000)
        self.assertEqual(box["title"], taken)
        self.assertNotEqual(box["text"], "")
        app.wait_status(incomplete(29, 32, 0, 3), timeout_ms=120000)
        self.assertEqual(app.driver.boxes(), [])
        for pic in ("6032_5.jpg", "6032_9.jpg"):
            tries = [r for r in self.log_paths(path="/mw1024/" + pic)]
            self.assertEqual(len(tries), 3, pic)
        present = pictures_in(folder)
        self.assertTrue(os.path.isdir(os.path.join(folder, taken)))
        self.assertNotIn(by_pic["6032_5.jpg"], present)
        self.assertNotIn(by_pic["6032_9.jpg"], present)
        missing = {taken, by_pic["6032_5.jpg"], by_pic["6032_9.jpg"]}
        self.assertEqual(present - {taken}, set(names) - missing)
        for name in set(names) - missing:
            with open(os.path.join(folder, name), "rb") as f:
                self.assertEqual(f.read(), picture("mw1024", names[name]["pic_name"]), name)


class DownloadCommandsTest(PictalonTestCase):
    def test_size_command_during_a_run_changes_nothing(self):
        app = self.start("size-during-run")
        app.login()
        app.analyse(home(OWNER), 4)
        app.download_slowly(3, "/mw1024/*", 150)
        app.driver.command(10002)
        app.driver.command(10005)
        app.wait_status(finished(65, 65), timeout_ms=120000)
        # Slow pictures keep every download worker on the network, and never one more.
        open_at_once = max(r["open_pictures"] for r in self.log_paths(path="/mw1024/6065_"))
        self.assertEqual(open_at_once, 5)
        folder, names = self.expected_files(app, OWNER, "6065")
        self.assert_album_on_disk(folder, names, "mw1024")
        self.assertEqual(self.log_paths(path="/large/6065_"), [])
        self.assertEqual(self.log_paths(path="/small/6065_"), [])
        # The next run still uses the size the refused commands left alone.
        self.ctl.call("DELETE", "/faults")
        app.download(1, 32, 32)
        folder, names = self.expected_files(app, OWNER, "6032")
        self.assert_album_on_disk(folder, names, "mw1024")

    def test_download_with_nothing_selected_does_nothing(self):
        app = self.start("nothing-selected")
        app.login()
        app.analyse(home(OWNER), 4)
        app.driver.select(-1)
        self.ctl.call("DELETE", "/log")
        app.driver.command(10000)
        # The menu opens on an empty spot too; its first item is the same command.
        menu = app.driver.rclick(pick=0)
        self.assertTrue(menu["menu"])
        time.sleep(2.0)
        self.assertEqual(self.log_paths(host="photo.weibo.com"), [])
        self.assertEqual(app.driver.status(), CATALOGUE_DONE)
        self.assertTrue(app.analyse_button_enabled())
        self.assertEqual([e for e in os.listdir(app.folder) if e != "Pictalon.exe"], [])
        # The size sub-menu opens from the menu (kept as a picture for a person to look at).
        app.driver.rclick(0, shot=os.path.join(harness.artifacts_dir(), "album-menu.png"))
        # The menu's own "下载选中" on a selected album does start a run.
        menu = app.driver.rclick(0, pick=0)
        self.assertTrue(menu["menu"])
        app.wait_status(finished(0, 0), timeout_ms=60000)

    def test_closing_during_a_download_ends_promptly_and_leaves_only_whole_pictures(self):
        app = self.start("close-during-run")
        app.login()
        app.analyse(home(OWNER), 4)
        self.ctl.fault({"host": "*.sinaimg.cn", "path": "/mw1024/*", "action": "trickle",
                        "chunk": 64, "interval_ms": 40})
        folder, names = self.expected_files(app, OWNER, "6065")
        app.driver.select(3)
        app.driver.command(10000)
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline:
            if os.path.isdir(folder) and len([n for n in os.listdir(folder) if n in names]) >= 3:
                break
            time.sleep(0.2)
        self.assertGreaterEqual(len(pictures_in(folder)), 3)
        started = time.monotonic()
        app.driver.close()
        code = app.program.wait(20)
        took = time.monotonic() - started
        print("\nclose during a download: the process ended after %.2f s" % took, file=sys.stderr)
        self.assertIsNotNone(code, "still running 20 s after the close")
        self.assertEqual(code, 0)
        # Nothing under way outlives the process.
        self.assertFalse(os.path.exists(os.path.join(folder, "..", "~pictalon-parts")))
        present = pictures_in(folder)
        self.assertEqual([n for n in present if n not in names], [])
        for name in present:
            with open(os.path.join(folder, name), "rb") as f:
                self.assertEqual(f.read(), picture("mw1024", names[name]["pic_name"]), name)


class DownloadPushbackTest(PictalonTestCase):
    def test_a_rate_limit_and_a_lost_page_cost_nothing_unsaid(self):
        """Pictures answer 418 for 3 s after the 10th and page 2 never comes: every listed photo
        is written, the status says the service asked us to wait, and the final status counts
        the 32 photos that could not be listed."""
        app = self.start("pushback")
        app.login()
        app.analyse(home(OWNER), 4)
        folder, names = self.expected_files(app, OWNER, "6065")
        self.ctl.fault({"host": "*.sinaimg.cn", "path": "/mw1024/*", "action": "limit",
                        "after_requests": 10, "ms": 3000, "status": 418})
        self.ctl.fault({"host": "photo.weibo.com", "path": "*album_id=6065&count=32&page=2&*",
                        "action": "status", "status": 503})
        self.ctl.call("DELETE", "/log")
        app.driver.select(3)
        started = time.monotonic()
        app.driver.command(10000)
        seen, last = app.driver.wait_status(S + "服务器要求放慢速度", contains=True,
                                            timeout_ms=60000)
        self.assertTrue(seen, last)
        app.wait_status(incomplete(33, 65, 32, 0), timeout_ms=120000)
        took = time.monotonic() - started
        limited = [r for r in self.log_paths() if r["fault"] == "limit"]
        print("\n418 for 3 s over 33 pictures: %d requests met the limit, final status after "
              "%.2f s" % (len(limited), took), file=sys.stderr)
        self.assertLessEqual(len(limited), 9)
        present = pictures_in(folder)
        # Page 2 held photos 33 to 64.
        listed = {n for n, p in names.items()
                  if not 33 <= int(p["pic_name"].split("_")[1].split(".")[0]) <= 64}
        self.assertEqual(len(listed), 33)
        self.assertEqual(present, listed)

    def test_a_listing_limited_per_address_meets_each_limit_once_for_each_pace_it_learns(self):
        """The photo host takes a burst of 4 listing requests, then 3 a second, and bans an
        address that pushes on: each limit slows the listing down, so a long album meets only a
        few, each at a slower pace than the one before, with no request on its way beside the
        one limited; every photo is written."""
        with_long = scenario()
        with_long["owners"][2]["albums"].append(
            {"id": "7640", "caption": "长", "type": 3, "generate_photos": 640})
        self.ctl.scenario_json(with_long)
        app = self.start("pace")
        app.login()
        app.analyse(home(OTHER), 3)
        self.ctl.knobs({"limit_burst": 4, "limit_rate": 3, "limit_ban_ms": 1000})
        self.ctl.call("DELETE", "/log")
        app.driver.command(10005)
        app.download(2, 640, 640, timeout_ms=600000)
        # The rate the last few listing requests came at before each limit they drew.
        rates, since, answers = [], [], 0
        for r in self.log_paths(host="photo.weibo.com"):
            answers += r["status"] == 418
            if r["status"] == 418 and since:
                span = since[-1] - since[-4:][0]
                rates.append((len(since[-4:]) - 1) / span if span > 0 else float("inf"))
            since = [] if r["status"] == 418 else since + [r["arrived"]]
        print("\nlisting limited at %s requests a second" % ["%.1f" % x for x in rates],
              file=sys.stderr)
        self.assertTrue(1 <= len(rates) <= 3, rates)
        self.assertEqual(rates, sorted(rates, reverse=True))
        # Each lesson is one answer, and at most one more for a probe sent into the ban.
        self.assertLessEqual(answers, 2 * len(rates))

UTF8_OWNER = "5000005"
UTF8_PHOTOS = [
    {"pic_host": "http://wx1.sinaimg.cn", "pic_name": "u1.jpg", "caption": "旅行 第一天",
     "timestamp": 1503392084},
    # 運, 誠 and 錦 end in the byte of "\\" (DF 5C, D5 5C, E5 5C) in code page 936.
    {"pic_host": "http://wx2.sinaimg.cn", "pic_name": "u2.jpg", "caption": "好運",
     "timestamp": 1503392144},
    {"pic_host": "http://wx3.sinaimg.cn", "pic_name": "u3.png", "caption": "誠實的錦鯉",
     "timestamp": 1503392204},
    # "€" is the single byte 0x80; the "/" after it must still be taken out.
    {"pic_host": "http://wx4.sinaimg.cn", "pic_name": "u4.jpg", "caption": "价格€/折扣",
     "timestamp": 1503392264},
]


class Utf8AnswersTest(PictalonTestCase):
    """JSON answers that carry their text as raw UTF-8 rather than \\u escapes, from the QR
    code to the photo list."""

    def test_an_album_whose_captions_arrive_in_raw_utf8_is_downloaded_under_their_names(self):
        scenario_with_utf8 = scenario()
        scenario_with_utf8["owners"].append(
            {"id": UTF8_OWNER, "nick": "编码", "avatar": "//tva4.sinaimg.cn/large/av_5.jpg",
             "albums": [{"id": "8001", "caption": "旅行相册", "type": 3,
                         "cover": "http://wx1.sinaimg.cn/thumb300/c8001.jpg",
                         "photos": UTF8_PHOTOS}]})
        self.ctl.scenario_json(scenario_with_utf8)
        self.ctl.knobs({"utf8_json": True})
        app = self.start("utf8-answers")
        app.login()
        listed = app.analyse(home(UTF8_OWNER), 1)
        self.assertEqual([i["text"] for i in listed["items"]], ["[旅行相册] 4张"])
        folder = naming.album_folder(app.folder, "编码", "旅行相册")
        names = {naming.picture_file_name(p["timestamp"], p["caption"], p["pic_name"]): p
                 for p in UTF8_PHOTOS[:3]}
        # Python's GBK codec has no "€" (0x80 in code page 936), so this name is written out.
        names[naming.time_text(UTF8_PHOTOS[3]["timestamp"]) + "价格€折扣-u4.jpg"] = UTF8_PHOTOS[3]
        app.driver.select(0)
        app.driver.command(10000)
        # A picture the program cannot write shows a box that holds the final status until
        # it is answered; answer each and keep its title.
        failed = []
        deadline = time.monotonic() + 120
        while not app.driver.wait_status(S + "全部下载完成", contains=True, timeout_ms=3000)[0]:
            if time.monotonic() > deadline:
                self.fail("the run never ended: " + app.describe())
            if app.driver.boxes():
                failed.append(app.driver.answer()["title"])
        by_pic = {p["pic_name"]: n for n, p in names.items()}
        present = pictures_in(folder)
        for pic in ("u1.jpg", "u2.jpg", "u3.png"):
            self.assertIn(by_pic[pic], present, pic)
            with open(os.path.join(folder, by_pic[pic]), "rb") as f:
                self.assertEqual(f.read(), picture("mw1024", pic), pic)
        # "价格€/折扣" also needs names cleaned character by character.
        self.assertEqual(failed, [])
        self.assertEqual(present, set(names))
        self.assertEqual(app.driver.status(), finished(4, 4))

TASKBAR_CLASS = "{56FDF344-FD6D-11D0-958A-006097C9A090}"


class TaskbarTest(PictalonTestCase):
    def record_taskbar(self):
        """Puts tests/driver/taskbar_recorder.dll in the shell taskbar's place for this test;
        returns a function that gives the lines it recorded since the last call."""
        dll = os.path.join(harness.win_build(), "tests", "driver", "taskbar_recorder.dll")
        if not os.path.exists(dll):
            self.skipTest("taskbar_recorder.dll is not built")
        log = os.path.join(os.path.dirname(dll), "taskbar_recorder.log")
        if os.path.exists(log):
            os.remove(log)
        before = harness.set_class_server(TASKBAR_CLASS, "Z:" + dll.replace("/", "\\"))
        if before:
            self.addCleanup(harness.set_class_server, TASKBAR_CLASS, before)
        read = [0]

        def recorded():
            if not os.path.exists(log):
                return []
            with open(log) as f:
                lines = f.read().splitlines()
            new, read[0] = lines[read[0]:], len(lines)
            return new

        return recorded

    def assert_run_shown(self, lines, listed):
        """One connection, then the progress of a run of `listed` photos as it grew (the total
        with the pages listed so far), ending on all of them, then the button back to none."""
        self.assertEqual(lines[:1], ["init"], lines)
        self.assertEqual(lines[-1:], ["state 0"], lines)
        values = [tuple(map(int, l.split()[1].split("/"))) for l in lines if l.startswith("value")]
        self.assertTrue(values, lines)
        self.assertEqual(values[-1], (listed, listed), lines)
        for was, now in zip(values, values[1:]):
            self.assertTrue(now[0] >= was[0] and now[1] >= was[1] and now[0] <= now[1], lines)
        self.assertEqual(set(lines[1:-1]) - {"state 2"}, {"value %d/%d" % v for v in values},
                         "a run without failures shows the normal state only")

    def test_the_button_shows_each_run_once_a_shell_announces_it(self):
        recorded = self.record_taskbar()
        app = self.start("taskbar")
        app.login()
        app.analyse(home(OWNER), 4)
        # No shell here announces the button: this run tells the taskbar nothing.
        app.download(1, 32, 32)
        self.assertEqual(recorded(), [])
        # Announced as a shell would: Pictalon asks for the interface and the run shows on it.
        app.driver.post("TaskbarButtonCreated")
        app.download(3, 65, 65)
        self.assert_run_shown(recorded(), 65)
        app.driver.post("TaskbarButtonCreated")  # a restarted shell announces it again
        app.download(2, 33, 33)
        self.assert_run_shown(recorded(), 33)
        app.driver.close()
        self.assertEqual(app.program.wait(30), 0)


if __name__ == "__main__":
    main()
