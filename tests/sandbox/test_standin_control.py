#!/usr/bin/env python3
"""Tests of the stand-in's control side and plumbing: the log, reset, scenarios, faults, test
endpoints, connections, TLS, and (inside the sandbox) what start.sh set up, without changing
its state. They start their own stand-in in-process, as test_standin.py does."""

import http.client
import io
import json
import os
import socket
import ssl
import sys
import unittest
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import standin_pictures  # noqa: E402
import standin_case as case  # noqa: E402
from standin_case import (  # noqa: E402
    NamedTLSConnection, StandinTest, albums_path, dechunk, fetch, header_values, page_vars,
    photos_path, raw, split_answer, trusting_context)
# Run by unittest for this module: its own in-process stand-in.
from standin_case import setUpModule, tearDownModule  # noqa: E402,F401
from standin_ctl import StandinError  # noqa: E402
from standin_ctl import StandinControl  # noqa: E402


class ControlTest(StandinTest):
    def test_log_keeps_order_headers_scheme_and_status(self):
        fetch("weibo.com", "/a?x=1", "https", headers={"X-Probe": "1"})
        fetch("wx1.sinaimg.cn", "/large/a.jpg")
        fetch("wx1.sinaimg.cn", "/nothing")
        case.CTL.qr("scanned")
        log = case.CTL.log()
        self.assertEqual([(e["scheme"], e["host"], e["path"], e["status"]) for e in log],
                         [("https", "weibo.com", "/a?x=1", 200), ("http", "wx1.sinaimg.cn", "/large/a.jpg", 200),
                          ("http", "wx1.sinaimg.cn", "/nothing", 404)])
        self.assertEqual([e["seq"] for e in log], sorted(e["seq"] for e in log))
        self.assertIn(["X-Probe", "1"], log[0]["headers"])
        self.assertEqual([e["path"] for e in case.CTL.log(host="wx1.sinaimg.cn", path="/large/")],
                         ["/large/a.jpg"])
        case.CTL.clear_log()
        self.assertEqual(case.CTL.log(), [])

    def test_reset_forgets_faults_sessions_knobs_and_scenario(self):
        cookie = case.CTL.session()
        case.CTL.fault({"action": "status", "status": 500})
        case.CTL.knobs({"cross_domain_count": 1})
        case.CTL.scenario("demo")
        case.CTL.reset()
        self.assertEqual(case.CTL.faults(), [])
        self.assertEqual(case.CTL.current_scenario()["name"], "default")
        self.assertEqual(page_vars(fetch("weibo.com", "/", "https", cookie=cookie)[2])["islogin"], "0")
        self.assertEqual(case.CTL.knobs({})["knobs"]["cross_domain_count"], 4)

    def test_scenarios_by_name_and_by_json(self):
        case.CTL.scenario("demo")
        self.assertEqual(case.CTL.current_scenario()["viewer"], "1234567890")
        self.assertEqual(case.CTL.qr_status()["sequence"][-1], 20000000)
        case.CTL.scenario_json({"name": "mine", "owners": [
            {"id": "7", "nick": "n", "albums": [{"id": "1", "caption": "c", "photos": [
                {"pic_name": "z.jpg"}], "generate_photos": 2}]}]})
        cookie = case.CTL.session()
        data = json.loads(fetch("photo.weibo.com", photos_path("7", "1", 1), "https", cookie=cookie)[2])
        self.assertEqual([p["pic_name"] for p in data["data"]["photo_list"]], ["z.jpg", "1_1.jpg", "1_2.jpg"])
        self.assertEqual(page_vars(fetch("weibo.com", "/", "https", cookie=cookie)[2])["oid"], "7")

    def test_bad_control_input_is_refused_and_changes_nothing(self):
        bad = [("POST", "/scenario?name=../default", None),
               ("POST", "/scenario?name=nosuch", None),
               ("POST", "/scenario", {"owners": []}),
               ("POST", "/scenario", {"owners": [{"id": "1"}, {"id": "1"}]}),
               ("POST", "/scenario", {"viewer": "2", "owners": [{"id": "1"}]}),
               ("POST", "/scenario", b"{not json"),
               ("POST", "/scenario", {"owners": [{"id": "1"}], "qr": {"sequence": ["confirmed", "x"]}}),
               ("POST", "/scenario", {"owners": [{"id": "1"}], "knobs": {"require_cookies": "no"}}),
               ("POST", "/qr", {"state": "sleepy"}),
               ("POST", "/qr", {"refuse": "retcode", "state": "bogus"}),
               ("POST", "/knobs", {"colour": 1}),
               ("POST", "/knobs", {"cross_domain_count": "4"}),
               ("POST", "/knobs", {"cross_domain_count": 3, "unknown_qr_retcode": -1}),
               ("POST", "/faults", {"action": "explode"}),
               ("POST", "/faults", {"action": "status", "count": 0}),
               ("POST", "/faults", {"action": "status", "status": "503"}),
               ("POST", "/faults", {"action": "delay", "delay_ms": -1}),
               ("POST", "/faults", [{"action": "empty"}, {"action": "redirect", "hops": 0}]),
               ("POST", "/faults", {"action": "status", "headers": {"X": 1}}),
               ("POST", "/scenario", {"owners": [{"id": "1", "albums": [{"id": "a", "generate_photos": "9"}]}]}),
               ("POST", "/scenario", {"owners": [{"id": "1", "generate_albums": 10 ** 9}]}),
               ("GET", "/nothing-here", None)]
        for method, path, body in bad:
            with self.subTest(path=path, body=body):
                with self.assertRaises(StandinError):
                    case.CTL.call(method, path, body)
        self.assertEqual(case.CTL.current_scenario()["name"], "default")
        self.assertEqual(case.CTL.faults(), [])
        self.assertEqual((case.CTL.qr_status()["refuse"], case.CTL.qr_status()["state"]), (None, 50114001))
        self.assertEqual(case.CTL.knobs({})["knobs"]["cross_domain_count"], 4)

    def test_a_fault_inside_the_stand_in_answers_500_and_is_logged(self):
        service = case.RUN.servers["http"].service

        def broken(req):
            raise KeyError("deliberate")

        service.handle = broken
        saved, sys.stderr = sys.stderr, io.StringIO()  # where start.sh keeps standin.log
        try:
            status, _, body = fetch("weibo.com", "/")
            written = sys.stderr.getvalue()
        finally:
            del service.handle
            sys.stderr = saved
        self.assertIn("GET weibo.com/ failed", written)
        self.assertEqual(status, 500)
        self.assertIn(b"KeyError: 'deliberate'", body)
        self.assertEqual(case.CTL.log()[-1]["status"], 500)
        self.assertEqual(fetch("weibo.com", "/")[0], 200)

    def test_control_requests_are_neither_logged_nor_faulted(self):
        case.CTL.fault({"action": "refuse"})
        self.assertEqual(case.CTL.call("GET", "/ping"), {"ok": True})
        self.assertEqual([e["host"] for e in case.CTL.log()], [])


# -- faults ---------------------------------------------------------------------------------------------


class FaultsTest(StandinTest):
    PIC = "/large/f.jpg"
    HOST = "wx2.sinaimg.cn"

    def normal(self):
        return standin_pictures.picture("large", "f.jpg")

    def test_count_patterns_and_order(self):
        case.CTL.fault([{"host": "wx2.*", "path": "/large/*", "action": "status", "status": 503, "count": 2},
                   {"host": self.HOST, "action": "status", "status": 404}])
        statuses = [fetch(self.HOST, self.PIC)[0] for _ in range(3)]
        self.assertEqual(statuses, [503, 503, 404])
        self.assertEqual(fetch("wx3.sinaimg.cn", self.PIC)[0], 200)
        hits = {f["id"]: f["hits"] for f in case.CTL.faults()}
        self.assertEqual(sorted(hits.values()), [1, 2])
        self.assertEqual([e["fault"] for e in case.CTL.log(host=self.HOST)], ["status", "status", "status"])
        case.CTL.clear_faults()
        self.assertEqual(fetch(self.HOST, self.PIC)[0], 200)

    def test_answers_that_change_the_body(self):
        case.CTL.fault({"action": "status", "status": 418, "body": "teapot", "headers": {"X-Why": "t"}, "count": 1})
        status, headers, body = fetch(self.HOST, self.PIC)
        self.assertEqual((status, body, header_values(headers, "X-Why")), (418, b"teapot", ["t"]))
        case.CTL.fault({"action": "empty", "count": 1})
        status, headers, body = fetch(self.HOST, self.PIC)
        self.assertEqual((status, body, header_values(headers, "Content-Length")), (200, b"", ["0"]))
        case.CTL.fault({"action": "body", "body": "{\"x\":1}", "content_type": "application/json", "count": 1})
        self.assertEqual(fetch(self.HOST, self.PIC)[2], b"{\"x\":1}")
        case.CTL.fault({"host": "photo.weibo.com", "action": "malformed", "count": 1})
        cookie = case.CTL.session()
        status, _, body = fetch("photo.weibo.com", albums_path("1000001"), "https", cookie=cookie)
        self.assertEqual(status, 200)
        with self.assertRaises(ValueError):
            json.loads(body)
        case.CTL.fault({"host": "photo.weibo.com", "action": "large", "size": 5 * 1024 * 1024, "count": 1})
        _, _, body = fetch("photo.weibo.com", albums_path("1000001"), "https", cookie=cookie)
        self.assertEqual(len(body), 5 * 1024 * 1024)
        self.assertEqual(json.loads(body)["data"]["total"], 4)

    def test_framing_faults_keep_the_bytes_right(self):
        case.CTL.fault({"action": "chunked", "chunk": 100, "count": 1})
        status, headers, body = split_answer(raw(self.HOST, self.PIC))
        self.assertEqual((status, headers.get("transfer-encoding")), (200, "chunked"))
        self.assertNotIn("content-length", headers)
        self.assertEqual(dechunk(body), self.normal())
        case.CTL.fault({"action": "close", "count": 1})
        status, headers, body = split_answer(raw(self.HOST, self.PIC))
        self.assertNotIn("content-length", headers)
        self.assertEqual(body, self.normal())
        case.CTL.fault({"action": "trickle", "chunk": 50, "interval_ms": 1, "count": 1})
        self.assertEqual(fetch(self.HOST, self.PIC)[2], self.normal())
        case.CTL.fault({"action": "delay", "delay_ms": 20, "count": 1})
        self.assertEqual(fetch(self.HOST, self.PIC)[2], self.normal())

    def test_broken_connections(self):
        case.CTL.fault({"action": "refuse", "count": 1})
        self.assertEqual(raw(self.HOST, self.PIC), b"")
        case.CTL.fault({"action": "truncate", "after": 100, "count": 1})
        status, headers, body = split_answer(raw(self.HOST, self.PIC))
        self.assertEqual((int(headers["content-length"]), body), (len(self.normal()), self.normal()[:100]))
        case.CTL.fault({"action": "reset", "after": 10, "count": 1})
        try:
            data = raw(self.HOST, self.PIC)
        except ConnectionResetError:
            data = None
        if data is not None:  # the reset may land after the bytes were read
            self.assertLess(len(split_answer(data)[2]), len(self.normal()))
        self.assertEqual(case.CTL.log(host=self.HOST)[-1]["fault"], "reset")
        case.CTL.fault({"action": "silence", "ms": 50, "count": 1})
        self.assertEqual(raw(self.HOST, self.PIC), b"")
        self.assertIsNone(case.CTL.log(host=self.HOST)[-1]["status"])
        case.CTL.fault({"action": "stall", "ms": 50, "count": 1})
        self.assertEqual(split_answer(raw(self.HOST, self.PIC))[2], self.normal())
        self.assertEqual(fetch(self.HOST, self.PIC)[2], self.normal())

    def test_redirect_chain_sets_cookies_and_returns_to_the_address(self):
        for style in ("absolute", "relative", "scheme-relative"):
            with self.subTest(style=style):
                case.CTL.fault({"host": "photo.weibo.com", "action": "redirect", "hops": 3,
                           "location": style, "count": 1})
                path = albums_path("1000001")
                cookies, seen = [], []
                for _ in range(5):
                    status, headers, body = fetch("photo.weibo.com", path, "https",
                                                  cookie="; ".join(cookies + [case.CTL.session()]))
                    seen.append(status)
                    if status != 302:
                        break
                    cookies += [c.split(";")[0] for c in header_values(headers, "Set-Cookie")]
                    location = header_values(headers, "Location")[0]
                    if style == "absolute":
                        self.assertTrue(location.startswith("https://photo.weibo.com/"), location)
                    elif style == "scheme-relative":
                        self.assertTrue(location.startswith("//photo.weibo.com/"), location)
                    else:
                        self.assertTrue(location.startswith("/"), location)
                    path = "/" + location.split("/", 3)[3] if "//" in location else location
                self.assertEqual(seen, [302, 302, 302, 200])
                self.assertEqual(cookies, ["hop1=v1", "hop2=v2", "hop3=v3"])
                self.assertEqual(path, albums_path("1000001"))
                self.assertEqual(json.loads(body)["data"]["total"], 4)


# -- /_t/ endpoints ---------------------------------------------------------------------------------------


class TestEndpointsTest(StandinTest):
    def test_bytes_in_every_framing(self):
        pattern = bytes(i % 251 for i in range(5000))
        status, headers, body = split_answer(raw("elsewhere.test", "/_t/bytes?n=5000"))
        self.assertEqual((status, headers["content-length"], body), (200, "5000", pattern))
        status, headers, body = split_answer(raw("weibo.com", "/_t/bytes?n=5000&mode=chunked&chunk=999"))
        self.assertNotIn("content-length", headers)
        self.assertEqual(dechunk(body), pattern)
        status, headers, body = split_answer(raw("x.test", "/_t/bytes?n=5000&mode=close"))
        self.assertEqual((headers.get("connection"), body), ("close", pattern))
        status, headers, body = split_answer(raw("weibo.com", "/_t/empty"))
        self.assertEqual((status, headers["content-length"], body), (200, "0", b""))

    def test_statuses(self):
        for code in (200, 204, 304, 404, 500, 503, 599):
            with self.subTest(code=code):
                status, _, body = fetch("weibo.com", "/_t/status/%d" % code)
                self.assertEqual(status, code)
                self.assertEqual(body, b"" if code in (204, 304) else b"status %d" % code)
        self.assertEqual(fetch("weibo.com", "/_t/status?code=401")[0], 401)

    def test_redirect_chains_in_each_location_style(self):
        expected = {"relative": "/_t/redirect?", "absolute": "http://weibo.com/_t/redirect?",
                    "scheme-relative": "//weibo.com/_t/redirect?", "path-relative": "redirect?"}
        for style, prefix in expected.items():
            with self.subTest(style=style):
                path = "/_t/redirect?n=3&code=307&location=" + style
                cookies = []
                for hop in (3, 2, 1):
                    status, headers, _ = fetch("weibo.com", path)
                    self.assertEqual(status, 307)
                    cookies += header_values(headers, "Set-Cookie")
                    location = header_values(headers, "Location")[0]
                    if hop > 1:
                        self.assertTrue(location.startswith(prefix), location)
                    path = urllib.parse.urljoin("http://weibo.com" + path, location)
                    path = path[len("http://weibo.com"):]
                self.assertEqual(path, "/_t/echo")
                self.assertEqual(cookies, ["r3=v3; Path=/", "r2=v2; Path=/", "r1=v1; Path=/"])
        status, headers, _ = fetch("weibo.com", "/_t/redirect?n=1&to=https://elsewhere.test/x")
        self.assertEqual(header_values(headers, "Location"), ["https://elsewhere.test/x"])

    def test_echo_setcookie_body_and_hex(self):
        _, _, body = fetch("elsewhere.test", "/_t/echo?q=1", method="POST", body=b"abc",
                           headers={"X-A": "b"})
        echo = json.loads(body)
        self.assertEqual((echo["method"], echo["path"], echo["body"]), ("POST", "/_t/echo?q=1", "abc"))
        self.assertIn(["X-A", "b"], echo["headers"])
        c = urllib.parse.quote("SUB=abc; Path=/; HttpOnly")
        _, headers, _ = fetch("weibo.com", "/_t/setcookie?c=%s&c=b%%3D2" % c)
        self.assertEqual(header_values(headers, "Set-Cookie"), ["SUB=abc; Path=/; HttpOnly", "b=2"])
        _, headers, body = fetch("weibo.com", "/_t/body?text=%s&type=text/html" % urllib.parse.quote("中文"))
        self.assertEqual((body, header_values(headers, "Content-Type")), ("中文".encode(), ["text/html"]))
        self.assertEqual(fetch("weibo.com", "/_t/hex?h=00ff10")[2], b"\x00\xff\x10")
        self.assertEqual(fetch("weibo.com", "/_t/hex?h=zz")[0], 400)
        self.assertEqual(fetch("weibo.com", "/_t/bytes?n=%d" % (1 << 40))[0], 400)

    def test_cut_and_slow_bodies(self):
        status, headers, body = split_answer(raw("weibo.com", "/_t/truncate?n=1000&after=300"))
        self.assertEqual((headers["content-length"], body), ("1000", bytes(i % 251 for i in range(300))))
        status, headers, body = split_answer(raw("weibo.com", "/_t/stall?ms=30&n=20"))
        self.assertEqual(body, bytes(range(20)))
        self.assertEqual(fetch("weibo.com", "/_t/trickle?n=300&chunk=64&ms=1")[2],
                         bytes(i % 251 for i in range(300)))
        self.assertEqual(fetch("weibo.com", "/_t/delay?ms=10")[2], b"delayed")

    def test_one_connection_serves_many_requests(self):
        conn = http.client.HTTPConnection("127.0.0.1", case.RUN.ports["http"], timeout=30)
        try:
            for n in (10, 0, 70000, 3):
                conn.request("GET", "/_t/bytes?n=%d" % n, headers={"Host": "weibo.com"})
                answer = conn.getresponse()
                self.assertEqual(len(answer.read()), n)
            conn.request("GET", "/_t/empty", headers={"Host": "weibo.com"})
            self.assertEqual(conn.getresponse().read(), b"")
        finally:
            conn.close()
        self.assertEqual(len(case.CTL.log(path="/_t/")), 5)


class ConsistencyTest(StandinTest):
    def hosts(self):
        with open(os.path.join(HERE, "hosts.txt"), encoding="utf-8") as f:
            return {h.split("#")[0].strip() for h in f} - {""}

    def test_every_host_the_service_names_is_mapped_by_the_sandbox(self):
        import standin_service
        named = {standin_service.LOGIN_HOST, standin_service.PASSPORT_HOST, standin_service.PHOTO_HOST,
                 standin_service.CONTROL_HOST, *standin_service.MAIN_HOSTS, *standin_service.FOREIGN_HOSTS}
        named |= {"%s%d.sinaimg.cn" % (p, i) for p in ("wx", "tva") for i in range(1, 5)}
        for name in ("default", "demo", "bench"):
            case.CTL.scenario(name)
            for owner in case.CTL.current_scenario()["owners"]:
                named.add(urllib.parse.urlsplit("http:" + owner["avatar"]).hostname)
                for album in owner["albums"]:
                    if album.get("cover"):
                        named.add(urllib.parse.urlsplit(album["cover"]).hostname)
                    named |= {urllib.parse.urlsplit(p["pic_host"]).hostname for p in album["photos"]}
        self.assertEqual(named - self.hosts(), set())

    def test_parallel_clients_get_their_own_pictures_and_a_complete_log(self):
        import threading
        errors = []

        def client(k):
            conn = http.client.HTTPConnection("127.0.0.1", case.RUN.ports["http"], timeout=30)
            try:
                for i in range(40):
                    name = "c%d_%d.%s" % (k, i, ("jpg", "png", "gif")[i % 3])
                    conn.request("GET", "/mw690/" + name, headers={"Host": "wx%d.sinaimg.cn" % (k % 4 + 1)})
                    if conn.getresponse().read() != standin_pictures.picture("mw690", name):
                        errors.append(name)
            finally:
                conn.close()

        threads = [threading.Thread(target=client, args=(k,)) for k in range(6)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        self.assertEqual(errors, [])
        log = case.CTL.log()
        self.assertEqual(len(log), 240)
        self.assertEqual(sorted(e["seq"] for e in log), list(range(log[0]["seq"], log[0]["seq"] + 240)))
        self.assertTrue(all(e["status"] == 200 for e in log))


# -- TLS ---------------------------------------------------------------------------------------------------


class TlsTest(StandinTest):
    def test_every_service_name_verifies_against_the_test_ca(self):
        with open(os.path.join(HERE, "hosts.txt"), encoding="utf-8") as f:
            hosts = [h.split("#")[0].strip() for h in f if h.split("#")[0].strip()]
        for host in hosts:
            if host == "untrusted.test":
                continue
            with self.subTest(host=host):
                self.assertNotEqual(fetch(host, "/_t/status/200", "https")[0], 0)

    def test_untrusted_name_and_port_fail_verification(self):
        for port, name in ((case.RUN.ports["https"], "untrusted.test"), (case.RUN.ports["untrusted"], "weibo.com")):
            with self.subTest(port=port, name=name):
                conn = NamedTLSConnection(port, name, trusting_context())
                with self.assertRaises(ssl.SSLCertVerificationError):
                    conn.request("GET", "/_t/empty", headers={"Host": name})
                conn.close()
        insecure = ssl.create_default_context()
        insecure.check_hostname = False
        insecure.verify_mode = ssl.CERT_NONE
        conn = NamedTLSConnection(case.RUN.ports["untrusted"], "untrusted.test", insecure)
        conn.request("GET", "/_t/echo", headers={"Host": "untrusted.test"})
        self.assertEqual(json.loads(conn.getresponse().read())["scheme"], "https")
        conn.close()

    def test_a_failed_handshake_does_not_stop_the_server(self):
        sock = socket.create_connection(("127.0.0.1", case.RUN.ports["https"]), timeout=30)
        sock.sendall(b"GET / HTTP/1.1\r\nHost: weibo.com\r\n\r\n")
        sock.recv(100)
        sock.close()
        self.assertEqual(fetch("weibo.com", "/_t/status/200", "https")[0], 200)



class SandboxWiringTest(unittest.TestCase):
    """What start.sh set up; read-only, so it never disturbs tests sharing the instance."""

    def test_names_resolve_to_loopback_and_verify_with_the_system_bundle(self):
        with open(os.path.join(HERE, "hosts.txt"), encoding="utf-8") as f:
            hosts = [h.split("#")[0].strip() for h in f if h.split("#")[0].strip()]
        system = ssl.create_default_context(cafile="/etc/ssl/certs/ca-certificates.crt")
        for host in hosts:
            with self.subTest(host=host):
                self.assertEqual(socket.gethostbyname(host), "127.0.0.1")
                if host == "untrusted.test":
                    continue
                conn = http.client.HTTPSConnection(host, 443, context=system, timeout=30)
                conn.request("GET", "/_t/status/204")
                self.assertEqual(conn.getresponse().status, 204)
                conn.close()

    def test_untrusted_port_is_refused_and_control_answers(self):
        system = ssl.create_default_context(cafile="/etc/ssl/certs/ca-certificates.crt")
        port = int(os.environ.get("STANDIN_UNTRUSTED_PORT", "8443"))
        for p in (443, port):
            with self.subTest(port=p):
                conn = http.client.HTTPSConnection("untrusted.test", p, context=system, timeout=30)
                with self.assertRaises(ssl.SSLCertVerificationError):
                    conn.request("GET", "/_t/empty")
                conn.close()
        self.assertEqual(StandinControl().call("GET", "/ping"), {"ok": True})


class ConnectionsTest(StandinTest):
    """Connection numbers in the log, and the fault that drops a kept connection."""

    def test_log_numbers_connections_and_a_kept_one_can_be_dropped(self):
        case.CTL.fault({"host": "wx3.sinaimg.cn", "action": "drop_reused"})
        conn = http.client.HTTPConnection("127.0.0.1", case.RUN.ports["http"], timeout=30)
        try:
            conn.request("GET", "/_t/bytes?n=5", headers={"Host": "wx3.sinaimg.cn"})
            self.assertEqual(conn.getresponse().read(), bytes(range(5)))
            conn.request("GET", "/_t/bytes?n=6", headers={"Host": "wx3.sinaimg.cn"})
            with self.assertRaises(http.client.RemoteDisconnected):
                conn.getresponse()
        finally:
            conn.close()
        self.assertEqual(fetch("wx3.sinaimg.cn", "/_t/bytes?n=7")[2], bytes(range(7)))
        log = case.CTL.log(host="wx3.sinaimg.cn")
        self.assertEqual([e["conn_request"] for e in log], [1, 2, 1])
        self.assertEqual([e["fault"] for e in log], [None, "drop_reused", None])
        self.assertEqual([e["status"] for e in log], [200, None, 200])
        self.assertEqual(log[0]["conn"], log[1]["conn"])
        self.assertNotEqual(log[2]["conn"], log[1]["conn"])


if __name__ == "__main__":
    unittest.main()
