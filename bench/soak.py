#!/usr/bin/env python3
"""Start-up soak (scripts/soak runs it): N rounds in which Pictalon starts, shows its window, signs
in through the stand-in's QR flow and is closed. Prints every failure by kind with the program's
own log (Wine's error channel included), then the tally.

Inside one sandbox (default), or with --fresh-sandbox each round in a sandbox of its own, as
scripts/demo makes one (then --round runs one round inside it and prints one JSON line:
{"kind": "ok" | <failure kind>, "detail": ..., "seconds": {...}})."""

import argparse
import json
import os
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # keep the source folders clean
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

LOGIN_DONE = "  状态:登录成功,请输入微博主页分析相册"


def one_round(log_name):
    import harness  # inside the sandbox only: it needs the stand-in's control address

    seconds = {}
    started = time.monotonic()
    ctl = harness.StandinControl()
    ctl.reset("today")
    ctl.qr_sequence(["confirmed"])
    harness.forget_settings()
    program = harness.Program(harness.pictalon_exe(), log_name=log_name)
    driver = harness.Driver()

    def outcome(kind, detail=""):
        seconds["total"] = round(time.monotonic() - started, 2)
        return {"kind": kind, "detail": detail, "seconds": seconds}

    try:
        try:
            driver.find(timeout_ms=60000)
        except harness.DriverError as e:
            if program.running():
                return outcome("no window, still running", str(e))
            return outcome("no window, exited", "exit code %s" % program.process.returncode)
        seconds["window"] = round(time.monotonic() - started, 2)
        seen, last = driver.wait_status(LOGIN_DONE, timeout_ms=60000)
        if not seen:
            return outcome("not signed in", "status stayed at %r" % last)
        seconds["signed in"] = round(time.monotonic() - started, 2)
        driver.close()
        code = program.wait(30)
        if code is None:
            return outcome("still running after close")
        if code != 0:
            return outcome("exit code after close", "exit code %s" % code)
        return outcome("ok")
    except harness.DriverError as e:
        return outcome("driver failed", str(e))
    finally:
        program.stop()


def run_round(index, logs):
    """One sandbox, one round; the result dictionary, with the sandbox's own words on failure."""
    env = dict(os.environ, PICT_ARTIFACTS=logs)
    cmd = [os.path.join(ROOT, "scripts", "sandbox"), sys.executable, os.path.abspath(__file__),
           "--round", "soak-%03d" % index]
    started = time.monotonic()
    done = subprocess.run(cmd, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE)
    for line in reversed(done.stdout.decode("utf-8", "replace").splitlines()):
        if line.startswith("{"):
            result = json.loads(line)
            result["seconds"]["sandbox"] = round(time.monotonic() - started, 2)
            return result
    text = (done.stderr or done.stdout).decode("utf-8", "replace").strip()
    return {"kind": "sandbox failed", "detail": "exit %d: %s" % (done.returncode, text[-2000:]),
            "seconds": {"sandbox": round(time.monotonic() - started, 2)}}


def build_dir():
    return os.environ.get("PICT_BUILD") or os.path.join(ROOT, "build")


def program_log(logs, index):
    path = os.path.join(logs, "soak-%03d.log" % index)
    try:
        with open(path, "rb") as f:
            text = f.read().decode("utf-8", "replace").strip()
    except OSError:
        return "(no log at %s)" % path
    return text[-3000:] if text else "(the program's log %s is empty)" % path


def soak(count, fresh):
    logs = os.environ.get("PICT_ARTIFACTS") or os.path.join(build_dir(), "logs")
    os.makedirs(logs, exist_ok=True)
    for name in os.listdir(logs):
        if name.startswith("soak-"):
            os.remove(os.path.join(logs, name))
    failures, totals = {}, []
    started = time.monotonic()
    for index in range(1, count + 1):
        if fresh:
            result = run_round(index, logs)
        else:
            try:
                result = one_round("soak-%03d" % index)
            except Exception as e:  # a round that breaks the harness is a failure, not the end
                result = {"kind": "harness failed", "detail": repr(e), "seconds": {"total": 0.0}}
        result["seconds"].setdefault("sandbox", result["seconds"]["total"])
        totals.append(result["seconds"]["sandbox"])
        if result["kind"] == "ok":
            print("soak %d/%d: ok (window after %.1f s, signed in after %.1f s, round %.1f s)" % (
                index, count, result["seconds"]["window"], result["seconds"]["signed in"],
                result["seconds"]["sandbox"]), flush=True)
            continue
        failures.setdefault(result["kind"], []).append(index)
        print("soak %d/%d: FAILED, %s: %s" % (index, count, result["kind"], result["detail"]),
              flush=True)
        print("  program log:\n    " + program_log(logs, index).replace("\n", "\n    "),
              flush=True)
    print()
    print("soak: %d rounds in %.0f s (%.1f s a round on average, slowest %.1f s)" % (
        count, time.monotonic() - started, sum(totals) / max(1, len(totals)), max(totals or [0])))
    if not failures:
        print("soak: 0 failures")
        return 0
    print("soak: %d failures" % sum(len(v) for v in failures.values()))
    for kind, rounds in sorted(failures.items()):
        print("  %s: %d (rounds %s)" % (kind, len(rounds), ", ".join(map(str, rounds))))
    print("soak: the program logs are in %s" % logs)
    return 1


def main():
    parser = argparse.ArgumentParser(prog="scripts/soak",
                                     description="Starts, signs in and closes Pictalon N times, "
                                                 "each in a fresh sandbox.")
    parser.add_argument("count", nargs="?", type=int, default=200, help="rounds (default 200)")
    parser.add_argument("--fresh-sandbox", action="store_true",
                        help="each round in a sandbox of its own, as scripts/demo starts one")
    parser.add_argument("--round", metavar="LOG_NAME", help=argparse.SUPPRESS)
    options = parser.parse_args()
    if options.round:
        print(json.dumps(one_round(options.round), ensure_ascii=False), flush=True)
        return 0
    if options.count < 1:
        parser.error("the number of rounds must be at least 1")
    if not options.fresh_sandbox and os.environ.get("PICT_IN_SANDBOX") != "1":
        parser.error("run it through scripts/soak, which starts the sandbox")
    return soak(options.count, options.fresh_sandbox)


if __name__ == "__main__":
    sys.exit(main())
