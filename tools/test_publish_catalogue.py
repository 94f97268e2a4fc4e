"""publish_catalogue.py run as the vendor runs it, on scratch catalogues."""

import datetime
import hashlib
import http.server
import os
import pathlib
import re
import shutil
import stat
import subprocess
import tempfile
import threading
import unittest

from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import padding

TOOL = os.path.join(os.path.dirname(os.path.abspath(__file__)), "publish_catalogue.py")
# CP1252 (0xFC), CR LF and bare LF mixed, a stale digest under lower-case
# keys, a comment, a quoted value and no end after the last line.
LIST = (b"[1]\r\nText=Men\xfc\r\nFile001=men\xfc19.mnu\r\nName001=men\xfc.mnu\r\n"
        b"file002 = mtool.prg\n; Kommentar\nhash002=sha256:" + b"0" * 64 + b"\r\n"
        b"[2]\nPrg=MIRADOS19\nFile001=\"hilfe19.txt\"")
FILES = {"men\xfc19.mnu": b"menu\x00\xff", "mtool.EXE": b"MZ", "mtool.prg": b"MZ", "hilfe19.txt": b""}
SERVER = os.path.join(os.path.dirname(TOOL), "update_server.py")
PASSPHRASE = b"Kennwort f\xfcr Tests"


def run(*args):
    # A session of its own has no terminal, so that a question for a
    # passphrase fails at once instead of waiting for the tester.
    return subprocess.run(["/usr/bin/python3", TOOL] + list(args), capture_output=True, text=True,
                          stdin=subprocess.DEVNULL, start_new_session=True)


def day(offset):
    return (datetime.date.today() + datetime.timedelta(days=offset)).strftime("%Y%m%d").encode()


HEAD = b"[Liste]\r\nName=update19.txt\r\nSerie=1\r\nAblauf=%s\r\n\r\n"


def sha(data):
    return b"sha256:" + hashlib.sha256(data).hexdigest().encode()


def stop(proc):
    proc.terminate()
    try:
        proc.wait(timeout=15)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()
    proc.stdout.close()


class Endless(http.server.BaseHTTPRequestHandler):
    """A server that answers every request with bytes that never end."""

    def do_GET(self):
        self.send_response(200)
        self.end_headers()
        try:
            while True:
                self.wfile.write(b"x" * 65536)
        except OSError:
            pass

    def log_message(self, *args):
        pass


class PublishTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.keys = tempfile.TemporaryDirectory()
        pathlib.Path(cls.keys.name, "pass").write_bytes(PASSPHRASE + b"\n")
        for stem in ("a", "b"):
            assert run("keygen", os.path.join(cls.keys.name, stem),
                       "--passphrase-file", os.path.join(cls.keys.name, "pass")).returncode == 0

    @classmethod
    def tearDownClass(cls):
        cls.keys.cleanup()

    def key(self, name):
        return os.path.join(self.keys.name, name)

    def catalogue(self, files=FILES, list_bytes=LIST):
        self.dir = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.dir)
        os.makedirs(self.path("lupd19"))
        for name, data in [("update19.txt", list_bytes)] + [("lupd19/" + k, v) for k, v in files.items()]:
            self.write(name, data)

    def path(self, name):
        return os.path.join(self.dir, name)

    def write(self, name, data):
        pathlib.Path(self.path(name)).write_bytes(data)

    def read(self, name):
        return pathlib.Path(self.path(name)).read_bytes()

    def sign_directly(self, data):
        with open(self.key("a.key.pem"), "rb") as f:
            key = serialization.load_pem_private_key(f.read(), PASSPHRASE)
        return key.sign(data, padding.PKCS1v15(), hashes.SHA256())

    def sign(self, *args):
        return run("sign", self.dir, "--key", self.key("a.key.pem"), "--passphrase-file", self.key("pass"), *args)

    def publish(self):
        self.assertEqual(run("hash", self.dir).returncode, 0)
        self.assertEqual(self.sign("--valid-days", "30").returncode, 0)

    def test_keygen_makes_a_secret_pkcs8_key_and_never_overwrites_one(self):
        stem = self.key("a")
        self.assertEqual(stat.S_IMODE(os.stat(stem + ".key.pem").st_mode), 0o600)
        with open(stem + ".key.pem", "rb") as f:
            pem = f.read()
        self.assertRaises(TypeError, serialization.load_pem_private_key, pem, None)
        key = serialization.load_pem_private_key(pem, PASSPHRASE)  # PKCS#8 unless this raises
        self.assertEqual(key.key_size, 3072)
        self.assertNotEqual(run("keygen", stem, "--passphrase-file", self.key("pass")).returncode, 0)
        pathlib.Path(self.key("empty")).write_bytes(b"\n" + PASSPHRASE)
        r = run("keygen", self.key("c"), "--passphrase-file", self.key("empty"))
        self.assertIn("is empty", r.stderr)
        self.assertFalse(os.path.exists(self.key("c.key.pem")) or os.path.exists(self.key("c.pub.pem")))

    def test_sign_needs_the_passphrase_and_a_key_only_its_owner_can_touch(self):
        with open(self.key("a.key.pem"), "rb") as f:
            plain = serialization.load_pem_private_key(f.read(), PASSPHRASE).private_bytes(
                serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8, serialization.NoEncryption())
        encrypted = pathlib.Path(self.key("a.key.pem")).read_bytes()
        cases = [  # (key file, its mode, passphrase file, words in the refusal; None: signs)
            (encrypted, 0o600, PASSPHRASE + b"\r\nnot this line", None),
            (encrypted, 0o400, PASSPHRASE, None),
            (encrypted, 0o600, PASSPHRASE + b" \n", "wrong passphrase"),
            (encrypted, 0o600, b"\n" + PASSPHRASE, "the passphrase, its first line, is empty"),
            (encrypted, 0o640, PASSPHRASE, "(mode 640), nothing signed; run: chmod 600"),
            (encrypted, 0o604, PASSPHRASE, "(mode 604)"),
            (encrypted, 0o620, PASSPHRASE, "(mode 620)"),
            (plain, 0o600, None, None),
        ]
        for key, mode, passphrase, words in cases:
            with self.subTest(mode=oct(mode), passphrase=passphrase, words=words):
                self.catalogue()
                self.assertEqual(run("hash", self.dir).returncode, 0)
                self.write("k.key.pem", key)
                os.chmod(self.path("k.key.pem"), mode)
                self.write("pass", passphrase or b"")
                args = ["sign", self.dir, "--key", self.path("k.key.pem"), "--valid-days", "30"]
                r = run(*args + (["--passphrase-file", self.path("pass")] if passphrase is not None else []))
                self.assertEqual(r.returncode != 0, words is not None, r.stderr)
                self.assertIn(words or "signed", r.stderr if words else r.stdout)
                self.assertEqual(os.path.exists(self.path("update19.txt.sig")), words is None)

    def test_hash_keeps_every_other_byte_and_each_line_end(self):
        hashed = (b"[1]\r\nText=Men\xfc\r\nFile001=men\xfc19.mnu\r\nHash001=" + sha(b"menu\x00\xff")
                  + b"\r\nSize001=6\r\nName001=men\xfc.mnu\r\nfile002 = mtool.prg\n; Kommentar\nhash002="
                  + sha(b"MZ") + b"\r\nSize002=2\r\n[2]\nPrg=MIRADOS19\nFile001=\"hilfe19.txt\"\nHash001="
                  + sha(b"") + b"\nSize001=0")
        cases = [  # (list before, list after hash)
            (LIST, hashed),
            # A Size line stays where it is, wherever that is; a missing one
            # follows its Hash line, even one above the File line.
            (b"[1]\nsize001 = 99 \nFile001=men\xfc19.mnu\nHash001=x\r\n[2]\nHash001=\nFile001=hilfe19.txt\n",
             b"[1]\nsize001 =6\nFile001=men\xfc19.mnu\nHash001=" + sha(b"menu\x00\xff")
             + b"\r\n[2]\nHash001=" + sha(b"") + b"\nSize001=0\nFile001=hilfe19.txt\n"),
        ]
        for before, after in cases:
            with self.subTest(before=before):
                self.catalogue(list_bytes=before)
                self.assertEqual(run("hash", self.dir).returncode, 0)
                self.assertEqual(self.read("update19.txt"), after)
                self.assertEqual(run("hash", self.dir).returncode, 0)
                self.assertEqual(self.read("update19.txt"), after, "a second run changes nothing")

    def test_verify_names_each_change_after_signing(self):
        def flip(name):
            return lambda: self.write(name, bytes([self.read(name)[0] ^ 1]) + self.read(name)[1:])

        def change_list():
            self.write("update19.txt", self.read("update19.txt").replace(b"Kommentar", b"Kommentaq"))

        cases = [  # (change, public keys, the one problem expected; None: verify passes)
            (lambda: None, "a.pub.pem", None),
            (change_list, "a.pub.pem", "update19.txt.sig does not match update19.txt and this key"),
            (lambda: None, "b.pub.pem", "update19.txt.sig does not match"),
            (lambda: None, "b.pub.pem a.pub.pem", None),
            (change_list, "a.pub.pem b.pub.pem", "does not match update19.txt and any of the 2 keys"),
            (lambda: os.remove(self.path("update19.txt.sig")), "a.pub.pem", "update19.txt.sig is missing"),
            (flip("lupd19/men\xfc19.mnu"), "a.pub.pem", "[1] File001: Hash001 does not match"),
            (flip("lupd19/mtool.prg"), "a.pub.pem", "mtool.prg (HTTP) hold different bytes"),
            (lambda: os.remove(self.path("lupd19/hilfe19.txt")), "a.pub.pem", "lupd19/hilfe19.txt is missing"),
            (lambda: self.write("update19.txt.sig", bytes(65537)), "a.pub.pem", "update19.txt.sig has 65537 bytes"),
        ]
        for i, (change, key, words) in enumerate(cases):
            with self.subTest(case=i, words=words):
                self.catalogue()
                self.publish()
                change()
                r = run("verify", self.dir, *[a for k in key.split() for a in ("--key", self.key(k))])
                problems = [line for line in r.stdout.splitlines() if line.startswith("problem:")]
                self.assertEqual(r.returncode != 0, words is not None, r.stdout)
                self.assertEqual(len(problems), 0 if words is None else 1, r.stdout)
                self.assertIn(words or "3 digests match", r.stdout)

    def test_verify_and_sign_name_what_is_wrong_in_a_list_signed_as_it_is(self):
        def grow_to(size):
            return lambda d: d + b"\n;" + b"." * (size - len(d) - 2)

        def ablauf(value):
            return lambda d: re.sub(rb"Ablauf=\d{8}", b"Ablauf=" + value, d, count=1)

        head = len(HEAD % day(30))

        cases = [  # (change of the published list, the one problem expected; None: verify passes)
            (lambda d: d.replace(b"Size001=6", b"Size001=7"),
             "[1] File001: Size001=7 but lupd19/men\xfc19.mnu has 6 bytes (run hash"),
            (lambda d: d.replace(b"Size001=6", b"Size001=6 Bytes"), "Size001=6 Bytes is not a byte count"),
            (lambda d: d.replace(b"Size002=2\r\n", b""), "[1] File002 has no Size002 (run hash)"),
            (grow_to(4 * 1024 * 1024), None),
            (grow_to(4 * 1024 * 1024 + 1), "update19.txt has 4194305 bytes"),
            (ablauf(day(0)), None),
            (ablauf(day(-1)), "Ablauf=%s: the list expired" % day(-1).decode()),
            (ablauf(b"20270230"), "[Liste] Ablauf=20270230 is not a day yyyymmdd"),
            (ablauf(b""), "[Liste] Ablauf is empty"),
            (lambda d: d.replace(b"Name=update19.txt", b"Name=update20.txt"), "Name=update20.txt is not update19.txt"),
            (lambda d: d.replace(b"Serie=1\r\n", b""), "[Liste] has no Serie"),
            (lambda d: d.replace(b"Serie=1\r\n", b"Serie=1\r\nserie=2\r\n"), "Serie in line 3 and again in line 4"),
            (lambda d: d.replace(b"Serie=1", b"Serie=" + b"1" * 19), "Serie=1111111111111111111 is not a number"),
            (lambda d: d.replace(b"Serie=1", b"Serie=" + b"9" * 18), None),
            (lambda d: d.replace(b"Serie=1", b" SERIE =\t1 "), None),
            (lambda d: d[d.index(b"[1]"):], "update19.txt has no head"),
            (lambda d: d[head:] + b"\r\n" + d[:head], "[Liste] in line 16 is not the first section"),
        ]
        for change, words in cases:
            with self.subTest(words=words):
                self.catalogue()
                self.publish()
                self.write("update19.txt", change(self.read("update19.txt")))
                self.write("update19.txt.sig", self.sign_directly(self.read("update19.txt")))
                r = run("verify", self.dir, "--key", self.key("a.pub.pem"))
                problems = [line for line in r.stdout.splitlines() if line.startswith("problem:")]
                self.assertEqual(len(problems), 0 if words is None else 1, r.stdout)
                self.assertEqual(r.returncode != 0, words is not None)
                self.assertIn(words or "digests match", "".join(problems) or r.stdout)
                signed = self.read("update19.txt"), self.read("update19.txt.sig")
                r = self.sign()
                self.assertEqual(r.returncode != 0, words is not None)
                self.assertIn(words or "signed", r.stderr or r.stdout)
                if words:
                    self.assertEqual((self.read("update19.txt"), self.read("update19.txt.sig")), signed)

    def test_sign_valid_days_renews_only_the_head_values(self):
        self.catalogue()
        self.assertEqual(run("hash", self.dir).returncode, 0)
        hashed = self.read("update19.txt")
        own_head = b"; Kopf\n[liste]\nname = update19.txt\n serie = \"41\" \nText=x\nABLAUF=20000101\n"
        cases = [  # (list before, --valid-days, list after)
            (hashed, "30", HEAD % day(30) + hashed),
            (HEAD % day(30) + hashed, "5", (HEAD % day(5)).replace(b"Serie=1", b"Serie=2") + hashed),
            (own_head + hashed, "1",
             own_head.replace(b"41", b"42").replace(b"20000101", day(1)) + hashed),
            (hashed.replace(b"Size001=6", b"Size001=5"), "30", None),
            (hashed, "0", None),
        ]
        for before, days, after in cases:
            with self.subTest(before=before[:40], days=days):
                self.write("update19.txt", before)
                r = self.sign("--valid-days", days)
                self.assertEqual(r.returncode, 0 if after else 2 if days == "0" else 1, r.stderr)
                self.assertEqual(self.read("update19.txt"), after or before)
                self.assertEqual(run("verify", self.dir, "--key", self.key("a.pub.pem")).returncode,
                                 0 if after else 1)

    def serve(self, folder):
        """The base URL of update_server.py serving folder on free ports."""
        proc = subprocess.Popen(["/usr/bin/python3", SERVER, "--catalogue", folder],
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
        self.addCleanup(stop, proc)
        line = proc.stdout.readline().decode()
        self.assertTrue(line.startswith("update_server ready "), line)
        return "http://127.0.0.1:%s/talveroupdate/files/" % re.search(r"http_port=(\d+)", line).group(1)

    def serve_endlessly(self):
        server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Endless)
        threading.Thread(target=server.serve_forever, daemon=True).start()
        self.addCleanup(server.server_close)
        self.addCleanup(server.shutdown)
        return "http://127.0.0.1:%d/" % server.server_address[1]

    def test_verify_url_checks_what_the_server_sends(self):
        def grow(name):
            return lambda: self.write(name, self.read(name) + b"more")

        cases = [  # (change on the server, check the catalogue too, words; None: verify passes)
            (lambda: None, False, None),
            (lambda: None, True, None),
            (lambda: self.write("lupd19/men\xfc19.mnu", b"Menu\x00\xff"), False,
             "problem: server: [1] File001: Hash001 does not match {}lupd19/men%C3%BC19.mnu (upload it again)"),
            (grow("lupd19/hilfe19.txt"), False, "[2] File001: Size001=0 but {}lupd19/hilfe19.txt has more than 0"),
            (lambda: os.remove(self.path("lupd19/mtool.prg")), False, "server: {}lupd19/mtool.prg: HTTP 404"),
            (lambda: os.remove(self.path("update19.txt.sig")), False, "server: {}update19.txt.sig: HTTP 404"),
            (lambda: self.sign("--valid-days", "30"), True, "server: {}update19.txt is not the one in the catalogue"),
            (None, False, "server: update19.txt has 4194305 bytes"),
        ]
        for change, with_catalogue, words in cases:
            with self.subTest(words=words, with_catalogue=with_catalogue):
                self.catalogue()
                self.publish()
                local = tempfile.mkdtemp()
                self.addCleanup(shutil.rmtree, local)
                shutil.copytree(self.dir, local, dirs_exist_ok=True)
                base = self.serve(self.dir) if change else self.serve_endlessly()
                if change:
                    change()
                r = run("verify", *([local] if with_catalogue else []), "--url", base, "--key", self.key("a.pub.pem"))
                self.assertEqual(r.returncode != 0, words is not None, r.stdout + r.stderr)
                self.assertIn((words or "3 files served match").format(base), r.stdout)
                self.assertEqual(r.stderr, "")

    def test_hash_refuses_and_leaves_the_list_alone(self):
        cases = [  # (files replaced or removed, list, words in the message)
            ({"hilfe19.txt": None}, LIST, "lupd19/hilfe19.txt is missing"),
            ({"mtool.prg": None}, LIST, "lupd19/mtool.prg is missing (the HTTP name"),
            ({"mtool.prg": b"MZ other"}, LIST, "hold different bytes"),
            ({}, LIST + b"\r\n[1]\r\nFile001=hilfe19.txt\r\n", "section [1] in line 1 and again"),
            ({}, LIST.replace(b"Name001", b"File001"), "has File001 in line 3 and again in line 4"),
            ({}, LIST.replace(b"=men\xfc19", b"=../men\xfc19"), "not a plain file name"),
        ]
        for changes, list_bytes, words in cases:
            with self.subTest(words=words):
                self.catalogue({k: v for k, v in dict(FILES, **changes).items() if v is not None}, list_bytes)
                before = os.stat(self.path("update19.txt")).st_mtime_ns
                r = run("hash", self.dir)
                self.assertNotEqual(r.returncode, 0)
                self.assertIn(words, r.stderr)
                self.assertEqual(self.read("update19.txt"), list_bytes)
                self.assertEqual(os.stat(self.path("update19.txt")).st_mtime_ns, before)


if __name__ == "__main__":
    unittest.main()
