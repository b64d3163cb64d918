#!/usr/bin/env python3
# Generates the installed copy the benchmarks work on: about 500 files and
# 200 MB of mixed sizes, half of them compressible, in ten folders, every
# seventh with a kept copy in DISTR\, grouped into eight archives with every
# tenth file loose. Writes <work>/Program (list, setup.ini, instcfg.ini) and
# <work>/groups.txt (archive name or "-", then the files, tab-separated).
# Usage: bench-copy.py <work folder>
import os, random, sys, zlib
work = sys.argv[1]
program = os.path.join(work, "Program")
random.seed(20261210)
words = [b"media ", b"server ", b"Tavrel ", b"playlist ", b"stream\r\n", b"UPnP ", b"DLNA ", b"track ", b"album "]
def content(size, compressible):
    if not compressible:
        return os.urandom(size)
    out = bytearray()
    while len(out) < size:
        out += random.choice(words)
    return bytes(out[:size])
sizes = []
for i in range(500):
    r = random.random()
    if r < 0.70: sizes.append(random.randint(1_000, 120_000))
    elif r < 0.93: sizes.append(random.randint(200_000, 1_200_000))
    else: sizes.append(random.randint(4_000_000, 9_000_000))
scale = 200_000_000 / sum(sizes)
sizes = [max(1, int(s * scale)) for s in sizes]
groups = {}
lines = ["; generated installed copy"]
for i, size in enumerate(sizes):
    name = "file%03d.%s" % (i, random.choice(["dll", "exe", "dat", "txt", "res"]))
    folder = "sub%d" % (i % 10)
    status = "I" if i % 7 == 0 else ""
    arc = "" if i % 10 == 9 else "arc%d" % (i % 8)
    data = content(size, random.random() < 0.5)
    path = os.path.join(program, folder, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    open(path, "wb").write(data)
    source = path
    if status:
        source = os.path.join(program, "DISTR", folder, name)
        os.makedirs(os.path.dirname(source), exist_ok=True)
        open(source, "wb").write(data)
    groups.setdefault(arc, []).append(source)
    line = "%s CRC=%08X Len=%d Dir=%s" % (name, zlib.crc32(data) & 0xFFFFFFFF, size, folder)
    if status: line += " St=" + status
    if arc: line += " Arc=" + arc
    lines.append(line)
open(os.path.join(program, "files.lst"), "w").write("\r\n".join(lines) + "\r\n")
open(os.path.join(program, "setup.ini"), "w").write(
    "[Products]\r\nProduct1=JOM\r\n[JOM]\r\nProductName1=Tavrel\r\nVersion=9.9\r\nFilesLst=files.lst\r\n")
open(os.path.join(program, "instcfg.ini"), "w").write("[JOM]\r\nSectionName=JOM\r\n")
with open(os.path.join(work, "groups.txt"), "w") as out:
    for arc, files in sorted(groups.items()):
        out.write((arc or "-") + "\t" + "\t".join(files) + "\n")
print("generated %d files, %d bytes" % (len(sizes), sum(sizes)))
