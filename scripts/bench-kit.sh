#!/usr/bin/env bash
# Benchmark of sfCheck and sfBuildKit on a generated installed copy of about
# 500 files and 200 MB (mixed sizes, part compressible), against a plain read
# of the same files in the same Wine process and against native
# `zip -9 -j -q` of the same files grouped the same way, all in one run.
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
python3 "$ROOT/scripts/bench-copy.py" "$WORK"

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
zip_time=$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')
zip_bytes=$(cat "$WORK"/native/*.zip | wc -c)

winpath() { echo "Z:$1" | tr / '\\'; }
out=$("$ROOT/scripts/wine-run.sh" "$BUILD/wineprefix" "$BUILD/bin/KitBench.exe" \
      "$(winpath "$WORK/Program")" "$(winpath "$WORK/kit")" | tr -d '\r')
echo "$out"
value() { echo "$out" | awk -v k="$1" '$1 == k { print $2 }'; }
# a / b, with awk (a fresh machine has no bc).
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { print (b > 0 ? a / b : 0) }'; }
printf 'zip_time %.3f\nzip_archive_bytes %d\n' "$zip_time" "$zip_bytes"
# The entries that deflate shrinks at all (zip -9 by a tenth or more),
# compared entry by entry: the incompressible half of the copy is stored at
# its size by both and would hide the difference.
read -r packed_entries packed_kit packed_zip < <(python3 - "$WORK/kit" "$WORK/native" <<'PY'
import glob, os, sys, zipfile
def sizes(folder):
    out = {}
    for archive in glob.glob(os.path.join(folder, "*.zip")):
        for info in zipfile.ZipFile(archive).infolist():
            out[(os.path.basename(archive).lower(), info.filename.lower())] = (info.file_size, info.compress_size)
    return out
kit, native = sizes(sys.argv[1]), sizes(sys.argv[2])
keys = [k for k, (size, packed) in native.items() if k in kit and packed < 0.9 * size]
print(len(keys), sum(kit[k][1] for k in keys), sum(native[k][1] for k in keys))
PY
)
printf 'compressible_entries %d\nkit_compressible_bytes %d\nzip_compressible_bytes %d\n' \
  "$packed_entries" "$packed_kit" "$packed_zip"
printf 'ratio check/plain_read   %.2f  (goal <= 1.2)\n' "$(ratio "$(value check)" "$(value plain_read)")"
printf 'ratio build/zip time     %.2f  (goal <= 1.0)\n' "$(ratio "$(value build)" "$zip_time")"
printf 'ratio build/zip size     %.4f  (all entries)\n' "$(ratio "$(value archive_bytes)" "$zip_bytes")"
printf 'ratio build/zip size     %.4f  (compressible entries, goal <= 0.97)\n' \
  "$(ratio "$packed_kit" "$packed_zip")"
