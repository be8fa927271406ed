#!/usr/bin/env python3
"""The stand-in service: answers every host of hosts.txt over HTTP and HTTPS on loopback.

Run by tests/sandbox/start.sh inside the sandbox; tests may also start it in-process with
start_servers(). See README.md in this folder for what it answers and how to steer it.
"""

import argparse
import http
import http.server
import os
import select
import socket
import ssl
import struct
import sys
import threading
import time
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import standin_connections  # noqa: E402
import standin_service  # noqa: E402
import standin_state  # noqa: E402
from standin_service import Answer, Request  # noqa: E402

MAX_WAIT_S = 60


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 256

    def __init__(self, address, service, scheme, ssl_context=None):
        self.service = service
        self.scheme = scheme
        self.ssl_context = ssl_context
        super().__init__(address, Handler)

    def get_request(self):
        sock, addr = self.socket.accept()
        if self.ssl_context is not None:
            # The handshake runs on the connection's own thread (Handler.setup), so a slow or
            # failing client never holds up the accept loop.
            sock = self.ssl_context.wrap_socket(sock, server_side=True, do_handshake_on_connect=False)
        return sock, addr

    def handle_error(self, request, client_address):
        kind, value = sys.exc_info()[:2]
        if kind is not None and issubclass(kind, (ConnectionError, ssl.SSLError, TimeoutError, OSError)):
            return
        sys.stderr.write("standin: error on %s: %s %s\n" % (client_address, kind, value))


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "standin/1"
    sys_version = ""

    def setup(self):
        self.request.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        if isinstance(self.request, ssl.SSLSocket):
            self.request.settimeout(15)
            self.request.do_handshake()
            self.request.settimeout(None)
        super().setup()

    def finish(self):
        try:
            super().finish()
        except (OSError, ValueError):
            pass

    def log_message(self, format, *args):  # noqa: A002 - the base class's signature
        pass

    def parse_request(self):
        # When the request came and when its answer had left go into the log, so a benchmark can
        # tell the service's time from the client's (how long a client takes to ask again).
        self.arrived = time.monotonic()
        return super().parse_request()

    def do_GET(self):
        self.serve()

    do_POST = do_PUT = do_DELETE = do_HEAD = do_OPTIONS = do_PATCH = do_GET

    # -- one request -----------------------------------------------------------------------------

    def read_body(self):
        length = self.headers.get("Content-Length")
        if length is not None:
            try:
                n = int(length)
            except ValueError:
                return b""
            return self.rfile.read(n) if n > 0 else b""
        if "chunked" in (self.headers.get("Transfer-Encoding") or "").lower():
            data = bytearray()
            while True:
                line = self.rfile.readline(1000)
                size = int(line.split(b";")[0].strip() or b"0", 16)
                if size == 0:
                    while self.rfile.readline(1000) not in (b"\r\n", b"\n", b""):
                        pass
                    return bytes(data)
                data += self.rfile.read(size)
                self.rfile.readline(10)
        return b""

    def serve(self):
        server = self.server
        state = server.service.state
        headers = list(self.headers.items())
        raw_host = self.headers.get("Host") or ""
        host = raw_host.rsplit(":", 1)[0] if raw_host.count(":") == 1 else raw_host
        host = host.strip().lower()
        body = self.read_body()
        port = server.server_address[1]
        req = Request(self.command, server.scheme, port, host, self.path, headers, body)
        req.client = self.client_address[0]
        is_control = host == standin_service.CONTROL_HOST and not req.path.startswith("/_t/")

        entry = None
        rule = None
        if not is_control:
            entry = state.record({"scheme": server.scheme, "port": port, "method": self.command,
                                  "host": host, "path": self.path,
                                  "headers": [list(h) for h in headers],
                                  "status": None, "fault": None, "arrived": self.arrived})
            standin_connections.note(self, entry)
            if not req.path.startswith("/_hop/"):
                rule = state.match_fault(host, self.path)
        try:
            if rule is not None:
                entry["fault"] = rule["action"]
                answer = self.faulted_answer(req, rule)
            else:
                answer = server.service.handle(req)
        except Exception:  # a fault of the stand-in itself: say so loudly rather than hang up
            text = traceback.format_exc()
            sys.stderr.write("standin: %s %s%s failed:\n%s" % (self.command, host, self.path, text))
            answer = Answer(500, "standin internal error\n" + text)
        # The status goes into the log before the answer leaves, so a client that reads the log
        # right after its answer never sees it still open; a send that fails corrects it after.
        planned = None if answer.mode.get("kind") in ("refuse", "silence") else answer.status
        if entry is not None:
            state.finish(entry, planned)
        self.open_entry = entry
        try:
            status = self.send(answer)
        finally:
            self.answer_leaves()
        if entry is not None:
            entry["answered"] = time.monotonic()
        if entry is not None and status != planned:
            state.finish(entry, status)

    def faulted_answer(self, req, rule):
        service = self.server.service
        action = rule["action"]
        if action in standin_connections.ACTIONS:
            return standin_connections.faulted_answer(self, req, rule)
        delay = rule.get("delay_ms")
        if action == standin_state.LIMIT_ACTION:
            return limit_answer(rule)
        if action == "status":
            status = int(rule.get("status", 500))
            answer = Answer(status, rule.get("body", "status %d" % status),
                            headers=list((rule.get("headers") or {}).items()))
        elif action == "empty":
            answer = Answer(int(rule.get("status", 200)), b"", None)
        elif action == "body":
            answer = Answer(int(rule.get("status", 200)), rule.get("body", ""),
                            rule.get("content_type", "text/plain; charset=utf-8"))
        elif action == "redirect":
            answer = service.fault_redirect(req, rule)
        elif action in ("refuse", "silence"):
            answer = Answer(mode={"kind": action, "ms": rule.get("ms")})
        else:
            answer = service.handle(req)
            n = len(answer.body)
            if action == "delay":
                pass
            elif action in ("reset", "truncate"):
                after = rule.get("after")
                after = n // 2 if after is None else max(0, min(n, int(after)))
                answer.mode = {"kind": action, "after": after}
            elif action == "trickle":
                answer.mode = {"kind": "trickle", "chunk": max(1, int(rule.get("chunk", 16))),
                               "interval_ms": max(0, int(rule.get("interval_ms", 50)))}
            elif action == "chunked":
                answer.mode = {"kind": "chunked", "chunk": max(1, int(rule.get("chunk", 1000)))}
            elif action == "close":
                answer.mode = {"kind": "close"}
            elif action == "malformed":
                answer.body = answer.body[: n // 2] if n > 1 else b"{"
            elif action == "large":
                size = int(rule.get("size", 32 * 1024 * 1024))
                if size > n:
                    answer.body += b" " * (size - n)
            elif action == "stall":
                answer.mode = {"kind": "stall", "ms": rule.get("ms")}
        if delay:
            answer.mode = dict(answer.mode, delay_ms=int(delay))
        return answer

    # -- on the wire -----------------------------------------------------------------------------

    def wait_for_close(self, ms):
        """Waits ms milliseconds, or (ms None) until the client closes; True if it closed."""
        deadline = time.monotonic() + (MAX_WAIT_S if ms is None else ms / 1000.0)
        sock = self.request
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                return False
            readable, _, _ = select.select([sock], [], [], min(left, 0.5))
            if readable:
                try:
                    if isinstance(sock, ssl.SSLSocket):
                        data = sock.recv(1)
                    else:
                        data = sock.recv(1, socket.MSG_PEEK)
                except (OSError, ValueError):
                    return True
                if not data:
                    return True
                if not isinstance(sock, ssl.SSLSocket):
                    time.sleep(min(left, 0.05))

    def head_bytes(self, answer, extra):
        try:
            reason = http.HTTPStatus(answer.status).phrase
        except ValueError:
            reason = "Status"
        lines = ["HTTP/1.1 %d %s" % (answer.status, reason), "Server: standin/1",
                 "Date: " + self.date_time_string()]
        lines += ["%s: %s" % h for h in answer.headers]
        lines += ["%s: %s" % h for h in extra]
        return ("\r\n".join(lines) + "\r\n\r\n").encode("utf-8")

    def hard_reset(self):
        sock = self.request
        try:
            self.wfile.flush()
        except (OSError, ValueError):
            pass
        try:
            sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        except OSError:
            pass
        # The read side's file holds a reference that would defer the real close (and the RST).
        try:
            self.rfile.close()
        except (OSError, ValueError):
            pass
        try:
            sock.close()
        except OSError:
            pass
        self.close_connection = True

    def answer_leaves(self):
        """The request stops counting as open before its first byte goes out, so a client that
        has its answer and asks again can never be counted twice."""
        entry, self.open_entry = getattr(self, "open_entry", None), None
        if entry is not None:
            self.server.service.state.close(entry)

    def send(self, answer):
        """Writes the answer as its mode says; returns the status sent or None if none was."""
        mode = answer.mode
        kind = mode.get("kind", "normal")
        try:
            if mode.get("delay_ms"):
                time.sleep(mode["delay_ms"] / 1000.0)
            if kind == "refuse":
                self.close_connection = True
                return None
            if kind == "silence":
                self.wait_for_close(mode.get("ms"))
                self.close_connection = True
                return None
            self.answer_leaves()
            body = answer.body
            head_only = self.command == "HEAD"
            keep = not self.close_connection
            if kind == "close":
                self.wfile.write(self.head_bytes(answer, [("Connection", "close")]))
                if not head_only:
                    self.wfile.write(body)
                self.close_connection = True
                return answer.status
            connection = [("Connection", "keep-alive" if keep else "close")]
            if kind == "chunked":
                out = bytearray(self.head_bytes(answer, [("Transfer-Encoding", "chunked")] + connection))
                if not head_only:
                    step = mode.get("chunk", 1000)
                    for i in range(0, len(body), step):
                        piece = body[i:i + step]
                        out += b"%x\r\n" % len(piece) + piece + b"\r\n"
                    out += b"0\r\n\r\n"
                self.wfile.write(bytes(out))
                return answer.status
            no_body = answer.status < 200 or answer.status in (204, 304)
            length = [] if no_body else [("Content-Length", str(len(body)))]
            head = self.head_bytes(answer, length + connection)
            if head_only or no_body:
                self.wfile.write(head)
                return answer.status
            if kind in ("truncate", "reset"):
                self.wfile.write(head + body[: mode.get("after", len(body) // 2)])
                if kind == "reset":
                    self.hard_reset()
                self.close_connection = True
                return answer.status
            if kind == "trickle":
                self.wfile.write(head)
                step = mode.get("chunk", 16)
                for i in range(0, len(body), step):
                    time.sleep(mode.get("interval_ms", 50) / 1000.0)
                    self.wfile.write(body[i:i + step])
                return answer.status
            if kind == "stall":
                self.wfile.write(head)
                if self.wait_for_close(mode.get("ms")):
                    self.close_connection = True
                    return None
                self.wfile.write(body)
                return answer.status
            self.wfile.write(head + body)
            return answer.status
        except (OSError, ValueError):
            self.close_connection = True
            return None


# -- start-up ------------------------------------------------------------------------------------


def limit_answer(rule):
    status = int(rule.get("status", 429))
    headers = [("Retry-After", rule["retry_after"])] if "retry_after" in rule else []
    return Answer(status, "status %d" % status, headers=headers)


def make_context(cert, key, untrusted=None):
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    ctx.minimum_version = ssl.TLSVersion.TLSv1_2
    ctx.load_cert_chain(cert, key)
    if untrusted is not None:
        def pick(sslobj, name, _ctx):
            if name and name.lower() == "untrusted.test":
                sslobj.context = untrusted
        ctx.sni_callback = pick
    return ctx


class Running:
    """A started stand-in: its servers, their ports and the shared state."""

    def __init__(self, state, servers):
        self.state = state
        self.servers = servers
        self.ports = {name: s.server_address[1] for name, s in servers.items()}
        self.threads = []
        for s in servers.values():
            t = threading.Thread(target=s.serve_forever, kwargs={"poll_interval": 0.2}, daemon=True)
            t.start()
            self.threads.append(t)

    def stop(self):
        for s in self.servers.values():
            s.shutdown()
            s.server_close()


def start_servers(bind="127.0.0.1", http_port=80, https_port=443, untrusted_port=None,
                  cert=None, key=None, untrusted_cert=None, untrusted_key=None):
    """Starts the servers (port 0 = any free port); https ones only when cert and key are given."""
    state = standin_state.State()
    service = standin_service.Service(state)
    servers = {"http": Server((bind, http_port), service, "http")}
    untrusted_ctx = None
    if untrusted_cert and untrusted_key:
        untrusted_ctx = make_context(untrusted_cert, untrusted_key)
    if cert and key and https_port is not None:
        servers["https"] = Server((bind, https_port), service, "https",
                                  make_context(cert, key, untrusted_ctx))
    if untrusted_ctx is not None and untrusted_port is not None:
        servers["untrusted"] = Server((bind, untrusted_port), service, "https", untrusted_ctx)
    return Running(state, servers)


def main():
    parser = argparse.ArgumentParser(description="the stand-in service")
    parser.add_argument("--bind", default="127.0.0.1")
    parser.add_argument("--http", type=int, default=80)
    parser.add_argument("--https", type=int, default=443)
    parser.add_argument("--untrusted-port", type=int, default=8443)
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--untrusted-cert")
    parser.add_argument("--untrusted-key")
    args = parser.parse_args()
    # A handler thread waking from its latency or from a read waits for the interpreter lock up
    # to the switch interval (5 ms by default) while another thread runs: at 40 ms a picture
    # that wait was a tenth of every client's time. Both sides of a benchmark paid it.
    sys.setswitchinterval(0.0005)
    running = start_servers(args.bind, args.http, args.https, args.untrusted_port, args.cert,
                            args.key, args.untrusted_cert, args.untrusted_key)
    sys.stdout.write("standin: serving %s\n" % running.ports)
    sys.stdout.flush()
    try:
        while True:
            time.sleep(3600)
    except KeyboardInterrupt:
        running.stop()


if __name__ == "__main__":
    main()
