#!/usr/bin/env python3
"""Pictalon end to end: the real program under Wine inside the sandbox, signed in through the
stand-in's scripted QR states, driven through its window by pictalon_driver.exe, checked on the
status line, the album list, the screen, the files on disk and the stand-in's request log.

Run from ctest inside scripts/sandbox (STANDIN_CONTROL, DISPLAY and WINEPREFIX set), with the
Windows build folder in PICT_WIN_BUILD or given as --build DIR. Screenshots go to $PICT_ARTIFACTS
(default <build>/artifacts)."""

import json
import os
import sys
import time
import unittest

sys.dont_write_bytecode = True  # keep the source folders clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import harness  # noqa: E402
import naming  # noqa: E402
from standin_pictures import picture  # noqa: E402  (tests/sandbox, put on the path by harness)

S = "  状态:"
QR_WAITING = S + '请打开微博客户端"扫一扫"'
QR_SCANNED = S + "成功扫描，请在手机点击确认以登录"
QR_EXPIRED = S + "该二维码已过期，请重新扫描"
QR_USED = S + "该二维码已登录，请重新扫描"
QR_ERROR = S + "二维码错误"
LOGIN_DONE = S + "登录成功,请输入微博主页分析相册"
ANALYSING = S + "正在分析用户信息,获取相册列表中;"
CATALOGUE_DONE = S + "获取相册信息完成,请选择相册单击鼠标右键开始下载;"
PROGRESS = S + "正在下载中,请耐心等待,可能需要一阵子时间;当前下载进度 "
PAGE_RND = "1504068705105"

VIEWER, OWNER, OTHER = "1000001", "3000003", "4000004"
OWNER_NICK = "下载:测试*用户. "
SIZES = {10002: "large", 10003: "mw1024", 10004: "mw690", 10005: "small"}

AWKWARD_PHOTOS = [
    # 251 GBK bytes whose 200th byte is the lead byte of a double-byte character. Mostly ASCII,
    # because Linux caps a file name at 255 bytes of UTF-8 (three bytes per Chinese character),
    # and Wine, which stores the name there, would otherwise cut it short.
    {"pic_host": "http://wx1.sinaimg.cn", "pic_name": "long.jpg",
     "caption": "x" * 149 + "长" * 51, "timestamp": 1503392084},
    {"pic_host": "http://wx2.sinaimg.cn", "pic_name": "forbidden.png",
     "caption": 'a/b\\c:d*e<f>g|h?i"j\nk\rl m\x01n\x1fo', "timestamp": 0},
    {"pic_host": "http://wx3.sinaimg.cn", "pic_name": "noext", "caption": "",
     "timestamp": 1500000000},
    {"pic_host": "http://wx4.sinaimg.cn", "pic_name": "x.jpeg", "caption": "扩展名",
     "timestamp": 1500000060},
    {"pic_host": "http://wx1.sinaimg.cn", "pic_name": "evil.bat", "caption": "脚本",
     "timestamp": 1500000120},
    {"pic_host": "http://wx2.sinaimg.cn", "pic_name": "nots.gif", "caption": "无时间"},
]


def scenario():
    def album(aid, caption, cover, generated, photos=()):
        return {"id": aid, "caption": caption, "type": 3, "cover": cover,
                "created_at": "2017-08-01 10:00:00", "updated_at": "2017-08-20 18:30:00",
                "photos": list(photos), "generate_photos": generated}

    return {
        "name": "e2e",
        "viewer": VIEWER,
        "owners": [
            {"id": VIEWER, "nick": "看客", "avatar": "//tva1.sinaimg.cn/large/av_1000001.jpg",
             "albums": [album("9001", "自己的", "http://wx1.sinaimg.cn/thumb300/c9001.jpg", 2)]},
            {"id": OWNER, "nick": OWNER_NICK, "avatar": "//tva2.sinaimg.cn/large/av_3.jpg",
             "albums": [
                 album("6000", "空相册", "http://wx1.sinaimg.cn/thumb300/c6000.jpg", 0),
                 album("6032", "三十二张", "http://wx2.sinaimg.cn/thumb300/c6032.png", 32),
                 album("6033", "三十三/张?", "http://wx3.sinaimg.cn/thumb300/c6033.jpg", 27,
                       AWKWARD_PHOTOS),
                 album("6065", " 六十五张.", "http://wx4.sinaimg.cn/thumb300/c6065.gif", 65),
             ]},
            {"id": OTHER, "nick": "另一位", "avatar": "//tva3.sinaimg.cn/large/av_4.jpg",
             "albums": [
                 album("7001", "甲", "http://wx1.sinaimg.cn/thumb300/c7001.jpg", 3),
                 album("7002", "乙", "http://wx2.sinaimg.cn/thumb300/c7002.jpg", 1),
             ]},
        ],
    }


def finished(done, listed):
    return S + "全部下载完成,当前已下载 %d张 共 %d张 请单击鼠标右键打开目录;" % (done, listed)


def incomplete(done, total, unlisted, failed):
    return S + "下载未完成,当前已下载 %d张 共 %d张;%d张未能获取列表,%d张下载失败;请单击鼠标右键打开目录;" % (
        done, total, unlisted, failed)


def pages_of(rects):
    """The koPanel pages of the tab control, in tab order (login, operate, about)."""
    tabs = [c for c in rects["controls"] if c["class"] == "SysTabControl32"][0]
    return tabs, [c for c in rects["controls"] if c["class"] == "koPanel" and
                  c["parent"] == tabs["hwnd"]]


def qr_box(rects):
    _, pages = pages_of(rects)
    boxes = [c for c in rects["controls"] if c["class"] == "Static" and
             c["parent"] == pages[0]["hwnd"]]
    assert len(boxes) == 1, boxes
    return boxes[0]


def home(owner):
    return "http://weibo.com/u/%s" % owner


class App:
    """One Pictalon started in a fresh folder of its own (so its save folder starts empty)."""

    def __init__(self, test, label):
        self.test = test
        self.label = label
        self.folder, exe = harness.fresh_program_folder(label)
        self.started = time.monotonic()
        self.program = harness.Program(exe, log_name=label)
        test.addCleanup(self.program.stop)
        self.driver = harness.Driver()
        try:
            # Generous: a cold Wine start on a machine busy compiling can take a while.
            self.driver.find(timeout_ms=120000)
        except harness.DriverError as e:
            state = "still running" if self.program.running() else \
                "ended with exit code %s" % self.program.process.returncode
            raise AssertionError("Pictalon showed no window (%s): %s" % (state, e)) from None

    def wait_status(self, text, timeout_ms=30000):
        seen, last = self.driver.wait_status(text, timeout_ms=timeout_ms)
        if not seen:
            self.test.fail("status %r never came; it stayed at %r (%s)" % (text, last,
                                                                        self.describe()))

    def describe(self):
        """What the program looks like now, for a failure message; a screenshot is kept."""
        if not self.program.running():
            return "the program ended with exit code %s" % self.program.process.returncode
        parts = ["the program is running"]
        for what, call in (("boxes", self.driver.boxes), ("buttons", self.driver.buttons)):
            try:
                parts.append("%s %s" % (what, call()))
            except harness.DriverError as e:
                parts.append("%s unreadable: %s" % (what, e))
        try:
            parts.append("screenshot " + self.shot(self.label + "-failure.png"))
        except harness.DriverError as e:
            parts.append("no screenshot: %s" % e)
        return "; ".join(parts)

    def login(self):
        self.wait_status(LOGIN_DONE)

    def analyse(self, owner_address, expected_items, wait_done=True):
        self.driver.tab(1)
        self.driver.set_edit(0, owner_address)
        self.driver.click("分析")
        if wait_done:
            self.wait_status(CATALOGUE_DONE)
        return self.driver.list(wait_count=expected_items)

    def analyse_button_enabled(self):
        return [b for b in self.driver.buttons() if b["id"] == 20001][0]["enabled"]

    def download(self, index, done, listed, timeout_ms=120000):
        self.driver.select(index)
        self.driver.command(10000)
        self.wait_status(finished(done, listed), timeout_ms=timeout_ms)
        # The buttons come back with the final status; both happen under one lock.
        deadline = time.monotonic() + 20
        while not self.analyse_button_enabled() and time.monotonic() < deadline:
            time.sleep(0.2)
        self.test.assertTrue(self.analyse_button_enabled())

    def shot(self, name):
        path = os.path.join(harness.artifacts_dir(), name)
        self.driver.shot(path)
        return path


class PictalonTestCase(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if harness.pictalon_exe() is None:
            raise unittest.SkipTest("Pictalon.exe is not built (%s)" % harness.win_build())
        cls.ctl = harness.StandinControl()

    def setUp(self):
        self.ctl.reset()
        self.ctl.scenario_json(scenario())

    def start(self, label, qr=("confirmed",)):
        self.ctl.qr_sequence(list(qr))
        return App(self, label)

    def photos_of(self, owner, album_id):
        for o in self.ctl.current_scenario()["owners"]:
            if o["id"] == owner:
                for a in o["albums"]:
                    if a["id"] == album_id:
                        return o["nick"], a["caption"], a["photos"]
        raise KeyError(album_id)

    def expected_files(self, app, owner, album_id):
        """Album folder and {file name: photo} as this test computes them."""
        nick, caption, photos = self.photos_of(owner, album_id)
        folder = naming.album_folder(app.folder, nick, caption)
        names = {}
        for p in photos:
            names[naming.picture_file_name(p.get("timestamp", 0), p["caption"], p["pic_name"])] = p
        return folder, names

    def log_paths(self, host=None, path=None):
        query = []
        if host:
            query.append("host=" + host)
        if path:
            query.append("path=" + path)
        answer = self.ctl.call("GET", "/log" + ("?" + "&".join(query) if query else ""))
        return answer["requests"]

    def assert_album_on_disk(self, folder, names, segment, missing=()):
        self.assertTrue(os.path.isdir(folder), folder)
        present = sorted(os.listdir(folder))
        wanted = sorted(n for n in names if n not in missing)
        self.assertEqual(present, wanted)
        for name in wanted:
            with open(os.path.join(folder, name), "rb") as f:
                data = f.read()
            photo = names[name]
            self.assertEqual(harness.picture_comment(data), segment + "/" + photo["pic_name"], name)
            self.assertEqual(data, picture(segment, photo["pic_name"]), name)


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
            page_count = (total + 31) // 32
            self.assertEqual(pages, [query % 1] + [query % p for p in range(1, page_count + 1)])
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
        present = set(os.listdir(folder))
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
        self.ctl.fault({"host": "*.sinaimg.cn", "path": "/mw1024/*", "action": "delay",
                        "delay_ms": 150})
        app.driver.select(3)
        app.driver.command(10000)
        seen, last = app.driver.wait_status(PROGRESS, contains=True, timeout_ms=60000)
        self.assertTrue(seen, last)
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
        self.assertGreaterEqual(len(os.listdir(folder)), 3)
        started = time.monotonic()
        app.driver.close()
        code = app.program.wait(20)
        took = time.monotonic() - started
        print("\nclose during a download: the process ended after %.2f s" % took, file=sys.stderr)
        self.assertIsNotNone(code, "still running 20 s after the close")
        self.assertEqual(code, 0)
        present = os.listdir(folder)
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
        present = set(os.listdir(folder))
        # Page 2 held photos 33 to 64.
        listed = {n for n, p in names.items()
                  if not 33 <= int(p["pic_name"].split("_")[1].split(".")[0]) <= 64}
        self.assertEqual(len(listed), 33)
        self.assertEqual(present, listed)

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
        present = set(os.listdir(folder))
        for pic in ("u1.jpg", "u2.jpg", "u3.png"):
            self.assertIn(by_pic[pic], present, pic)
            with open(os.path.join(folder, by_pic[pic]), "rb") as f:
                self.assertEqual(f.read(), picture("mw1024", pic), pic)
        # "价格€/折扣" also needs names cleaned character by character.
        self.assertEqual(failed, [])
        self.assertEqual(present, set(names))
        self.assertEqual(app.driver.status(), finished(4, 4))

class TaskbarTest(PictalonTestCase):
    def test_downloads_finish_before_and_after_the_taskbar_button_exists(self):
        app = self.start("taskbar")
        app.login()
        app.analyse(home(OWNER), 4)
        # No shell here announces the button: this run has no taskbar interface at all.
        app.download(1, 32, 32)
        # Announced as a shell would; Pictalon asks for the interface, which Wine may lack.
        app.driver.post("TaskbarButtonCreated")
        app.download(3, 65, 65)
        app.driver.post("TaskbarButtonCreated")  # a restarted shell announces it again
        app.download(2, 33, 33)
        app.driver.close()
        self.assertEqual(app.program.wait(30), 0)


def ink_span(shot, window, control, inset):
    """(first column, last column, ink rows, inner width) of the text ink inside a control seen
    on a screenshot: pixels far darker than any face or frame colour, inset pixels in from every
    edge. None when the control shows no ink there."""
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
    return min(columns), max(columns), max(rows) - min(rows) + 1, inner.width


class DpiTest(PictalonTestCase):
    """The window at 96, 144 and 192 dpi: every figure of the layout scaled, the text drawn in a
    font of the same scale and never cut. Screenshots dpi-<n>-login.png, dpi-<n>-operate.png."""

    def test_both_pages_scale_with_the_dpi_and_no_text_is_cut(self):
        before = harness.log_pixels()
        self.addCleanup(harness.set_log_pixels, before)
        ink_heights = {}
        for dpi in (96, 144, 192):
            with self.subTest(dpi=dpi):
                harness.set_log_pixels(dpi)
                self.ctl.reset()
                self.ctl.scenario_json(scenario())
                app = self.start("dpi-%d" % dpi, qr=("waiting",))
                try:
                    ink_heights[dpi] = self.check_pages(app, dpi)
                finally:
                    app.program.stop()  # a failed scale must not leave its window to the next
        # Text drawn at 96 dpi in a window scaled up would be cut nowhere but still tiny.
        for dpi in (144, 192):
            if 96 not in ink_heights or dpi not in ink_heights:
                continue  # already failed above
            self.assertGreaterEqual(ink_heights[dpi] * 96, ink_heights[96] * dpi * 0.8,
                                    "the text does not grow with the dpi: %r" % ink_heights)

    def check_pages(self, app, dpi):
        def s(value):
            return value * dpi // 96

        app.wait_status(QR_WAITING)
        app.shot("dpi-%d-login.png" % dpi)
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

        heights = []
        for caption, inset in (("用户主页：", 0), ("保存目录：", 0), ("分析", 3), ("浏览", 3)):
            control = [c for c in rects["controls"] if c["text"] == caption][0]
            span = ink_span(shot, rects["window"], control, inset)
            self.assertIsNotNone(span, "%s shows no text at %d dpi" % (caption, dpi))
            first, last, rows, width = span
            # Cut text runs into the edge it is clipped at; text that fits leaves room there.
            self.assertGreaterEqual(first, 2, "%s is cut at %d dpi: %r" % (caption, dpi, span))
            if inset:
                self.assertLessEqual(last, width - 3, "%s is cut at %d dpi" % (caption, dpi))
            heights.append(rows)
        app.driver.close()
        self.assertEqual(app.program.wait(30), 0)
        return max(heights)


def main():
    args = sys.argv[1:]
    if "--build" in args:
        at = args.index("--build")
        os.environ["PICT_WIN_BUILD"] = args[at + 1]
        del args[at:at + 2]
    unittest.main(argv=[sys.argv[0]] + args, verbosity=2)


if __name__ == "__main__":
    main()
