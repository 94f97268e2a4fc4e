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
import urllib.error
import urllib.request

SERVER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "update_server.py")
USER, PASSWORD = "58213_upd", "6184270"
BIG = bytes(range(251)) * 1200  # 301200 bytes: several send buffers
LIST = b"[demo]\r\n"
FILES = "/talveroupdate/files/"


class Server:
    """One server on free loopback ports over a scratch catalogue."""

    def __init__(self, *args):
        self.dir = tempfile.TemporaryDirectory()
        os.makedirs(os.path.join(self.dir.name, "lupd19"))
        for name, data in (("lupd19/big.bin", BIG), ("update19.txt", LIST)):
            with open(os.path.join(self.dir.name, name), "wb") as f:
                f.write(data)
        self.log = open(os.path.join(self.dir.name, "server.log"), "wb")
        self.proc = subprocess.Popen(
            ["/usr/bin/python3", SERVER, "--catalogue", self.dir.name, *args],
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

    def requests(self):
        with urllib.request.urlopen("http://127.0.0.1:%d/_log" % self.http, timeout=5) as r:
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


def http_get(port, path, headers=""):
    """Sends a GET; returns the socket, status, Content-Length and body so far."""
    sock = socket.create_connection(("127.0.0.1", port), timeout=5)
    sock.sendall(b"GET %s HTTP/1.1\r\nHost: 127.0.0.1\r\n%s\r\n" % (path.encode(), headers.encode()))
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = sock.recv(65536)
        if not chunk:
            raise AssertionError("no complete response head: %r" % data)
        data += chunk
    head, _, body = data.partition(b"\r\n\r\n")
    length = int(re.search(rb"(?im)^content-length: *(\d+)", head).group(1))
    return sock, head.split()[1], length, body


def fetch(port, path, headers=None, method="GET"):
    """(status, headers, body) of one request, error answers too."""
    req = urllib.request.Request("http://127.0.0.1:%d%s" % (port, path),
                                 headers=headers or {}, method=method)
    try:
        with urllib.request.urlopen(req, timeout=5) as r:
            return r.status, r.headers, r.read()
    except urllib.error.HTTPError as err:
        with err:
            return err.code, err.headers, err.read()


def http_read(port, path, headers=""):
    """(status, Content-Length, body up to the close or the announced end)."""
    sock, status, length, body = http_get(port, path, headers)
    body += read_exactly(sock, length - len(body))
    sock.close()
    return status, length, body


def retr(ftp, rest=None):
    data = []
    ftp.retrbinary("RETR lupd19/big.bin", data.append, rest=rest)
    return b"".join(data)


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
        # Logged though never answered: the quiet session's USER, then the login's.
        self.assertEqual(self.server.requests()["ftp"][:2], ["USER " + USER] * 2)
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

    def test_ftp_off_closes_the_listener_and_opens_it_again_on_the_same_port(self):
        # Round after round: each answer must come only once the change is made.
        for back_on in ("ftp_off=0", "reset=1", "ftp_off=0"):
            self.server.control("ftp_off=1")
            with self.assertRaises(ConnectionRefusedError):
                socket.create_connection(("127.0.0.1", self.server.ftp), timeout=5).close()
            self.server.control(back_on)
            self.server.login().quit()

    def test_ftp_active_modes_fail_active_data_connections_but_not_passive(self):
        self.assertRaises(urllib.error.HTTPError, self.server.control, "ftp_active=4")
        for mode in (1, 2, 3):
            self.server.control("ftp_active=%d" % mode)
            for verb, command in (("PORT", "LIST lupd19"), ("EPRT", "RETR lupd19/big.bin")):
                ftp = self.server.login()
                listener = socket.create_server(("127.0.0.1", 0))
                port = listener.getsockname()[1]
                verb += " " + ("127,0,0,1,%d,%d" % divmod(port, 256) if verb == "PORT"
                               else "|1|127.0.0.1|%d|" % port)
                if mode == 1:
                    self.assertRaisesRegex(ftplib.error_perm, "^50[02]", ftp.sendcmd, verb)
                else:
                    self.assertEqual(ftp.sendcmd(verb)[:3], "200")
                    ftp.putcmd(command)
                    if mode == 2:
                        self.assertRaisesRegex(ftplib.error_temp, "^425", ftp.getresp)
                    # Never connected to; at 3 no answer either, and no hang-up.
                    self.assertTrue(silent_and_open([listener, ftp.sock], 0.3 * mode), verb)
                listener.close()
                if mode == 3:
                    ftp.close()
                    ftp = self.server.login()
                ftp.set_pasv(True)
                self.assertEqual(retr(ftp), BIG, (mode, verb))
                ftp.quit()

    def _cut_or_stalled(self, ftp, rest=None, fault=1000):
        """A RETR that the switched fault ends at byte `fault` of the file."""
        conn = ftp.transfercmd("RETR lupd19/big.bin", rest)
        conn.settimeout(5)
        self.assertEqual(read_exactly(conn, fault - (rest or 0)), BIG[rest or 0:fault])
        conn.close()
        self.assertRaisesRegex(ftplib.error_temp, "^426", ftp.voidresp)

    def test_ftp_rest_and_fault_once_resume_a_broken_transfer_or_rest_is_refused(self):
        ftp = self.server.login()
        for switch in ("ftp_cut", "ftp_stall"):
            # A position in the file, so a REST from before it breaks there
            # and one from beyond it at once; with fault_once only the first
            # transfer of the file breaks.
            self.server.control("reset=1&%s=6000" % switch)
            self._cut_or_stalled(ftp, rest=5000, fault=6000)
            self._cut_or_stalled(ftp, rest=7000, fault=7000)
            self.server.control("reset=1&fault_once=1&%s=6000" % switch)
            self._cut_or_stalled(ftp, rest=5000, fault=6000)
            self.assertEqual((retr(ftp, 6000), retr(ftp)), (BIG[6000:], BIG), switch)
        self.server.control("fault_once=1")  # a fresh count
        self._cut_or_stalled(ftp, fault=6000)
        self.server.control("reset=1&ftp_rest=0")
        self.assertRaisesRegex(ftplib.error_perm, "^50[02]", ftp.sendcmd, "REST 4096")
        self.assertNotIn("REST", ftp.sendcmd("FEAT"))
        self.assertEqual(retr(ftp), BIG)  # no restart left pending
        ftp.quit()

    def test_http_fault_once_per_path_and_cuts_at_a_position_in_the_file(self):
        http = self.server.http
        self.server.control("http_cut=6000")
        self.assertEqual(http_read(http, FILES + "lupd19/big.bin", "Range: bytes=5000-\r\n"),
                         (b"206", len(BIG) - 5000, BIG[5000:6000]))
        self.assertEqual(http_read(http, FILES + "lupd19/big.bin", "Range: bytes=7000-\r\n"),
                         (b"206", len(BIG) - 7000, b""))
        self.server.control("fault_once=1&http_cut=4")
        for name, whole in (("lupd19/big.bin", BIG), ("update19.txt", LIST)):
            self.assertEqual(http_read(http, FILES + name), (b"200", len(whole), whole[:4]))
            self.assertEqual(fetch(http, FILES + name, {"Range": "bytes=4-"})[::2],
                             (206, whole[4:]), name)
            self.assertEqual(fetch(http, FILES + name)[::2], (200, whole), name)

    def test_http_ranges_and_validators(self):
        name = os.path.join(self.server.dir.name, "lupd19", "range.bin")
        with open(name, "wb") as f:
            f.write(BIG)
        path, size, last = FILES + "lupd19/range.bin", len(BIG), len(BIG) - 1
        _, head, _ = fetch(self.server.http, path)
        etag, modified = head["ETag"], head["Last-Modified"]
        self.assertRegex(etag, r'^"[^"]+"$')
        span = "bytes 10-19/%d" % size
        for headers, status, body, content_range in [
                ({}, 200, BIG, None),
                ({"Range": "bytes=1000-"}, 206, BIG[1000:], "bytes 1000-%d/%d" % (last, size)),
                ({"Range": "bytes=10-19"}, 206, BIG[10:20], span),
                ({"Range": "bytes=10-999999"}, 206, BIG[10:], "bytes 10-%d/%d" % (last, size)),
                ({"Range": "bytes=-100"}, 206, BIG[-100:], "bytes %d-%d/%d" % (last - 99, last, size)),
                ({"Range": "bytes=%d-" % size}, 416, b"", "bytes */%d" % size),
                ({"Range": "bytes=10-19,30-39"}, 200, BIG, None),
                ({"Range": "bytes=10-19", "If-Range": etag}, 206, BIG[10:20], span),
                ({"Range": "bytes=10-19", "If-Range": modified}, 206, BIG[10:20], span),
                ({"Range": "bytes=10-19", "If-Range": '"other"'}, 200, BIG, None),
                ({"Range": "bytes=10-19", "If-Range": "W/" + etag}, 200, BIG, None)]:
            for method in ("GET", "HEAD"):
                got, head, data = fetch(self.server.http, path, headers, method)
                self.assertEqual(
                    (got, head["Content-Range"], int(head["Content-Length"]), data,
                     head["ETag"], head["Last-Modified"], head["Accept-Ranges"]),
                    (status, content_range, len(body), body if method == "GET" else b"",
                     etag, modified, "bytes"), (headers, method))
        # The file changed: neither its old tag nor its old date brings a part.
        os.utime(name, (os.stat(name).st_mtime + 100,) * 2)
        for validator in (etag, modified):
            got, head, data = fetch(self.server.http, path,
                                    {"Range": "bytes=10-19", "If-Range": validator})
            self.assertEqual((got, data), (200, BIG), validator)
            self.assertNotIn(head["ETag"], (etag, None))
        self.server.control("http_range=0")
        got, head, data = fetch(self.server.http, path, {"Range": "bytes=10-19"})
        self.assertEqual((got, data, head["Accept-Ranges"]), (200, BIG, None))
        self.assertIsNotNone(head["ETag"])

    def test_request_log_lists_ftp_commands_and_file_requests(self):
        # setUp's reset has emptied what the earlier tests left.
        self.assertEqual(self.server.requests(), {"ftp": [], "http": []})
        ftp = self.server.login(passive=True)
        self.assertEqual(retr(ftp, 4096), BIG[4096:])
        ftp.sendcmd("cwd lupd19")
        ftp.set_pasv(False)
        ftp.retrlines("LIST big.bin", lambda line: None)
        ftp.quit()
        http, big = self.server.http, FILES + "lupd19/big.bin"
        fetch(http, FILES + "update19.txt")
        fetch(http, big, {"Range": "bytes=10-"})
        fetch(http, big, {"Range": "bytes=10-", "If-Range": '"old"'})
        fetch(http, FILES + "none.bin", method="HEAD")
        fetch(http, "/elsewhere")  # not recorded, as /_control and /_log are not
        self.assertEqual(http_read(http, "http://127.0.0.1:%d%supdate19.txt" % (http, FILES)),
                         (b"200", len(LIST), LIST))  # absolute-form, as to a proxy
        log = self.server.requests()
        self.assertEqual([re.sub(r"^PORT \d+(,\d+){5}$", "PORT", line) for line in log["ftp"]],
                         ["USER " + USER, "PASS ***", "TYPE I", "TYPE I", "PASV", "REST 4096",
                          "RETR lupd19/big.bin", "CWD lupd19", "TYPE A", "PORT", "LIST big.bin",
                          "QUIT"])
        keys = ("method", "path", "range", "if_range", "status")
        self.assertEqual(log["http"], [dict(zip(keys, entry)) for entry in (
            ("GET", FILES + "update19.txt", None, None, 200),
            ("GET", big, "bytes=10-", None, 206),
            ("GET", big, "bytes=10-", '"old"', 200),
            ("HEAD", FILES + "none.bin", None, None, 404),
            ("GET", FILES + "update19.txt", None, None, 200))])
        self.server.control("clear_log=1")
        self.assertEqual(self.server.requests(), {"ftp": [], "http": []})

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



class CommandLine(unittest.TestCase):
    def test_command_line_sets_the_state_that_reset_restores(self):
        given = {"ftp_off": 1, "ftp_active": 2, "ftp_rest": 0, "http_range": 0, "fault_once": 1}
        server = Server("--ftp-off", "--ftp-active=2", "--ftp-rest=0", "--http-range=0",
                        "--fault-once")
        try:
            # Closed from the start, before any /_control could close it.
            self.assertRaises(ConnectionRefusedError, socket.create_connection,
                              ("127.0.0.1", server.ftp), 5)
            for query in ("", "ftp_off=0&ftp_active=0&ftp_rest=1&http_range=1&fault_once=0",
                          "reset=1"):
                state = server.control(query)
                if state["ftp_off"]:
                    self.assertEqual({k: state[k] for k in given}, given, query)
                    self.assertRaises(ConnectionRefusedError, socket.create_connection,
                                      ("127.0.0.1", server.ftp), 5)
                else:
                    server.login().quit()
        finally:
            server.stop()
