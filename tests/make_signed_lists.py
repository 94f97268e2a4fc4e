#!/usr/bin/python3
"""For test_trust_wizard (ctest fixture signed_lists): into OUT, a catalogue
that a wizard built with KEY.pub.pem accepts, published the vendor's way by
tools/publish_catalogue.py with KEY.key.pem, and the ways a list can fail:

  catalogue/update19.txt, update19.txt.sig, lupd19/ut20a.dat, lupd19/ut20b.dat
      the head sign --valid-days 30 wrote; [1] for MIRADO19: File001 with
      the digest and size hash wrote, File002 added after hash (no digest),
      then signed
  other.sig     the same list signed by another key of 3072 bits
  changed.txt   the list with one byte of its caption changed after signing
  serial5.txt ... big.txt with .sig: lists with every kind of head (write_heads)

Usage: make_signed_lists.py OUT KEY SECOND (KEY, SECOND: stems of the
build's two key pairs, as keygen was given them; KEY.pass and SECOND.pass
hold their passphrases). The other key's passphrase is written to
OUT/other.pass."""

import datetime
import hashlib
import os
import shutil
import subprocess
import sys

from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import padding

TOOL = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools", "publish_catalogue.py")
PASSPHRASE = b"talvero test list key"


def tool(*args):
    subprocess.run(["/usr/bin/python3", TOOL] + list(args), check=True, stdout=subprocess.DEVNULL)


def write_passphrase(stem):
    fd = os.open(stem + ".pass", os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600)
    with os.fdopen(fd, "wb") as f:
        f.write(PASSPHRASE + b"\n")
    return stem + ".pass"


def sign_raw(data, stem):
    """A signature over data as the tool makes it, also for lists the tool
    would refuse to sign."""
    with open(stem + ".pass", "rb") as f:
        passphrase = f.readline().rstrip(b"\r\n")
    with open(stem + ".key.pem", "rb") as f:
        key = serialization.load_pem_private_key(f.read(), passphrase)
    return key.sign(data, padding.PKCS1v15(), hashes.SHA256())


def sign_directly(stem, list_path, sig_path):
    """The tool refuses to sign a list with an entry that has no digest; the
    wizard's refusal of such an entry is what this list is here for."""
    with open(list_path, "rb") as f:
        data = f.read()
    with open(sig_path, "wb") as f:
        f.write(sign_raw(data, stem))


def main(out, key):
    shutil.rmtree(out, ignore_errors=True)
    cat = os.path.join(out, "catalogue")
    os.makedirs(os.path.join(cat, "lupd19"))
    for name, data in (("ut20a.dat", b"signed a"), ("ut20b.dat", b"signed b")):
        with open(os.path.join(cat, "lupd19", name), "wb") as f:
            f.write(data)
    list_path = os.path.join(cat, "update19.txt")
    with open(list_path, "wb") as f:
        f.write("[1]\r\nPrg=MIRADO19\r\nText=Signierte Liste\r\ncek=1\r\n"
                "File001=ut20a.dat\r\nName001=a.dat\r\n".encode("cp1252"))
    tool("hash", cat)
    tool("sign", cat, "--key", key + ".key.pem", "--passphrase-file", key + ".pass", "--valid-days", "30")
    with open(list_path, "ab") as f:
        f.write(b"File002=ut20b.dat\r\nName002=b.dat\r\n")
    sign_directly(key, list_path, os.path.join(cat, "update19.txt.sig"))

    other = os.path.join(out, "other")
    tool("keygen", other, "--passphrase-file", write_passphrase(other))
    sign_directly(other, list_path, os.path.join(out, "other.sig"))

    with open(list_path, "rb") as f:
        data = f.read()
    with open(os.path.join(out, "changed.txt"), "wb") as f:
        f.write(data.replace(b"Signierte Liste", b"Signierte Listf"))


def write_heads(out, key, second):
    """Lists with every kind of head, each signed by the build's key:
    serial5, serial4, expired, nohead, badhead, othername, big (past 4 MiB),
    and serial5 signed by the build's second key as serial5.second.sig."""
    today = datetime.date.today()
    later = (today + datetime.timedelta(days=30)).strftime("%Y%m%d")
    before = (today - datetime.timedelta(days=1)).strftime("%Y%m%d")
    with open(os.path.join(out, "catalogue", "lupd19", "ut20a.dat"), "rb") as f:
        a = f.read()
    body = ("[1]\r\nPrg=MIRADO19\r\nText=Signierte Liste\r\ncek=1\r\nFile001=ut20a.dat\r\nName001=a.dat\r\n"
            "Hash001=sha256:%s\r\nSize001=%d\r\n" % (hashlib.sha256(a).hexdigest(), len(a))).encode("cp1252")

    def head(name, serial, day):
        return ("[Liste]\r\nName=%s\r\nSerie=%s\r\nAblauf=%s\r\n\r\n" % (name, serial, day)).encode("ascii")

    lists = {
        "serial5": head("update19.txt", 5, later) + body,
        "serial4": head("update19.txt", 4, later) + body,
        "expired": head("update19.txt", 6, before) + body,
        "nohead": body,
        "badhead": head("update19.txt", "5a", later) + body,
        "othername": head("update20.txt", 7, later) + body,
        "big": head("update19.txt", 8, later) + body + b";" + b"x" * (4 * 1024 * 1024) + b"\r\n",
    }
    for name, data in lists.items():
        with open(os.path.join(out, name + ".txt"), "wb") as f:
            f.write(data)
        with open(os.path.join(out, name + ".txt.sig"), "wb") as f:
            f.write(sign_raw(data, key))
    with open(os.path.join(out, "serial5.second.sig"), "wb") as f:
        f.write(sign_raw(lists["serial5"], second))


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
    write_heads(sys.argv[1], sys.argv[2], sys.argv[3])
