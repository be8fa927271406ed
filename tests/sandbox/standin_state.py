"""Everything the stand-in remembers between requests: scenario, QR machine, sessions, faults, log.

One State object is shared by all server threads; every method takes the lock it needs, so the
handlers never hold it across network writes.
"""

import copy
import fnmatch
import json
import os
import secrets
import threading
import time

SCENARIO_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "scenarios")

QR_STATES = {
    "waiting": 50114001,
    "scanned": 50114002,
    "expired": 50114003,
    "used": 50114004,
    "error": 50114005,
    "confirmed": 20000000,
}
QR_MESSAGES = {
    50114001: "未使用",
    50114002: "已扫描,等待确认",
    50114003: "该二维码已过期",
    50114004: "该二维码已登录",
    50114005: "二维码错误",
    20000000: "succ",
}
DEFAULT_KNOBS = {"cross_domain_count": 4, "unknown_qr_retcode": 50114005, "require_cookies": True,
                 "utf8_json": False, "expire_after_listings": 0, "expire_after_albums": 0,
                 # The service as it is today (all off here; the profile "today" turns them on).
                 "require_referer": False, "refuse_old_agents": False, "rotate_xsrf": False,
                 "limit_burst": 0, "limit_rate": 1, "limit_ban_ms": 3000,
                 "signed_out_shape": "A0003"}
# Knobs that are switches (true or false) rather than numbers.
SWITCH_KNOBS = ("require_referer", "refuse_old_agents", "require_cookies", "rotate_xsrf",
                "utf8_json")
# Knobs that may be fractions (requests per second).
FRACTION_KNOBS = ("limit_rate",)
# Knobs that name one of a few shapes.
SHAPE_KNOBS = {"signed_out_shape": ("A0003", "unknown", "page")}
# Profiles: knobs set together by /reset?profile=NAME or /profile. "today" is the service as its
# users meet it now: pictures need the site's Referer, an old browser identity is refused, a
# rotating XSRF-TOKEN must come back with the listing. Its limiter stays off (limit_burst 0):
# scenarios that are about the pace turn it on with their own burst and rate.
PROFILES = {
    "plain": {},
    "today": {"require_referer": True, "refuse_old_agents": True, "rotate_xsrf": True},
}
REFUSE_MODES = (None, "retcode", "msg", "noqrid")
FAULT_ACTIONS = {
    "delay", "refuse", "reset", "truncate", "trickle", "status", "empty", "chunked", "close",
    "redirect", "malformed", "body", "large", "stall", "silence",
}
# Limits of the numeric parameters of fault rules.
FAULT_NUMBERS = {
    "delay_ms": (0, 600000), "ms": (0, 600000), "status": (100, 999), "after": (0, 1 << 30),
    "chunk": (1, 1 << 24), "interval_ms": (0, 60000), "hops": (1, 50), "code": (300, 399),
    "size": (0, 1 << 30),
}
# A rate limit: the first `after_requests` matching requests pass, the next one opens a window of
# `ms` milliseconds (default 3000) in which every matching request gets `status` (default 429),
# with a Retry-After header when `retry_after` (a text) is given; after the window the rule lets
# everything through again.
LIMIT_ACTION = "limit"
FAULT_ACTIONS.add(LIMIT_ACTION)
FAULT_NUMBERS["after_requests"] = (0, 1 << 30)
MAX_GENERATED = 100000
IMAGE_HOSTS = ["wx1.sinaimg.cn", "wx2.sinaimg.cn", "wx3.sinaimg.cn", "wx4.sinaimg.cn"]


def limit_applies(rule):
    """Whether a limit rule refuses this matching request (called under the state's lock)."""
    until = rule.get("until")
    if until is None:
        passed = rule.get("passed", 0)
        if passed < rule.get("after_requests", 0):
            rule["passed"] = passed + 1
            return False
        until = rule["until"] = time.monotonic() + rule.get("ms", 3000) / 1000.0
    return time.monotonic() < until


class ScenarioError(ValueError):
    pass


def _text(value, what):
    if value is None:
        return ""
    if isinstance(value, (str, int)) and not isinstance(value, bool):
        return str(value)
    raise ScenarioError(what + " must be a string or number")


def normalise_scenario(raw):
    """Checks a scenario and expands its generated albums and photos; raises ScenarioError."""
    if not isinstance(raw, dict):
        raise ScenarioError("a scenario is a JSON object")
    owners_in = raw.get("owners")
    if not isinstance(owners_in, list) or not owners_in:
        raise ScenarioError("owners must be a non-empty list")
    owners = []
    seen = set()
    for o in owners_in:
        if not isinstance(o, dict):
            raise ScenarioError("each owner is an object")
        oid = _text(o.get("id"), "owner id")
        if not oid or oid in seen:
            raise ScenarioError("owner ids must be present and unique")
        seen.add(oid)
        owner = {
            "id": oid,
            "nick": _text(o.get("nick", "user" + oid), "nick"),
            "avatar": _text(o.get("avatar", "//tva1.sinaimg.cn/large/av_" + oid + ".jpg"), "avatar"),
            "albums": [],
        }
        albums_in = list(o.get("albums") or [])
        for k in range(_generated(o, "generate_albums")):
            albums_in.append({"id": oid + "%03d" % (k + 1), "caption": "album %d" % (k + 1),
                              "type": 3, "generate_photos": 2})
        album_ids = set()
        for a in albums_in:
            owner["albums"].append(_album(oid, a, album_ids))
        owners.append(owner)
    viewer = _text(raw.get("viewer", owners[0]["id"]), "viewer")
    if viewer not in seen:
        raise ScenarioError("viewer must be one of the owners")
    out = {"name": _text(raw.get("name", "custom"), "name"), "viewer": viewer, "owners": owners}
    if "qr" in raw:
        check_qr_settings(raw["qr"])
        out["qr"] = raw["qr"]
    if "knobs" in raw:
        out["knobs"] = check_knobs(raw["knobs"])
    return out


def check_knobs(values):
    if not isinstance(values, dict):
        raise ScenarioError("knobs must be an object")
    for key, value in values.items():
        if key not in DEFAULT_KNOBS:
            raise ScenarioError("unknown knob " + key)
        if key in SWITCH_KNOBS:
            if not isinstance(value, bool):
                raise ScenarioError(key + " must be true or false")
        elif key in SHAPE_KNOBS:
            if value not in SHAPE_KNOBS[key]:
                raise ScenarioError(key + " must be one of " + ", ".join(SHAPE_KNOBS[key]))
        elif key in FRACTION_KNOBS:
            if isinstance(value, bool) or not isinstance(value, (int, float)) or not 0 < value <= 1000:
                raise ScenarioError(key + " must be a number above 0, at most 1000")
        elif isinstance(value, bool) or not isinstance(value, int) or not 0 <= value < 1 << 31:
            raise ScenarioError(key + " must be a non-negative integer")
    if values.get("cross_domain_count", 0) > 100:
        raise ScenarioError("cross_domain_count must be at most 100")
    return dict(values)


def _generated(obj, key):
    value = obj.get(key, 0)
    if isinstance(value, bool) or not isinstance(value, int) or not 0 <= value <= MAX_GENERATED:
        raise ScenarioError("%s must be an integer from 0 to %d" % (key, MAX_GENERATED))
    return value


def _album(oid, a, album_ids):
    if not isinstance(a, dict):
        raise ScenarioError("each album is an object")
    aid = _text(a.get("id"), "album id")
    if not aid or aid in album_ids:
        raise ScenarioError("album ids must be present and unique per owner")
    album_ids.add(aid)
    album = {"id": aid, "caption": _text(a.get("caption", ""), "caption")}
    for key in ("type", "cover", "created_at", "updated_at"):
        if key in a:
            album[key] = a[key]
    # What the listing's answers say that is not so: "total" (a number, or null to leave it
    # out) instead of the real one; from page "repeat_from" on, every page is the one before.
    if "total" in a:
        if a["total"] is not None and (isinstance(a["total"], bool) or not isinstance(a["total"], int)):
            raise ScenarioError("total must be a number or null")
        album["total"] = a["total"]
    if "repeat_from" in a:
        if isinstance(a["repeat_from"], bool) or not isinstance(a["repeat_from"], int) \
                or a["repeat_from"] < 2:
            raise ScenarioError("repeat_from must be a page number from 2")
        album["repeat_from"] = a["repeat_from"]
    photos = []
    for p in a.get("photos") or []:
        if not isinstance(p, dict):
            raise ScenarioError("each photo is an object")
        photo = {
            "pic_host": _text(p.get("pic_host", "http://wx1.sinaimg.cn"), "pic_host"),
            "pic_name": _text(p.get("pic_name", ""), "pic_name"),
            "caption": _text(p.get("caption", ""), "caption"),
        }
        if "timestamp" in p:
            photo["timestamp"] = p["timestamp"]
        if p.get("missing"):
            photo["missing"] = True
        if p.get("removed"):
            photo["removed"] = True
        photos.append(photo)
    for i in range(_generated(a, "generate_photos")):
        ext = ".png" if i % 7 == 6 else ".gif" if i % 11 == 10 else ".jpg"
        photos.append({
            "pic_host": "http://" + IMAGE_HOSTS[i % 4],
            "pic_name": "%s_%d%s" % (aid, i + 1, ext),
            "caption": "%s %d" % (album["caption"], i + 1),
            "timestamp": 1500000000 + 3600 * i,
        })
    for n, photo in enumerate(photos):
        photo["photo_id"] = "%s%04d" % (aid, n + 1)
    album["photos"] = photos
    album["count"] = a["count"] if "count" in a else len(photos)
    return album


def qr_code(value):
    """The retcode for a state name, a number, or a number in text; raises ScenarioError."""
    if isinstance(value, bool):
        raise ScenarioError("bad QR state")
    if isinstance(value, int):
        return value
    if isinstance(value, str) and value in QR_STATES:
        return QR_STATES[value]
    if isinstance(value, str) and value.isdigit():
        return int(value)
    raise ScenarioError("bad QR state %r" % (value,))


def check_qr_settings(settings):
    if not isinstance(settings, dict):
        raise ScenarioError("QR settings are an object")
    for key in settings:
        if key not in ("state", "code", "sequence", "refuse"):
            raise ScenarioError("unknown QR setting " + key)
    for key in ("state", "code"):
        if key in settings:
            qr_code(settings[key])
    if "sequence" in settings:
        if not isinstance(settings["sequence"], list):
            raise ScenarioError("sequence must be a list")
        for item in settings["sequence"]:
            qr_code(item)
    if "refuse" in settings and settings["refuse"] not in REFUSE_MODES:
        raise ScenarioError("refuse must be one of retcode, msg, noqrid or null")


def load_named_scenario(name):
    if not name or "/" in name or "\\" in name or name.startswith("."):
        raise ScenarioError("bad scenario name")
    path = os.path.join(SCENARIO_DIR, name + ".json")
    if not os.path.isfile(path):
        raise ScenarioError("no scenario named " + name)
    with open(path, encoding="utf-8") as f:
        return normalise_scenario(json.load(f))


class State:
    def __init__(self):
        self.lock = threading.Lock()
        # Picture requests not yet answered, by entry, with the log they were recorded in: one
        # left hanging from before a reset or a cleared log never counts in the new one.
        self.open_pictures = {}
        self.log_generation = 0
        self.reset()

    # -- whole state ---------------------------------------------------------------------------

    def reset(self, profile=None):
        if profile is not None and profile not in PROFILES:
            raise ScenarioError("no profile named %s" % profile)
        scenario = load_named_scenario("default")
        with self.lock:
            self.log = []
            self.log_generation += 1
            self.seq = 0
            self.faults = []
            self.fault_id = 0
            self.passes = {}
            self.sessions = {}  # SUB value -> SUBP value
            self.tickets = {}  # passport ticket -> True while unused
            self.alts = {}  # login ticket (alt) -> qrid
            self.qr_issued = []
            # A code that expired or was used answers so for good, as the service's does.
            self.qr_dead = {}
            self.qr_checks = 0
            self.qr_counter = 0
            self.qr_state = QR_STATES["waiting"]
            self.qr_sequence = []
            self.qr_refuse = None
            self.knobs = dict(DEFAULT_KNOBS)
            self.knobs.update(PROFILES.get(profile) or {})
            self.buckets = {}
            self.xsrf_tokens = set()
            self._apply_scenario(scenario)

    def load_scenario(self, scenario):
        with self.lock:
            self._apply_scenario(scenario)

    def _apply_scenario(self, scenario):
        self.scenario = scenario
        self.owner_by_id = {o["id"]: o for o in scenario["owners"]}
        self.photo_by_name = {}
        for o in scenario["owners"]:
            for a in o["albums"]:
                for p in a["photos"]:
                    self.photo_by_name[p["pic_name"]] = p
        qr = scenario.get("qr")
        if isinstance(qr, dict):
            self._set_qr(qr)
        for key, value in (scenario.get("knobs") or {}).items():
            if key in DEFAULT_KNOBS:
                self.knobs[key] = value

    def snapshot_scenario(self):
        with self.lock:
            return copy.deepcopy(self.scenario)

    def owner(self, oid):
        with self.lock:
            return self.owner_by_id.get(oid)

    def owner_by_nick(self, nick):
        with self.lock:
            for o in self.scenario["owners"]:
                if o["nick"] == nick:
                    return o
            return None

    def viewer(self):
        with self.lock:
            return self.owner_by_id[self.scenario["viewer"]]

    def first_owner(self):
        with self.lock:
            return self.scenario["owners"][0]

    def photo_missing(self, name):
        with self.lock:
            p = self.photo_by_name.get(name)
            return bool(p and p.get("missing"))

    def photo_removed(self, name):
        with self.lock:
            p = self.photo_by_name.get(name)
            return bool(p and p.get("removed"))

    def knob(self, key):
        with self.lock:
            return self.knobs[key]

    def set_knobs(self, values):
        values = check_knobs(values)
        with self.lock:
            self.knobs.update(values)

    # -- QR machine ----------------------------------------------------------------------------

    def set_qr(self, settings):
        with self.lock:
            self._set_qr(settings)

    def _set_qr(self, settings):
        check_qr_settings(settings)  # first, so a refused setting changes nothing
        if "state" in settings:
            self.qr_state = qr_code(settings["state"])
            self.qr_sequence = []
        if "code" in settings:
            self.qr_state = qr_code(settings["code"])
            self.qr_sequence = []
        if "sequence" in settings:
            self.qr_sequence = [qr_code(s) for s in settings["sequence"]]
        if "refuse" in settings:
            self.qr_refuse = settings["refuse"]

    def qr_summary(self):
        with self.lock:
            return {"state": self.qr_state, "sequence": list(self.qr_sequence),
                    "refuse": self.qr_refuse, "issued": list(self.qr_issued),
                    "checks": self.qr_checks}

    def issue_qr(self):
        """Returns (refuse mode, new qrid)."""
        with self.lock:
            self.qr_counter += 1
            qrid = "QR%04d%s" % (self.qr_counter, secrets.token_hex(4))
            if self.qr_refuse in (None, "noqrid", "msg"):
                self.qr_issued.append(qrid)
            return self.qr_refuse, qrid

    def check_qr(self, qrid):
        """Returns (retcode, alt or None) for one poll."""
        with self.lock:
            self.qr_checks += 1
            # Polls of unknown or spent codes leave the scripted sequence alone, so a script
            # counts only the polls of a code on show.
            if not qrid or qrid not in self.qr_issued:
                return self.knobs["unknown_qr_retcode"], None
            if qrid in self.qr_dead:
                return self.qr_dead[qrid], None
            if self.qr_sequence:
                code = self.qr_sequence.pop(0)
                if not self.qr_sequence:
                    self.qr_state = code
            else:
                code = self.qr_state
            if code in (QR_STATES["expired"], QR_STATES["used"]):
                self.qr_dead[qrid] = code
            if code != QR_STATES["confirmed"]:
                return code, None
            self.qr_dead[qrid] = QR_STATES["used"]
            alt = "ALT-" + secrets.token_hex(12)
            self.alts[alt] = qrid
            return code, alt

    def take_alt(self, alt):
        with self.lock:
            return self.alts.pop(alt, None) is not None

    # -- sessions ------------------------------------------------------------------------------

    def new_ticket(self):
        with self.lock:
            ticket = "ST-" + secrets.token_hex(12)
            self.tickets[ticket] = True
            return ticket

    def take_ticket(self, ticket):
        with self.lock:
            return self.tickets.pop(ticket, None) is not None

    def new_session(self):
        with self.lock:
            sub = "_2A25" + secrets.token_hex(16)
            subp = "0033Wr" + secrets.token_hex(10)
            self.sessions[sub] = subp
            return sub, subp

    def count_listing(self, knob="expire_after_listings"):
        """One photo-list request (album-list: knob "expire_after_albums") is being answered: once
        the knob (N) has let N of them through, every session issued so far expires, once."""
        with self.lock:
            left = self.knobs[knob]
            if left == 0:
                return
            self.knobs[knob] = left - 1
            if left == 1:
                self.sessions = {}
                self.knobs[knob] = 0

    def new_xsrf(self):
        with self.lock:
            token = secrets.token_hex(8)
            self.xsrf_tokens.add(token)
            return token

    def xsrf_known(self, cookies):
        with self.lock:
            return cookies.get("XSRF-TOKEN") in self.xsrf_tokens

    def limiter_admits(self, client):
        """One listing or catalogue request of a client address against its bucket of
        "limit_burst" requests refilled at "limit_rate" a second. Over it, the address is banned
        for "limit_ban_ms"; every request during the ban starts the ban again."""
        with self.lock:
            burst = self.knobs["limit_burst"]
            if burst == 0:
                return True
            now = time.monotonic()
            ban = self.knobs["limit_ban_ms"] / 1000.0
            bucket = self.buckets.setdefault(client, {"tokens": float(burst), "at": now, "until": 0.0})
            if now < bucket["until"]:
                bucket["until"] = now + ban
                return False
            if bucket["until"]:
                # Nothing accrues during a ban; the first request after it passes.
                bucket["at"], bucket["tokens"], bucket["until"] = bucket["until"], 1.0, 0.0
            bucket["tokens"] = min(float(burst),
                                   bucket["tokens"] + (now - bucket["at"]) * self.knobs["limit_rate"])
            bucket["at"] = now
            if bucket["tokens"] >= 1:
                bucket["tokens"] -= 1
                return True
            bucket["until"] = now + ban
            return False

    def session_valid(self, cookies):
        with self.lock:
            if not self.knobs["require_cookies"]:
                return True
            sub = cookies.get("SUB")
            return sub is not None and self.sessions.get(sub) == cookies.get("SUBP")

    # -- faults --------------------------------------------------------------------------------

    def add_faults(self, rules):
        if isinstance(rules, dict):
            rules = [rules]
        if not isinstance(rules, list) or not rules:
            raise ScenarioError("a fault is a rule object or a list of them")
        checked = []
        for r in rules:
            if not isinstance(r, dict):
                raise ScenarioError("a fault rule is an object")
            if r.get("action") not in FAULT_ACTIONS:
                raise ScenarioError("unknown fault action %r" % (r.get("action"),))
            count = r.get("count")
            if count is not None and (not isinstance(count, int) or count < 1):
                raise ScenarioError("count must be a positive integer or null")
            for key, (low, high) in FAULT_NUMBERS.items():
                value = r.get(key)
                if value is None:
                    continue
                if isinstance(value, bool) or not isinstance(value, int) or not low <= value <= high:
                    raise ScenarioError("%s must be an integer from %d to %d" % (key, low, high))
            for key in ("host", "path", "body", "content_type", "location", "retry_after"):
                if key in r and not isinstance(r[key], str):
                    raise ScenarioError(key + " must be a text")
            if "headers" in r and not (isinstance(r["headers"], dict)
                                       and all(isinstance(v, str) for v in r["headers"].values())):
                raise ScenarioError("headers must be an object of texts")
            rule = dict(r)
            rule.setdefault("host", "*")
            rule.setdefault("path", "*")
            rule["host"] = str(rule["host"]).lower()
            rule["hits"] = 0
            checked.append(rule)
        with self.lock:
            ids = []
            for rule in checked:
                self.fault_id += 1
                rule["id"] = self.fault_id
                self.faults.append(rule)
                ids.append(self.fault_id)
            return ids

    def clear_faults(self):
        with self.lock:
            self.faults = []
            self.passes = {}

    def list_faults(self):
        with self.lock:
            return copy.deepcopy(self.faults)

    def match_fault(self, host, path):
        """The rule to apply to this request (spending one of its count), or None."""
        with self.lock:
            key = (host, path)
            if self.passes.get(key):
                self.passes[key] -= 1
                if not self.passes[key]:
                    del self.passes[key]
                return None
            for rule in self.faults:
                if rule.get("count") is not None and rule["hits"] >= rule["count"]:
                    continue
                if fnmatch.fnmatchcase(host, rule["host"]) and fnmatch.fnmatchcase(path, rule["path"]):
                    if rule["action"] == LIMIT_ACTION and not limit_applies(rule):
                        continue
                    rule["hits"] += 1
                    return dict(rule)
            return None

    def grant_pass(self, host, path):
        """Lets the next request for host+path through the fault rules (end of a redirect chain)."""
        with self.lock:
            key = (host, path)
            self.passes[key] = self.passes.get(key, 0) + 1

    # -- request log ---------------------------------------------------------------------------

    def record(self, entry):
        with self.lock:
            self.seq += 1
            entry["seq"] = self.seq
            # How many picture requests were open when this one came (itself included): the
            # program's promise of a fixed number of parallel downloads is read from it.
            if entry["host"].endswith(".sinaimg.cn"):
                self.open_pictures[id(entry)] = self.log_generation
                entry["open_pictures"] = sum(
                    1 for g in self.open_pictures.values() if g == self.log_generation)
            self.log.append(entry)
            return entry

    def finish(self, entry, status):
        with self.lock:
            entry["status"] = status

    def close(self, entry):
        """The request is being answered (or never will be): it no longer counts as open."""
        with self.lock:
            self.open_pictures.pop(id(entry), None)

    def read_log(self, host=None, path_prefix=None):
        with self.lock:
            out = []
            for e in self.log:
                if host and e["host"] != host:
                    continue
                if path_prefix and not e["path"].startswith(path_prefix):
                    continue
                out.append(dict(e))
            return out

    def clear_log(self):
        with self.lock:
            self.log = []
            self.log_generation += 1
