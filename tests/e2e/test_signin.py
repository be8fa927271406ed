#!/usr/bin/env python3
"""Pictalon end to end, the sign-in that lasts and the runs that outlive the service's moods: the
sign-in kept between starts, signing out, a sign-in renewed by a scan mid-run, a limit that never
lifts, answers that only look like pictures and two windows downloading one owner at once (see
app_case.py)."""

import glob
import os
import sys
import time

sys.dont_write_bytecode = True  # keep the source folders clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from app_case import (  # noqa: E402
    App, CATALOGUE_DONE, OWNER, PictalonTestCase, QR_WAITING, S, finished, harness, home,
    pictures_in, incomplete, scenario, main)

SIGNIN_EXPIRED = S + "登录已过期,请扫描二维码重新登录,登录后下载将继续;"


def limit_ended(done, total):
    return S + "服务器长时间限制访问,下载已停止,当前已下载 %d张 共 %d张;%d张未下载;再次下载该相册即可继续;" % (
        done, total, total - done)


def run_log():
    files = [p for p in harness.run_log_files() if p.endswith("pictalon.log")]
    with open(files[0], encoding="utf-8", errors="replace") as f:
        return f.read()


class SavedSignInTest(PictalonTestCase):
    def qr_codes_issued(self):
        return len(self.log_paths(host="login.sina.com.cn", path="/sso/qrcode/image"))

    def test_a_second_start_signs_in_without_a_scan_until_signed_out_or_damaged(self):
        first = self.start("signin-first")
        first.login()
        first.driver.command(10005)  # 缩略
        first.analyse(home(OWNER), 4)
        saved = harness.saved_signin_path()
        with open(saved, "rb") as f:
            sealed = f.read()
        self.assertNotIn(b"SUB", sealed)
        first.driver.close(wait=True)
        self.assertEqual(first.program.wait(30), 0)

        # The code would never be scanned: only the saved sign-in can sign this start in.
        self.ctl.qr("waiting")
        self.ctl.call("DELETE", "/log")
        second = App(self, "signin-second", keep_settings=True)
        second.login()
        self.assertEqual(self.qr_codes_issued(), 0)
        self.assertEqual(second.driver.tabs()["selected"], 1)
        self.assertEqual(second.driver.get_edit(0), home(OWNER))
        self.assertEqual(second.driver.get_edit(1).rstrip("\\").rsplit("\\", 1)[-1],
                         os.path.basename(first.folder.rstrip("/")))
        second.analyse(home(OWNER), 4)

        # Signed out mid-run: the run stops at once and the login page says so, while the code
        # waits; the run's progress never takes the page back. Its pictures came at the size kept.
        self.ctl.fault({"host": "*.sinaimg.cn", "path": "/small/*", "action": "delay",
                        "delay_ms": 1000})
        second.driver.select(3)
        second.driver.command(10000)
        self.assertTrue(*second.driver.wait_status(S + "正在下载中", True, 60000))
        second.driver.command(10008)
        stopped = S + "已退出登录,下载已停止,当前已下载 "
        self.assertTrue(*second.driver.wait_status(stopped, True, 60000))
        while self.qr_codes_issued() < 1:
            time.sleep(0.2)
        self.assertIn(stopped, second.driver.status())
        pictures = [r["path"] for r in self.log_paths() if "/6065_" in r["path"]]
        self.assertTrue(pictures)
        self.assertEqual([p for p in pictures if not p.startswith("/small/")], [])
        self.assertEqual(second.driver.tabs()["selected"], 0)
        self.assertEqual(self.qr_codes_issued(), 1)
        self.assertFalse(os.path.exists(saved))
        second.driver.close(wait=True)

        with open(saved, "wb") as f:
            f.write(sealed[:len(sealed) // 2])
        self.ctl.call("DELETE", "/log")
        third = App(self, "signin-damaged")
        third.wait_status(QR_WAITING)
        self.assertFalse(os.path.exists(saved))
        self.assertGreaterEqual(self.qr_codes_issued(), 1)
        self.assertNotIn("SUB=", run_log())


class RenewalTest(PictalonTestCase):
    def test_a_sign_in_that_expires_mid_run_is_renewed_by_a_scan_and_the_run_completes(self):
        app = self.start("renewal")
        app.login()
        app.analyse(home(OWNER), 4)
        folder, names = self.expected_files(app, OWNER, "6065")
        # The first page (with the total) and one more pass; the next meets the expired sign-in.
        self.ctl.knobs({"expire_after_listings": 2})
        self.ctl.qr("waiting")
        app.driver.select(3)
        app.driver.command(10000)
        app.wait_status(SIGNIN_EXPIRED, timeout_ms=60000)
        self.assertEqual(app.driver.tabs()["selected"], 0)
        self.ctl.qr("confirmed")
        app.wait_status(finished(65, 65), timeout_ms=120000)
        self.assert_album_on_disk(folder, names, "mw1024")
        pages = [r["path"] for r in self.log_paths(host="photo.weibo.com", path="/photos/")]
        self.assertEqual(sum("&page=1&" in p for p in pages), 1, pages)

        # Expired again, and the window closed while the run waits: the process ends at once.
        # The album of 33 photos: its first page passes, its second meets the expired sign-in.
        self.ctl.knobs({"expire_after_listings": 1})
        self.ctl.qr("waiting")
        app.driver.tab(1)
        app.driver.select(2)
        app.driver.command(10000)
        app.wait_status(SIGNIN_EXPIRED, timeout_ms=60000)
        app.driver.close()
        self.assertEqual(app.program.wait(20), 0)

    def test_an_album_list_that_says_signed_out_in_a_new_shape_is_renewed_by_a_scan(self):
        # Page 1 of the 23 albums passes; page 2 meets the expired sign-in, said in a shape no
        # rule knows: the viewer page tells, the login page asks for a scan, the list comes whole.
        self.ctl.scenario("default")
        app = self.start("renewal-catalogue")
        app.login()
        self.ctl.knobs({"expire_after_albums": 1, "signed_out_shape": "unknown"})
        self.ctl.qr("waiting")
        app.analyse(home("2000002"), 0, wait_done=False)
        app.wait_status(SIGNIN_EXPIRED, timeout_ms=60000)
        self.assertEqual(app.driver.tabs()["selected"], 0)
        self.ctl.qr("confirmed")
        app.wait_status(CATALOGUE_DONE, timeout_ms=120000)
        self.assertEqual(app.driver.list(wait_count=23)["count"], 23)


class ServiceMoodsTest(PictalonTestCase):
    def test_html_for_a_picture_is_never_written_and_a_limit_that_never_lifts_ends_the_run(self):
        os.environ["PICTALON_LIMIT_BOUND_MS"] = "4000"
        self.addCleanup(os.environ.pop, "PICTALON_LIMIT_BOUND_MS", None)
        app = self.start("moods")
        app.login()
        app.analyse(home(OWNER), 4)
        folder, names = self.expected_files(app, OWNER, "6032")
        self.ctl.fault({"host": "*.sinaimg.cn", "path": "/mw1024/6032_5.jpg", "action": "body",
                        "body": "<!DOCTYPE html><html><body>busy</body></html>"})
        app.driver.select(1)
        app.driver.command(10000)
        app.wait_status(incomplete(31, 32, 0, 1), timeout_ms=120000)
        missing = [n for n, p in names.items() if p["pic_name"] == "6032_5.jpg"]
        self.assert_album_on_disk(folder, names, "mw1024", missing=missing)
        self.assertIn("/mw1024/6032_5.jpg -> status 200, not what was asked for: HTML page",
                      run_log())

        self.ctl.call("DELETE", "/faults")
        self.ctl.fault({"host": "*.sinaimg.cn", "action": "limit", "after_requests": 10,
                        "ms": 600000, "status": 429})
        app.driver.select(3)
        app.driver.command(10000)
        app.wait_status(limit_ended(10, 65), timeout_ms=120000)
        deadline = time.monotonic() + 20
        while not app.analyse_button_enabled() and time.monotonic() < deadline:
            time.sleep(0.2)
        self.assertTrue(app.analyse_button_enabled())

        # A 432 from the picture hosts, whose requests carry no sign-in, is a limit too: the
        # bound ends it, and no new scan is asked for.
        self.ctl.call("DELETE", "/faults")
        self.ctl.call("DELETE", "/log")
        self.ctl.fault({"host": "*.sinaimg.cn", "action": "limit", "after_requests": 10,
                        "ms": 600000, "status": 432})
        app.driver.select(2)
        app.driver.command(10000)
        app.wait_status(limit_ended(10, 33), timeout_ms=120000)
        self.assertEqual(app.driver.tabs()["selected"], 1)
        self.assertEqual(self.log_paths(host="login.sina.com.cn"), [])

    def test_a_removed_picture_is_never_written_over_the_copy_already_there(self):
        removed = scenario()
        removed["owners"][1]["albums"][1].update(generate_photos=31, photos=[  # 6032: 31 and one
            {"pic_name": "gone.jpg", "caption": "删了", "timestamp": 0, "removed": True}])
        self.ctl.scenario_json(removed)
        app = self.start("removed")
        app.login()
        app.analyse(home(OWNER), 4)
        folder, names = self.expected_files(app, OWNER, "6032")
        gone = [n for n, p in names.items() if p["pic_name"] == "gone.jpg"][0]
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, gone), "wb") as f:
            f.write(b"the good copy")
        app.driver.select(1)
        app.driver.command(10000)
        # Named as removed, and nothing is missing that the service still has.
        app.wait_status(S + "全部下载完成,当前已下载 31张 共 32张(服务已删除 1张) 请单击鼠标右键打开目录;",
                        timeout_ms=120000)
        with open(os.path.join(folder, gone), "rb") as f:
            self.assertEqual(f.read(), b"the good copy")
        os.remove(os.path.join(folder, gone))
        self.assert_album_on_disk(folder, names, "mw1024", missing=[gone])
        self.assertIn("/mw1024/gone.jpg -> the service's placeholder: the picture was removed",
                      run_log())


class TwoWindowsTest(PictalonTestCase):
    def test_two_windows_downloading_one_owner_keep_each_others_pictures_whole(self):
        first = self.start("two-first")
        first.login()
        first.analyse(home(OWNER), 4)
        first.download_slowly(3, "/mw1024/6065_*", 1000)

        # The second signs in from the sign-in the first one kept.
        second = App(self, "two-second", beside=first)
        second.login()
        second.analyse(home(OWNER), 4)
        second.driver.select(1)
        second.driver.command(10000)
        second.wait_status(finished(32, 32), timeout_ms=120000)

        folder65, names65 = self.expected_files(first, OWNER, "6065")
        folder32, names32 = self.expected_files(first, OWNER, "6032")
        # Pictures only: the folder also holds the album's record, which would end the wait one
        # picture early.
        deadline = time.monotonic() + 120
        while len(pictures_in(folder65)) < 65 and time.monotonic() < deadline:
            time.sleep(0.5)
        self.assert_album_on_disk(folder65, names65, "mw1024")
        self.assert_album_on_disk(folder32, names32, "mw1024")
        owner_folder = os.path.dirname(os.path.normpath(folder65))
        deadline = time.monotonic() + 20
        while glob.glob(os.path.join(owner_folder, "~pictalon-parts")) and \
                time.monotonic() < deadline:
            time.sleep(0.2)
        self.assertEqual(glob.glob(os.path.join(owner_folder, "~pictalon-parts")), [])


if __name__ == "__main__":
    main()
