#!/usr/bin/env python3
"""Tests of the stand-in service itself.

They start their own stand-in in-process on free ports (with a throw-away CA), so they run
anywhere and never disturb the sandbox's shared instance; inside the sandbox they also check
what start.sh set up (names, trusted CA, untrusted port), without changing its state.
"""

import http.client
import io
import json
import os
import re
import shutil
import socket
import ssl
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.parse
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import standin  # noqa: E402
import standin_pictures  # noqa: E402
from standin_ctl import StandinControl, StandinError  # noqa: E402

RUN = None
CERTS = None
CTL = None


def make_certs(folder):
    """A CA, a server certificate for the service's names and a self-signed one."""
    def run(*args):
        subprocess.run(["openssl"] + list(args), cwd=folder, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    with open(os.path.join(HERE, "hosts.txt"), encoding="utf-8") as f:
        hosts = [h.split("#")[0].strip() for h in f]
    sans = ",".join(["DNS:localhost", "IP:127.0.0.1"]
                    + ["DNS:" + h for h in hosts if h and h != "untrusted.test"])
    run("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key", "-out", "ca.pem",
        "-days", "2", "-subj", "/CN=standin test CA", "-addext", "basicConstraints=critical,CA:TRUE",
        "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    run("req", "-newkey", "rsa:2048", "-nodes", "-keyout", "server.key", "-out", "server.csr",
        "-subj", "/CN=weibo.com")
    with open(os.path.join(folder, "server.ext"), "w") as f:
        f.write("basicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\nsubjectAltName=" + sans + "\n")
    run("x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial",
        "-days", "2", "-extfile", "server.ext", "-out", "server.pem")
    run("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "untrusted.key", "-out",
        "untrusted.pem", "-days", "2", "-subj", "/CN=untrusted.test",
        "-addext", "subjectAltName=DNS:untrusted.test")
    return {k: os.path.join(folder, f) for k, f in
            (("ca", "ca.pem"), ("server", "server.pem"), ("server_key", "server.key"),
             ("untrusted", "untrusted.pem"), ("untrusted_key", "untrusted.key"))}


def setUpModule():
    global RUN, CERTS, CTL
    folder = tempfile.mkdtemp(prefix="standin-test-")
    CERTS = make_certs(folder)
    CERTS["folder"] = folder
    RUN = standin.start_servers("127.0.0.1", 0, 0, 0, CERTS["server"], CERTS["server_key"],
                                CERTS["untrusted"], CERTS["untrusted_key"])
    CTL = StandinControl("http://127.0.0.1:%d" % RUN.ports["http"])


def tearDownModule():
    RUN.stop()
    shutil.rmtree(CERTS["folder"], ignore_errors=True)


# -- clients ---------------------------------------------------------------------------------------


class NamedTLSConnection(http.client.HTTPSConnection):
    """An HTTPS connection to loopback that sends and verifies a chosen server name."""

    def __init__(self, port, name, context):
        super().__init__("127.0.0.1", port, context=context, timeout=30)
        self.name = name

    def connect(self):
        sock = socket.create_connection((self.host, self.port), self.timeout)
        self.sock = self._context.wrap_socket(sock, server_hostname=self.name)


def trusting_context():
    ctx = ssl.create_default_context(cafile=CERTS["ca"])
    return ctx


def fetch(host, path, scheme="http", headers=None, method="GET", body=None, cookie=None):
    """(status, headers as list, body) of one request to the in-process stand-in."""
    if scheme == "https":
        conn = NamedTLSConnection(RUN.ports["https"], host, trusting_context())
    else:
        conn = http.client.HTTPConnection("127.0.0.1", RUN.ports["http"], timeout=30)
    all_headers = {"Host": host}
    if cookie:
        all_headers["Cookie"] = cookie
    all_headers.update(headers or {})
    try:
        conn.request(method, path, body=body, headers=all_headers)
        answer = conn.getresponse()
        return answer.status, answer.getheaders(), answer.read()
    finally:
        conn.close()


def raw(host, path, extra="", port=None):
    """The raw bytes answered to one request, read until the server closes; or an exception."""
    sock = socket.create_connection(("127.0.0.1", port or RUN.ports["http"]), timeout=30)
    try:
        sock.sendall(("GET %s HTTP/1.1\r\nHost: %s\r\n%sConnection: close\r\n\r\n"
                      % (path, host, extra)).encode())
        data = bytearray()
        while True:
            piece = sock.recv(65536)
            if not piece:
                return bytes(data)
            data += piece
    finally:
        sock.close()


def split_answer(data):
    head, _, body = data.partition(b"\r\n\r\n")
    lines = head.decode("latin-1").split("\r\n")
    headers = {}
    for line in lines[1:]:
        k, _, v = line.partition(":")
        headers[k.strip().lower()] = v.strip()
    return int(lines[0].split()[1]), headers, body


def unwrap(body, callback):
    text = body.decode("ascii")
    prefix = callback + "("
    assert text.startswith(prefix) and text.endswith(");"), text
    return json.loads(text[len(prefix):-2])


def header_values(headers, name):
    return [v for k, v in headers if k.lower() == name.lower()]


def dechunk(body):
    out = bytearray()
    while True:
        line, _, body = body.partition(b"\r\n")
        size = int(line, 16)
        if size == 0:
            return bytes(out)
        out += body[:size]
        assert body[size:size + 2] == b"\r\n"
        body = body[size + 2:]


QR_IMAGE = "/sso/qrcode/image?entry=weibo&size=180&callback=STK_15033920845911"


def check_path(qrid):
    return "/sso/qrcode/check?entry=weibo&qrid=%s&callback=STK_1503392084591317" % qrid


def login_path(alt):
    return ("/sso/login.php?entry=weibo&returntype=TEXT&crossdomain=1&cdult=3&domain=weibo.com"
            "&alt=%s&savestate=30&callback=STK_150339562381621" % alt)


class StandinTest(unittest.TestCase):
    def setUp(self):
        CTL.reset()


# -- pictures ---------------------------------------------------------------------------------------


def png_chunks(data):
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    pos = 8
    chunks = []
    while pos < len(data):
        (length,) = struct.unpack(">I", data[pos:pos + 4])
        kind = data[pos + 4:pos + 8]
        payload = data[pos + 8:pos + 8 + length]
        (crc,) = struct.unpack(">I", data[pos + 8 + length:pos + 12 + length])
        assert crc == zlib.crc32(kind + payload) & 0xFFFFFFFF, "bad CRC in " + repr(kind)
        chunks.append((kind, payload))
        pos += 12 + length
    return chunks


def jpeg_segments(data):
    """Marker segments up to the scan, and the entropy-coded scan bytes."""
    assert data[:2] == b"\xff\xd8" and data[-2:] == b"\xff\xd9"
    pos = 2
    segments = []
    while True:
        assert data[pos] == 0xFF
        marker = data[pos + 1]
        (length,) = struct.unpack(">H", data[pos + 2:pos + 4])
        segments.append((marker, data[pos + 4:pos + 2 + length]))
        pos += 2 + length
        if marker == 0xDA:
            return segments, data[pos:-2]


def huffman_table(bits, values):
    """code (as bit string) -> symbol, built the canonical way."""
    table = {}
    code = 0
    k = 0
    for length in range(1, 17):
        for _ in range(bits[length - 1]):
            table[format(code, "0%db" % length)] = values[k]
            code += 1
            k += 1
        code <<= 1
    return table


def decode_dc_only_scan(scan, dc_table, ac_table, blocks, components):
    """DC values per component of every block, checking each block ends right after its DC."""
    data = bytearray()
    i = 0
    while i < len(scan):
        data.append(scan[i])
        if scan[i] == 0xFF:
            assert scan[i + 1] == 0x00, "unstuffed 0xFF in scan"
            i += 1
        i += 1
    bitstring = "".join(format(b, "08b") for b in data)
    pos = 0

    def symbol(table):
        nonlocal pos
        for length in range(1, 17):
            code = bitstring[pos:pos + length]
            if code in table:
                pos += length
                return table[code]
        raise AssertionError("no Huffman code at bit %d" % pos)

    dc = [0] * components
    values = []
    for _ in range(blocks):
        row = []
        for c in range(components):
            size = symbol(dc_table)
            bits = bitstring[pos:pos + size]
            pos += size
            diff = 0
            if size:
                diff = int(bits, 2)
                if bits[0] == "0":
                    diff -= (1 << size) - 1
            dc[c] += diff
            row.append(dc[c])
            assert symbol(ac_table) == 0x00, "a block has AC coefficients"
        values.append(row)
    assert set(bitstring[pos:]) <= {"1"} and len(bitstring) - pos < 8, "junk after the scan"
    return values


def gif_frames(data):
    """(width, height, palette, frames as (delay, pixel indices), comments, loops)."""
    assert data[:6] == b"GIF89a"
    width, height, flags, _, _ = struct.unpack("<HHBBB", data[6:13])
    pos = 13
    palette = []
    if flags & 0x80:
        n = 2 << (flags & 7)
        palette = [tuple(data[pos + 3 * i:pos + 3 * i + 3]) for i in range(n)]
        pos += 3 * n
    frames, comments, delay, loops = [], [], None, False

    def sub_blocks():
        nonlocal pos
        out = bytearray()
        while data[pos]:
            out += data[pos + 1:pos + 1 + data[pos]]
            pos += 1 + data[pos]
        pos += 1
        return bytes(out)

    while True:
        kind = data[pos]
        pos += 1
        if kind == 0x3B:
            return width, height, palette, frames, comments, loops
        if kind == 0x21:
            label = data[pos]
            pos += 1
            block = sub_blocks()
            if label == 0xF9:
                delay = struct.unpack("<H", block[1:3])[0]
            elif label == 0xFE:
                comments.append(block.decode("latin-1"))
            elif label == 0xFF:
                loops = block.startswith(b"NETSCAPE2.0")
        elif kind == 0x2C:
            _, _, w, h, fflags = struct.unpack("<HHHHB", data[pos:pos + 9])
            pos += 9
            assert not fflags & 0x80
            min_size = data[pos]
            pos += 1
            pixels = lzw_decode(sub_blocks(), min_size)
            assert len(pixels) == w * h, "frame holds %d pixels, not %d" % (len(pixels), w * h)
            frames.append((delay, pixels))
            delay = None
        else:
            raise AssertionError("unknown GIF block %#x" % kind)


def lzw_decode(data, min_size):
    clear, end = 1 << min_size, (1 << min_size) + 1
    width = min_size + 1
    table = [bytes([i]) for i in range(clear)] + [b"", b""]
    out = bytearray()
    prev = None
    acc = nbits = pos = 0
    while True:
        while nbits < width:
            assert pos < len(data), "LZW data ended without an end code"
            acc |= data[pos] << nbits
            nbits += 8
            pos += 1
        code = acc & ((1 << width) - 1)
        acc >>= width
        nbits -= width
        if code == clear:
            width = min_size + 1
            table = table[:end + 1]
            prev = None
            continue
        if code == end:
            return bytes(out)
        if code < len(table):
            entry = table[code]
            if prev is not None:
                table.append(prev + entry[:1])
        else:
            assert code == len(table) and prev is not None, "LZW code out of range"
            entry = prev + prev[:1]
            table.append(entry)
        out += entry
        prev = entry
        if len(table) == (1 << width) and width < 12:
            width += 1


class PicturesTest(unittest.TestCase):
    def test_png_is_well_formed_solid_and_labelled(self):
        data = standin_pictures.picture("mw690", "abc.png")
        chunks = png_chunks(data)
        kinds = [k for k, _ in chunks]
        self.assertEqual(kinds[0], b"IHDR")
        self.assertEqual(kinds[-1], b"IEND")
        width, height, depth, colour = struct.unpack(">IIBB", chunks[0][1][:10])
        self.assertEqual((width, height, depth, colour), (64, 48, 8, 2))
        self.assertIn((b"tEXt", b"Comment\x00mw690/abc.png"), chunks)
        pixels = zlib.decompress(b"".join(p for k, p in chunks if k == b"IDAT"))
        self.assertEqual(len(pixels), height * (1 + 3 * width))
        expected = bytes(standin_pictures.colour_for("mw690/abc.png"))
        self.assertEqual(pixels[1:4], expected)
        self.assertEqual(pixels[-3:], expected)

    def test_qr_pictures_look_like_qr_codes(self):
        def pixels(name):
            chunks = png_chunks(standin_pictures.picture("qrcode", name))
            self.assertEqual(struct.unpack(">II", chunks[0][1][:8]), (180, 180))
            raw = zlib.decompress(b"".join(p for k, p in chunks if k == b"IDAT"))
            rows = [raw[y * 541 + 1:(y + 1) * 541] for y in range(180)]
            return lambda x, y: rows[y][3 * x:3 * x + 3]

        first = pixels("QR1.png")
        black, white = b"\x00\x00\x00", b"\xff\xff\xff"
        # 25 modules of 6 pixels after a 15-pixel quiet zone; a finder square in the corner.
        self.assertEqual(first(5, 5), white)
        self.assertEqual(first(15, 15), black)
        self.assertEqual(first(15 + 6, 15 + 6), white)
        self.assertEqual(first(15 + 18, 15 + 18), black)
        second = pixels("QR2.png")
        body = [(x, y) for x in range(15 + 48, 15 + 100, 6) for y in range(15 + 48, 15 + 100, 6)]
        self.assertNotEqual([first(x, y) for x, y in body], [second(x, y) for x, y in body])
        self.assertEqual({first(x, y) for x, y in body}, {black, white})

    def test_jpeg_markers_and_scan_decode_to_the_labelled_colour(self):
        for segment, (width, height) in (("large", (120, 90)), ("small", (32, 24)),
                                         ("qrcode", (180, 180)), ("crop.1.2", (40, 40))):
            with self.subTest(segment=segment):
                name = "p%s.jpg" % segment
                segments, scan = jpeg_segments(standin_pictures.picture(segment, name))
                by_marker = {m: p for m, p in segments}
                self.assertEqual(by_marker[0xFE], (segment + "/" + name).encode())
                precision, h, w, ncomp = struct.unpack(">BHHB", by_marker[0xC0][:6])
                self.assertEqual((precision, w, h, ncomp), (8, width, height, 3))
                dht = by_marker[0xC4]
                self.assertEqual(dht[0], 0x00)
                dc_bits, n_dc = dht[1:17], sum(dht[1:17])
                dc_table = huffman_table(dc_bits, dht[17:17 + n_dc])
                rest = dht[17 + n_dc:]
                self.assertEqual(rest[0], 0x10)
                ac_table = huffman_table(rest[1:17], rest[17:17 + sum(rest[1:17])])
                blocks = ((w + 7) // 8) * ((h + 7) // 8)
                values = decode_dc_only_scan(scan, dc_table, ac_table, blocks, 3)
                self.assertEqual(len(set(map(tuple, values))), 1, "the picture is not one colour")
                # With a quantiser of 1 the DC term is 8 * (level - 128): exact to 1/16 of a level.
                r, g, b = standin_pictures.colour_for(segment + "/" + name)
                want = (0.299 * r + 0.587 * g + 0.114 * b,
                        128 - 0.168736 * r - 0.331264 * g + 0.5 * b,
                        128 + 0.5 * r - 0.418688 * g - 0.081312 * b)
                for got, level in zip(values[0], want):
                    self.assertAlmostEqual(got / 8 + 128, level, delta=0.07)

    def test_gif_still_and_animated_decode(self):
        width, height, palette, frames, comments, loops = gif_frames(
            standin_pictures.picture("large", "still.gif"))
        self.assertEqual((width, height, len(frames), loops), (120, 90, 1, False))
        self.assertEqual(comments, ["large/still.gif"])
        self.assertEqual(set(frames[0][1]), {0})
        self.assertEqual(palette[0], standin_pictures.colour_for("large/still.gif"))

        width, height, palette, frames, comments, loops = gif_frames(
            standin_pictures.picture("qrcode", "anim_x.gif"))
        self.assertEqual((width, height, loops), (180, 180, True))
        self.assertEqual([d for d, _ in frames], [0, 10])
        self.assertEqual([set(p) for _, p in frames], [{0}, {1}])
        self.assertNotEqual(palette[0], palette[1])

    def test_lzw_stays_decodable_past_the_widest_code(self):
        # A long varied run fills the 4096-entry table, which forces a clear code mid-stream.
        indices = [(i * 7 + i // 13) % 4 for i in range(60000)]
        self.assertEqual(lzw_decode(standin_pictures._lzw(indices, 2), 2), bytes(indices))

    def test_pictures_are_deterministic_and_differ_by_name_and_size(self):
        a = standin_pictures.picture("large", "a.jpg")
        self.assertEqual(a, standin_pictures.picture("large", "a.jpg"))
        self.assertNotEqual(a, standin_pictures.picture("large", "b.jpg"))
        self.assertNotEqual(a, standin_pictures.picture("small", "a.jpg"))
        colours = {standin_pictures.colour_for("thumb300/cover_%d.jpg" % i) for i in range(20)}
        self.assertGreater(len(colours), 15)


# -- login -------------------------------------------------------------------------------------------


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
        CTL.qr("confirmed")
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
        qrid = self.new_qr()["data"]["qrid"]
        for state, code in (("waiting", 50114001), ("scanned", 50114002), ("expired", 50114003),
                            ("used", 50114004), ("error", 50114005), (50119999, 50119999)):
            with self.subTest(state=state):
                CTL.qr(state)
                first, second = self.poll(qrid), self.poll(qrid)
                self.assertEqual((first["retcode"], second["retcode"]), (code, code))
                self.assertIsNone(first["data"])

    def test_unknown_or_empty_qrid_is_an_error_and_does_not_consume_the_script(self):
        CTL.qr_sequence(["scanned", "confirmed"])
        self.assertEqual(self.poll("")["retcode"], 50114005)
        self.assertEqual(self.poll("QR-not-issued")["retcode"], 50114005)
        CTL.knobs({"unknown_qr_retcode": 50114003})
        self.assertEqual(self.poll("")["retcode"], 50114003)
        qrid = self.new_qr()["data"]["qrid"]
        self.assertEqual(self.poll(qrid)["retcode"], 50114002)

    def test_sequence_runs_once_then_its_last_state_sticks_and_a_confirmed_code_is_spent(self):
        first = self.new_qr()["data"]["qrid"]
        CTL.qr_sequence(["waiting", "scanned", "expired"])
        self.assertEqual([self.poll(first)["retcode"] for _ in range(4)],
                         [50114001, 50114002, 50114003, 50114003])
        second = self.new_qr()["data"]["qrid"]
        CTL.qr("confirmed")
        confirmed = self.poll(second)
        self.assertEqual(confirmed["retcode"], 20000000)
        self.assertTrue(confirmed["data"]["alt"])
        self.assertEqual(self.poll(second)["retcode"], 50114004)
        self.assertEqual(CTL.qr_status()["checks"], 6)

    def test_refusals_of_the_qr_image(self):
        CTL.qr_refuse("retcode")
        answer = self.new_qr()
        self.assertNotEqual(answer["retcode"], 20000000)
        self.assertNotIn("qrid", answer.get("data") or {})
        CTL.qr_refuse("msg")
        self.assertNotEqual(self.new_qr()["msg"], "succ")
        CTL.qr_refuse("noqrid")
        answer = self.new_qr()
        self.assertEqual((answer["retcode"], answer["msg"]), (20000000, "succ"))
        self.assertNotIn("qrid", answer["data"])
        CTL.qr_refuse(None)
        self.assertIn("qrid", self.new_qr()["data"])
        with self.assertRaises(StandinError):
            CTL.qr_refuse("sometimes")

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
                CTL.knobs({"cross_domain_count": count})
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


def page_vars(body):
    return dict(re.findall(r"\$CONFIG\['(\w+)'\]='([^']*)';", body.decode("utf-8")))


class MainSiteTest(StandinTest):
    def test_pages_name_viewer_and_owner_per_path(self):
        cookie = CTL.session()
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
        v = page_vars(fetch("weibo.com", "/u/999", "https", cookie=CTL.session())[2])
        self.assertEqual(v["uid"], "1000001")
        self.assertNotIn("oid", v)
        self.assertNotIn("onick", v)

    def test_without_valid_cookies_the_page_has_no_variables(self):
        for cookie in (None, "SUB=forged; SUBP=forged", CTL.session().split(";")[0]):
            with self.subTest(cookie=cookie):
                v = page_vars(fetch("weibo.com", "/u/1000001", "https", cookie=cookie)[2])
                self.assertEqual(v.get("islogin"), "0")
                self.assertFalse({"uid", "nick", "oid", "onick", "avatar_large"} & set(v))

    def test_other_hosts_answer_owner_pages_without_cookies(self):
        v = page_vars(fetch("elsewhere.test", "/u/2000002", "https")[2])
        self.assertEqual((v["oid"], v["uid"]), ("2000002", "1000001"))

    def test_cookie_check_can_be_switched_off(self):
        CTL.knobs({"require_cookies": False})
        self.assertEqual(page_vars(fetch("weibo.com", "/", "http")[2])["uid"], "1000001")


def albums_path(uid, page=1, count=20):
    return "/albums/get_all?uid=%s&page=%s&count=%s&__rnd=1504067425791" % (uid, page, count)


def photos_path(uid, album, page, count=32):
    return ("/photos/get_all?uid=%s&album_id=%s&count=%s&page=%s&type=&__rnd=1504068705105"
            % (uid, album, count, page))


class PhotoHostTest(StandinTest):
    def setUp(self):
        super().setUp()
        self.cookie = CTL.session()

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


class ControlTest(StandinTest):
    def test_log_keeps_order_headers_scheme_and_status(self):
        fetch("weibo.com", "/a?x=1", "https", headers={"X-Probe": "1"})
        fetch("wx1.sinaimg.cn", "/large/a.jpg")
        fetch("wx1.sinaimg.cn", "/nothing")
        CTL.qr("scanned")
        log = CTL.log()
        self.assertEqual([(e["scheme"], e["host"], e["path"], e["status"]) for e in log],
                         [("https", "weibo.com", "/a?x=1", 200), ("http", "wx1.sinaimg.cn", "/large/a.jpg", 200),
                          ("http", "wx1.sinaimg.cn", "/nothing", 404)])
        self.assertEqual([e["seq"] for e in log], sorted(e["seq"] for e in log))
        self.assertIn(["X-Probe", "1"], log[0]["headers"])
        self.assertEqual([e["path"] for e in CTL.log(host="wx1.sinaimg.cn", path="/large/")],
                         ["/large/a.jpg"])
        CTL.clear_log()
        self.assertEqual(CTL.log(), [])

    def test_reset_forgets_faults_sessions_knobs_and_scenario(self):
        cookie = CTL.session()
        CTL.fault({"action": "status", "status": 500})
        CTL.knobs({"cross_domain_count": 1})
        CTL.scenario("demo")
        CTL.reset()
        self.assertEqual(CTL.faults(), [])
        self.assertEqual(CTL.current_scenario()["name"], "default")
        self.assertEqual(page_vars(fetch("weibo.com", "/", "https", cookie=cookie)[2])["islogin"], "0")
        self.assertEqual(CTL.knobs({})["knobs"]["cross_domain_count"], 4)

    def test_scenarios_by_name_and_by_json(self):
        CTL.scenario("demo")
        self.assertEqual(CTL.current_scenario()["viewer"], "1234567890")
        self.assertEqual(CTL.qr_status()["sequence"][-1], 20000000)
        CTL.scenario_json({"name": "mine", "owners": [
            {"id": "7", "nick": "n", "albums": [{"id": "1", "caption": "c", "photos": [
                {"pic_name": "z.jpg"}], "generate_photos": 2}]}]})
        cookie = CTL.session()
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
                    CTL.call(method, path, body)
        self.assertEqual(CTL.current_scenario()["name"], "default")
        self.assertEqual(CTL.faults(), [])
        self.assertEqual((CTL.qr_status()["refuse"], CTL.qr_status()["state"]), (None, 50114001))
        self.assertEqual(CTL.knobs({})["knobs"]["cross_domain_count"], 4)

    def test_a_fault_inside_the_stand_in_answers_500_and_is_logged(self):
        service = RUN.servers["http"].service

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
        self.assertEqual(CTL.log()[-1]["status"], 500)
        self.assertEqual(fetch("weibo.com", "/")[0], 200)

    def test_control_requests_are_neither_logged_nor_faulted(self):
        CTL.fault({"action": "refuse"})
        self.assertEqual(CTL.call("GET", "/ping"), {"ok": True})
        self.assertEqual([e["host"] for e in CTL.log()], [])


# -- faults ---------------------------------------------------------------------------------------------


class FaultsTest(StandinTest):
    PIC = "/large/f.jpg"
    HOST = "wx2.sinaimg.cn"

    def normal(self):
        return standin_pictures.picture("large", "f.jpg")

    def test_count_patterns_and_order(self):
        CTL.fault([{"host": "wx2.*", "path": "/large/*", "action": "status", "status": 503, "count": 2},
                   {"host": self.HOST, "action": "status", "status": 404}])
        statuses = [fetch(self.HOST, self.PIC)[0] for _ in range(3)]
        self.assertEqual(statuses, [503, 503, 404])
        self.assertEqual(fetch("wx3.sinaimg.cn", self.PIC)[0], 200)
        hits = {f["id"]: f["hits"] for f in CTL.faults()}
        self.assertEqual(sorted(hits.values()), [1, 2])
        self.assertEqual([e["fault"] for e in CTL.log(host=self.HOST)], ["status", "status", "status"])
        CTL.clear_faults()
        self.assertEqual(fetch(self.HOST, self.PIC)[0], 200)

    def test_answers_that_change_the_body(self):
        CTL.fault({"action": "status", "status": 418, "body": "teapot", "headers": {"X-Why": "t"}, "count": 1})
        status, headers, body = fetch(self.HOST, self.PIC)
        self.assertEqual((status, body, header_values(headers, "X-Why")), (418, b"teapot", ["t"]))
        CTL.fault({"action": "empty", "count": 1})
        status, headers, body = fetch(self.HOST, self.PIC)
        self.assertEqual((status, body, header_values(headers, "Content-Length")), (200, b"", ["0"]))
        CTL.fault({"action": "body", "body": "{\"x\":1}", "content_type": "application/json", "count": 1})
        self.assertEqual(fetch(self.HOST, self.PIC)[2], b"{\"x\":1}")
        CTL.fault({"host": "photo.weibo.com", "action": "malformed", "count": 1})
        cookie = CTL.session()
        status, _, body = fetch("photo.weibo.com", albums_path("1000001"), "https", cookie=cookie)
        self.assertEqual(status, 200)
        with self.assertRaises(ValueError):
            json.loads(body)
        CTL.fault({"host": "photo.weibo.com", "action": "large", "size": 5 * 1024 * 1024, "count": 1})
        _, _, body = fetch("photo.weibo.com", albums_path("1000001"), "https", cookie=cookie)
        self.assertEqual(len(body), 5 * 1024 * 1024)
        self.assertEqual(json.loads(body)["data"]["total"], 4)

    def test_framing_faults_keep_the_bytes_right(self):
        CTL.fault({"action": "chunked", "chunk": 100, "count": 1})
        status, headers, body = split_answer(raw(self.HOST, self.PIC))
        self.assertEqual((status, headers.get("transfer-encoding")), (200, "chunked"))
        self.assertNotIn("content-length", headers)
        self.assertEqual(dechunk(body), self.normal())
        CTL.fault({"action": "close", "count": 1})
        status, headers, body = split_answer(raw(self.HOST, self.PIC))
        self.assertNotIn("content-length", headers)
        self.assertEqual(body, self.normal())
        CTL.fault({"action": "trickle", "chunk": 50, "interval_ms": 1, "count": 1})
        self.assertEqual(fetch(self.HOST, self.PIC)[2], self.normal())
        CTL.fault({"action": "delay", "delay_ms": 20, "count": 1})
        self.assertEqual(fetch(self.HOST, self.PIC)[2], self.normal())

    def test_broken_connections(self):
        CTL.fault({"action": "refuse", "count": 1})
        self.assertEqual(raw(self.HOST, self.PIC), b"")
        CTL.fault({"action": "truncate", "after": 100, "count": 1})
        status, headers, body = split_answer(raw(self.HOST, self.PIC))
        self.assertEqual((int(headers["content-length"]), body), (len(self.normal()), self.normal()[:100]))
        CTL.fault({"action": "reset", "after": 10, "count": 1})
        try:
            data = raw(self.HOST, self.PIC)
        except ConnectionResetError:
            data = None
        if data is not None:  # the reset may land after the bytes were read
            self.assertLess(len(split_answer(data)[2]), len(self.normal()))
        self.assertEqual(CTL.log(host=self.HOST)[-1]["fault"], "reset")
        CTL.fault({"action": "silence", "ms": 50, "count": 1})
        self.assertEqual(raw(self.HOST, self.PIC), b"")
        self.assertIsNone(CTL.log(host=self.HOST)[-1]["status"])
        CTL.fault({"action": "stall", "ms": 50, "count": 1})
        self.assertEqual(split_answer(raw(self.HOST, self.PIC))[2], self.normal())
        self.assertEqual(fetch(self.HOST, self.PIC)[2], self.normal())

    def test_redirect_chain_sets_cookies_and_returns_to_the_address(self):
        for style in ("absolute", "relative", "scheme-relative"):
            with self.subTest(style=style):
                CTL.fault({"host": "photo.weibo.com", "action": "redirect", "hops": 3,
                           "location": style, "count": 1})
                path = albums_path("1000001")
                cookies, seen = [], []
                for _ in range(5):
                    status, headers, body = fetch("photo.weibo.com", path, "https",
                                                  cookie="; ".join(cookies + [CTL.session()]))
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
        conn = http.client.HTTPConnection("127.0.0.1", RUN.ports["http"], timeout=30)
        try:
            for n in (10, 0, 70000, 3):
                conn.request("GET", "/_t/bytes?n=%d" % n, headers={"Host": "weibo.com"})
                answer = conn.getresponse()
                self.assertEqual(len(answer.read()), n)
            conn.request("GET", "/_t/empty", headers={"Host": "weibo.com"})
            self.assertEqual(conn.getresponse().read(), b"")
        finally:
            conn.close()
        self.assertEqual(len(CTL.log(path="/_t/")), 5)


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
            CTL.scenario(name)
            for owner in CTL.current_scenario()["owners"]:
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
            conn = http.client.HTTPConnection("127.0.0.1", RUN.ports["http"], timeout=30)
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
        log = CTL.log()
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
        for port, name in ((RUN.ports["https"], "untrusted.test"), (RUN.ports["untrusted"], "weibo.com")):
            with self.subTest(port=port, name=name):
                conn = NamedTLSConnection(port, name, trusting_context())
                with self.assertRaises(ssl.SSLCertVerificationError):
                    conn.request("GET", "/_t/empty", headers={"Host": name})
                conn.close()
        insecure = ssl.create_default_context()
        insecure.check_hostname = False
        insecure.verify_mode = ssl.CERT_NONE
        conn = NamedTLSConnection(RUN.ports["untrusted"], "untrusted.test", insecure)
        conn.request("GET", "/_t/echo", headers={"Host": "untrusted.test"})
        self.assertEqual(json.loads(conn.getresponse().read())["scheme"], "https")
        conn.close()

    def test_a_failed_handshake_does_not_stop_the_server(self):
        sock = socket.create_connection(("127.0.0.1", RUN.ports["https"]), timeout=30)
        sock.sendall(b"GET / HTTP/1.1\r\nHost: weibo.com\r\n\r\n")
        sock.recv(100)
        sock.close()
        self.assertEqual(fetch("weibo.com", "/_t/status/200", "https")[0], 200)


class Utf8SwitchTest(StandinTest):
    def test_json_answers_travel_as_raw_utf8_while_switched_on(self):
        cookie = CTL.session()
        CTL.knobs({"utf8_json": True})
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
        CTL.knobs({"utf8_json": False})
        _, _, body = fetch("photo.weibo.com", albums_path("1000001"), "https", cookie=cookie)
        self.assertTrue(all(b < 128 for b in body))
        self.assertEqual(json.loads(body)["data"]["album_list"][0]["caption"], "旅行")
        with self.assertRaises(StandinError):
            CTL.knobs({"utf8_json": 1})


@unittest.skipUnless(os.environ.get("STANDIN_CONTROL") and os.environ.get("PICT_IN_SANDBOX"),
                     "runs inside scripts/sandbox only")
class RateLimitTest(StandinTest):
    def test_a_limit_lets_some_through_then_refuses_for_its_window_then_ends(self):
        CTL.fault({"host": "wx1.*", "action": "limit", "after_requests": 2, "ms": 600,
                   "status": 418, "retry_after": "1"})
        statuses = [fetch("wx1.sinaimg.cn", "/large/l%d.jpg" % i)[0] for i in range(4)]
        self.assertEqual(statuses, [200, 200, 418, 418])
        self.assertEqual(header_values(fetch("wx1.sinaimg.cn", "/large/x.jpg")[1], "Retry-After"),
                         ["1"])
        self.assertEqual(fetch("wx2.sinaimg.cn", "/large/x.jpg")[0], 200)  # other hosts pass
        time.sleep(0.8)
        self.assertEqual(fetch("wx1.sinaimg.cn", "/large/x.jpg")[0], 200)
        self.assertEqual([e["fault"] for e in CTL.log(host="wx1.sinaimg.cn")],
                         [None, None, "limit", "limit", "limit", None])


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
        CTL.fault({"host": "wx3.sinaimg.cn", "action": "drop_reused"})
        conn = http.client.HTTPConnection("127.0.0.1", RUN.ports["http"], timeout=30)
        try:
            conn.request("GET", "/_t/bytes?n=5", headers={"Host": "wx3.sinaimg.cn"})
            self.assertEqual(conn.getresponse().read(), bytes(range(5)))
            conn.request("GET", "/_t/bytes?n=6", headers={"Host": "wx3.sinaimg.cn"})
            with self.assertRaises(http.client.RemoteDisconnected):
                conn.getresponse()
        finally:
            conn.close()
        self.assertEqual(fetch("wx3.sinaimg.cn", "/_t/bytes?n=7")[2], bytes(range(7)))
        log = CTL.log(host="wx3.sinaimg.cn")
        self.assertEqual([e["conn_request"] for e in log], [1, 2, 1])
        self.assertEqual([e["fault"] for e in log], [None, "drop_reused", None])
        self.assertEqual([e["status"] for e in log], [200, None, 200])
        self.assertEqual(log[0]["conn"], log[1]["conn"])
        self.assertNotEqual(log[2]["conn"], log[1]["conn"])


if __name__ == "__main__":
    unittest.main()
