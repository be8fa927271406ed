"""Shared pieces of the end-to-end tests: where the build is, the window driver, a running
program under Wine, pictures read back from screenshots and the stand-in's control client.

Everything here expects to run inside scripts/sandbox (WINEPREFIX, DISPLAY and STANDIN_CONTROL
set). The build folder comes from PICT_WIN_BUILD (<build>/win) or, failing that, build/win."""

import glob
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tests", "sandbox"))

from standin_ctl import StandinControl  # noqa: E402  (path set just above)


def win_build():
    return os.path.abspath(os.environ.get("PICT_WIN_BUILD") or os.path.join(ROOT, "build", "win"))


def artifacts_dir():
    folder = os.environ.get("PICT_ARTIFACTS") or os.path.join(os.path.dirname(win_build()),
                                                              "artifacts")
    os.makedirs(folder, exist_ok=True)
    return folder


def driver_exe():
    return os.path.join(win_build(), "tests", "driver", "pictalon_driver.exe")


def fixture_exe():
    return os.path.join(win_build(), "tests", "driver", "driver_fixture.exe")


def pictalon_exe():
    for candidate in (os.path.join(win_build(), "src", "app", "exe", "Pictalon.exe"),
                      os.path.join(win_build(), "Pictalon.exe")):
        if os.path.isfile(candidate):
            return candidate
    return None


def _prepare_locale():
    """Wine needs the Unix locale it runs under to exist to create non-ASCII file names. A locale
    asked for with LANG_OVERRIDE (zh_CN.UTF-8, en_US.UTF-8) that this machine lacks is compiled
    once into <build>/locale and found through LOCPATH."""
    wanted = os.environ.get("LC_ALL") or os.environ.get("LANG") or ""
    if not wanted or wanted in ("C", "POSIX") or wanted.lower().startswith("c."):
        return
    listed = subprocess.run(["locale", "-a"], stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL).stdout.decode().split()
    norm = wanted.lower().replace("utf-8", "utf8")
    if any(name.lower() == norm for name in listed):
        return
    where = os.path.join(os.path.dirname(win_build()), "locale")
    target = os.path.join(where, wanted)
    if not os.path.isdir(target):
        language, _, charset = wanted.partition(".")
        os.makedirs(where, exist_ok=True)
        subprocess.run(["localedef", "-i", language, "-f", charset or "UTF-8", target],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if os.path.isdir(target):
        os.environ["LOCPATH"] = where


_prepare_locale()


class DriverError(AssertionError):
    """A driver command failed; the message carries the driver's own explanation."""


class Driver:
    """One pictalon_driver.exe run per call; answers come back decoded (text or JSON)."""

    def __init__(self, exe=None, window_class=None, title=None):
        self.exe = exe or driver_exe()
        self.flags = []
        if window_class:
            self.flags += ["--class", window_class]
        if title:
            self.flags += ["--title", title]

    def run(self, *args, timeout_ms=10000, check=True):
        out, err, code = self._run_once(args, timeout_ms)
        if code != 0 and not out.strip() and not err.strip():
            # The driver always says why it failed; silence means Wine never got it started
            # (seen once on a loaded machine), so one more start is fair.
            out, err, code = self._run_once(args, timeout_ms)
        if check and code != 0:
            raise DriverError("driver %s failed (%d): %s %s" % (
                " ".join(str(a) for a in args), code, err.strip(), out.strip()))
        return out, code

    def _run_once(self, args, timeout_ms):
        cmd = ["wine", self.exe] + self.flags + ["--timeout", str(timeout_ms)] + [str(a) for a in args]
        # Files, not pipes: Wine's helper processes started along the way inherit the handles
        # and would keep a pipe open long after the driver has ended.
        with tempfile.TemporaryFile() as out_file, tempfile.TemporaryFile() as err_file:
            process = subprocess.Popen(cmd, stdout=out_file, stderr=err_file,
                                       stdin=subprocess.DEVNULL)
            try:
                code = process.wait(timeout=timeout_ms / 1000.0 + 60)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
                raise
            out_file.seek(0)
            err_file.seek(0)
            out = out_file.read().decode("utf-8", "replace")
            err = err_file.read().decode("utf-8", "replace")
        return out, err, code

    def start(self, *args, timeout_ms=10000):
        """Runs a command in the background (a status watch while the test acts)."""
        return BackgroundCommand(["wine", self.exe] + self.flags + ["--timeout", str(timeout_ms)] +
                                 [str(a) for a in args], timeout_ms)

    def text(self, *args, **kw):
        out, _ = self.run(*args, **kw)
        return out[:-1] if out.endswith("\n") else out

    def json(self, *args, **kw):
        out, _ = self.run(*args, **kw)
        return json.loads(out)

    # The commands, one method each.
    def find(self, timeout_ms=20000):
        return self.json("find", timeout_ms=timeout_ms)

    def status(self):
        return self.text("status")

    def watch_status(self, until=None, timeout_ms=20000):
        args = ["watch-status"] + ([] if until is None else ["--until", until])
        return self.start(*args, timeout_ms=timeout_ms)

    def wait_status(self, text, contains=False, timeout_ms=20000):
        args = ["wait-status", text] + (["--contains"] if contains else [])
        out, code = self.run(*args, timeout_ms=timeout_ms, check=False)
        return code == 0, out.rstrip("\n")

    def get_edit(self, n):
        return self.text("get-edit", n)

    def set_edit(self, n, text):
        self.run("set-edit", n, text)

    def click(self, caption_or_id, force=False, check=True):
        return self.run("click", caption_or_id, *(["--force"] if force else []), check=check)

    def buttons(self):
        return self.json("buttons")

    def tabs(self):
        return self.json("tabs")

    def tab(self, which):
        return self.json("tab", which)

    def list(self, wait_count=None, timeout_ms=20000):
        if wait_count is None:
            return self.json("list")
        return self.json("list", "--wait-count", wait_count, timeout_ms=timeout_ms)

    def select(self, index):
        return self.json("select", index)

    def command(self, ident):
        self.run("command", ident)

    def rclick(self, index=None, pick=None, shot=None):
        """Right-clicks an album (or an empty spot); picks a menu item, or with shot keeps a
        picture of the menu with its size sub-menu open, or just closes the menu."""
        args = ["rclick"] + ([] if index is None else [index])
        if pick is not None:
            args += ["--pick", pick]
        if shot is not None:
            args += ["--shot", shot]
        answer = self.json(*args)
        if shot is not None:
            compress_png(shot)
        return answer

    def boxes(self):
        return self.json("boxes")

    def answer(self, title=None, timeout_ms=20000):
        args = ["answer"] + ([] if title is None else ["--title", title])
        return self.json(*args, timeout_ms=timeout_ms)

    def rects(self):
        return self.json("rects")

    def resize(self, width, height):
        return self.json("resize", width, height)

    def close(self, wait=False, timeout_ms=30000):
        out, code = self.run("close", *(["--wait"] if wait else []), timeout_ms=timeout_ms,
                             check=False)
        return (json.loads(out) if out.strip() else None), code

    def shot(self, path, client=False):
        args = ["shot", path] + (["--client"] if client else [])
        answer = self.json(*args)
        if path.lower().endswith(".png"):
            compress_png(path)
        return answer

    def post(self, name):
        """Posts the registered window message NAME to the main window."""
        self.run("post", name)


class BackgroundCommand:
    def __init__(self, cmd, timeout_ms):
        self.out = tempfile.TemporaryFile()
        self.timeout = timeout_ms / 1000.0 + 60
        self.process = subprocess.Popen(cmd, stdout=self.out, stderr=subprocess.DEVNULL,
                                        stdin=subprocess.DEVNULL)

    def result(self):
        """(exit code, stdout text) once the command has ended."""
        try:
            code = self.process.wait(timeout=self.timeout)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            raise
        self.out.seek(0)
        text = self.out.read().decode("utf-8", "replace")
        self.out.close()
        return code, text


class Program:
    """A Windows program started under Wine; stop() ends it if the test did not."""

    def __init__(self, exe, args=(), cwd=None, log_name="program"):
        self.exe = exe
        self.log = open(os.path.join(artifacts_dir(), log_name + ".log"), "wb")
        self.started = time.monotonic()
        # Wine's error channel for the program only: what went wrong before its window showed
        # (no display, a DLL refused) lands in the program's own log.
        env = dict(os.environ, WINEDEBUG="-all,err+all")
        self.process = subprocess.Popen(["wine", exe] + list(args), cwd=cwd or os.path.dirname(exe),
                                        stdout=self.log, stderr=subprocess.STDOUT,
                                        stdin=subprocess.DEVNULL, env=env)

    def running(self):
        return self.process.poll() is None

    def wait(self, timeout):
        """Exit code, or None when it is still running after timeout seconds."""
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            return None

    def stop(self):
        if self.running():
            self.process.kill()
            self.process.wait(timeout=30)
        self.log.close()


def fresh_program_folder(label):
    """A new folder holding a copy of Pictalon.exe: its save folder starts empty."""
    exe = pictalon_exe()
    if exe is None:
        raise unittest_skip("Pictalon.exe is not built yet")
    folder = tempfile.mkdtemp(prefix="pict-%s-" % label, dir=work_root())
    copy = os.path.join(folder, "Pictalon.exe")
    shutil.copy2(exe, copy)
    return folder, copy


_work_root_cleared = False


def work_root():
    """Folder of the per-test program copies; emptied once per test process, then kept for a
    look after a failure."""
    global _work_root_cleared
    root = os.path.join(os.path.dirname(win_build()), "e2e-work")
    if not _work_root_cleared:
        shutil.rmtree(root, ignore_errors=True)
        _work_root_cleared = True
    os.makedirs(root, exist_ok=True)
    return root


def unittest_skip(reason):
    import unittest
    return unittest.SkipTest(reason)


# ---- Wine's screen dpi ----

_DESKTOP_KEY = r"HKCU\Control Panel\Desktop"


def _wine_reg(*args):
    with tempfile.TemporaryFile() as out:
        code = subprocess.run(["wine", "reg"] + list(args), stdout=out, stderr=subprocess.DEVNULL,
                              stdin=subprocess.DEVNULL).returncode
        out.seek(0)
        return code, out.read().decode("utf-8", "replace")


def use_own_local_app_data():
    """Programs started from now on keep their log, sign-in and settings in a %LOCALAPPDATA% of
    the tests' own (PICTALON_LOCALAPPDATA, beside the build), never in the Wine prefix's, where
    the demo and a user's own runs keep theirs."""
    folder = os.path.join(os.path.dirname(win_build()), "test-localappdata")
    os.makedirs(folder, exist_ok=True)
    os.environ["PICTALON_LOCALAPPDATA"] = "Z:" + folder.replace("/", "\\")


def pictalon_data_folder():
    """Where Pictalon keeps what lasts (its log, the sign-in, the settings); None when the Wine
    prefix has no user folder yet."""
    own = os.environ.get("PICTALON_LOCALAPPDATA", "")
    if own.startswith("Z:"):
        return os.path.join(own[2:].replace("\\", "/"), "Pictalon")
    prefix = os.environ.get("WINEPREFIX", "")
    users = glob.glob(os.path.join(prefix, "drive_c", "users", "*", "AppData", "Local"))
    users = [u for u in users if os.path.basename(os.path.dirname(os.path.dirname(u))) != "Public"]
    return os.path.join(users[0], "Pictalon") if users else None


def forget_settings():
    """The next start begins as a first one: with the default size and home page and the save
    folder beside its program file, whatever an earlier start kept."""
    folder = pictalon_data_folder()
    if folder and os.path.exists(os.path.join(folder, "settings.txt")):
        os.remove(os.path.join(folder, "settings.txt"))


def run_log_files():
    """Pictalon's own run log (pictalon.log, and pictalon.log.1 once it rolled)."""
    folder = pictalon_data_folder()
    return sorted(glob.glob(os.path.join(folder, "pictalon.log*"))) if folder else []


def saved_signin_path():
    """Where Pictalon keeps the sign-in between starts (it need not exist)."""
    folder = pictalon_data_folder()
    return os.path.join(folder, "signin.dat") if folder else None


def run_log_tail(lines=15):
    """Where the run log is and its last lines, for a failure report; empty when there is none."""
    files = [p for p in run_log_files() if p.endswith("pictalon.log")]
    if not files:
        return []
    with open(files[0], encoding="utf-8", errors="replace") as f:
        tail = f.read().splitlines()[-lines:]
    return ["Pictalon's run log: %s" % files[0]] + ["  " + line for line in tail]


def log_pixels():
    """Wine's screen dpi setting (LogPixels) in the prefix, None when it is not set."""
    code, text = _wine_reg("query", _DESKTOP_KEY, "/v", "LogPixels")
    for line in text.splitlines():
        parts = line.split()
        if code == 0 and len(parts) >= 3 and parts[0] == "LogPixels":
            return int(parts[-1], 0)
    return None


def set_log_pixels(dpi):
    """Sets the screen dpi for programs started from now on; None removes the setting."""
    if dpi is None:
        _wine_reg("delete", _DESKTOP_KEY, "/v", "LogPixels", "/f")
        return
    code, text = _wine_reg("add", _DESKTOP_KEY, "/v", "LogPixels", "/t", "REG_DWORD", "/d",
                           str(dpi), "/f")
    if code != 0:
        raise RuntimeError("wine reg add LogPixels failed: " + text)


def set_class_server(clsid, path):
    """Points a COM class of the prefix at another in-process server (a Windows path); returns
    the server it had, None when it had none."""
    key = "HKLM\\Software\\Classes\\CLSID\\%s\\InprocServer32" % clsid
    _, text = _wine_reg("query", key, "/ve")
    before = None
    for line in text.splitlines():
        if "REG_SZ" in line:
            before = line.split("REG_SZ", 1)[1].strip()
    code, text = _wine_reg("add", key, "/ve", "/d", path, "/f")
    if code != 0:
        raise RuntimeError("wine reg add %s failed: %s" % (key, text))
    return before


# ---- pictures ----

def compress_png(path):
    """Rewrites a PNG whose pixels the driver stored uncompressed with its data compressed: the
    same scanlines, a thousandth of the size for a window's flat colours."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        return
    at, head, idat = 8, [], b""
    while at + 8 <= len(data):
        length, = struct.unpack(">I", data[at:at + 4])
        kind, body = data[at + 4:at + 8], data[at + 8:at + 8 + length]
        if kind == b"IDAT":
            idat += body
        elif kind != b"IEND":
            head.append((kind, body))
        at += 12 + length

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    packed = zlib.compress(zlib.decompress(idat), 9)
    out = data[:8] + b"".join(chunk(k, b) for k, b in head) + chunk(b"IDAT", packed) + \
        chunk(b"IEND", b"")
    with open(path + ".part", "wb") as f:
        f.write(out)
    os.replace(path + ".part", path)


class Picture:
    """RGB pixels read from the PNG (any colour type 2/6, 8 bits) or BMP files the driver writes."""

    def __init__(self, width, height, rgb):
        self.width, self.height, self.rgb = width, height, rgb

    @staticmethod
    def load(path):
        with open(path, "rb") as f:
            data = f.read()
        if data[:2] == b"BM":
            return Picture._bmp(data)
        return Picture._png(data)

    @staticmethod
    def _png(data):
        if data[:8] != b"\x89PNG\r\n\x1a\n":
            raise ValueError("not a PNG")
        at, idat, width, height, kind = 8, b"", 0, 0, 2
        while at < len(data):
            length, = struct.unpack(">I", data[at:at + 4])
            ctype = data[at + 4:at + 8]
            body = data[at + 8:at + 8 + length]
            if ctype == b"IHDR":
                width, height, depth, kind = struct.unpack(">IIBB", body[:10])
                if depth != 8 or kind not in (2, 6):
                    raise ValueError("unsupported PNG")
            elif ctype == b"IDAT":
                idat += body
            at += 12 + length
        raw = zlib.decompress(idat)
        bpp = 3 if kind == 2 else 4
        stride = width * bpp
        rows, prev = [], bytearray(stride)
        for y in range(height):
            f = raw[y * (stride + 1)]
            line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
            for i in range(stride):
                a = line[i - bpp] if i >= bpp else 0
                b = prev[i]
                c = prev[i - bpp] if i >= bpp else 0
                if f == 1:
                    line[i] = (line[i] + a) & 255
                elif f == 2:
                    line[i] = (line[i] + b) & 255
                elif f == 3:
                    line[i] = (line[i] + (a + b) // 2) & 255
                elif f == 4:
                    p = a + b - c
                    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                    pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                    line[i] = (line[i] + pred) & 255
            rows.append(line)
            prev = line
        rgb = bytearray()
        for line in rows:
            if bpp == 3:
                rgb += line
            else:
                for x in range(width):
                    rgb += line[x * 4:x * 4 + 3]
        return Picture(width, height, bytes(rgb))

    @staticmethod
    def _bmp(data):
        offset, = struct.unpack("<I", data[10:14])
        width, height = struct.unpack("<ii", data[18:26])
        bits, = struct.unpack("<H", data[28:30])
        if bits != 24:
            raise ValueError("unsupported BMP")
        stride = (width * 3 + 3) & ~3
        rgb = bytearray()
        top_down = height < 0
        height = abs(height)
        for y in range(height):
            row_index = y if top_down else height - 1 - y
            row = data[offset + row_index * stride:offset + row_index * stride + width * 3]
            for x in range(width):
                b, g, r = row[x * 3:x * 3 + 3]
                rgb += bytes((r, g, b))
        return Picture(width, height, bytes(rgb))

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.rgb[i:i + 3])

    def crop(self, left, top, width, height):
        rgb = bytearray()
        for y in range(top, top + height):
            i = (y * self.width + left) * 3
            rgb += self.rgb[i:i + width * 3]
        return Picture(width, height, bytes(rgb))

    def colours(self):
        return {self.rgb[i:i + 3] for i in range(0, len(self.rgb), 3)}

    def mean(self):
        n = max(1, self.width * self.height)
        return tuple(sum(self.rgb[c::3]) / n for c in range(3))


def picture_comment(data):
    """The "<segment>/<name>" text the stand-in embeds in each picture (PNG tEXt Comment, JPEG
    COM segment or GIF comment extension); None when there is none."""
    if data[:8] == b"\x89PNG\r\n\x1a\n":
        at = 8
        while at + 8 <= len(data):
            length, = struct.unpack(">I", data[at:at + 4])
            if data[at + 4:at + 8] == b"tEXt":
                key, _, value = data[at + 8:at + 8 + length].partition(b"\0")
                if key == b"Comment":
                    return value.decode("latin-1")
            at += 12 + length
        return None
    if data[:2] == b"\xff\xd8":
        at = 2
        while at + 4 <= len(data) and data[at] == 0xFF:
            marker = data[at + 1]
            length, = struct.unpack(">H", data[at + 2:at + 4])
            if marker == 0xFE:
                return data[at + 4:at + 2 + length].decode("latin-1")
            if marker == 0xDA:
                return None
            at += 2 + length
        return None
    if data[:3] == b"GIF":
        marker = data.find(b"\x21\xfe")
        if marker < 0:
            return None
        at, text = marker + 2, b""
        while at < len(data) and data[at] != 0:
            size = data[at]
            text += data[at + 1:at + 1 + size]
            at += 1 + size
        return text.decode("latin-1")
    return None
