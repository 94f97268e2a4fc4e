#!/usr/bin/python3
"""Builds the archives the ZIP tests extract, with real tools only: Info-ZIP
zip (deflated, stored, streamed with data descriptors, ZIP64 from stdin) and
Python's zipfile (forced ZIP64, UTF-8 names, a comment, 70,000 entries).

Usage: make_zip_fixtures.py OUTDIR

OUTDIR/tree holds the files the archives were made from; the tests compare
what they extract with it byte for byte.
"""
import os
import random
import shutil
import subprocess
import sys
import zipfile

# Even seconds: DOS times cannot hold odd ones.
STAMP = 1614834368  # 2021-03-04 05:06:08 UTC


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    os.utime(path, (STAMP, STAMP))


def make_tree(root):
    rnd = random.Random(4711)
    write(os.path.join(root, "readme.txt"), b"Talvero Liveupdate\r\n" * 200)
    write(os.path.join(root, "null.txt"), b"")
    write(os.path.join(root, "Daten", "Profile", "tief", "verschachtelt", "zufall.bin"),
          bytes(rnd.getrandbits(8) for _ in range(300_000)))
    words = [b"Profil", b"Symbol", b"Vorlage", b"Katalog", b"Ebene", b"Men\xc3\xbc"]
    write(os.path.join(root, "Daten", "text.dat"),
          b" ".join(rnd.choice(words) for _ in range(150_000)))
    write(os.path.join(root, "Gr\u00fc\u00dfe", "\u00dcbersicht.txt"), "Übersicht\n".encode())
    for empty in (os.path.join(root, "leer"), os.path.join(root, "Daten", "leer2", "leer3")):
        os.makedirs(empty, exist_ok=True)


def run(cmd, cwd, out=None):
    if out is None:
        subprocess.run(cmd, cwd=cwd, check=True)
    else:
        with open(out, "wb") as f:
            # Through a pipe, zip cannot seek back and writes data descriptors.
            p = subprocess.Popen(cmd, cwd=cwd, stdout=subprocess.PIPE, stdin=subprocess.PIPE
                                 if cmd[-1] == "-" else None)
            if cmd[-1] == "-":
                with open(os.path.join(cwd, "Daten", "text.dat"), "rb") as src:
                    p.stdin.write(src.read())
                p.stdin.close()
            shutil.copyfileobj(p.stdout, f)
            if p.wait() != 0:
                raise SystemExit("zip failed: %s" % cmd)


def python_zip64(tree, out):
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as zf:
        zf.comment = "Talvero Testarchiv – mit Kommentar".encode()
        for folder, dirs, files in sorted(os.walk(tree)):
            rel = os.path.relpath(folder, tree)
            if rel != "." and not files and not dirs:
                zf.mkdir(rel.replace(os.sep, "/"))
            for name in sorted(files):
                path = os.path.join(folder, name)
                arc = os.path.relpath(path, tree).replace(os.sep, "/")
                info = zipfile.ZipInfo.from_file(path, arc)
                info.compress_type = zipfile.ZIP_STORED if name.endswith(".bin") else zipfile.ZIP_DEFLATED
                with open(path, "rb") as src, zf.open(info, "w", force_zip64=True) as dst:
                    shutil.copyfileobj(src, dst)


def python_many(out, count=70_000):
    with zipfile.ZipFile(out, "w", zipfile.ZIP_STORED) as zf:
        for i in range(count):
            zf.writestr("d%02d/f%05d.txt" % (i // 1000, i), b"%d\n" % i)


def cp850_archive(work, out):
    # A name in the DOS code page, as old Windows tools stored it:
    # "Änderung_Öl.txt" in code page 850.
    folder = os.path.join(work, "cp850")
    os.makedirs(folder, exist_ok=True)
    raw = b"\x8enderung_\x99l.txt"
    with open(os.path.join(folder.encode(), raw), "wb") as f:
        f.write(b"cp850\n")
    run(["zip", "-q", "-X", out, raw], folder)


def hostile_archives(out):
    # Python's zipfile writes names as given, so it can make the archives an
    # attacker would send.
    with zipfile.ZipFile(os.path.join(out, "traversal.zip"), "w") as zf:
        zf.writestr("harmlos.txt", b"harmlos\n")
        zf.writestr("../boese.txt", b"boese\n")
    # One stored entry whose data no longer match its CRC.
    good = os.path.join(out, "crc_ok.zip")
    with zipfile.ZipFile(good, "w", zipfile.ZIP_STORED) as zf:
        zf.writestr("ordner/ziel.txt", b"NEUER INHALT\n")
    data = bytearray(open(good, "rb").read())
    at = data.index(b"NEUER INHALT")
    data[at] ^= 0x20
    with open(os.path.join(out, "crc_bad.zip"), "wb") as f:
        f.write(data)


def main():
    out = os.path.abspath(sys.argv[1])
    shutil.rmtree(out, ignore_errors=True)
    tree = os.path.join(out, "tree")
    make_tree(tree)
    run(["zip", "-q", "-r", os.path.join(out, "infozip_deflate.zip"), "."], tree)
    run(["zip", "-q", "-r", "-0", os.path.join(out, "infozip_stored.zip"), "."], tree)
    run(["zip", "-q", "-r", "-fd", os.path.join(out, "infozip_fd.zip"), "."], tree)
    run(["zip", "-q", "-r", "-", "."], tree, os.path.join(out, "infozip_stream.zip"))
    run(["zip", "-q", "-", "-"], tree, os.path.join(out, "infozip_stdin.zip"))
    python_zip64(tree, os.path.join(out, "python_zip64.zip"))
    python_many(os.path.join(out, "python_many.zip"))
    cp850_archive(out, os.path.join(out, "cp850.zip"))
    hostile_archives(out)
    open(os.path.join(out, "done"), "w").close()


if __name__ == "__main__":
    main()
