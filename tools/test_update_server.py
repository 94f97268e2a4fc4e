"""Fault switches of the local update server, seen from real clients."""

import ftplib
import json
import os
import re
import select
import socket
import subprocess
import tempfile
import time
import unittest
import urllib.request

SERVER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "update_server.py")
USER, PASSWORD = "58213_upd", "6184270"
BIG = bytes(range(251)) * 1200  # 301200 bytes: several send buffers
LIST = b"[demo]\r\n"
FILES = "/talveroupdate/files/"


class Server:
    """One server on free loopback ports over a scratch catalogue."""

    def __init__(self):
        self.dir = tempfile.TemporaryDirectory()
        os.makedirs(os.path.join(self.dir.name, "lupd19"))
        for name, data in (("lupd19/big.bin", BIG), ("update19.txt", LIST)):
            with open(os.path.join(self.dir.name, name), "wb") as f:
                f.write(data)
        self.log = open(os.path.join(self.dir.name, "server.log"), "wb")
        self.proc = subprocess.Popen(
            ["/usr/bin/python3", SERVER, "--catalogue", self.dir.name],
            stdout=subprocess.PIPE, stderr=self.log, stdin=subprocess.DEVNULL)
        line = self.proc.stdout.readline().decode()
        if not line.startswith("update_server ready "):
            self.stop()
            raise RuntimeError("server did not start: %r" % line)
        fields = dict(f.split("=") for f in line.split()[2:])
        self.http, self.ftp = int(fields["http_port"]), int(fields["ftp_port"])

    def control(self, query):
        url = "http://127.0.0.1:%d/_control?%s" % (self.http, query)
        with urllib.request.urlopen(url, timeout=5) as r:
            return json.load(r)

    def login(self, passive=False):
        ftp = ftplib.FTP()
        ftp.connect("127.0.0.1", self.ftp, timeout=5)
        ftp.login(USER, PASSWORD)
        ftp.set_pasv(passive)
        ftp.voidcmd("TYPE I")
        return ftp

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(timeout=15)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.proc.stdout.close()
        self.log.close()
        self.dir.cleanup()


def http_get(port, path):
    """Sends a GET; returns the socket, status, Content-Length and body so far."""
    sock = socket.create_connection(("127.0.0.1", port), timeout=5)
    sock.sendall(b"GET %s HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n" % path.encode())
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = sock.recv(65536)
        if not chunk:
            raise AssertionError("no complete response head: %r" % data)
        data += chunk
    head, _, body = data.partition(b"\r\n\r\n")
    length = int(re.search(rb"(?im)^content-length: *(\d+)", head).group(1))
    return sock, head.split()[1], length, body


def read_exactly(sock, count):
    data = b""
    while len(data) < count:
        chunk = sock.recv(65536)
        if not chunk:
            break
        data += chunk
    return data


def silent_and_open(socks, wait=1.0):
    """True when for `wait` seconds none of `socks` got data or an end of stream."""
    return select.select(socks, [], [], wait)[0] == []


class Faults(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.server = Server()

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()

    def setUp(self):
        self.server.control("reset=1")

    def test_ftp_stall_sends_n_bytes_then_holds_the_data_connection(self):
        # Below, at and above one 64 KiB send buffer, active and passive.
        cases = [(1000, False), (65536, False), (150001, False), (65536, True)]
        held = []
        for limit, passive in cases:
            self.server.control("ftp_stall=%d" % limit)
            ftp = self.server.login(passive)
            conn = ftp.transfercmd("RETR lupd19/big.bin")
            conn.settimeout(5)
            self.assertEqual(read_exactly(conn, limit), BIG[:limit], (limit, passive))
            held.append((ftp, conn))
        self.assertTrue(silent_and_open([conn for _, conn in held]))
        for ftp, conn in held:
            conn.close()
            # The server notices the hang-up and reports the transfer aborted.
            with self.assertRaisesRegex(ftplib.error_temp, "^426"):
                ftp.voidresp()
            ftp.close()

    def test_ftp_silent_accepts_but_never_answers(self):
        self.server.control("ftp_silent=1")
        quiet = socket.create_connection(("127.0.0.1", self.server.ftp), timeout=5)
        quiet.sendall(b"USER %s\r\n" % USER.encode())
        self.assertTrue(silent_and_open([quiet]))
        # Other sessions are served meanwhile, once the switch is off again.
        self.server.control("ftp_silent=0")
        self.server.login().quit()
        self.assertTrue(silent_and_open([quiet], 0.1))
        quiet.close()

    def test_ftp_size_delta_misreports_listings_but_not_the_data(self):
        for delta in (1234, -100, -10 ** 9):
            self.server.control("ftp_size_delta=%d" % delta)
            shown = max(0, len(BIG) + delta)
            ftp = self.server.login()  # active, as WinInet lists
            lines = []
            ftp.retrlines("LIST lupd19", lines.append)
            entry = [l.split() for l in lines if l.endswith(" big.bin")]
            self.assertEqual(int(entry[0][4]), shown, (delta, lines))
            self.assertEqual(dict(ftp.mlsd("lupd19"))["big.bin"]["size"], str(shown))
            ftp.voidcmd("TYPE I")  # the listings switched to ASCII
            self.assertEqual(ftp.size("lupd19/big.bin"), shown)
            for rest in (None, len(BIG) - 10):  # a resume near the real end still works
                data = []
                ftp.retrbinary("RETR lupd19/big.bin", data.append, rest=rest)
                self.assertEqual(b"".join(data), BIG[rest:])
            ftp.quit()

    def test_ftp_rate_paces_each_file_connection_and_keeps_its_bytes(self):
        # Loose bounds: slower than the rate allows means no pacing at all,
        # five times slower means the pacing stalls. Active and passive.
        payload = BIG * 7  # 2108400 bytes, at 10 MB/s about 0.21 s
        with open(os.path.join(self.server.dir.name, "lupd19", "rate.bin"), "wb") as f:
            f.write(payload)
        self.server.control("ftp_rate=10000000")
        for passive in (False, True):
            ftp = self.server.login(passive)
            data = []
            started = time.monotonic()
            ftp.retrbinary("RETR lupd19/rate.bin", data.append, blocksize=4096)
            took = time.monotonic() - started
            ftp.quit()
            self.assertEqual(b"".join(data), payload, passive)
            self.assertGreaterEqual(took, 0.15, passive)
            self.assertLess(took, 1.0, passive)
        # The listing and other control traffic is not paced.
        self.server.control("ftp_rate=1000")
        ftp = self.server.login()
        self.assertIn("big.bin", ftp.nlst("lupd19"))
        ftp.quit()

    def test_http_cut_announces_the_whole_body_sends_n_bytes_and_closes(self):
        for limit in (1000, 150001):
            self.server.control("http_cut=%d" % limit)
            sock, status, length, body = http_get(self.server.http, FILES + "lupd19/big.bin")
            body += read_exactly(sock, len(BIG) - len(body))  # stops early at the close
            sock.close()
            self.assertEqual((status, length, body), (b"200", len(BIG), BIG[:limit]))
        self.server.control("http_match=update19")
        sock, _, _, body = http_get(self.server.http, FILES + "lupd19/big.bin")
        self.assertEqual(body + read_exactly(sock, len(BIG) - len(body)), BIG)
        sock.close()

    def test_http_stall_holds_the_connection_without_holding_the_server(self):
        self.server.control("http_stall=70000&http_match=big")
        sock, status, length, body = http_get(self.server.http, FILES + "lupd19/big.bin")
        body += read_exactly(sock, 70000 - len(body))
        self.assertEqual((status, length, body), (b"200", len(BIG), BIG[:70000]))
        url = "http://127.0.0.1:%d%supdate19.txt" % (self.server.http, FILES)
        with urllib.request.urlopen(url, timeout=5) as r:
            self.assertEqual(r.read(), LIST)
        self.assertTrue(silent_and_open([sock]))
        sock.close()


class Stopping(unittest.TestCase):
    def test_sigterm_stops_the_server_while_connections_are_held(self):
        server = Server()
        try:
            server.control("ftp_stall=100&http_stall=100")
            ftp = server.login()
            data = ftp.transfercmd("RETR lupd19/big.bin")
            data.settimeout(5)
            self.assertEqual(read_exactly(data, 100), BIG[:100])
            web = http_get(server.http, FILES + "lupd19/big.bin")[0]
            server.control("ftp_silent=1")
            quiet = socket.create_connection(("127.0.0.1", server.ftp), timeout=5)
            quiet.sendall(b"NOOP\r\n")
            server.proc.terminate()
            self.assertEqual(server.proc.wait(timeout=15), 0)
            for sock in (data, web, quiet, ftp.sock):
                sock.close()
        finally:
            server.stop()
