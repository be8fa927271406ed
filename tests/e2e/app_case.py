#!/usr/bin/env python3
"""What the end-to-end tests share: the scenario, the texts the status line shows, one
Pictalon driven through its window, and the base test case. The tests themselves are in
test_app.py (sign-in, catalogue, layout, dpi) and test_download.py (downloads).

Pictalon end to end: the real program under Wine inside the sandbox, signed in through the
stand-in's scripted QR states, driven through its window by pictalon_driver.exe, checked on the
status line, the album list, the screen, the files on disk and the stand-in's request log.

Run from ctest inside scripts/sandbox (STANDIN_CONTROL, DISPLAY and WINEPREFIX set), with the
Windows build folder in PICT_WIN_BUILD or given as --build DIR. Screenshots go to $PICT_ARTIFACTS
(default <build>/artifacts)."""

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


# The stand-in speaks the service as its users meet it today (see tests/sandbox/README.md).
PROFILE = "today"


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


RECORD = ".pictalon-album"


def finished(done, listed, already=0):
    if already:
        return S + "全部下载完成,当前已下载 %d张 共 %d张(已有 %d张) 请单击鼠标右键打开目录;" % (
            done, listed, already)
    return S + "全部下载完成,当前已下载 %d张 共 %d张 请单击鼠标右键打开目录;" % (done, listed)


def pictures_in(folder):
    """The names in an album folder but its record."""
    return set(os.listdir(folder)) - {RECORD}


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
    """One Pictalon started in a fresh folder of its own (so its save folder starts empty), or
    from the program file of another one (sharing its save folder); without the settings an
    earlier start kept unless keep_settings."""

    def __init__(self, test, label, beside=None, keep_settings=False):
        self.test = test
        self.label = label
        if not keep_settings:
            harness.forget_settings()
        if beside is None:
            self.folder, exe = harness.fresh_program_folder(label)
        else:
            self.folder, exe = beside.folder, os.path.join(beside.folder, "Pictalon.exe")
        self.started = time.monotonic()
        self.program = harness.Program(exe, log_name=label)
        test.addCleanup(self.program.stop)
        self.driver = harness.Driver()
        if beside is not None:
            self.driver.flags += ["--skip-pid", str(beside.pid)]
        try:
            # Generous: a cold Wine start on a machine busy compiling can take a while.
            self.pid = self.driver.find(timeout_ms=120000)["pid"]
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

    def download_slowly(self, index, pictures, delay_ms):
        """Starts "下载选中" on an album whose pictures (a path pattern) each come delay_ms late,
        and returns once the run shows its progress."""
        self.test.ctl.fault({"host": "*.sinaimg.cn", "path": pictures, "action": "delay",
                             "delay_ms": delay_ms})
        self.driver.select(index)
        self.driver.command(10000)
        seen, last = self.driver.wait_status(PROGRESS, contains=True, timeout_ms=60000)
        self.test.assertTrue(seen, last)

    def download(self, index, done, listed, timeout_ms=120000, already=0):
        self.driver.select(index)
        self.driver.command(10000)
        self.wait_status(finished(done, listed, already), timeout_ms=timeout_ms)
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
        harness.use_own_local_app_data()

    def setUp(self):
        self.ctl.reset(PROFILE)
        self.ctl.scenario_json(scenario())

    def start(self, label, qr=("confirmed",), keep_signin=False):
        """A Pictalon that signs in by QR code: the sign-in an earlier test kept is removed
        first unless keep_signin."""
        self.ctl.qr_sequence(list(qr))
        saved = harness.saved_signin_path()
        if saved and os.path.exists(saved) and not keep_signin:
            os.remove(saved)
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
        present = sorted(pictures_in(folder))
        wanted = sorted(n for n in names if n not in missing)
        self.assertEqual(present, wanted)
        for name in wanted:
            with open(os.path.join(folder, name), "rb") as f:
                data = f.read()
            photo = names[name]
            self.assertEqual(harness.picture_comment(data), segment + "/" + photo["pic_name"], name)
            self.assertEqual(data, picture(segment, photo["pic_name"]), name)


def main():
    """Runs the calling test file's cases; --build DIR names the Windows build."""
    args = sys.argv[1:]
    if "--build" in args:
        at = args.index("--build")
        os.environ["PICT_WIN_BUILD"] = args[at + 1]
        del args[at:at + 2]
    unittest.main(module="__main__", argv=[sys.argv[0]] + args, verbosity=2)


