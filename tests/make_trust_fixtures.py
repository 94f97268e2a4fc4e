#!/usr/bin/python3
"""For test_trust (ctest fixture trust_fixtures), into the folder given:
catalogue/ published by tools/publish_catalogue.py (hash, sign with a head
valid 30 days, with good), keys good, other (3072 bits, encrypted with the
passphrase in <key>.pass), big (4096, unencrypted) and weak (2048), the list
signed by big and weak as <key>.sig, and changed.txt, the list with one byte
changed. Only what the tool refuses to make is made here directly: the weak
ones."""

import os
import shutil
import subprocess
import sys

from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import padding, rsa

TOOL = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools", "publish_catalogue.py")
PASSPHRASE = b"talvero test list key"
SIZES = {"leer.bin": 0, "abc.txt": 3, "block.bin": 65536, "block1.bin": 65537, "gross.bin": 200003}


def tool(*args):
    subprocess.run(["/usr/bin/python3", TOOL] + list(args), check=True, stdout=subprocess.DEVNULL)


def write_passphrase(stem):
    fd = os.open(stem + ".pass", os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600)
    with os.fdopen(fd, "wb") as f:
        f.write(PASSPHRASE + b"\n")
    return stem + ".pass"


def main(out):
    shutil.rmtree(out, ignore_errors=True)
    cat = os.path.join(out, "catalogue")
    os.makedirs(os.path.join(cat, "lupd19"))
    lines = ["[1]", "Prg=MIRADO19", "Text=Pr\xfcfsummen", "cek=1"]
    for n, (name, size) in enumerate(SIZES.items(), 1):
        with open(os.path.join(cat, "lupd19", name), "wb") as f:  # sizes around the 64 KiB read block
            f.write(b"abc" if size == 3 else bytes((i * 7 + i // 251) & 0xFF for i in range(size)))
        lines += ["File%03d=%s" % (n, name), "Name%03d=%s" % (n, name)]
    with open(os.path.join(cat, "update19.txt"), "wb") as f:
        f.write(("\r\n".join(lines) + "\r\n").encode("cp1252"))
    weak = rsa.generate_private_key(public_exponent=65537, key_size=2048)
    big = rsa.generate_private_key(public_exponent=65537, key_size=4096)
    for stem, key in (("weak", weak), ("big", big)):
        with open(os.path.join(out, stem + ".pub.pem"), "wb") as f:
            f.write(key.public_key().public_bytes(serialization.Encoding.PEM,
                                                  serialization.PublicFormat.SubjectPublicKeyInfo))
    # sign refuses a private key that others than its owner may read.
    with os.fdopen(os.open(os.path.join(out, "big.key.pem"), os.O_WRONLY | os.O_CREAT, 0o600), "wb") as f:
        f.write(big.private_bytes(serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8,
                                  serialization.NoEncryption()))

    for stem in ("good", "other"):
        tool("keygen", os.path.join(out, stem), "--passphrase-file", write_passphrase(os.path.join(out, stem)))
    tool("hash", cat)
    # The first sign gives the list its head; the second signs the same bytes.
    tool("sign", cat, "--key", os.path.join(out, "big.key.pem"), "--valid-days", "30")
    os.rename(os.path.join(cat, "update19.txt.sig"), os.path.join(out, "big.sig"))
    tool("sign", cat, "--key", os.path.join(out, "good.key.pem"), "--passphrase-file", os.path.join(out, "good.pass"))
    tool("verify", cat, "--key", os.path.join(out, "good.pub.pem"))

    with open(os.path.join(cat, "update19.txt"), "rb") as f:
        data = f.read()
    with open(os.path.join(out, "weak.sig"), "wb") as f:
        f.write(weak.sign(data, padding.PKCS1v15(), hashes.SHA256()))
    with open(os.path.join(out, "changed.txt"), "wb") as f:
        f.write(data.replace(b"cek=1", b"cek=0"))


if __name__ == "__main__":
    main(sys.argv[1])
