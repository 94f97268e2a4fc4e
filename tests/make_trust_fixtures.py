#!/usr/bin/python3
"""Keys, a published catalogue and signatures for test_trust, made into the
folder given (ctest fixture trust_fixtures) by tools/publish_catalogue.py as
the vendor runs it. Only what the tool refuses to make is made here directly:
a signature by a 2048-bit key.

  catalogue/update19.txt, .sig, lupd19/*   hash + sign with good.key.pem
  good.pub.pem, other.pub.pem, big.pub.pem  keys of 3072, 3072 and 4096 bits
  weak.pub.pem                              a 2048-bit key
  other.sig, big.sig, weak.sig              the same list signed by those keys
  changed.txt                               the list with one byte changed
"""

import os
import shutil
import subprocess
import sys

from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import padding, rsa

TOOL = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools", "publish_catalogue.py")

# Sizes around the 64 KiB read block of FileSha256.
FILES = {"leer.bin": 0, "abc.txt": 3, "block.bin": 65536, "block1.bin": 65537, "gross.bin": 200003}


def tool(*args):
    subprocess.run(["/usr/bin/python3", TOOL] + list(args), check=True, stdout=subprocess.DEVNULL)


def content(size):
    return bytes((i * 7 + i // 251) & 0xFF for i in range(size))


def write_key(key, stem):
    with open(stem + ".key.pem", "wb") as f:
        f.write(key.private_bytes(serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8,
                                  serialization.NoEncryption()))
    with open(stem + ".pub.pem", "wb") as f:
        f.write(key.public_key().public_bytes(serialization.Encoding.PEM,
                                              serialization.PublicFormat.SubjectPublicKeyInfo))


def main(out):
    shutil.rmtree(out, ignore_errors=True)
    cat = os.path.join(out, "catalogue")
    os.makedirs(os.path.join(cat, "lupd19"))
    lines = ["[1]", "Prg=MIRADO19", "Text=Pr\xfcfsummen", "cek=1"]
    for n, (name, size) in enumerate(FILES.items(), 1):
        data = b"abc" if name == "abc.txt" else content(size)
        with open(os.path.join(cat, "lupd19", name), "wb") as f:
            f.write(data)
        lines += ["File%03d=%s" % (n, name), "Name%03d=%s" % (n, name), "Path%03d=" % n]
    listed = os.path.join(cat, "update19.txt")
    with open(listed, "wb") as f:
        f.write(("\r\n".join(lines) + "\r\n").encode("cp1252"))

    tool("keygen", os.path.join(out, "good"))
    tool("keygen", os.path.join(out, "other"))
    write_key(rsa.generate_private_key(public_exponent=65537, key_size=4096), os.path.join(out, "big"))
    tool("hash", cat)
    sig = os.path.join(cat, "update19.txt.sig")
    for stem in ("other", "big", "good"):  # good last: its signature stays beside the list
        tool("sign", cat, "--key", os.path.join(out, stem + ".key.pem"))
        shutil.copyfile(sig, os.path.join(out, stem + ".sig"))
    tool("verify", cat, "--key", os.path.join(out, "good.pub.pem"))

    with open(listed, "rb") as f:
        data = f.read()
    weak = rsa.generate_private_key(public_exponent=65537, key_size=2048)
    write_key(weak, os.path.join(out, "weak"))
    with open(os.path.join(out, "weak.sig"), "wb") as f:
        f.write(weak.sign(data, padding.PKCS1v15(), hashes.SHA256()))
    changed = bytearray(data)
    changed[data.index(b"cek=1") + 4] = ord("0")
    with open(os.path.join(out, "changed.txt"), "wb") as f:
        f.write(bytes(changed))


if __name__ == "__main__":
    main(sys.argv[1])
