#!/usr/bin/python3
"""An FTP server that misbehaves on purpose, for what no real server does.

    ftp_fault_server.py PORT SILENT_PORT LOG

On 127.0.0.1:SILENT_PORT it takes connections and never says a word. On
127.0.0.1:PORT it speaks enough FTP for a client, passive mode only, any
password. The user name picks how listings look, "MODE" or "MODE.TAG" (the
tag only tells tests apart in the log):

    unix        no MLSD; LIST in the Unix form, malformed lines among the entries
    dos         no MLSD; LIST in the DOS form, malformed lines among the entries
    mlsd        MLST in FEAT; MLSD facts, malformed lines among the entries
    hang-login  never answers PASS
    long-refusal      refuses PASS with a 530 reply of 300 characters
    long-multi        refuses PASS with a 530 reply of four lines, 330 characters
    endless-reply     answers PASS with a multi-line reply that never ends
    huge-line         answers PASS with one reply line of 200,000 characters
    pasv-elsewhere    no EPSV; PASV names 10.255.255.1, but listens here
    crlf        no MLSD; LIST in the Unix form, a CR inside one name, CR LF
                line ends (also what an ftp:// URL of a folder reads)

File names pick the faults:

    RETR hello.txt        a good download
    RETR drop-data.bin    part of the data, the data connection closed, then 426
    RETR reset-data.bin   part of the data, the data connection reset, then 426
    RETR short-226.bin    SIZE says 20000; 10000 bytes come, then 226
    RETR stall-data.bin   part of the data, then nothing more
    RETR hang-reply.bin   no answer to RETR at all
    DELE drop-connection  the control connection closed without an answer
    DELE multi-line       a refusal in three lines

Folders: "/", "/pub", "/saved" and '/we"ird' (a quote in the name). Every
line received is appended to LOG as "CONNECTION USER LINE".
"""

import itertools
import socket
import socketserver
import struct
import sys
import threading
import time

STALL_LIMIT = 120.0
HELLO = b"hello from the fault server\r\n"
PART = bytes(range(256)) * 40  # 10240 bytes
FOLDERS = {"/", "/pub", "/saved", '/we"ird'}

UNIX_LISTING = [
    b"total 12",
    b"-rw-r--r--   1 ftp      ftp          1234 Mar 04 12:30 alpha.txt",
    b"this line is not a listing entry",
    b"drwxr-xr-x   2 ftp      ftp          4096 Jan 15  2020 beta",
    b"-rw-r--r--   1 ftp      ftp      notanumber Mar 04 12:30 bad-size.txt",
    b"-rw-r--r--   1 ftp      ftp            77 Foo 04 12:30 bad-month.txt",
    b"-rw-r--r--   1 ftp      ftp             0 Feb 30  2021 bad-date.txt",
    b"-rw-r--r--",
    b"\x00\x01\x02\xff\xfe binary junk",
    b"lrwxrwxrwx   1 ftp      ftp             9 Mar 04 12:30 gamma.lnk -> alpha.txt",
    b"-rw-r--r--   1 ftp      ftp    5000000000 Dec 31  2019 huge name with spaces.bin",
    b"-rw-r--r--   1 ftp      ftp            12 Mar 04 12:30 " + b"x" * 70000,
    b"drwxr-xr-x   2 ftp      ftp          4096 Jan 15  2020 .",
    b"-rw-r--r--   1 ftp      ftp            12 Mar 04 12:30",
]

# One name with a CR inside; the lines end in CR LF as the server sends them.
CRLF_LISTING = [
    b"-rw-r--r--   1 ftp      ftp             5 Mar 04 12:30 car\rriage.txt",
    b"-rw-r--r--   1 ftp      ftp             7 Mar 04 12:30 plain.txt",
]

DOS_LISTING = [
    b"03-04-21  12:30PM                 1234 alpha.txt",
    b"01-15-20  09:05AM       <DIR>          beta",
    b"garbage",
    b"13-45-21  10:00AM                    1 bad-date.txt",
    b"03-04-21  25:30PM                    1 bad-time.txt",
    b"03-04-21  12:30PM               lots of bytes.txt",
    b"12-31-2019  23:59           5000000000 gamma name.bin",
    b"03-04-21  12:30PM",
]

MLSD_LISTING = [
    b"type=cdir;modify=20210304123000; .",
    b"type=pdir;modify=20210304123000; ..",
    b"type=file;size=1234;modify=20210304123000; alpha.txt",
    b"type=dir;sizd=4096;modify=20200115090500; beta",
    b"garbage-without-a-space",
    b"type=file;size=abc;modify=20210304123000; bad-size.txt",
    b"type=file;size=9;modify=2021; bad-time.txt",
    b"broken;facts; bad-facts.txt",
    b"type=file;size=5000000000;modify=20191231235959.123; gamma name; with semicolon.bin",
    b"type=file;size=1;modify=20210304123000;",
]

log_lock = threading.Lock()
connections = itertools.count(1)


def resolve(cwd, arg):
    path = arg if arg.startswith("/") else cwd.rstrip("/") + "/" + arg
    parts = []
    for p in path.split("/"):
        if p in ("", "."):
            continue
        if p == "..":
            if parts:
                parts.pop()
        else:
            parts.append(p)
    return "/" + "/".join(parts)


class Control(socketserver.BaseRequestHandler):
    def setup(self):
        self.id = next(connections)
        self.user = "-"
        self.mode = "unix"
        self.cwd = "/"
        self.passive = None
        self.buffer = b""

    def log(self, line):
        with log_lock, open(self.server.log, "a") as f:
            f.write("%d %s %s\n" % (self.id, self.user, line))

    def send(self, text):
        self.request.sendall(text.encode("latin-1") + b"\r\n")

    def lines(self):
        while True:
            while b"\n" not in self.buffer:
                data = self.request.recv(4096)
                if not data:
                    return
                self.buffer += data
            line, _, self.buffer = self.buffer.partition(b"\n")
            yield line.rstrip(b"\r").decode("latin-1")

    def quiet(self):
        """Says nothing more until the client goes away."""
        self.request.settimeout(STALL_LIMIT)
        try:
            while self.request.recv(4096):
                pass
        except OSError:
            pass

    def handle(self):
        self.request.settimeout(STALL_LIMIT)
        try:
            self.send("220-Brevanto fault server")
            self.send("220 ready")
            for line in self.lines():
                verb, _, arg = line.partition(" ")
                if verb.upper() == "USER":
                    self.user = arg
                self.log(line)
                action = getattr(self, "do_" + verb.upper(), None)
                if action is None:
                    self.send("502 Command not implemented.")
                elif action(arg) is False:
                    return
        except OSError:
            pass
        finally:
            if self.passive:
                self.passive.close()

    # ---- login ----

    def do_USER(self, arg):
        self.user = arg
        self.mode = arg.split(".", 1)[0]
        self.send("331 Password please.")

    def do_PASS(self, arg):
        if self.mode == "hang-login":
            self.quiet()
            return False
        if self.mode == "long-refusal":
            self.send("530 " + "Login refused by the long-winded fault server; " * 6 + "end.")
        elif self.mode == "long-multi":
            self.send("530-Login refused.\r\n530-" + "x" * 100 + "\r\n530-" + "y" * 100 + "\r\n530 " + "z" * 100)
        elif self.mode == "endless-reply":
            self.send("230-Welcome, and then some:")
            deadline = time.monotonic() + STALL_LIMIT
            while time.monotonic() < deadline:
                self.request.sendall(b" and more, and more, and more.\r\n" * 64)
            return False
        elif self.mode == "huge-line":
            self.send("230 " + "w" * 200000)
        else:
            self.send("230 Logged in.")

    def do_SYST(self, arg):
        self.send("215 UNIX Type: L8")

    def do_FEAT(self, arg):
        self.send("211-Features:")
        if self.mode == "mlsd":
            self.send(" MLST type*;size*;modify*;")
        self.send(" SIZE")
        self.send("211 End")

    def do_NOOP(self, arg):
        self.send("200 NOOP ok.")

    def do_QUIT(self, arg):
        self.send("221 Goodbye.")
        return False

    # ---- folders ----

    def do_PWD(self, arg):
        self.send('257 "%s" is the current directory.' % self.cwd.replace('"', '""'))

    def do_CWD(self, arg):
        target = resolve(self.cwd, arg)
        if target in FOLDERS:
            self.cwd = target
            self.send("250 Directory changed.")
        else:
            self.send("550 No such directory (fault server).")

    def do_MKD(self, arg):
        self.send('257 "%s" created.' % resolve(self.cwd, arg).replace('"', '""'))

    def do_RMD(self, arg):
        self.send("250 Removed.")

    def do_RNFR(self, arg):
        self.send("350 Ready for RNTO.")

    def do_RNTO(self, arg):
        self.send("250 Renamed.")

    def do_DELE(self, arg):
        if arg == "drop-connection":
            return False
        if arg == "multi-line":
            self.send("550-Cannot delete multi-line:")
            self.send("550-the second line says why")
            self.send("550 and this one ends it.")
            return
        self.send("250 Deleted.")

    # ---- data ----

    def do_TYPE(self, arg):
        self.send("200 Type set.")

    def do_MODE(self, arg):
        self.send("200 Mode set.")

    def do_STRU(self, arg):
        self.send("200 Structure set.")

    def do_REST(self, arg):
        self.send("350 Restarting.")

    def listen(self):
        if self.passive:
            self.passive.close()
        self.passive = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.passive.bind(("127.0.0.1", 0))
        self.passive.listen(1)
        self.passive.settimeout(10)
        return self.passive.getsockname()[1]

    def do_EPSV(self, arg):
        if self.mode == "pasv-elsewhere":
            self.send("500 EPSV not understood.")
            return
        port = self.listen()
        self.send("229 Entering Extended Passive Mode (|||%d|)" % port)

    def do_PASV(self, arg):
        port = self.listen()
        host = "10,255,255,1" if self.mode == "pasv-elsewhere" else "127,0,0,1"
        self.send("227 Entering Passive Mode (%s,%d,%d)" % (host, port >> 8, port & 255))

    def data_connection(self):
        if not self.passive:
            self.send("425 Use PASV first.")
            return None
        try:
            conn, _ = self.passive.accept()
        except OSError:
            self.send("425 No data connection.")
            return None
        finally:
            self.passive.close()
            self.passive = None
        return conn

    def do_SIZE(self, arg):
        name = arg.rsplit("/", 1)[-1]
        sizes = {"hello.txt": len(HELLO), "short-226.bin": 20000}
        if name in sizes:
            self.send("213 %d" % sizes[name])
        elif name.endswith(".bin"):
            self.send("213 %d" % (1000 * len(PART)))
        else:
            self.send("550 No such file (fault server).")

    def do_MDTM(self, arg):
        self.send("550 Not telling.")

    def do_RETR(self, arg):
        name = arg.rsplit("/", 1)[-1]
        if name == "hang-reply.bin":
            self.quiet()
            return False
        known = ("hello.txt", "drop-data.bin", "reset-data.bin", "short-226.bin", "stall-data.bin")
        if name not in known:
            self.send("550 No such file (fault server).")
            return
        self.send("150 Opening data connection.")
        conn = self.data_connection()
        if conn is None:
            return
        if name == "hello.txt":
            conn.sendall(HELLO)
            conn.close()
            self.send("226 Transfer complete.")
        elif name == "drop-data.bin":
            conn.sendall(PART)
            conn.close()
            self.send("426 Connection closed; transfer aborted.")
        elif name == "reset-data.bin":
            conn.sendall(PART)
            time.sleep(0.2)  # the client takes the first bytes before the reset
            conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            conn.close()
            self.send("426 Data connection reset.")
        elif name == "short-226.bin":
            conn.sendall(PART[:10000])
            conn.close()
            self.send("226 Transfer complete.")
        elif name == "stall-data.bin":
            conn.sendall(PART)
            self.quiet()
            conn.close()
            return False

    def listing(self, lines):
        self.send("150 Here comes the listing.")
        conn = self.data_connection()
        if conn is None:
            return
        conn.sendall(b"".join(line + b"\r\n" for line in lines))
        conn.close()
        self.send("226 Listing sent.")

    def do_LIST(self, arg):
        if self.mode == "crlf":
            self.listing(CRLF_LISTING)
            return
        self.listing(DOS_LISTING if self.mode == "dos" else UNIX_LISTING)

    def do_MLSD(self, arg):
        if self.mode != "mlsd":
            self.send("500 MLSD not understood.")
            return
        self.listing(MLSD_LISTING)

    def do_STOR(self, arg):
        self.send("150 Send it.")
        conn = self.data_connection()
        if conn is None:
            return
        while conn.recv(65536):
            pass
        conn.close()
        self.send("226 Stored.")


class Silent(socketserver.BaseRequestHandler):
    def handle(self):
        self.request.settimeout(STALL_LIMIT)
        try:
            while self.request.recv(4096):
                pass
        except OSError:
            pass


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    port, silent_port, log = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
    open(log, "a").close()
    server = Server(("127.0.0.1", port), Control)
    server.log = log
    silent = Server(("127.0.0.1", silent_port), Silent)
    threading.Thread(target=silent.serve_forever, daemon=True).start()
    server.serve_forever()


if __name__ == "__main__":
    main()
