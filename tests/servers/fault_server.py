#!/usr/bin/python3
"""An HTTP server that misbehaves on purpose, for what no real server does.

    fault_server.py PORT LOG

Listens on 127.0.0.1:PORT. The request path picks the fault:

    /stall               reads the request and never answers
    /stall-body          sends a head and part of the body, then goes quiet
    /reset-body          sends a head and part of the body, then resets the connection
    /reset               resets the connection without answering
    /truncated-chunked   a chunked body that stops without its last chunk
    /short-body          fewer bytes than Content-Length says, then a clean close
    /garbage             bytes that are no HTTP response at all
    /bad-status          a status line whose code is no number
    /ok                  a plain good answer (to see the server live)
    /stall-put           answers GET, but reads a PUT's head and never answers it
    /put-once?KEY        takes the first PUT for KEY (201), refuses later ones (409)
    /endless-head        a status line, then header lines as fast as they go, never ending
    /slow-head           a status line, then a short header line every 0.2 s, never ending
    /many-headers        200,000 short header lines, then a body
    /endless-trailers    a chunked body of five bytes, then trailers as fast as they go
    /slow-trailers       a chunked body of five bytes, then a trailer every 0.2 s
    /gzip-bomb           64 MiB of zeros gzipped (about 64 KiB), sent as Content-Encoding: gzip
    /redirect?URL        302 to URL (the query, as it is)

Every request head it receives is appended to LOG, one block per request,
followed by "body=" and the body of a PUT, each block ended by a line
holding only "--".
"""

import gzip
import io
import socket
import socketserver
import struct
import sys
import threading
import time

BODY_CHUNK = bytes(range(256)) * 40  # 10240 bytes
STALL_LIMIT = 120.0
log_lock = threading.Lock()
taken_keys = set()


class Handler(socketserver.BaseRequestHandler):
    def handle(self):
        sock = self.request
        head = b""
        sock.settimeout(30)
        try:
            while b"\r\n\r\n" not in head and len(head) < 65536:
                data = sock.recv(4096)
                if not data:
                    return
                head += data
        except OSError:
            return
        raw_head, _, rest = head.partition(b"\r\n\r\n")
        text = raw_head.decode("latin-1")
        request_line = text.split("\r\n", 1)[0].split(" ")
        self.method = request_line[0]
        target = request_line[1] if len(request_line) > 1 else "/"
        path, _, self.query = target.partition("?")
        self.headers = {}
        for line in text.split("\r\n")[1:]:
            name, _, value = line.partition(":")
            self.headers[name.strip().lower()] = value.strip()
        action = getattr(self, "do_" + path.strip("/").replace("-", "_"), None)
        body = None
        if self.method == "PUT" and path != "/stall-put":
            try:
                body = self.read_body(rest)
            except OSError:
                return
        with log_lock, open(self.server.log, "a") as f:
            f.write(text.replace("\r\n", "\n") + "\n")
            if body is not None:
                f.write("body=" + body.decode("latin-1") + "\n")
            f.write("--\n")
        try:
            if action is None:
                self.answer(b"HTTP/1.1 404 Not Found\r\nContent-Length: 10\r\nConnection: close\r\n\r\nnot found\n")
            else:
                action(sock)
        except OSError:
            pass

    def read_body(self, rest):
        length = int(self.headers.get("content-length", "0") or 0)
        if self.headers.get("expect", "").lower() == "100-continue":
            self.answer(b"HTTP/1.1 100 Continue\r\n\r\n")
        body = rest
        while len(body) < length:
            data = self.request.recv(65536)
            if not data:
                break
            body += data
        return body[:length]

    def answer(self, data):
        self.request.sendall(data)

    def quiet(self, sock):
        """Waits, sending nothing, until the client goes away."""
        sock.settimeout(STALL_LIMIT)
        try:
            while sock.recv(4096):
                pass
        except OSError:
            pass

    def reset_now(self, sock):
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        sock.close()

    def do_ok(self, sock):
        self.answer(b"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 3\r\n\r\nok\n")

    def do_stall_put(self, sock):
        if self.method == "PUT":
            self.quiet(sock)
        else:
            self.do_ok(sock)

    def do_put_once(self, sock):
        if self.method != "PUT":
            self.do_ok(sock)
            return
        with log_lock:
            first = self.query not in taken_keys
            taken_keys.add(self.query)
        if first:
            self.answer(b"HTTP/1.1 201 Created\r\nContent-Length: 8\r\n\r\ncreated\n")
        else:
            self.answer(b"HTTP/1.1 409 Conflict\r\nContent-Type: text/plain\r\nContent-Length: 14\r\n\r\nalready taken\n")

    def do_stall(self, sock):
        self.quiet(sock)

    def do_stall_body(self, sock):
        self.answer(b"HTTP/1.1 200 OK\r\nContent-Length: 1000000\r\n\r\n" + BODY_CHUNK)
        self.quiet(sock)

    def do_reset_body(self, sock):
        self.answer(b"HTTP/1.1 200 OK\r\nContent-Length: 1000000\r\n\r\n" + BODY_CHUNK)
        # Let the client take the head and the first bytes before the reset.
        threading.Event().wait(0.2)
        self.reset_now(sock)

    def do_reset(self, sock):
        self.reset_now(sock)

    def do_truncated_chunked(self, sock):
        chunk = b"%x\r\n" % len(BODY_CHUNK) + BODY_CHUNK + b"\r\n"
        self.answer(b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n" + chunk)
        sock.shutdown(socket.SHUT_RDWR)

    def do_short_body(self, sock):
        self.answer(b"HTTP/1.1 200 OK\r\nContent-Length: 20000\r\nConnection: close\r\n\r\n" + BODY_CHUNK)
        sock.shutdown(socket.SHUT_RDWR)

    def endless(self, sock, first, line, pause):
        """Sends first, then line after line until the client goes away (or a long while)."""
        self.answer(first)
        block = line if pause else line * 64
        deadline = time.monotonic() + STALL_LIMIT
        while time.monotonic() < deadline:
            sock.sendall(block)
            if pause:
                time.sleep(pause)

    def do_endless_head(self, sock):
        self.endless(sock, b"HTTP/1.1 200 OK\r\n", b"X-Head: " + b"h" * 1000 + b"\r\n", 0)

    def do_slow_head(self, sock):
        self.endless(sock, b"HTTP/1.1 200 OK\r\n", b"X-Head: h\r\n", 0.2)

    def do_many_headers(self, sock):
        head = b"HTTP/1.1 200 OK\r\n" + b"X-N: 1\r\n" * 200000 + b"Content-Length: 3\r\n\r\nok\n"
        self.answer(head)

    CHUNKED_HEAD = b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nTrailer: X-Trailer\r\n\r\n5\r\nhello\r\n0\r\n"

    def do_endless_trailers(self, sock):
        self.endless(sock, self.CHUNKED_HEAD, b"X-Trailer: " + b"t" * 1000 + b"\r\n", 0)

    def do_slow_trailers(self, sock):
        self.endless(sock, self.CHUNKED_HEAD, b"X-Trailer: t\r\n", 0.2)

    def do_gzip_bomb(self, sock):
        body = gzip_bomb()
        self.answer(b"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Encoding: gzip\r\n"
                    b"Content-Length: %d\r\n\r\n" % len(body) + body)

    def do_redirect(self, sock):
        self.answer(b"HTTP/1.1 302 Found\r\nLocation: " + self.query.encode("latin-1") +
                    b"\r\nContent-Length: 0\r\n\r\n")

    def do_garbage(self, sock):
        self.answer(b"\x00\x01\x02 this is no HTTP \xff\xfe\r\n\r\nat all\r\n")
        sock.shutdown(socket.SHUT_RDWR)

    def do_bad_status(self, sock):
        self.answer(b"HTTP/1.1 2x0 Fine\r\nContent-Length: 3\r\n\r\nok\n")
        sock.shutdown(socket.SHUT_RDWR)


_bomb = None


def gzip_bomb():
    """64 MiB of zeros, gzipped once and kept."""
    global _bomb
    with log_lock:
        if _bomb is None:
            buf = io.BytesIO()
            zeros = bytes(1 << 20)
            with gzip.GzipFile(fileobj=buf, mode="wb", compresslevel=9) as f:
                for _ in range(64):
                    f.write(zeros)
            _bomb = buf.getvalue()
    return _bomb


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    port, log = int(sys.argv[1]), sys.argv[2]
    open(log, "a").close()
    server = Server(("127.0.0.1", port), Handler)
    server.log = log
    server.serve_forever()


if __name__ == "__main__":
    main()
