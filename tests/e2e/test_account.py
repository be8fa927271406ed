#!/usr/bin/env python3
"""Pictalon end to end, the whole account and updates: "下载全部相册" over an owner's albums
(one empty, one that cannot be listed), and runs again over an album already downloaded, which
fetch only what is new or no longer there as written (see app_case.py)."""

import os
import sys
import time

sys.dont_write_bytecode = True  # keep the source folders clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from app_case import (  # noqa: E402
    App, harness, PROGRESS, RECORD, SIZES, PictalonTestCase, S, home, main, picture, pictures_in, scenario)

ACCOUNT = "6000006"
ALBUMS = [("8101", "第一本", 12), ("8104", "第二本", 40), ("8102", "空的", 0),
          ("8103", "列不出", 5), ("8105", "第三本", 7)]


def account_scenario(extra_photos=0, newer=0, removed=()):
    """The e2e scenario plus an owner of five albums; the first album can grow by extra_photos,
    the second by newer photos at its newest end (page 1), and photos can be removed."""
    with_account = scenario()
    albums = []
    for aid, caption, count in ALBUMS:
        photos = [{"pic_host": "http://wx%d.sinaimg.cn" % (1 + i % 4),
                   "pic_name": "%s_%d.jpg" % (aid, i + 1), "caption": "%s %d" % (caption, i + 1),
                   "timestamp": 1500000000 + 3600 * i}
                  for i in range(-(newer if aid == "8104" else 0),
                                 count + (extra_photos if aid == "8101" else 0))]
        photos = [p for p in photos if p["pic_name"] not in removed]
        albums.append({"id": aid, "caption": caption, "type": 3,
                       "cover": "http://wx1.sinaimg.cn/thumb300/c%s.jpg" % aid, "photos": photos})
    with_account["owners"].append({"id": ACCOUNT, "nick": "整个账号",
                                   "avatar": "//tva1.sinaimg.cn/large/av_6.jpg", "albums": albums})
    return with_account


def pictures_asked(log):
    """Requests for the account's pictures at any size (not covers, avatars or QR codes)."""
    ours = tuple("/%s_" % album_id for album_id, _, _ in ALBUMS)
    return [r for r in log if r["host"].endswith("sinaimg.cn") and
            r["path"].split("/")[1] in SIZES.values() and any(a in r["path"] for a in ours)]


class AccountTest(PictalonTestCase):
    def setUp(self):
        super().setUp()
        self.ctl.scenario_json(account_scenario())

    def on_disk(self, app, album_id, segment):
        folder, names = self.expected_files(app, ACCOUNT, album_id)
        self.assert_album_on_disk(folder, names, segment)
        return folder, names

    def test_every_album_in_one_run_keeps_five_pictures_in_flight_across_albums(self):
        app = self.start("account-whole")
        app.login()
        app.analyse(home(ACCOUNT), len(ALBUMS))
        self.ctl.fault({"host": "photo.weibo.com", "path": "*album_id=8103&*", "action": "status",
                        "status": 503})
        self.ctl.fault({"host": "*.sinaimg.cn", "path": "/mw1024/*", "action": "delay",
                        "delay_ms": 150})
        self.ctl.call("DELETE", "/log")
        # From the album menu: its last item, after "下载选中", "打开目录", "下载类型", "打开日志",
        # "退出登录".
        self.assertTrue(app.driver.rclick(0, pick=5)["menu"])
        seen, last = app.driver.wait_status(" 第 2/5 个相册 第二本", contains=True,
                                            timeout_ms=60000)
        self.assertTrue(seen, last)
        self.assertTrue(last.startswith(PROGRESS), last)
        app.wait_status(S + "全部相册下载未完成,共 5个相册,新下载 59张,已有 0张;1个相册缺少 5张;"
                        "请单击鼠标右键打开目录;", timeout_ms=120000)
        asked = pictures_asked(self.log_paths())
        self.assertEqual(len(asked), 59)
        self.assertEqual(max(r["open_pictures"] for r in asked), 5)
        # The next album's pictures are asked for while the last of the one before are coming.
        first = [r for r in asked if "/8101_" in r["path"]]
        second = [r for r in asked if "/8104_" in r["path"]]
        self.assertLess(min(r["arrived"] for r in second), max(r["answered"] for r in first))
        for album_id, _, count in ALBUMS:
            if album_id == "8103":
                continue
            folder, names = self.on_disk(app, album_id, "mw1024")
            # Each file carries the photo's own time.
            for name, photo in names.items():
                self.assertEqual(int(os.stat(os.path.join(folder, name)).st_mtime),
                                 photo["timestamp"], name)
        folder, _ = self.expected_files(app, ACCOUNT, "8103")
        self.assertEqual(os.listdir(folder), [])

    def test_updates_fetch_only_what_is_new_or_no_longer_there(self):
        app = self.start("account-update")
        app.login()
        app.analyse(home(ACCOUNT), len(ALBUMS))
        app.download(0, 12, 12)
        folder, names = self.on_disk(app, "8101", "mw1024")
        self.assertTrue(os.path.isfile(os.path.join(folder, RECORD)))
        # Unchanged: nothing is asked for, every picture is already there.
        self.ctl.call("DELETE", "/log")
        app.download(0, 12, 12, already=12)
        self.assertEqual(pictures_asked(self.log_paths()), [])
        log = [p for p in harness.run_log_files() if p.endswith("pictalon.log")]
        with open(log[0], encoding="utf-8") as f:  # nothing written, twelve there
            self.assertRegex(f.read(), r"ends: 0 of 12 listed written, .*; 12 already there, not")
        # Two photos added, one file deleted, one cut short: those four and nothing else.
        self.ctl.scenario_json(account_scenario(extra_photos=2))
        by_pic = {p["pic_name"]: n for n, p in names.items()}
        os.remove(os.path.join(folder, by_pic["8101_3.jpg"]))
        with open(os.path.join(folder, by_pic["8101_7.jpg"]), "r+b") as f:
            f.truncate(10)
        self.ctl.call("DELETE", "/log")
        app.download(0, 14, 14, already=10)
        self.assertEqual(sorted(r["path"] for r in pictures_asked(self.log_paths())),
                         ["/mw1024/8101_%d.jpg" % n for n in (13, 14, 3, 7)])
        folder, names = self.on_disk(app, "8101", "mw1024")
        # A damaged record is ignored and written anew.
        with open(os.path.join(folder, RECORD), "wb") as f:
            f.write(b"\x00\xff" + b"not a record\n" * 40)
        self.ctl.call("DELETE", "/log")
        app.download(0, 14, 14)
        self.assertEqual(len(pictures_asked(self.log_paths())), 14)
        # A larger size fetches every picture again, over the files there; the next run has
        # them, and a smaller size keeps them rather than replace them.
        app.driver.command(10002)
        app.download(0, 14, 14)
        self.on_disk(app, "8101", "large")
        for size in (10002, 10003):
            app.driver.command(size)
            self.ctl.call("DELETE", "/log")
            app.download(0, 14, 14, already=14)
            self.assertEqual(pictures_asked(self.log_paths()), [])
        self.on_disk(app, "8101", "large")
        # A record of nothing but line breaks, as large as one is read, ends nothing.
        with open(os.path.join(folder, RECORD), "wb") as f:
            f.write(b"pictalon-album 1\n" + b"\n" * ((64 << 20) - 17))
        app.download(0, 14, 14)

    def test_updates_list_only_what_changed_and_fetch_the_rest_from_the_record(self):
        app = self.start("account-listing")
        app.login()
        app.analyse(home(ACCOUNT), len(ALBUMS))
        app.download(1, 40, 40)
        folder, names = self.on_disk(app, "8104", "mw1024")
        by_pic = {p["pic_name"]: n for n, p in names.items()}

        def update(done, total, already, pages, fetched, **changes):
            self.ctl.scenario_json(account_scenario(**changes))
            self.ctl.call("DELETE", "/log")
            app.download(1, done, total, already=already)
            log = self.log_paths()
            self.assertEqual(len([r for r in log if "album_id=8104&" in r["path"]]), pages)
            self.assertEqual(sorted(r["path"] for r in pictures_asked(log)),
                             sorted("/mw1024/8104_%s.jpg" % n for n in fetched))

        # Unchanged: its first page alone; a file of page 2 deleted and one emptied by the user
        # are fetched from the record, without their page.
        os.remove(os.path.join(folder, by_pic["8104_35.jpg"]))
        with open(os.path.join(folder, by_pic["8104_38.jpg"]), "r+b") as f:
            f.write(b"\0" * f.seek(0, 2))
        update(40, 40, 38, 1, (35, 38))
        # Three new at the front: the pages they are on, and nothing else.
        update(43, 43, 40, 2, (-2, -1, 0), newer=3)
        # One removed upstream: the counts disagree, and the listing goes to the end.
        update(42, 42, 42, 2, (), newer=3, removed=("8104_20.jpg",))
        # Its file stays: what the user has is never taken away.
        self.assertTrue(os.path.isfile(os.path.join(folder, by_pic["8104_20.jpg"])))
        # A full check asked for from its menu item lists every page, whatever the record knows.
        self.ctl.call("DELETE", "/log")
        app.driver.select(1)
        app.driver.command(10009)
        app.wait_status(S + "全部下载完成,当前已下载 42张 共 42张(已有 42张) 请单击鼠标右键打开目录;",
                        timeout_ms=120000)
        self.assertEqual(len([r for r in self.log_paths() if "album_id=8104&" in r["path"]]), 2)

    def test_a_run_closed_midway_continues_where_it_stopped(self):
        app = self.start("account-resume")
        app.login()
        app.analyse(home(ACCOUNT), len(ALBUMS))
        # Slow enough that the close lands well before the last picture, however busy the
        # machine: at 400 ms a picture, a loaded machine took longer to close than the 30 left.
        self.ctl.fault({"host": "*.sinaimg.cn", "path": "/mw1024/*", "action": "delay",
                        "delay_ms": 1500})
        folder, names = self.expected_files(app, ACCOUNT, "8104")
        app.driver.select(1)
        app.driver.command(10000)
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline and not (
                os.path.isdir(folder) and len(pictures_in(folder)) >= 10):
            time.sleep(0.1)
        app.driver.close()
        self.assertEqual(app.program.wait(20), 0)
        kept = pictures_in(folder)
        self.assertGreaterEqual(len(kept), 10)
        self.assertLess(len(kept), 40)
        self.ctl.call("DELETE", "/faults")
        self.ctl.call("DELETE", "/log")
        # The same program folder again, signing in by QR code as the first did.
        self.ctl.qr_sequence(["confirmed"])
        saved = harness.saved_signin_path()
        if saved and os.path.exists(saved):
            os.remove(saved)
        again = App(self, "account-resume-again", beside=app)
        again.login()
        again.analyse(home(ACCOUNT), len(ALBUMS))
        again.download(1, 40, 40, already=len(kept))
        asked = sorted(r["path"] for r in pictures_asked(self.log_paths()))
        self.assertEqual(asked, sorted("/mw1024/" + names[n]["pic_name"]
                                       for n in set(names) - kept))
        self.on_disk(again, "8104", "mw1024")
        for name in kept:
            with open(os.path.join(folder, name), "rb") as f:
                self.assertEqual(f.read(), picture("mw1024", names[name]["pic_name"]), name)


if __name__ == "__main__":
    main()
