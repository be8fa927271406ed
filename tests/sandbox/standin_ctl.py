#!/usr/bin/env python3
"""Client of the stand-in's control API for Python and bash drivers (see README.md).

As a module: StandinControl().reset(), .scenario("demo"), .qr("scanned"), .fault({...}), .log().
As a command: standin_ctl.py reset [PROFILE] | scenario NAME | scenario-file PATH | qr STATE|CODE |
qr-seq S1 S2 ... | refuse MODE|none | knobs JSON | session | fault JSON | faults |
clear-faults | log [HOST] | clear-log
"""

import http.client
import json
import os
import sys
import urllib.parse


class StandinError(RuntimeError):
    pass


class StandinControl:
    def __init__(self, base=None, host_header="control.test"):
        base = base or os.environ.get("STANDIN_CONTROL", "http://control.test")
        parts = urllib.parse.urlsplit(base)
        self.host = parts.hostname or "control.test"
        self.port = parts.port or 80
        self.host_header = host_header

    def call(self, method, path, body=None):
        """Returns the decoded JSON answer; raises StandinError on a refusal."""
        data = None if body is None else (body if isinstance(body, (bytes, str)) else json.dumps(body))
        if isinstance(data, str):
            data = data.encode("utf-8")
        conn = http.client.HTTPConnection(self.host, self.port, timeout=30)
        try:
            conn.request(method, path, body=data,
                         headers={"Host": self.host_header, "Content-Type": "application/json"})
            answer = conn.getresponse()
            text = answer.read()
        finally:
            conn.close()
        result = json.loads(text.decode("utf-8")) if text else {}
        if answer.status != 200:
            raise StandinError("%s %s: %s %s" % (method, path, answer.status, result.get("error", text)))
        return result

    def reset(self, profile=None):
        """Back to the default scenario, with the knobs of a profile ("today": the service as
        its users meet it now) when one is named."""
        suffix = "?profile=" + urllib.parse.quote(profile) if profile else ""
        return self.call("POST", "/reset" + suffix)

    def scenario(self, name):
        return self.call("POST", "/scenario?name=" + urllib.parse.quote(name))

    def scenario_json(self, scenario):
        return self.call("POST", "/scenario", scenario)

    def current_scenario(self):
        return self.call("GET", "/scenario")["scenario"]

    def qr(self, state):
        key = "code" if isinstance(state, int) else "state"
        return self.call("POST", "/qr", {key: state})

    def qr_sequence(self, states):
        return self.call("POST", "/qr", {"sequence": list(states)})

    def qr_refuse(self, mode):
        return self.call("POST", "/qr", {"refuse": mode})

    def qr_status(self):
        return self.call("GET", "/qr")

    def knobs(self, values):
        return self.call("POST", "/knobs", values)

    def session(self):
        return self.call("POST", "/session")["cookie"]

    def fault(self, rule):
        return self.call("POST", "/faults", rule)["ids"]

    def faults(self):
        return self.call("GET", "/faults")["faults"]

    def clear_faults(self):
        return self.call("DELETE", "/faults")

    def log(self, host=None, path=None):
        query = {k: v for k, v in (("host", host), ("path", path)) if v}
        suffix = "?" + urllib.parse.urlencode(query) if query else ""
        return self.call("GET", "/log" + suffix)["requests"]

    def clear_log(self):
        return self.call("DELETE", "/log")


def main(argv):
    if not argv:
        sys.stderr.write(__doc__)
        return 2
    ctl = StandinControl()
    cmd, args = argv[0], argv[1:]
    try:
        if cmd == "reset" and len(args) <= 1:
            result = ctl.reset(args[0] if args else None)
        elif cmd == "scenario" and len(args) == 1:
            result = ctl.scenario(args[0])
        elif cmd == "scenario-file" and len(args) == 1:
            with open(args[0], encoding="utf-8") as f:
                result = ctl.scenario_json(json.load(f))
        elif cmd == "qr" and len(args) == 1:
            result = ctl.qr(int(args[0]) if args[0].isdigit() else args[0])
        elif cmd == "qr-seq" and args:
            result = ctl.qr_sequence(args)
        elif cmd == "refuse" and len(args) == 1:
            result = ctl.qr_refuse(None if args[0] == "none" else args[0])
        elif cmd == "knobs" and len(args) == 1:
            result = ctl.knobs(json.loads(args[0]))
        elif cmd == "session":
            result = ctl.session()
        elif cmd == "fault" and len(args) == 1:
            result = ctl.fault(json.loads(args[0]))
        elif cmd == "faults":
            result = ctl.faults()
        elif cmd == "clear-faults":
            result = ctl.clear_faults()
        elif cmd == "log" and len(args) <= 1:
            result = ctl.log(args[0] if args else None)
        elif cmd == "clear-log":
            result = ctl.clear_log()
        else:
            sys.stderr.write(__doc__)
            return 2
    except (StandinError, OSError, ValueError) as e:
        sys.stderr.write("standin_ctl: %s\n" % e)
        return 1
    print(result if isinstance(result, str) else json.dumps(result, ensure_ascii=False, indent=1))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
