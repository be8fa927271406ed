#!/usr/bin/env python3
"""The demo's inside half (scripts/demo runs it in the sandbox): Pictalon against the stand-in's
demo scenario, signed in by the scenario's scripted scan, the demo owner analysed, one album
downloaded, the files listed and screenshots kept. With --watch the window is left to the user."""

import argparse
import os
import shutil
import sys
import time

sys.dont_write_bytecode = True  # keep the source folders clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import harness  # noqa: E402

S = "  状态:"
LOGIN_DONE = S + "登录成功,请输入微博主页分析相册"
CATALOGUE_DONE = S + "获取相册信息完成,请选择相册单击鼠标右键开始下载;"
DEMO_OWNER = "1234567890"


def say(text):
    print("demo: " + text, flush=True)


def step(driver, wanted, what, timeout_ms=60000, contains=False):
    seen, last = driver.wait_status(wanted, contains=contains, timeout_ms=timeout_ms)
    if not seen:
        raise SystemExit("demo: %s did not happen; the status line says %r" % (what, last))
    say("%s: %s" % (what, last.strip()))
    return last


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--out", required=True, help="folder for the run and its screenshots")
    parser.add_argument("--album", type=int, default=0, help="0-based album to download")
    parser.add_argument("--watch", action="store_true", help="leave the window to the user")
    options = parser.parse_args()

    exe = harness.pictalon_exe()
    if exe is None:
        raise SystemExit("demo: Pictalon.exe is not built in %s" % harness.win_build())
    out = os.path.abspath(options.out)
    run = os.path.join(out, "run")
    shutil.rmtree(run, ignore_errors=True)
    os.makedirs(run)
    shutil.copy2(exe, os.path.join(run, "Pictalon.exe"))
    os.environ.setdefault("PICT_ARTIFACTS", out)

    ctl = harness.StandinControl()
    ctl.reset()
    ctl.scenario("demo")  # its QR script: waiting a while, scanned, then confirmed
    say("stand-in ready with the demo scenario; starting Pictalon from %s" % run)
    program = harness.Program(os.path.join(run, "Pictalon.exe"), log_name="demo-pictalon")
    try:
        driver = harness.Driver()
        driver.find(timeout_ms=60000)
        if options.watch:
            say("the window is yours: the scan is simulated in a few seconds, then type a home "
                "page such as http://weibo.com/u/%s and press 分析. Close the window to end."
                % DEMO_OWNER)
            program.wait(None)
            return 0

        step(driver, "扫一扫", "QR code on show", contains=True)
        driver.shot(os.path.join(out, "1-login.png"))
        step(driver, LOGIN_DONE, "signed in by the simulated scan")

        driver.tab(1)
        driver.set_edit(0, "http://weibo.com/u/%s" % DEMO_OWNER)
        driver.click("分析")
        step(driver, CATALOGUE_DONE, "albums listed")
        items = driver.list()["items"]
        for item in items:
            say("  album %d: %s" % (item["index"], item["text"]))
        driver.shot(os.path.join(out, "2-albums.png"))

        driver.select(options.album)
        started = time.monotonic()
        driver.command(10000)
        step(driver, "全部下载完成", "download of %s" % items[options.album]["text"],
             timeout_ms=300000, contains=True)
        say("the run took %.1f s" % (time.monotonic() - started))
        driver.shot(os.path.join(out, "3-downloaded.png"))

        written = []
        for folder, _, files in os.walk(run):
            for name in files:
                path = os.path.join(folder, name)
                if path != os.path.join(run, "Pictalon.exe"):
                    written.append(os.path.relpath(path, run))
        for path in sorted(written):
            say("  wrote %s" % path)
        say("%d files written under %s" % (len(written), run))
        say("screenshots: %s" % ", ".join(
            os.path.join(out, n) for n in ("1-login.png", "2-albums.png", "3-downloaded.png")))
        result, _ = driver.close(wait=True)
        say("Pictalon closed: %s" % result)
        return 0 if written else 1
    finally:
        program.stop()


if __name__ == "__main__":
    sys.exit(main())
