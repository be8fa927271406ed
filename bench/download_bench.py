#!/usr/bin/env python3
"""The inside half of bench/download.sh (runs in scripts/sandbox): Pictalon downloads an album of
many photos from the stand-in, whose image hosts answer every picture late, while bench_ui_probe
times the run, pings the window thread and reads the memory figures; then curl fetches the same
picture addresses with the same number of parallel transfers and the same latency. Prints the
figures and the ratios; nothing here passes or fails on speed."""

import argparse
import bisect
import os
import re
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

import harness  # noqa: E402  (path set just above)

S = "  状态:"
LOGIN_DONE = S + "登录成功,请输入微博主页分析相册"
CATALOGUE_DONE = S + "获取相册信息完成,请选择相册单击鼠标右键开始下载;"
# The browser the program says it is (src/web/endpoints.h): today's service refuses old ones.
BROWSER = ("Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
           "Chrome/131.0.0.0 Safari/537.36")
FINAL = re.compile(r"全部下载完成,当前已下载 (\d+)张 共 (\d+)张")
# "下载全部相册": albums, pictures written, pictures already there.
FINAL_ACCOUNT = re.compile(r"全部相册下载完成,共 (\d+)个相册,新下载 (\d+)张,已有 (\d+)张")
OWNER = "3000003"
# The limiter's ban: nothing refills during it, and every request during it starts it again.
BAN_MS = 3000
OWNER_NICK = "压力测试"
WORKERS = 5
SEGMENT = "/mw1024/"  # the size the program starts with, "高清"
RECORD = ".pictalon-album"


def say(text=""):
    print(text, flush=True)


def run_quiet(cmd, timeout):
    """Runs a program with its output in files (Wine's helpers would hold a pipe open); returns
    (exit code, stdout text)."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        process = subprocess.Popen(cmd, stdout=out, stderr=err, stdin=subprocess.DEVNULL)
        try:
            code = process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
            code = None
        out.seek(0)
        err.seek(0)
        text = out.read().decode("utf-8", "replace").replace("\r", "")
        errors = err.read().decode("utf-8", "replace").strip()
    if errors:
        say("  (%s said: %s)" % (os.path.basename(cmd[1] if cmd[0] == "wine" else cmd[0]),
                                 errors[-300:]))
    return code, text


def key_values(text):
    out = {}
    for line in text.splitlines():
        key, sep, value = line.partition("=")
        if sep:
            out[key.strip()] = value.strip()
    return out


def album_of(scenario, caption, owner_id=OWNER):
    for owner in scenario["owners"]:
        if owner["id"] != owner_id:
            continue
        for album in owner["albums"]:
            if album.get("caption") == caption:
                return album
    return None


def owner_of(scenario, owner_id):
    return next((o for o in scenario["owners"] if o["id"] == owner_id), None)


def final_counts(status, whole_account):
    """(pictures done, pictures in all) from a final status, or None."""
    if whole_account:
        m = FINAL_ACCOUNT.search(status)
        return (int(m.group(2)) + int(m.group(3)), None) if m else None
    m = FINAL.search(status)
    return (int(m.group(1)), int(m.group(2))) if m else None


def curl_config(urls, path, cookie=None, into=None):
    """A curl config for the addresses; the bodies go to files 0, 1, ... in into, or nowhere.
    A header in a config applies to every transfer of it and headers add up, so the cookie is
    written once: one per address sent thousands of Cookie headers with each request."""
    with open(path, "w") as f:
        # As the program asks: today's service refuses an old browser, and pictures without
        # the site as their referrer.
        f.write('user-agent = "%s"\nreferer = "https://weibo.com/"\n' % BROWSER)
        if cookie:
            f.write('header = "Cookie: %s"\n' % cookie)
        for i, url in enumerate(urls):
            target = os.path.join(into, str(i)) if into else "/dev/null"
            f.write('url = "%s"\noutput = "%s"\n' % (url, target))


def curl(args, timeout=600):
    """Runs curl; returns (seconds, list of per-transfer write-out lines)."""
    started = time.monotonic()
    result = subprocess.run(["curl", "-s"] + args, stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL, timeout=timeout)
    took = time.monotonic() - started
    return took, result.stdout.decode("ascii", "replace").split()


def unix_memory(marker):
    """VmHWM and VmRSS (MiB) of the Wine process whose command line names our Pictalon copy, as
    Linux sees it: a cross-check of what Wine reports through GetProcessMemoryInfo."""
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                cmdline = f.read().decode("utf-8", "replace")
            if marker not in cmdline.replace("\\", "/") or "Pictalon.exe" not in cmdline:
                continue
            if "wine" in os.path.basename(cmdline.split("\0")[0]).lower():
                continue  # the launcher, not the program
            figures = {}
            with open("/proc/%s/status" % pid) as f:
                for line in f:
                    name, _, value = line.partition(":")
                    if name in ("VmHWM", "VmRSS"):
                        figures[name] = int(value.split()[0]) / 1024.0
            if figures:
                return figures
        except OSError:
            continue
    return None


def cpu_seconds():
    """CPU seconds (user + system) so far of our program, the Wine server and the stand-in, by
    /proc; with the children's figure, which covers the curl runs. Where the time of a run goes
    when it is not waiting: every process here shares the same two cores."""
    tick = float(os.sysconf("SC_CLK_TCK"))
    out = {"ours": 0.0, "wineserver": 0.0, "standin": 0.0}
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                argv = f.read().decode("utf-8", "replace").split("\0")
            with open("/proc/%s/stat" % pid) as f:
                fields = f.read().rpartition(")")[2].split()
        except OSError:
            continue
        used = (int(fields[11]) + int(fields[12])) / tick
        first = os.path.basename(argv[0].replace("\\", "/")).lower()
        if first == "pictalon.exe":
            out["ours"] += used
        elif first.startswith("wineserver"):
            out["wineserver"] += used
        elif any(a.endswith("standin.py") for a in argv):
            out["standin"] += used
    children = resource.getrusage(resource.RUSAGE_CHILDREN)
    out["children"] = children.ru_utime + children.ru_stime
    return out


def client_pace(pictures):
    """By the stand-in's own clock: picture requests open on average between the first one's
    arrival and the last answer, and the median time from an answer leaving to the next request
    arriving (what the client takes to ask again; the latency is not in it)."""
    timed = [e for e in pictures if e.get("arrived") is not None and e.get("answered") is not None]
    if len(timed) < 2 * WORKERS:
        return None
    edges = sorted([(e["arrived"], 1) for e in timed] + [(e["answered"], -1) for e in timed])
    open_now, area, last = 0, 0.0, edges[0][0]
    for at, step in edges:
        area += open_now * (at - last)
        open_now, last = open_now + step, at
    span = edges[-1][0] - edges[0][0]
    answers = sorted(e["answered"] for e in timed)
    gaps = []
    for arrived in sorted(e["arrived"] for e in timed)[WORKERS:]:
        before = bisect.bisect_left(answers, arrived)
        if before > 0:
            gaps.append((arrived - answers[before - 1]) * 1000.0)
    held = statistics.median((e["answered"] - e["arrived"]) * 1000.0 for e in timed)
    return area / span if span > 0 else 0.0, statistics.median(gaps) if gaps else 0.0, held


# The program's listing pages on their way at once (kListingWorkers).
LISTING_WORKERS = 4


def listing_of(log):
    return [e for e in log if e["host"] == "photo.weibo.com"
            and e["path"].startswith("/photos/get_all")]


def replay_listing_here(log, work):
    """The run's listing requests through the program's own engine (WebSession under Wine, a new
    session a page, LISTING_WORKERS at a time, as the program asks for them): what its listing
    alone costs the program now; None when the run listed nothing or the replay failed."""
    listing = listing_of(log)
    if not listing:
        return None
    cookie = next((v for k, v in listing[0]["headers"] if k.lower() == "cookie"), "")
    path = os.path.join(work, "listing.txt")
    with open(path, "w", encoding="utf-8") as f:
        for e in listing:
            f.write("%s://%s%s\n" % (e["scheme"], e["host"], e["path"]))
    fetcher = os.path.join(harness.win_build(), "bench", "bench_web_fetch.exe")
    _, text = run_quiet(["wine", fetcher, path, str(LISTING_WORKERS), "new", cookie], timeout=120)
    m = re.search(r"websession %d workers: (\d+) ok, (\d+) failed, \d+ bytes in ([0-9.]+) s"
                  % LISTING_WORKERS, text)
    if not m or int(m.group(2)) != 0:
        return None
    return float(m.group(3))


def replay_listing(log, work):
    """The run's listing requests replayed one after another on one connection (same cookie),
    to measure what they cost now; 0 when the run listed nothing."""
    listing = listing_of(log)
    if not listing:
        return 0.0
    cookie = next((v for k, v in listing[0]["headers"] if k.lower() == "cookie"), None)
    lcfg = os.path.join(work, "listing.curl")
    curl_config(["%s://%s%s" % (e["scheme"], e["host"], e["path"]) for e in listing], lcfg,
                cookie)
    _, times = curl(["-K", lcfg, "-w", "%{time_total}\\n"])
    return sum(float(t) for t in times if re.match(r"^[0-9.]+$", t))


def time_spans(figures, log, pictures):
    """The run's time cut at the stand-in's first request, first picture request and last
    answer: what comes before the pictures and after them is the program's own start and end.
    The stand-in's times are monotonic; the probe gives wall-clock times."""
    try:
        posted, ended = float(figures["posted_unix"]), float(figures["ended_unix"])
    except (KeyError, ValueError):
        return None
    to_wall = time.time() - time.monotonic()
    arrivals = [e["arrived"] for e in log if e.get("arrived") is not None]
    answers = [e["answered"] for e in log if e.get("answered") is not None]
    picture_arrivals = [e["arrived"] for e in pictures if e.get("arrived") is not None]
    if not arrivals or not answers:
        return None
    first = min(arrivals) + to_wall
    first_picture = min(picture_arrivals) + to_wall if picture_arrivals else first
    last = max(answers) + to_wall
    return ((first - posted) * 1000.0, (first_picture - posted) * 1000.0,
            last - first_picture, (ended - last) * 1000.0)


def files_under(folder, skip):
    found = []
    for where, _, names in os.walk(folder):
        for name in names:
            path = os.path.join(where, name)
            if path != skip:
                found.append(path)
    return found


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--work", required=True, help="folder for the run")
    parser.add_argument("--latency-ms", type=int, default=40)
    parser.add_argument("--album", default="一千张", help="album caption in the bench scenario")
    parser.add_argument("--runs", type=int, default=1,
                        help="download the album this many times in the same process")
    parser.add_argument("--picture-kib", type=int, default=0,
                        help="pad every picture to this size (0: as the stand-in makes them)")
    parser.add_argument("--account", default=None,
                        help="an owner of the bench scenario: 下载全部相册 over all its albums")
    parser.add_argument("--update", action="store_true",
                        help="download the album once, untimed, then time a run of it again")
    parser.add_argument("--limiter", default=None, metavar="B/R",
                        help="the stand-in limits listing per address: a bucket of B requests "
                             "refilled at R a second (the program is not told)")
    parser.add_argument("--newer", type=int, default=0,
                        help="with --update: this many new photos at the album's newest end "
                             "before the timed run")
    options = parser.parse_args()
    whole = options.account is not None

    probe = os.path.join(harness.win_build(), "bench", "bench_ui_probe.exe")
    exe = harness.pictalon_exe()
    for path, what in ((probe, "bench_ui_probe"), (exe, "Pictalon"),
                       (harness.driver_exe(), "pictalon_driver")):
        if not path or not os.path.isfile(path):
            raise SystemExit("download bench: %s is not built" % what)

    work = os.path.abspath(options.work)
    run = os.path.join(work, "run")
    shutil.rmtree(run, ignore_errors=True)
    os.makedirs(run)
    program_copy = os.path.join(run, "Pictalon.exe")
    shutil.copy2(exe, program_copy)
    os.environ["PICT_ARTIFACTS"] = work

    ctl = harness.StandinControl()
    ctl.reset("today")
    if options.limiter:
        burst, rate = options.limiter.split("/")
        ctl.knobs({"limit_burst": int(burst), "limit_rate": float(rate), "limit_ban_ms": BAN_MS})
    ctl.scenario("bench")
    owner_id = options.account or OWNER
    owner = owner_of(ctl.current_scenario(), owner_id)
    if whole:
        if owner is None:
            raise SystemExit("download bench: no owner %r in the bench scenario" % owner_id)
        photos = [p for a in owner["albums"] for p in a["photos"]]
        what = "owner %s, %d albums" % (owner["nick"], len(owner["albums"]))
    else:
        album = album_of(ctl.current_scenario(), options.album)
        if album is None:
            raise SystemExit("download bench: no album %r in the bench scenario" % options.album)
        photos = album["photos"]
        what = "album " + options.album
    addresses = [p["pic_host"] + SEGMENT + p["pic_name"] for p in photos]
    count = len(addresses)
    say("== %s: %d photos, %d ms per picture at the image hosts, %d workers" % (
        what, count, options.latency_ms, WORKERS))

    # Make every picture once before timing anything, so neither side pays for their making.
    cfg = os.path.join(work, "pictures.curl")
    curl_config(addresses, cfg)
    took, _ = curl(["--parallel", "--parallel-max", str(WORKERS), "-K", cfg])
    say("stand-in warmed: %d pictures made in %.1f s" % (count, took))

    rule = {"host": "wx[1-4].sinaimg.cn", "path": SEGMENT + "*", "action": "delay",
            "delay_ms": options.latency_ms}
    if options.picture_kib > 0:
        # Real photos are hundreds of kilobytes; padded ones show what the bodies cost in memory.
        rule.update(action="large", size=options.picture_kib * 1024)
        say("every picture padded to %d KiB" % options.picture_kib)
    if not options.update:
        ctl.fault(rule)

    harness.forget_settings()  # the save folder is the copy's own
    program = harness.Program(program_copy, log_name="download-bench-pictalon")
    figures = {}
    try:
        driver = harness.Driver()
        driver.find(timeout_ms=60000)
        seen, last = driver.wait_status(LOGIN_DONE, timeout_ms=60000)
        if not seen:
            raise SystemExit("download bench: no sign-in; the status says %r" % last)
        driver.tab(1)
        driver.set_edit(0, "http://weibo.com/u/%s" % owner_id)
        driver.click("分析")
        seen, last = driver.wait_status(CATALOGUE_DONE, timeout_ms=60000)
        if not seen:
            raise SystemExit("download bench: no catalogue; the status says %r" % last)
        items = driver.list()["items"]
        index = next((i["index"] for i in items if whole or options.album in i["text"]), None)
        if index is None:
            raise SystemExit("download bench: the album list lacks %r" % options.album)
        driver.select(index)
        command = "10006" if whole else "10000"
        if options.update:
            # The album as a finished run leaves it; the timed run then finds every picture.
            say("== filling the album folder first (untimed, no latency)")
            driver.command(int(command))
            seen, last = driver.wait_status("下载完成", contains=True, timeout_ms=600000)
            if not seen:
                raise SystemExit("download bench: the first run never ended: %r" % last)
            if options.newer and not whole:
                # New photos at the newest end, as an owner adds them: page 1 and on.
                grown = ctl.current_scenario()
                target = album_of(grown, options.album)
                target.pop("count", None)
                target["photos"][:0] = [
                    {"pic_host": "http://wx1.sinaimg.cn", "pic_name": "new_%d.jpg" % n,
                     "caption": "new %d" % n, "timestamp": 1700000000 + n}
                    for n in range(options.newer)]
                ctl.scenario_json(grown)
                say("== %d new photos at the album's newest end" % options.newer)
        ctl.clear_log()
        # Other work on the machine moves every figure here; say how busy it was.
        load_before = os.getloadavg()[0]

        say("== Pictalon: %s, timed by bench_ui_probe" % (
            "下载全部相册" if whole else "下载选中 on item %d" % index))
        cpu_before = cpu_seconds()
        # --settle: the memory once more 12 s later, when every thread the run or the analysis
        # before it called up has left (idle workers leave after 10 s), as a cross-check of the
        # figure at the final status.
        code, text = run_quiet(["wine", probe, "--idle", "1000", "--interval", "20",
                                "--timeout", "240000", "--settle", "12000",
                                "--command", command], timeout=300)
        cpu_ours = cpu_seconds()
        figures = key_values(text)
        if os.environ.get("PICT_BENCH_VERBOSE"):
            say(text)
        log = ctl.log()
        # More runs of the same album in the same process: a leak per picture shows as memory
        # that keeps growing from run to run. Each is read again 3 s after its end, when the
        # run's own threads (its driver, the workers it called up) have left. A curl run goes
        # before each, so a busy spell of the shared machine falls on both sides alike.
        repeats, curl_between = [], []
        engine_listing = [replay_listing_here(log, work)] if options.update else []
        between_cfg = os.path.join(work, "between.curl")
        between_files = os.path.join(work, "curl_between_files")
        curl_config(addresses, between_cfg, into=between_files)
        for _ in range(1, options.runs):
            if options.update:
                # An update is its listing: the listing replayed is the figure beside it.
                curl_between.append(replay_listing(log, work))
                engine_listing.append(replay_listing_here(log, work))
            else:
                shutil.rmtree(between_files, ignore_errors=True)
                os.makedirs(between_files)
                curl_between.append(curl(["--parallel", "--parallel-max", str(WORKERS),
                                          "-K", between_cfg])[0])
            if not options.update:
                # Each run downloads anew: the pictures of the last one, and the folder's record
                # of them, would otherwise make it an update.
                shutil.rmtree(os.path.join(run, owner["nick"] if owner else OWNER_NICK),
                              ignore_errors=True)
            _, again = run_quiet(["wine", probe, "--idle", "0", "--timeout", "240000",
                                  "--settle", "3000", "--command", command], timeout=300)
            repeats.append(key_values(again))
        shutil.rmtree(between_files, ignore_errors=True)
        unix = unix_memory(run.lstrip("/") + "/")
        close_result, _ = driver.close(wait=True)
    finally:
        program.stop()

    if code != 0 or figures.get("done") != "1":
        say("FAULT: the run did not reach its final status (probe exit %s); last status: %r"
            % (code, figures.get("final_status")))
        say(text)

    # What the program asked the stand-in for during the run.
    listing = [e for e in log if e["host"] == "photo.weibo.com"
               and e["path"].startswith("/photos/get_all")]
    pictures = [e for e in log if e["path"].startswith(SEGMENT)]
    unique_pictures = {(e["host"], e["path"]) for e in pictures}
    failed_answers = [e for e in pictures if e["status"] != 200]

    listing_s = replay_listing(log, work)

    # curl on the same addresses the program fetched (same scheme and host), same latency.
    fetched = sorted("%s://%s%s" % (e["scheme"], e["host"], e["path"]) for e in pictures)
    curl_urls = sorted(set(fetched)) or addresses
    # curl writes files too, on the same disk, so both sides pay for the writes.
    curl_files = os.path.join(work, "curl_files")
    shutil.rmtree(curl_files, ignore_errors=True)
    os.makedirs(curl_files)
    curl_config(curl_urls, cfg, into=curl_files)
    cpu_curl_before = cpu_seconds()
    ctl.clear_log()
    curl_s, codes = curl(["--parallel", "--parallel-max", str(WORKERS), "-K", cfg,
                          "-w", "%{http_code}\\n"])
    cpu_curl = cpu_seconds()
    curl_log = [e for e in ctl.log() if e["path"].startswith(SEGMENT)]
    curl_runs = [curl_s] + curl_between
    curl_ok = sum(1 for c in codes if c == "200")
    curl_bytes = sum(os.path.getsize(os.path.join(curl_files, n)) for n in os.listdir(curl_files))
    shutil.rmtree(curl_files, ignore_errors=True)

    owner_folder = os.path.join(run, owner["nick"] if owner else OWNER_NICK)
    album_folder = owner_folder if whole else os.path.join(owner_folder, options.album)
    # Pictures only: each album folder also holds its record.
    written = [p for p in files_under(run, program_copy) if not p.endswith(RECORD)]
    in_album = ([p for p in files_under(album_folder, None) if not p.endswith(RECORD)]
                if os.path.isdir(album_folder) else [])
    empty_files = [p for p in in_album if os.path.getsize(p) == 0]

    repeat_faults = []
    ours_s = float(figures.get("elapsed_ms", "0")) / 1000.0
    pictures_limit_s = count * options.latency_ms / 1000.0 / WORKERS
    limit_s = pictures_limit_s + listing_s
    final = final_counts(figures.get("final_status", ""), whole)

    say()
    say("== results (load average %.2f when the run started, %.2f at the end, %d cores)"
        % (load_before, os.getloadavg()[0], os.cpu_count() or 0))
    say("Pictalon, %s to final status: %.2f s" % ("下载全部相册" if whole else "下载选中", ours_s))
    say("  final status: %s" % figures.get("final_status", "(none)").strip())
    say("  files written: %d in the album folder, %d in all (%d empty), %.1f MiB"
        % (len(in_album), len(written), len(empty_files),
           sum(os.path.getsize(p) for p in in_album) / 1048576.0))
    say("  requests: %d listing, %d picture (%d distinct, %d not 200)"
        % (len(listing), len(pictures), len(unique_pictures), len(failed_answers)))
    say("limit: %d x %d ms / %d workers = %.2f s, + listing %d requests %.2f s = %.2f s"
        % (count, options.latency_ms, WORKERS, pictures_limit_s, len(listing), listing_s, limit_s))
    if options.limiter:
        # The limiter's own bound: past its bucket, the listing requests it answered go at its
        # refill rate, beside the pictures. A client not told the bucket learns it only from a
        # limit, and nothing refills during the ban that limit opens: the second bound counts
        # that one ban.
        burst, rate = options.limiter.split("/")
        limited = [e for e in listing if e["status"] in (418, 429, 432)]
        bucket_s = max(0, len(listing) - len(limited) - int(burst)) / float(rate)
        bound_s = max(bucket_s, pictures_limit_s, 0.001)
        learnt_s = max(bucket_s + BAN_MS / 1000.0, pictures_limit_s, 0.001)
        span = (max(e["arrived"] for e in listing) - min(e["arrived"] for e in listing)
                if len(listing) > 1 else 0)
        say("limiter %s: %d listing answers were limits; the listing went at %.2f a second; "
            "its bound %.2f s beside the pictures' %.2f s: %.2f s, ours %.2fx of it; with the "
            "one ban a client must meet to learn the bucket %.2f s, ours %.2fx"
            % (options.limiter, len(limited), (len(listing) - 1) / span if span else 0,
               bucket_s, pictures_limit_s, bound_s, ours_s / bound_s, learnt_s,
               ours_s / learnt_s))
        # Where the listing settled: its last requests after the last limit, beside the refill.
        last_limit = max((i for i, e in enumerate(listing) if e in limited), default=-1)
        tail = [e["arrived"] for e in listing[last_limit + 1:]][-20:]
        if len(tail) > 1 and tail[-1] > tail[0]:
            say("  its last %d listing requests went at %.2f a second; the limiter refills %s"
                % (len(tail), (len(tail) - 1) / (tail[-1] - tail[0]), rate))
    say("curl --parallel --parallel-max %d, same %d addresses to files: %.2f s (%d answered 200,"
        " %.1f MiB)" % (WORKERS, len(curl_urls), curl_s, curl_ok, curl_bytes / 1048576.0))
    if ours_s > 0 and curl_s > 0 and options.latency_ms > 0:
        say("pictures in flight on average (%d x %d ms / time): ours %.2f, curl %.2f of %d"
            % (count, options.latency_ms, count * options.latency_ms / 1000.0 / ours_s,
               len(curl_urls) * options.latency_ms / 1000.0 / curl_s, WORKERS))
    if options.update:
        say("update of an unchanged album: ours %.2f s, its listing alone %.2f s, ratio %.2f; "
            "%d picture requests" % (ours_s, listing_s, ours_s / listing_s if listing_s else 0,
                                     len(pictures)))
    elif limit_s > 0:
        say("ratio ours/limit: %.2f" % (ours_s / limit_s))
    if curl_s > 0:
        say("ratio ours/curl:  %.2f" % (ours_s / curl_s))
    pace_ours, pace_curl = client_pace(pictures), client_pace(curl_log)
    if pace_ours and pace_curl:
        say("by the stand-in's clock: requests open on average ours %.2f, curl %.2f of %d; answer"
            " to the next request (median) ours %.2f ms, curl %.2f ms; a request held (median,"
            " latency included) ours %.2f ms, curl %.2f ms"
            % (pace_ours[0], pace_curl[0], WORKERS, pace_ours[1], pace_curl[1], pace_ours[2],
               pace_curl[2]))
    spans = time_spans(figures, log, pictures)
    if spans:
        say("where the time went (stand-in's clock beside the probe's): command to the first"
            " request %.0f ms, to the first picture request %.0f ms; pictures %.2f s; last answer"
            " to the final status seen %.0f ms" % spans)
    used = {k: cpu_ours[k] - cpu_before[k] for k in cpu_ours}
    used_curl = {k: cpu_curl[k] - cpu_curl_before[k] for k in cpu_curl}
    say("CPU seconds, ours (with the 12 s after it): program %.2f, wineserver %.2f, stand-in %.2f;"
        " curl's run: curl %.2f, stand-in %.2f" % (used["ours"], used["wineserver"],
                                                   used["standin"], used_curl["children"],
                                                   used_curl["standin"]))
    say("window thread, WM_NULL every 20 ms: idle median %s ms, worst %s ms (%s pings); "
        "during the run median %s ms, p95 %s ms, p99 %s ms, worst %s ms (%s pings, %s over 100 ms,"
        " %s timed out)" % (
            figures.get("idle_median_ms"), figures.get("idle_worst_ms"), figures.get("idle_pings"),
            figures.get("run_median_ms"), figures.get("run_p95_ms"), figures.get("run_p99_ms"),
            figures.get("run_worst_ms"), figures.get("run_pings"), figures.get("run_over_100ms"),
            figures.get("run_timeouts")))
    if "peak_working_set_mib" in figures:
        say("memory (GetProcessMemoryInfo at the end): peak working set %s MiB, peak pagefile %s "
            "MiB; before the run %s / %s MiB; at the end %s / %s MiB"
            % (figures["peak_working_set_mib"], figures["peak_pagefile_mib"],
               figures.get("before_working_set_mib"), figures.get("before_pagefile_mib"),
               figures["working_set_mib"], figures["pagefile_mib"]))
        say("  largest PagefileUsage seen during the run (sampled every 100 ms): %s MiB"
            % figures.get("sampled_max_pagefile_mib"))
        if "settled_pagefile_mib" in figures:
            say("  12 s later, once the idle pool workers have left: working set %s MiB, pagefile"
                " %s MiB" % (figures["settled_working_set_mib"], figures["settled_pagefile_mib"]))
    else:
        say("memory: GetProcessMemoryInfo failed (error %s)" % figures.get("memory_error"))
    for k, r in enumerate(repeats, start=2):
        counts = final_counts(r.get("final_status", ""), whole)
        say("run %d of the same %s: %.2f s, %s of %s, working set %s -> %s MiB, pagefile %s -> "
            "%s MiB (3 s later %s), peak working set %s MiB" % (
                k, "account" if whole else "album", float(r.get("elapsed_ms", "0")) / 1000.0,
                counts[0] if counts else "?", count,
                r.get("before_working_set_mib"), r.get("working_set_mib"),
                r.get("before_pagefile_mib"), r.get("pagefile_mib"),
                r.get("settled_pagefile_mib"), r.get("peak_working_set_mib")))
        if counts is None or counts[0] != count or counts[1] not in (None, count):
            faults_later = "run %d ended with %r" % (k, r.get("final_status", ""))
            say("FAULT: " + faults_later)
            repeat_faults.append(faults_later)
    if options.runs > 1 and ours_s > 0:
        ours_runs = [ours_s] + [float(r.get("elapsed_ms", "0")) / 1000.0 for r in repeats]
        ours_mid, curl_mid = statistics.median(ours_runs), statistics.median(curl_runs)
        if options.update:
            listing_runs = [listing_s] + curl_between
            listing_mid = statistics.median(listing_runs)
            say("over %d runs each: ours median %.2f s (best %.2f), its listing alone (curl) median"
                " %.2f s (best %.2f); ratio of the medians %.2f" % (
                    options.runs, ours_mid, min(ours_runs), listing_mid, min(listing_runs),
                    ours_mid / listing_mid if listing_mid else 0))
            engine = [t for t in engine_listing if t]
            if engine:
                engine_mid = statistics.median(engine)
                say("  its listing alone through the program's engine (WebSession under Wine, %d"
                    " at a time, %d replays): median %.2f s (best %.2f); ratio of the medians %.2f"
                    % (LISTING_WORKERS, len(engine), engine_mid, min(engine),
                       ours_mid / engine_mid))
        else:
            say("over %d runs each: ours median %.2f s (best %.2f), curl median %.2f s (best %.2f);"
                " medians ours/limit %.2f, ours/curl %.2f" % (
                    options.runs, ours_mid, min(ours_runs), curl_mid, min(curl_runs),
                    ours_mid / limit_s if limit_s > 0 else 0,
                    ours_mid / curl_mid if curl_mid else 0))
    if unix:
        say("memory as Linux sees the Wine process: VmHWM %.1f MiB, VmRSS %.1f MiB"
            % (unix.get("VmHWM", 0), unix.get("VmRSS", 0)))
    if close_result:
        say("closing the window after the run: exited %s, code %s, %s ms"
            % (close_result.get("exited"), close_result.get("exit_code"), close_result.get("ms")))

    # Faults of the program under load, said plainly; the figures above stand either way.
    faults = list(repeat_faults)
    # New photos at the album's front are all there is to fetch; the album holds them too.
    newer = options.newer if options.update and not whole else 0
    if final is None:
        faults.append("no final status")
    elif final[0] != count + newer or final[1] not in (None, count + newer):
        faults.append("final status counts %s of %s, expected %d of %d"
                      % (final[0], final[1], count + newer, count + newer))
    if len(in_album) != count + newer:
        faults.append("%d files in the album folder, expected %d" % (len(in_album), count + newer))
    asked = newer if options.update else count
    if len(unique_pictures) != asked:
        faults.append("%d distinct pictures requested, expected %d" % (len(unique_pictures), asked))
    if curl_ok != len(curl_urls):
        faults.append("curl got %d of %d pictures" % (curl_ok, len(curl_urls)))
    for f in faults:
        say("FAULT: " + f)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
