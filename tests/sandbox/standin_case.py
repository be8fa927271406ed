#!/usr/bin/env python3
"""What the tests of the stand-in service share: an in-process stand-in on free ports with a
throw-away CA (started once per test module by setUpModule), clients that talk to it, and the
paths of the login host."""

import http.client
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
import unittest
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import standin  # noqa: E402
from standin_ctl import StandinControl  # noqa: E402

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


def page_vars(body):
    return dict(re.findall(r"\$CONFIG\['(\w+)'\]='([^']*)';", body.decode("utf-8")))


def albums_path(uid, page=1, count=20):
    return "/albums/get_all?uid=%s&page=%s&count=%s&__rnd=1504067425791" % (uid, page, count)


def photos_path(uid, album, page, count=32):
    return ("/photos/get_all?uid=%s&album_id=%s&count=%s&page=%s&type=&__rnd=1504068705105"
            % (uid, album, count, page))


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
