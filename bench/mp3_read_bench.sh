#!/bin/sh
# Builds a folder of 200 MP3 files (8 encodings by lame, each copied 25 times with its own ID3v2
# tag), builds the TagLib reader, and runs mp3_read_bench on a warm cache.
# Usage: bench/mp3_read_bench.sh BUILD_DIR   (a Release build configured with -DVORNELIC_BENCH=ON)
set -eu
build=${1:?usage: $0 BUILD_DIR}
here=$(cd "$(dirname "$0")" && pwd)
work=${VORNELIC_BENCH_WORK:-$build/mp3_bench_data}
mkdir -p "$work/src" "$work/files"

cmake --build "$build" --target mp3_read_bench
c++ -O2 -o "$work/taglib_reader" "$here/mp3_read_bench_taglib.cc" $(pkg-config --cflags --libs taglib)

if [ ! -f "$work/files/done" ]; then
    ffmpeg -v error -y -f lavfi -i "sine=f=300:d=60" -f lavfi -i "anoisesrc=d=60:a=0.1" \
        -filter_complex amix=inputs=2 -ac 2 -ar 44100 "$work/src/in.wav"
    i=0
    for opts in "-b 128" "-b 320" "-V 0" "-V 2" "-V 5" "-b 192" "-m m -b 96" "--abr 160"; do
        i=$((i + 1))
        # shellcheck disable=SC2086
        lame --quiet $opts "$work/src/in.wav" "$work/src/s$i.mp3"
    done
    n=0
    while [ $n -lt 200 ]; do
        s=$((n % 8 + 1))
        /usr/bin/python3 - "$work/src/s$s.mp3" "$work/files/f$(printf %03d $n).mp3" $n <<'PY'
import shutil, sys
from mutagen.id3 import ID3, TIT2, TPE1, TALB, TRCK, COMM
src, dst, n = sys.argv[1], sys.argv[2], sys.argv[3]
shutil.copyfile(src, dst)
t = ID3()
t.add(TIT2(encoding=1, text=["Title %s" % n])); t.add(TPE1(encoding=1, text=["Artist"]))
t.add(TALB(encoding=3, text=["Album"])); t.add(TRCK(encoding=0, text=[n]))
t.add(COMM(encoding=1, lang="eng", desc="", text=["bench"]))
t.save(dst, v2_version=3)
PY
        n=$((n + 1))
    done
    touch "$work/files/done"
fi

cat "$work"/files/*.mp3 > /dev/null # warm the cache
VORNELIC_MP3_BENCH_DIR="$work/files" VORNELIC_TAGLIB_READER="$work/taglib_reader" \
    "$build/bench/mp3_read_bench" --benchmark_repetitions=9 --benchmark_report_aggregates_only=true
