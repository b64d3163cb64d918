#!/usr/bin/env bash
# Benchmark of sfCheck and sfBuildKit on a generated installed copy of about
# 500 files and 200 MB (mixed sizes, part compressible), against a plain read
# of the same files in the same Wine process and against native
# `zip -9 -j -q` of the same files grouped the same way.
# Usage: scripts/bench-kit.sh [work folder]   (default: build/bench-kit)
# Needs a built Windows tree (build/mingw, target KitBench).
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${TAVREL_BUILD_ROOT:-$ROOT/build}/mingw
WORK=$(realpath -m "${1:-$ROOT/build/bench-kit}")
cmake --build "$BUILD" --target KitBench >/dev/null

rm -rf "$WORK"
mkdir -p "$WORK"
# The installed copy and the zip command lines of its archive groups.
python3 - "$WORK" <<'PY'
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
PY

# Native baseline: zip -9 -j -q per archive group, loose files copied.
mkdir -p "$WORK/native"
start=$(date +%s.%N)
while IFS=$'\t' read -r arc files; do
  IFS=$'\t' read -r -a list <<<"$files"
  if [ "$arc" = "-" ]; then
    cp "${list[@]}" "$WORK/native/"
  else
    zip -9 -j -q "$WORK/native/$arc.zip" "${list[@]}"
  fi
done <"$WORK/groups.txt"
end=$(date +%s.%N)
zip_time=$(echo "$end - $start" | bc -l)
zip_bytes=$(cat "$WORK"/native/*.zip | wc -c)

winpath() { echo "Z:$1" | tr / '\\'; }
out=$("$ROOT/scripts/wine-run.sh" "$BUILD/wineprefix" "$BUILD/bin/KitBench.exe" \
      "$(winpath "$WORK/Program")" "$(winpath "$WORK/kit")" | tr -d '\r')
echo "$out"
value() { echo "$out" | awk -v k="$1" '$1 == k { print $2 }'; }
printf 'zip_time %.3f\nzip_archive_bytes %d\n' "$zip_time" "$zip_bytes"
printf 'ratio check/plain_read   %.2f  (goal <= 1.2)\n' "$(echo "$(value check) / $(value plain_read)" | bc -l)"
printf 'ratio build/zip time     %.2f  (goal <= 1.0)\n' "$(echo "$(value build) / $zip_time" | bc -l)"
printf 'ratio build/zip size     %.4f  (goal <= 1.0)\n' "$(echo "$(value archive_bytes) / $zip_bytes" | bc -l)"
