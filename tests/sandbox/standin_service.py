"""What the stand-in answers: the service's hosts, the control API and the /_t/ test endpoints.

Handlers take a Request and return an Answer; how an answer goes on the wire (normally, chunked,
cut short, trickled...) is the server's concern (standin.py), chosen through Answer.mode.
"""

import json
import re
import urllib.parse

import standin_pictures
import standin_state
from standin_state import QR_MESSAGES, ScenarioError

LOGIN_HOST = "login.sina.com.cn"
PASSPORT_HOST = "passport.weibo.com"
MAIN_HOSTS = ("weibo.com", "www.weibo.com")
PHOTO_HOST = "photo.weibo.com"
IMAGE_HOST_RE = re.compile(r"^(wx[1-4]|tva[1-4])\.sinaimg\.cn$")
CONTROL_HOST = "control.test"
# The site a picture request must name as its Referer when the knob "require_referer" is on.
SITE_REFERERS = ("https://weibo.com/", "https://www.weibo.com/")
# What a removed picture redirects to: a real GIF, answered 200.
PLACEHOLDER_PATH = "/images/default_d_h_large.gif"
OLD_AGENT_RE = re.compile(r"MSIE |Trident/")
CURRENT_AGENT_RE = re.compile(r"(?:Chrome|Firefox|Edg)/(\d+)")
# The oldest browser versions the service still takes.
OLDEST_TRUSTED_VERSION = 100
FOREIGN_HOSTS = ("elsewhere.test", "untrusted.test")
MAX_TEST_BYTES = 1 << 28


def pattern_bytes(n, start=0):
    """Bytes start..start+n-1 of the test pattern: byte i is i % 251."""
    cycle = bytes(range(251))
    first = start % 251
    head = cycle[first:] + cycle[:first]
    reps = n // 251 + 1
    return (head * reps)[:n]


class Request:
    def __init__(self, method, scheme, port, host, target, headers, body):
        self.method = method
        self.scheme = scheme
        self.port = port
        self.raw_host = next((v for k, v in headers if k.lower() == "host"), "")
        self.host = host
        self.target = target
        parts = urllib.parse.urlsplit(target)
        self.path = parts.path or "/"
        self.query_text = parts.query
        self.query = urllib.parse.parse_qs(parts.query, keep_blank_values=True)
        self.headers = headers
        self.body = body
        self.client = ""  # the client's address, for the limiter
        self.cookies = {}
        for k, v in headers:
            if k.lower() == "cookie":
                for piece in v.split(";"):
                    name, sep, value = piece.strip().partition("=")
                    if sep and name:
                        self.cookies[name] = value

    def arg(self, key, default=None):
        values = self.query.get(key)
        return values[0] if values else default

    def int_arg(self, key, default):
        try:
            return int(self.arg(key, default))
        except (TypeError, ValueError):
            return default

    def header(self, name):
        return next((v for k, v in self.headers if k.lower() == name.lower()), "")

    def origin(self):
        return self.scheme + "://" + (self.raw_host or self.host)


class Answer:
    def __init__(self, status=200, body=b"", content_type="text/plain; charset=utf-8",
                 headers=None, mode=None):
        self.status = status
        self.body = body.encode("utf-8") if isinstance(body, str) else body
        self.headers = [("Content-Type", content_type)] if content_type else []
        self.headers += list(headers or [])
        # How to send: {"kind": "normal" | "chunked" | "close" | "trickle" | "truncate" |
        # "reset" | "stall" | "silence" | "refuse", ...parameters}
        self.mode = mode or {"kind": "normal"}
        self.fault = None


def json_answer(obj, status=200, php_slashes=False, content_type="application/json; charset=utf-8"):
    text = json.dumps(obj, ensure_ascii=True, separators=(",", ":"))
    if php_slashes:
        text = text.replace("/", "\\/")
    return Answer(status, text, content_type)


def service_json_text(obj, raw_utf8):
    """A service answer's JSON text: non-ASCII as \\u escapes, or as raw UTF-8 when the switch
    "utf8_json" is on (what JSON between systems is meant to be)."""
    return json.dumps(obj, ensure_ascii=not raw_utf8, separators=(",", ":"))


def outdated_agent(agent):
    """True for a browser identity the service no longer trusts: none, any Internet Explorer,
    or a browser version older than the oldest it takes."""
    if not agent or OLD_AGENT_RE.search(agent):
        return True
    version = CURRENT_AGENT_RE.search(agent)
    return version is None or int(version.group(1)) < OLDEST_TRUSTED_VERSION


def control_error(message, status=400):
    return json_answer({"ok": False, "error": message}, status)


class Service:
    def __init__(self, state):
        self.state = state

    # -- dispatch ------------------------------------------------------------------------------

    def handle(self, req):
        if req.host == CONTROL_HOST and not req.path.startswith("/_t/"):
            return self.control(req)
        if req.path.startswith("/_t/"):
            return self.test_endpoint(req)
        if req.path.startswith("/_hop/"):
            return self.hop(req)
        if req.host == LOGIN_HOST:
            return self.login(req)
        if req.host == PASSPORT_HOST:
            return self.passport(req)
        if req.host in MAIN_HOSTS + (PHOTO_HOST,):
            return self.site(req)
        if IMAGE_HOST_RE.match(req.host):
            if (self.state.knob("require_referer") and req.path != PLACEHOLDER_PATH
                    and not req.header("Referer").startswith(SITE_REFERERS)):
                return Answer(403, "forbidden")
            if self.state.photo_removed(req.path.rsplit("/", 1)[-1]):
                return redirect_answer(req, PLACEHOLDER_PATH, 302, "absolute", [])
            return self.image(req.path)
        if req.host in FOREIGN_HOSTS:
            return self.main_site(req, require_cookies=False)
        return Answer(404, "no such host here: " + req.host)

    def site(self, req):
        """The main site and the photo host, as today's service answers them when its knobs say
        so: a limit per client address on the listing, 432 to an old browser identity or to a
        listing without the XSRF-TOKEN it handed out, and a fresh token on every answer."""
        listing = req.host == PHOTO_HOST and req.path in ("/albums/get_all", "/photos/get_all")
        if listing and not self.state.limiter_admits(req.client):
            return Answer(418, "status 418")
        if self.state.knob("refuse_old_agents") and outdated_agent(req.header("User-Agent")):
            return Answer(432, "status 432")
        rotate = self.state.knob("rotate_xsrf")
        if (rotate and listing and self.state.session_valid(req.cookies)
                and not self.state.xsrf_known(req.cookies)):
            return Answer(432, "status 432")
        if req.host == PHOTO_HOST:
            answer = self._in_utf8_when_asked(self.photo_host(req))
        else:
            answer = self.main_site(req, require_cookies=True)
        if rotate:
            answer.headers.append(("Set-Cookie", "XSRF-TOKEN=" + self.state.new_xsrf()
                                   + "; path=/; domain=.weibo.com; secure"))
        return answer

    # -- login host ----------------------------------------------------------------------------

    def _callback(self, req, obj):
        cb = req.arg("callback", "")
        text = service_json_text(obj, self.state.knob("utf8_json")).replace("/", "\\/")
        body = cb + "(" + text + ");" if cb else text
        return Answer(200, body, "application/javascript; charset=utf-8")

    def login(self, req):
        if req.path == "/sso/qrcode/image":
            refuse, qrid = self.state.issue_qr()
            image = "//wx1.sinaimg.cn/qrcode/" + qrid + ".png"
            if refuse == "retcode":
                return self._callback(req, {"retcode": 50114010, "msg": "fail", "data": None})
            if refuse == "msg":
                return self._callback(req, {"retcode": 20000000, "msg": "fail",
                                            "data": {"qrid": qrid, "image": image}})
            if refuse == "noqrid":
                return self._callback(req, {"retcode": 20000000, "msg": "succ", "data": {}})
            return self._callback(req, {"retcode": 20000000, "msg": "succ",
                                        "data": {"qrid": qrid, "image": image}})
        if req.path == "/sso/qrcode/check":
            code, alt = self.state.check_qr(req.arg("qrid", ""))
            data = {"alt": alt} if alt else None
            return self._callback(req, {"retcode": code, "msg": QR_MESSAGES.get(code, "error"),
                                        "data": data})
        if req.path == "/sso/login.php":
            if not self.state.take_alt(req.arg("alt", "")):
                return self._callback(req, {"retcode": "2093", "reason": "抱歉！登录失败，请稍候再试"})
            viewer = self.state.viewer()
            ticket = self.state.new_ticket()
            exchange = ("https://passport.weibo.com/wbsso/login?ticket=" + ticket
                        + "&ssosavestate=1535000000&callback=sinaSSOController.doCrossDomainCallBack"
                        + "&scriptId=ssoscript0&client=ssologin.js(v1.4.19)")
            others = [
                "https://login.sina.com.cn/crossdomain2.php?action=login&entry=weibo&r=0",
                "https://passport.weibo.com/sso/crossdomain?entry=weibo&action=login",
                "https://login.sina.com.cn/sso/crossdomain?entry=weibo&action=login",
            ]
            count = int(self.state.knob("cross_domain_count"))
            full = others + [exchange]
            urls = [full[i] if i < 4 else others[i % 3] + "&n=%d" % i for i in range(max(0, count))]
            return self._callback(req, {"retcode": "0", "uid": viewer["id"], "nick": viewer["nick"],
                                        "crossDomainUrlList": urls})
        if req.path in ("/crossdomain2.php", "/sso/crossdomain"):
            return Answer(200, "ok", "application/javascript")
        return Answer(404, "not found")

    def passport(self, req):
        if req.path == "/wbsso/login":
            cb = req.arg("callback", "")
            if not self.state.take_ticket(req.arg("ticket", "")):
                body = json.dumps({"result": False, "errno": "2", "reason": "ticket invalid"})
                return Answer(200, (cb + "(" + body + ");") if cb else body, "text/html; charset=utf-8")
            sub, subp = self.state.new_session()
            viewer = self.state.viewer()
            expires = "expires=Thu, 07-Dec-2034 10:00:00 GMT"
            headers = [
                ("Set-Cookie", "SUB=" + sub + "; " + expires + "; path=/; domain=.weibo.com; secure; httponly"),
                ("Set-Cookie", "SUBP=" + subp + "; " + expires + "; path=/; domain=.weibo.com"),
                ("Set-Cookie", "ALF=2049000000; " + expires + "; path=/; domain=.weibo.com"),
            ]
            body = json.dumps({"result": True, "userinfo": {"uniqueid": viewer["id"]}})
            return Answer(200, (cb + "(" + body + ");") if cb else body, "text/html; charset=utf-8",
                          headers)
        if req.path == "/sso/crossdomain":
            return Answer(200, "ok", "application/javascript")
        return Answer(404, "not found")

    # -- main site -----------------------------------------------------------------------------

    def _owner_for_path(self, path):
        segments = [urllib.parse.unquote(s) for s in path.split("/") if s]
        if not segments:
            return self.state.viewer()
        if segments[0] == "u" and len(segments) >= 2:
            return self.state.owner(segments[1])
        if segments[0] == "n" and len(segments) >= 2:
            return self.state.owner_by_nick(segments[1])
        if segments[0].isdigit():
            return self.state.owner(segments[0])
        return self.state.first_owner()

    def main_site(self, req, require_cookies):
        lines = ["var $CONFIG = {};"]
        title = "微博-随时随地发现新鲜事"
        if require_cookies and not self.state.session_valid(req.cookies):
            lines.append("$CONFIG['islogin']='0';")
            lines.append("$CONFIG['pageid']='visitor';")
        else:
            viewer = self.state.viewer()
            owner = self._owner_for_path(req.path)
            lines.append("$CONFIG['islogin']='1';")
            if owner is not None:
                lines.append("$CONFIG['oid']='" + owner["id"] + "';")
                lines.append("$CONFIG['page_id']='100505" + owner["id"] + "';")
                title = owner["nick"] + "的微博_微博"
            lines.append("$CONFIG['uid']='" + viewer["id"] + "';")
            lines.append("$CONFIG['nick']='" + viewer["nick"] + "';")
            if owner is not None:
                lines.append("$CONFIG['onick']='" + owner["nick"] + "';")
            lines.append("$CONFIG['avatar_large']='" + viewer["avatar"] + "';")
            lines.append("$CONFIG['lang']='zh-cn';")
        html = (
            "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title>" + title
            + "</title>\n<script type=\"text/javascript\">\n" + "\n".join(lines)
            + "\n</script>\n</head>\n<body class=\"B_page\">\n<div id=\"plc_frame\"></div>\n</body>\n</html>\n"
        )
        return Answer(200, html, "text/html; charset=utf-8")

    # -- photo host ----------------------------------------------------------------------------

    def _signed_out(self):
        """The photo host's "not signed in", in the shape the knob "signed_out_shape" names."""
        shape = self.state.knob("signed_out_shape")
        if shape == "unknown":
            return json_answer({"result": False, "code": "100027",
                                "msg": "\u8bf7\u5148\u5b8c\u6210\u5b89\u5168\u9a8c\u8bc1"})
        if shape == "page":
            return Answer(200, "<!DOCTYPE html><html><head><title>Sina Visitor System</title></head>"
                          "<body><script>location.replace('/');</script></body></html>",
                          "text/html; charset=utf-8")
        return json_answer({"result": False, "code": "A0003", "msg": "not logged in"})

    @staticmethod
    def _positive(req, key, limit=None):
        value = req.arg(key)
        if value is None or not re.fullmatch(r"[1-9][0-9]{0,8}", value):
            return None
        number = int(value)
        if limit is not None and number > limit:
            return None
        return number

    def _in_utf8_when_asked(self, answer):
        """The photo host's JSON answer again in raw UTF-8 when the switch "utf8_json" is on."""
        if not self.state.knob("utf8_json") or not answer.body.startswith(b"{"):
            return answer
        answer.body = service_json_text(json.loads(answer.body), True).encode("utf-8")
        return answer

    def photo_host(self, req):
        if req.path not in ("/albums/get_all", "/photos/get_all"):
            return Answer(404, "not found")
        if not self.state.session_valid(req.cookies):
            return self._signed_out()
        self.state.count_listing("expire_after_listings" if req.path == "/photos/get_all"
                                 else "expire_after_albums")

        def bad(reason):
            return json_answer({"result": False, "code": "A0001", "msg": "bad query: " + reason})

        keys = ["uid", "page", "count", "__rnd"]
        if req.path == "/photos/get_all":
            keys = ["uid", "album_id", "count", "page", "type", "__rnd"]
        for key in keys:
            if key not in req.query:
                return bad("missing " + key)
            if len(req.query[key]) != 1:
                return bad("repeated " + key)
        page = self._positive(req, "page")
        count = self._positive(req, "count", 100)
        if page is None:
            return bad("page")
        if count is None:
            return bad("count")
        owner = self.state.owner(req.arg("uid"))
        if owner is None:
            return json_answer({"result": False, "code": "A0002", "msg": "no such user"})
        start = (page - 1) * count
        if req.path == "/albums/get_all":
            albums = owner["albums"]
            listed = [self._album_json(owner, a) for a in albums[start:start + count]]
            return json_answer({"result": True, "code": 0, "msg": "",
                                "data": {"total": len(albums), "album_list": listed}})
        album = next((a for a in owner["albums"] if a["id"] == req.arg("album_id")), None)
        if album is None:
            return json_answer({"result": False, "code": "A0002", "msg": "no such album"})
        photos = album["photos"]
        repeat = album.get("repeat_from")
        if repeat is not None and page >= repeat:
            start = (repeat - 2) * count
        listed = [self._photo_json(owner, album, p) for p in photos[start:start + count]]
        data = {"album_id": album["id"], "total": album.get("total", len(photos)),
                "photo_list": listed}
        if data["total"] is None:
            del data["total"]
        return json_answer({"result": True, "code": 0, "msg": "", "data": data})

    @staticmethod
    def _album_json(owner, a):
        out = {"album_id": a["id"], "uid": owner["id"], "caption": a["caption"]}
        if "type" in a:
            out["type"] = a["type"]
        out["count"] = {"photos": a["count"], "likes": 0, "comments": 0}
        if "cover" in a:
            out["cover_pic"] = a["cover"]
        for key in ("updated_at", "created_at"):
            if key in a:
                out[key] = a[key]
        out["description"] = ""
        return out

    @staticmethod
    def _photo_json(owner, album, p):
        out = {"photo_id": p["photo_id"], "album_id": album["id"], "uid": owner["id"],
               "pic_host": p["pic_host"], "pic_name": p["pic_name"],
               "caption": p["caption"], "caption_render": p["caption"]}
        if "timestamp" in p:
            out["timestamp"] = p["timestamp"]
        return out

    # -- pictures ------------------------------------------------------------------------------

    def image(self, path):
        segments = [s for s in path.split("/") if s]
        if len(segments) < 2:
            return Answer(404, "not found")
        segment = segments[0]
        name = "/".join(segments[1:])
        if self.state.photo_missing(segments[-1]):
            return Answer(404, "no such picture")
        body = picture_cached(segment, name)
        kind = standin_pictures.kind_for_name(name)
        return Answer(200, body, "image/" + kind)

    # -- redirect hops of the redirect fault ----------------------------------------------------

    def hop(self, req):
        try:
            index = int(req.path.split("/")[2])
        except (IndexError, ValueError):
            return Answer(404, "not found")
        return self._hop_answer(req, index, req.int_arg("hops", 1), req.arg("next", "/"),
                                req.int_arg("code", 302), req.arg("loc", "absolute"))

    def fault_redirect(self, req, rule):
        """The first answer of a redirect fault: hop 1 of the rule's chain back to this address."""
        return self._hop_answer(req, 1, max(1, int(rule.get("hops", 2))), req.target,
                                int(rule.get("code", 302)), rule.get("location", "absolute"))

    def _hop_answer(self, req, index, hops, target, code, style):
        cookie = [("Set-Cookie", "hop%d=v%d; Path=/" % (index, index))]
        if index >= hops:
            # The chain ends at the address that was faulted; let it through once.
            self.state.grant_pass(req.host, target)
            return redirect_answer(req, target, code, style, cookie)
        query = urllib.parse.urlencode({"hops": hops, "next": target, "code": code, "loc": style})
        return redirect_answer(req, "/_hop/%d?%s" % (index + 1, query), code, style, cookie)

    # -- /_t/ ------------------------------------------------------------------------------------

    def test_endpoint(self, req):
        name = req.path[len("/_t/"):]
        if name in ("bytes", "stall", "trickle", "truncate", "reset") and req.int_arg("n", 0) > MAX_TEST_BYTES:
            return Answer(400, "n is at most %d" % MAX_TEST_BYTES)
        if name == "bytes":
            n = max(0, req.int_arg("n", 0))
            answer = Answer(200, pattern_bytes(n), req.arg("type", "application/octet-stream"))
            mode = req.arg("mode", "length")
            if mode == "chunked":
                answer.mode = {"kind": "chunked", "chunk": max(1, req.int_arg("chunk", 4096))}
            elif mode == "close":
                answer.mode = {"kind": "close"}
            return answer
        if name == "empty":
            return Answer(200, b"", None)
        if name.startswith("status"):
            code = req.int_arg("code", 200) if name == "status" else _int(name[len("status/"):], 0)
            if not 100 <= code <= 999:
                return Answer(400, "bad status")
            body = b"" if code < 200 or code in (204, 304) else ("status %d" % code).encode()
            return Answer(code, body)
        if name == "redirect":
            n = req.int_arg("n", 1)
            code = req.int_arg("code", 302)
            style = req.arg("location", "relative")
            to = req.arg("to", "/_t/echo")
            if n <= 0:
                return redirect_answer(req, to, code, style, [])
            cookie = [("Set-Cookie", "r%d=v%d; Path=/" % (n, n))]
            if n == 1:
                return redirect_answer(req, to, code, style, cookie)
            query = urllib.parse.urlencode({"n": n - 1, "code": code, "location": style, "to": to})
            return redirect_answer(req, "/_t/redirect?" + query, code, style, cookie)
        if name == "echo":
            return json_answer({"method": req.method, "scheme": req.scheme, "host": req.host,
                                "path": req.target, "headers": [list(h) for h in req.headers],
                                "body": req.body.decode("latin-1"), "body_length": len(req.body)})
        if name == "stall":
            n = max(0, req.int_arg("n", 10))
            return Answer(200, pattern_bytes(n), "application/octet-stream",
                          mode={"kind": "stall", "ms": req.int_arg("ms", None)})
        if name == "delay":
            answer = Answer(200, "delayed")
            answer.mode = {"kind": "normal", "delay_ms": max(0, req.int_arg("ms", 0))}
            return answer
        if name == "trickle":
            n = max(0, req.int_arg("n", 100))
            return Answer(200, pattern_bytes(n), "application/octet-stream",
                          mode={"kind": "trickle", "chunk": max(1, req.int_arg("chunk", 16)),
                                "interval_ms": max(0, req.int_arg("ms", 50))})
        if name in ("truncate", "reset"):
            n = max(0, req.int_arg("n", 100))
            after = min(n, max(0, req.int_arg("after", n // 2)))
            return Answer(200, pattern_bytes(n), "application/octet-stream",
                          mode={"kind": name, "after": after})
        if name == "setcookie":
            headers = [("Set-Cookie", c) for c in req.query.get("c", [])]
            return Answer(200, "cookies set: %d" % len(headers), headers=headers)
        if name == "body":
            status = req.int_arg("status", 200)
            return Answer(status, req.arg("text", ""), req.arg("type", "text/plain; charset=utf-8"))
        if name == "hex":
            try:
                data = bytes.fromhex(req.arg("h", ""))
            except ValueError:
                return Answer(400, "bad hex")
            return Answer(200, data, req.arg("type", "application/octet-stream"))
        if name.startswith("pic/"):
            return self.image(name[len("pic"):])
        if name == "anim.gif":
            return self.image("/large/anim.gif")
        return Answer(404, "no such test endpoint")

    # -- control API -----------------------------------------------------------------------------

    def control(self, req):
        try:
            return self._control(req)
        except ScenarioError as e:
            return control_error(str(e))
        except (ValueError, TypeError) as e:
            return control_error("bad request: %s" % e)

    @staticmethod
    def _body_json(req):
        if not req.body.strip():
            return None
        return json.loads(req.body.decode("utf-8"))

    def _control(self, req):
        m, p = req.method, req.path.rstrip("/") or "/"
        st = self.state
        if p in ("/", "/ping"):
            return json_answer({"ok": True})
        if p == "/reset" and m == "POST":
            st.reset(req.arg("profile"))
            return json_answer({"ok": True})
        if p == "/scenario":
            if m == "GET":
                return json_answer({"ok": True, "scenario": st.snapshot_scenario()})
            name = req.arg("name")
            if name is not None:
                scenario = standin_state.load_named_scenario(name)
            else:
                scenario = standin_state.normalise_scenario(self._body_json(req))
            st.load_scenario(scenario)
            return json_answer({"ok": True, "name": scenario["name"]})
        if p == "/qr":
            if m == "POST":
                st.set_qr(self._body_json(req) or {})
            return json_answer(dict(st.qr_summary(), ok=True))
        if p == "/knobs":
            if m == "POST":
                st.set_knobs(self._body_json(req) or {})
            return json_answer({"ok": True, "knobs": dict(st.knobs)})
        if p == "/session" and m == "POST":
            sub, subp = st.new_session()
            return json_answer({"ok": True, "cookie": "SUB=" + sub + "; SUBP=" + subp,
                                "uid": st.viewer()["id"]})
        if p == "/faults":
            if m == "POST":
                ids = st.add_faults(self._body_json(req))
                return json_answer({"ok": True, "ids": ids})
            if m == "DELETE":
                st.clear_faults()
                return json_answer({"ok": True})
            return json_answer({"ok": True, "faults": st.list_faults()})
        if p == "/faults/clear" and m == "POST":
            st.clear_faults()
            return json_answer({"ok": True})
        if p == "/log":
            if m == "DELETE":
                st.clear_log()
                return json_answer({"ok": True})
            return json_answer({"ok": True,
                                "requests": st.read_log(req.arg("host"), req.arg("path"))})
        if p == "/log/clear" and m == "POST":
            st.clear_log()
            return json_answer({"ok": True})
        return control_error("no such control endpoint: %s %s" % (m, p), 404)


def _int(text, default):
    try:
        return int(text)
    except ValueError:
        return default


def redirect_answer(req, target, code, style, headers):
    """A redirect to target (a path with query, or an absolute address) written in style."""
    if "://" in target:
        location = target
    elif style == "absolute":
        location = req.origin() + target
    elif style == "scheme-relative":
        location = "//" + (req.raw_host or req.host) + target
    elif style == "path-relative":
        # Relative to the current folder when the target lives there; else an absolute path.
        tpath, sep, tquery = target.partition("?")
        folder = req.path.rsplit("/", 1)[0] + "/"
        rest = tpath[len(folder):]
        location = rest + sep + tquery if tpath.startswith(folder) and rest and "/" not in rest else target
    else:
        location = target
    body = "redirect to " + location
    return Answer(code, body, headers=list(headers) + [("Location", location)])


_picture_cache = {}


def picture_cached(segment, name):
    key = (segment, name)
    body = _picture_cache.get(key)
    if body is None:
        body = standin_pictures.picture(segment, name)
        if len(_picture_cache) > 20000:
            _picture_cache.clear()
        _picture_cache[key] = body
    return body
