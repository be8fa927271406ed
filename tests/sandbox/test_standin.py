#!/usr/bin/env python3
"""Tests of the stand-in service as the program meets it: the login host, the main site, the photo
host, the image hosts, raw UTF-8 answers and rate limits.

They start their own stand-in in-process on free ports (with a throw-away CA), so they run
anywhere and never disturb the sandbox's shared instance."""

import json
import os
import struct
import sys
import time
import unittest
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import standin_pictures  # noqa: E402
import standin_case as case  # noqa: E402
from standin_case import (  # noqa: E402
    QR_IMAGE, StandinTest, albums_path, check_path, fetch, header_values, login_path, page_vars,
    photos_path, png_chunks, unwrap)
# Run by unittest for this module: its own in-process stand-in.
from standin_case import setUpModule, tearDownModule  # noqa: E402,F401
from standin_ctl import StandinError  # noqa: E402


class LoginTest(StandinTest):
    def new_qr(self):
        status, _, body = fetch("login.sina.com.cn", QR_IMAGE, "https")
        self.assertEqual(status, 200)
        return unwrap(body, "STK_15033920845911")

    def poll(self, qrid):
        _, _, body = fetch("login.sina.com.cn", check_path(qrid), "https")
        return unwrap(body, "STK_1503392084591317")

    def confirm(self):
        qrid = self.new_qr()["data"]["qrid"]
        case.CTL.qr("confirmed")
        answer = self.poll(qrid)
        self.assertEqual(answer["retcode"], 20000000)
        return answer["data"]["alt"]

    def test_qr_image_answer_and_its_picture(self):
        answer = self.new_qr()
        self.assertEqual((answer["retcode"], answer["msg"]), (20000000, "succ"))
        image = answer["data"]["image"]
        self.assertTrue(image.startswith("//"), image)
        host, _, path = image[2:].partition("/")
        status, headers, picture = fetch(host, "/" + path)
        self.assertEqual(status, 200)
        self.assertEqual(header_values(headers, "Content-Type"), ["image/png"])
        self.assertIn((b"tEXt", b"Comment\x00" + path.encode()), png_chunks(picture))
        self.assertNotEqual(answer["data"]["qrid"], self.new_qr()["data"]["qrid"])

    def test_callback_json_escapes_slashes_and_non_ascii(self):
        _, _, body = fetch("login.sina.com.cn", QR_IMAGE, "https")
        self.assertIn(b"\\/\\/wx1.sinaimg.cn\\/qrcode\\/", body)
        _, _, body = fetch("login.sina.com.cn", login_path("nonsense"), "https")
        self.assertTrue(all(b < 128 for b in body))

    def test_poll_follows_the_state_set_by_the_test(self):
        for state, code in (("waiting", 50114001), ("scanned", 50114002), ("expired", 50114003),
                            ("used", 50114004), ("error", 50114005), (50119999, 50119999)):
            with self.subTest(state=state):
                qrid = self.new_qr()["data"]["qrid"]
                case.CTL.qr(state)
                first, second = self.poll(qrid), self.poll(qrid)
                self.assertEqual((first["retcode"], second["retcode"]), (code, code))
                self.assertIsNone(first["data"])

    def test_unknown_or_empty_qrid_is_an_error_and_does_not_consume_the_script(self):
        case.CTL.qr_sequence(["scanned", "confirmed"])
        self.assertEqual(self.poll("")["retcode"], 50114005)
        self.assertEqual(self.poll("QR-not-issued")["retcode"], 50114005)
        case.CTL.knobs({"unknown_qr_retcode": 50114003})
        self.assertEqual(self.poll("")["retcode"], 50114003)
        qrid = self.new_qr()["data"]["qrid"]
        self.assertEqual(self.poll(qrid)["retcode"], 50114002)

    def test_sequence_runs_once_then_its_last_state_sticks_and_a_dead_code_stays_dead(self):
        first = self.new_qr()["data"]["qrid"]
        case.CTL.qr_sequence(["waiting", "scanned", "expired"])
        self.assertEqual([self.poll(first)["retcode"] for _ in range(4)],
                         [50114001, 50114002, 50114003, 50114003])
        # The expired code stays expired, leaving the script to the next code; a confirmed code
        # is spent.
        case.CTL.qr_sequence(["scanned", "confirmed"])
        self.assertEqual(self.poll(first)["retcode"], 50114003)
        second = self.new_qr()["data"]["qrid"]
        self.assertEqual(self.poll(second)["retcode"], 50114002)
        confirmed = self.poll(second)
        self.assertEqual(confirmed["retcode"], 20000000)
        self.assertTrue(confirmed["data"]["alt"])
        self.assertEqual([self.poll(c)["retcode"] for c in (second, first)], [50114004, 50114003])
        self.assertEqual(case.CTL.qr_status()["checks"], 9)

    def test_refusals_of_the_qr_image(self):
        case.CTL.qr_refuse("retcode")
        answer = self.new_qr()
        self.assertNotEqual(answer["retcode"], 20000000)
        self.assertNotIn("qrid", answer.get("data") or {})
        case.CTL.qr_refuse("msg")
        self.assertNotEqual(self.new_qr()["msg"], "succ")
        case.CTL.qr_refuse("noqrid")
        answer = self.new_qr()
        self.assertEqual((answer["retcode"], answer["msg"]), (20000000, "succ"))
        self.assertNotIn("qrid", answer["data"])
        case.CTL.qr_refuse(None)
        self.assertIn("qrid", self.new_qr()["data"])
        with self.assertRaises(StandinError):
            case.CTL.qr_refuse("sometimes")

    def test_full_login_gives_cookies_that_open_the_main_site_and_photo_host(self):
        alt = self.confirm()
        _, _, body = fetch("login.sina.com.cn", login_path(alt), "https")
        answer = unwrap(body, "STK_150339562381621")
        urls = answer["crossDomainUrlList"]
        self.assertEqual(len(urls), 4)
        exchange = urllib.parse.urlsplit(urls[3])
        self.assertEqual((exchange.scheme, exchange.hostname), ("https", "passport.weibo.com"))
        status, headers, _ = fetch(exchange.hostname, exchange.path + "?" + exchange.query, "https")
        self.assertEqual(status, 200)
        set_cookies = header_values(headers, "Set-Cookie")
        pairs = [c.split(";")[0] for c in set_cookies]
        self.assertEqual([p.split("=")[0] for p in pairs], ["SUB", "SUBP", "ALF"])
        self.assertTrue(all("domain=.weibo.com" in c for c in set_cookies))
        cookie = "; ".join(pairs)
        _, _, page = fetch("weibo.com", "/", "https", cookie=cookie)
        self.assertIn("$CONFIG['uid']='1000001';", page.decode("utf-8"))
        _, _, albums = fetch("photo.weibo.com", "/albums/get_all?uid=1000001&page=1&count=20"
                             "&__rnd=1504067425791", "https", cookie=cookie)
        self.assertTrue(json.loads(albums)["result"])
        # The ticket and the alt work once only.
        _, headers, _ = fetch(exchange.hostname, exchange.path + "?" + exchange.query, "https")
        self.assertEqual(header_values(headers, "Set-Cookie"), [])
        _, _, again = fetch("login.sina.com.cn", login_path(alt), "https")
        self.assertNotIn("crossDomainUrlList", unwrap(again, "STK_150339562381621"))

    def test_cross_domain_list_length_follows_the_knob(self):
        for count in (0, 3, 5):
            with self.subTest(count=count):
                case.CTL.knobs({"cross_domain_count": count})
                _, _, body = fetch("login.sina.com.cn", login_path(self.confirm()), "https")
                urls = unwrap(body, "STK_150339562381621")["crossDomainUrlList"]
                self.assertEqual(len(urls), count)
                self.assertFalse(any("/wbsso/login" in u for u in urls[:3]))

    def test_unknown_ticket_gets_no_list(self):
        _, _, body = fetch("login.sina.com.cn", login_path("ALT-forged"), "https")
        answer = unwrap(body, "STK_150339562381621")
        self.assertNotEqual(answer["retcode"], "0")
        self.assertNotIn("crossDomainUrlList", answer)


# -- main site and photo host -------------------------------------------------------------------------


class MainSiteTest(StandinTest):
    def test_pages_name_viewer_and_owner_per_path(self):
        cookie = case.CTL.session()
        table = [
            ("weibo.com", "/", "1000001", "旅行者小明"),
            ("www.weibo.com", "/u/2000002", "2000002", "坏/名字:*?\"<>|."),
            ("weibo.com", "/2000002?is_all=1", "2000002", "坏/名字:*?\"<>|."),
            ("weibo.com", "/n/" + urllib.parse.quote("旅行者小明"), "1000001", "旅行者小明"),
            ("weibo.com", "/somebody/photos", "1000001", "旅行者小明"),
        ]
        for host, path, oid, onick in table:
            with self.subTest(path=path):
                status, headers, body = fetch(host, path, "https", cookie=cookie)
                self.assertEqual(status, 200)
                self.assertIn("charset=utf-8", header_values(headers, "Content-Type")[0])
                v = page_vars(body)
                self.assertEqual((v["oid"], v["onick"]), (oid, onick))
                self.assertEqual((v["uid"], v["nick"]), ("1000001", "旅行者小明"))
                self.assertEqual(v["avatar_large"], "//tva1.sinaimg.cn/large/av_1000001.jpg")

    def test_unknown_owner_page_names_only_the_viewer(self):
        v = page_vars(fetch("weibo.com", "/u/999", "https", cookie=case.CTL.session())[2])
        self.assertEqual(v["uid"], "1000001")
        self.assertNotIn("oid", v)
        self.assertNotIn("onick", v)

    def test_without_valid_cookies_the_page_has_no_variables(self):
        for cookie in (None, "SUB=forged; SUBP=forged", case.CTL.session().split(";")[0]):
            with self.subTest(cookie=cookie):
                v = page_vars(fetch("weibo.com", "/u/1000001", "https", cookie=cookie)[2])
                self.assertEqual(v.get("islogin"), "0")
                self.assertFalse({"uid", "nick", "oid", "onick", "avatar_large"} & set(v))

    def test_other_hosts_answer_owner_pages_without_cookies(self):
        v = page_vars(fetch("elsewhere.test", "/u/2000002", "https")[2])
        self.assertEqual((v["oid"], v["uid"]), ("2000002", "1000001"))

    def test_cookie_check_can_be_switched_off(self):
        case.CTL.knobs({"require_cookies": False})
        self.assertEqual(page_vars(fetch("weibo.com", "/", "http")[2])["uid"], "1000001")


class PhotoHostTest(StandinTest):
    def setUp(self):
        super().setUp()
        self.cookie = case.CTL.session()

    def get(self, path, cookie=True):
        status, _, body = fetch("photo.weibo.com", path, "https", cookie=self.cookie if cookie else None)
        self.assertEqual(status, 200)
        self.assertTrue(all(b < 128 for b in body), "JSON texts travel as \\u escapes")
        return json.loads(body)

    def test_album_list_shapes(self):
        data = self.get(albums_path("1000001"))["data"]
        self.assertEqual(data["total"], 4)
        first, second, third, fourth = data["album_list"]
        self.assertEqual((first["album_id"], first["caption"], first["type"]), ("3001", "旅行", 3))
        self.assertEqual(first["count"]["photos"], 25)
        self.assertEqual(first["cover_pic"], "http://wx1.sinaimg.cn/thumb300/cover_3001.jpg")
        self.assertEqual((first["created_at"], first["updated_at"]),
                         ("2017-08-01 10:00:00", "2017-08-20 18:30:00"))
        self.assertEqual(second["type"], "1")
        self.assertEqual(third["cover_pic"], "")
        self.assertNotIn("cover_pic", fourth)
        self.assertEqual(fourth["count"]["photos"], 0)

    def test_album_list_pages_beyond_twenty(self):
        one = self.get(albums_path("2000002", 1, 20))["data"]
        two = self.get(albums_path("2000002", 2, 20))["data"]
        three = self.get(albums_path("2000002", 3, 20))["data"]
        self.assertEqual((one["total"], two["total"]), (23, 23))
        self.assertEqual((len(one["album_list"]), len(two["album_list"]), len(three["album_list"])),
                         (20, 3, 0))
        ids = [a["album_id"] for a in one["album_list"] + two["album_list"]]
        self.assertEqual(len(set(ids)), 23)
        self.assertEqual(one["album_list"][1]["type"], 12345678901)

    def test_photo_pages_of_thirty_two(self):
        pages = [self.get(photos_path("1000001", "3002", p))["data"] for p in (1, 2, 3)]
        self.assertEqual([d["total"] for d in pages], [33, 33, 33])
        self.assertEqual([len(d["photo_list"]) for d in pages], [32, 1, 0])
        photo = pages[0]["photo_list"][0]
        self.assertEqual(photo["pic_host"], "http://wx1.sinaimg.cn")
        self.assertEqual(photo["pic_name"], "3002_1.jpg")
        self.assertEqual(photo["caption_render"], photo["caption"])
        self.assertIsInstance(photo["timestamp"], int)
        names = [p["pic_name"] for d in pages for p in d["photo_list"]]
        self.assertEqual(len(set(names)), 33)

    def test_photo_without_timestamp_leaves_it_out(self):
        photos = self.get(photos_path("1000001", "3003", 1))["data"]["photo_list"]
        self.assertEqual([("timestamp" in p) for p in photos], [True, True, False])

    def test_queries_are_checked(self):
        bad = [
            "/albums/get_all?uid=1000001&page=1&__rnd=1",
            "/albums/get_all?uid=1000001&page=0&count=20&__rnd=1",
            "/albums/get_all?uid=1000001&page=01&count=20&__rnd=1",
            "/albums/get_all?uid=1000001&page=1&count=101&__rnd=1",
            "/albums/get_all?uid=1000001&uid=1&page=1&count=20&__rnd=1",
            "/photos/get_all?uid=1000001&album_id=3001&count=32&page=1&__rnd=1",
            "/photos/get_all?uid=1000001&album_id=3001&count=32&page=x&type=&__rnd=1",
        ]
        for path in bad:
            with self.subTest(path=path):
                answer = self.get(path)
                self.assertEqual((answer["result"], answer["code"]), (False, "A0001"))
        for path in (albums_path("42"), photos_path("1000001", "4001", 1)):
            with self.subTest(path=path):
                self.assertEqual(self.get(path)["code"], "A0002")

    def test_cookies_are_required(self):
        for path in (albums_path("1000001"), photos_path("1000001", "3001", 1)):
            with self.subTest(path=path):
                answer = self.get(path, cookie=False)
                self.assertEqual((answer["result"], answer["code"]), (False, "A0003"))
                self.assertNotIn("data", answer)

    def test_a_sign_in_expires_after_the_listings_the_knob_allows(self):
        case.CTL.knobs({"expire_after_listings": 2})
        path = photos_path("1000001", "3002", 1)
        self.assertTrue(self.get(albums_path("1000001"))["result"])  # not a photo listing
        self.assertEqual([self.get(path)["result"] for _ in range(3)], [True, True, False])
        v = page_vars(fetch("weibo.com", "/", "https", cookie=self.cookie)[2])
        self.assertEqual(v.get("islogin"), "0")
        self.assertEqual(case.CTL.knobs({})["knobs"]["expire_after_listings"], 0)
        self.cookie = case.CTL.session()
        self.assertTrue(self.get(path)["result"])
        case.CTL.knobs({"expire_after_albums": 1})
        self.assertEqual([self.get(albums_path("1000001"))["result"] for _ in "ab"], [True, False])


class ImageHostTest(StandinTest):
    def test_sizes_formats_and_labels(self):
        table = [("wx1.sinaimg.cn", "/large/x.jpg", "image/jpeg", (120, 90)),
                 ("wx2.sinaimg.cn", "/mw1024/x.png", "image/png", (96, 72)),
                 ("wx3.sinaimg.cn", "/mw690/x.gif", "image/gif", (64, 48)),
                 ("tva4.sinaimg.cn", "/small/noext", "image/jpeg", (32, 24))]
        for host, path, kind, size in table:
            with self.subTest(path=path):
                status, headers, body = fetch(host, path, "https")
                self.assertEqual(status, 200)
                self.assertEqual(header_values(headers, "Content-Type"), [kind])
                self.assertEqual(body, standin_pictures.picture(*path[1:].split("/", 1)))
                self.assertIn(path[1:].encode(), body)
                if kind == "image/png":
                    self.assertEqual(struct.unpack(">II", png_chunks(body)[0][1][:8]), size)

    def test_missing_pictures_and_bare_paths(self):
        self.assertEqual(fetch("wx4.sinaimg.cn", "/large/gone.jpg")[0], 404)
        self.assertEqual(fetch("wx4.sinaimg.cn", "/mw690/gone.jpg")[0], 404)
        self.assertEqual(fetch("wx4.sinaimg.cn", "/gone.jpg")[0], 404)
        self.assertEqual(fetch("wx4.sinaimg.cn", "/large/there.jpg")[0], 200)


# -- control API and log --------------------------------------------------------------------------------


class Utf8SwitchTest(StandinTest):
    def test_json_answers_travel_as_raw_utf8_while_switched_on(self):
        cookie = case.CTL.session()
        case.CTL.knobs({"utf8_json": True})
        for host, path, text in (
                ("photo.weibo.com", albums_path("1000001"), "旅行"),
                ("photo.weibo.com", photos_path("1000001", "3003", 1), "第一张"),
                ("login.sina.com.cn", check_path(""), "二维码错误")):
            with self.subTest(path=path):
                _, _, body = fetch(host, path, "https", cookie=cookie)
                self.assertIn(text.encode("utf-8"), body)
                self.assertNotIn(b"\\u", body)
        _, _, body = fetch("login.sina.com.cn", QR_IMAGE, "https")
        self.assertIn(b"\\/\\/wx1.sinaimg.cn\\/qrcode\\/", body)  # slashes stay PHP's
        case.CTL.knobs({"utf8_json": False})
        _, _, body = fetch("photo.weibo.com", albums_path("1000001"), "https", cookie=cookie)
        self.assertTrue(all(b < 128 for b in body))
        self.assertEqual(json.loads(body)["data"]["album_list"][0]["caption"], "旅行")
        with self.assertRaises(StandinError):
            case.CTL.knobs({"utf8_json": 1})


class TodayProfileTest(StandinTest):
    def test_todays_service_wants_the_referer_a_current_browser_and_its_own_cookies_back(self):
        case.CTL.reset("today")
        cookie, new, old = case.CTL.session(), {"User-Agent": "Chrome/131.0"}, {"User-Agent": "MSIE 10.0"}
        answer = fetch("weibo.com", "/", "https", new, cookie=cookie)
        with_xsrf = cookie + "; " + header_values(answer[1], "Set-Cookie")[0].split(";")[0]
        for host, path, headers, cookies, status in [
                ("wx1.sinaimg.cn", "/large/a.jpg", {}, None, 403),
                ("wx1.sinaimg.cn", "/large/a.jpg", {"Referer": "https://weibo.com/"}, None, 200),
                ("weibo.com", "/", old, cookie, 432), ("weibo.com", "/", {}, cookie, 432),
                ("photo.weibo.com", albums_path("1000001"), new, cookie, 432),
                ("photo.weibo.com", albums_path("1000001"), new, with_xsrf, 200),
                ("photo.weibo.com", albums_path("1000001"), old, with_xsrf, 432)]:
            with self.subTest(host=host, headers=headers, cookies=cookies):
                self.assertEqual(fetch(host, path, "https", headers, cookie=cookies)[0], status)

    def test_removed_pictures_lying_totals_repeated_pages_and_other_signed_out_shapes(self):
        album = {"id": "5", "generate_photos": 40, "total": 3, "repeat_from": 3,
                 "photos": [{"pic_name": "gone.jpg", "removed": True}]}
        case.CTL.scenario_json({"owners": [{"id": "1", "albums": [album]}]})
        status, headers, _ = fetch("wx1.sinaimg.cn", "/large/gone.jpg")
        self.assertEqual((status, header_values(headers, "Location")),
                         (302, ["http://wx1.sinaimg.cn/images/default_d_h_large.gif"]))
        cookie = case.CTL.session()
        pages = [json.loads(fetch("photo.weibo.com", photos_path("1", "5", p), "https",
                                  cookie=cookie)[2])["data"] for p in (1, 2, 3, 4)]
        self.assertEqual([(d["total"], d["photo_list"][0]["pic_name"]) for d in pages],
                         [(3, "gone.jpg")] + [(3, "5_32.jpg")] * 3)
        for shape, start in (("unknown", b'{"result":false,"code":"100027"'), ("page", b"<!")):
            case.CTL.knobs({"signed_out_shape": shape})
            self.assertTrue(fetch("photo.weibo.com", albums_path("1"), "https")[2].startswith(start))

    def test_the_limiter_lets_a_burst_through_then_bans_longer_while_asked(self):
        case.CTL.knobs({"limit_burst": 3, "limit_rate": 0.5, "limit_ban_ms": 1000})
        cookie = case.CTL.session()
        # Each request during the 1 s ban starts it again; the first after it passes, and
        # nothing accrued in it lets a second one through.
        for pause, statuses in ((0, [200, 200, 200, 418]), (0.5, [418]), (0.5, [418]),
                                (1.3, [200, 418])):
            time.sleep(pause)
            self.assertEqual([fetch("photo.weibo.com", albums_path("1000001"), "https",
                                    cookie=cookie)[0] for _ in statuses], statuses)


@unittest.skipUnless(os.environ.get("STANDIN_CONTROL") and os.environ.get("PICT_IN_SANDBOX"),
                     "runs inside scripts/sandbox only")
class RateLimitTest(StandinTest):
    def test_a_limit_lets_some_through_then_refuses_for_its_window_then_ends(self):
        case.CTL.fault({"host": "wx1.*", "action": "limit", "after_requests": 2, "ms": 600,
                   "status": 418, "retry_after": "1"})
        statuses = [fetch("wx1.sinaimg.cn", "/large/l%d.jpg" % i)[0] for i in range(4)]
        self.assertEqual(statuses, [200, 200, 418, 418])
        self.assertEqual(header_values(fetch("wx1.sinaimg.cn", "/large/x.jpg")[1], "Retry-After"),
                         ["1"])
        self.assertEqual(fetch("wx2.sinaimg.cn", "/large/x.jpg")[0], 200)  # other hosts pass
        time.sleep(0.8)
        self.assertEqual(fetch("wx1.sinaimg.cn", "/large/x.jpg")[0], 200)
        self.assertEqual([e["fault"] for e in case.CTL.log(host="wx1.sinaimg.cn")],
                         [None, None, "limit", "limit", "limit", None])


if __name__ == "__main__":
    unittest.main()
