#!/usr/bin/env python3
"""The demo's inside half (scripts/demo runs it in the sandbox): Pictalon against the stand-in's
demo scenario, signed in by the scenario's scripted scan, the demo owner analysed, one album
downloaded, the files listed and screenshots kept. With --watch the window is left to the user.
Every run ends by saying where the program's own log is (pictalon.log in the Wine prefix's
%LOCALAPPDATA%\Pictalon); demo-pictalon.log beside the screenshots is Wine's error output for
the program, empty on a clean run."""

import argparse
import glob
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
WINDOW_SECONDS = 60
# The size Pictalon starts with: "高清".
SIZE = "高清 (high definition, the size Pictalon starts with)"
SHOTS = ("1-login.png", "2-albums.png", "3-menu.png", "4-downloaded.png")


class DemoFailure(Exception):
    """Something the user is told in one line."""


class NoSuchAlbum(DemoFailure):
    """A wish the demo cannot meet; Pictalon did nothing wrong."""


def say(text):
    print("demo: " + text, flush=True)


def fail_if_gone(program):
    if not program.running():
        raise DemoFailure("Pictalon exited with code %s" % program.process.returncode)


def step(driver, program, wanted, what, timeout_ms=60000, contains=False):
    seen, last = driver.wait_status(wanted, contains=contains, timeout_ms=timeout_ms)
    if not seen:
        fail_if_gone(program)
        raise DemoFailure("%s did not happen within %d s; the status line says %r" % (
            what, timeout_ms // 1000, last.strip()))
    say("%s: %s" % (what, last.strip()))
    return last


def files_written(run):
    written = []
    for folder, _, files in os.walk(run):
        for name in files:
            path = os.path.join(folder, name)
            # Each album folder's record of its pictures is not one of them.
            if path != os.path.join(run, "Pictalon.exe") and name != ".pictalon-album":
                written.append(path)
    return sorted(written)


def own_log():
    """Pictalon's own log: in the Wine prefix's %LOCALAPPDATA%\\Pictalon."""
    data = harness.pictalon_data_folder()
    return os.path.join(data, "pictalon.log") if data else "(no Wine user folder yet)"


def all_albums(driver, program):
    """"下载全部相册", then once more: the second run finds every picture already there. The
    time of the first."""
    started = time.monotonic()
    driver.command(10006)
    step(driver, program, "全部相册下载", "download of every album", timeout_ms=300000,
         contains=True)
    took = time.monotonic() - started
    driver.command(10006)
    step(driver, program, "新下载 0张", "the same again: nothing fetched", timeout_ms=300000,
         contains=True)
    return took


def demo(options, out, run, program):
    driver = harness.Driver()
    try:
        driver.find(timeout_ms=WINDOW_SECONDS * 1000)
    except harness.DriverError:
        fail_if_gone(program)
        raise DemoFailure("the window did not appear within %d s" % WINDOW_SECONDS) from None
    if options.watch:
        say("the window is yours: the scan is simulated in a few seconds, then type a home "
            "page such as http://weibo.com/u/%s and press 分析. Close the window to end."
            % DEMO_OWNER)
        program.wait(None)
        return 0

    step(driver, program, "扫一扫", "QR code on show", contains=True)
    driver.shot(os.path.join(out, SHOTS[0]))
    step(driver, program, LOGIN_DONE, "signed in by the simulated scan")

    driver.tab(1)
    driver.set_edit(0, "http://weibo.com/u/%s" % DEMO_OWNER)
    driver.click("分析")
    step(driver, program, CATALOGUE_DONE, "albums listed")
    items = driver.list()["items"]
    for item in items:
        say("  album %d: %s" % (item["index"], item["text"]))
    driver.shot(os.path.join(out, SHOTS[1]))
    if options.album >= len(items):
        driver.close(wait=True)
        raise NoSuchAlbum("there is no album %d: the demo owner has %d albums, 0 to %d" % (
            options.album, len(items), len(items) - 1))

    driver.select(options.album)
    driver.rclick(options.album, shot=os.path.join(out, SHOTS[2]))
    if options.all_albums:
        what = "every album (%d)" % len(items)
        took = all_albums(driver, program)
    else:
        what = items[options.album]["text"]
        started = time.monotonic()
        driver.command(10000)
        step(driver, program, "全部下载完成", "download of %s" % what, timeout_ms=300000,
             contains=True)
        took = time.monotonic() - started
    driver.shot(os.path.join(out, SHOTS[3]))

    written = files_written(run)
    for path in written:
        say("  wrote %s" % os.path.relpath(path, run))
    driver.close(wait=True)
    code = program.wait(30)
    print()
    say("downloaded %s at size %s" % (what if options.all_albums else "album " + what, SIZE))
    folders = sorted({os.path.dirname(p) for p in written})
    size = sum(os.path.getsize(p) for p in written)
    amount = "%.1f MB" % (size / 1e6) if size >= 1e6 else "%d KB" % round(size / 1e3)
    say("%d files, %s, in %s" % (len(written), amount, ", ".join(folders) if folders else run))
    say("the download took %.1f s" % took)
    say("screenshots in %s: %s" % (out, ", ".join(SHOTS)))
    if code is None:
        raise DemoFailure("Pictalon is still running 30 s after it was closed")
    if code != 0:
        raise DemoFailure("Pictalon ended with exit code %s when it was closed" % code)
    say("Pictalon closed cleanly (exit code 0)")
    return 0 if written else 1


def main():
    parser = argparse.ArgumentParser(prog="scripts/demo")
    parser.add_argument("--out", required=True, help="folder for the run and its screenshots")
    parser.add_argument("--album", type=int, default=0, help="0-based album to download")
    parser.add_argument("--all-albums", action="store_true",
                        help="下载全部相册 over every album of the demo owner, twice")
    parser.add_argument("--watch", action="store_true", help="leave the window to the user")
    options = parser.parse_args()

    exe = harness.pictalon_exe()
    if exe is None:
        say("Pictalon.exe is not built in %s" % harness.win_build())
        return 1
    out = os.path.abspath(options.out)
    run = os.path.join(out, "run")
    shutil.rmtree(run, ignore_errors=True)
    for old in glob.glob(os.path.join(out, "*.png")):
        os.remove(old)  # screenshots of an earlier run would pass for this one's
    os.makedirs(run)
    shutil.copy2(exe, os.path.join(run, "Pictalon.exe"))
    os.environ.setdefault("PICT_ARTIFACTS", out)
    wine_errors = os.path.join(harness.artifacts_dir(), "demo-pictalon.log")
    # The demo starts as a first start does: the size and save folder it shows are the defaults,
    # whatever an earlier demo (--watch) kept.
    harness.forget_settings()

    ctl = harness.StandinControl()
    ctl.reset("today")
    ctl.scenario("demo")  # its QR script: waiting a while, scanned, then confirmed
    say("stand-in ready with the demo scenario; starting Pictalon from %s" % run)
    program = harness.Program(os.path.join(run, "Pictalon.exe"), log_name="demo-pictalon")
    try:
        code = demo(options, out, run, program)
        say("Pictalon's own log: %s" % own_log())
        return code
    except NoSuchAlbum as e:
        say(str(e))
        return 2
    except (DemoFailure, harness.DriverError) as e:
        text = str(e)
        if isinstance(e, harness.DriverError):
            still = "still running but does not answer" if program.running() else \
                "gone (exit code %s)" % program.process.returncode
            text = "the window driver could not go on, Pictalon is %s (%s)" % (still, text)
        say("FAILED: " + text)
        say("Pictalon's own log: %s; Wine's errors for it: %s" % (own_log(), wine_errors))
        for line in harness.run_log_tail():
            say(line)
        return 1
    except Exception as e:  # anything else still ends in words, not a traceback
        say("FAILED: the demo itself broke (%s: %s)" % (type(e).__name__, e))
        say("Pictalon's own log: %s; Wine's errors for it: %s" % (own_log(), wine_errors))
        for line in harness.run_log_tail():
            say(line)
        return 1
    finally:
        program.stop()


if __name__ == "__main__":
    sys.exit(main())
