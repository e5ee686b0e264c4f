#!/bin/sh
# Builds the Compare A/B folders once (240 files a side, for MP3, FLAC and M4A: a few encodes of one
# track by lame, flac and ffmpeg, each copy tagged by mutagen, side A fully with a cover, side B
# lightly), builds the TagLib reader, and runs compare_bench on a warm cache.
# MP3 and M4A tracks are 4 minutes long (about 1.2 GB a side), FLAC ones 90 seconds (1.6 GB a side):
# some 8 GB in BUILD_DIR/fixtures, which must fit in the page cache for the warm runs.
# Usage: bench/compare_bench.sh BUILD_DIR [benchmark options]
#        (a Release build configured with -DVORNELIC_BENCH=ON). ffprobe, one process a file, takes
#        most of the run's quarter of an hour; --benchmark_filter=-ffprobe leaves it out.
set -eu
build=${1:?usage: $0 BUILD_DIR [benchmark options]}
shift
here=$(cd "$(dirname "$0")" && pwd)
work=${VORNELIC_BENCH_FIXTURES:-$build/fixtures}
files=240
mkdir -p "$work"

cmake --build "$build" --target compare_bench vornelic-cli
# shellcheck disable=SC2046
c++ -O2 -o "$work/taglib_reader" "$here/mp3_read_bench_taglib.cc" $(pkg-config --cflags --libs taglib)

if [ ! -f "$work/compare.done" ]; then
    src="$work/compare_src"
    rm -rf "$src" "$work/mp3" "$work/flac" "$work/m4a"
    mkdir -p "$src"
    # Two tones over pink noise: enough going on that the VBR encoders vary their frames.
    ffmpeg -v error -y -f lavfi -i "sine=f=220:d=240" -f lavfi -i "sine=f=331:d=240" \
        -f lavfi -i "anoisesrc=color=pink:a=0.08:d=240" \
        -filter_complex "amix=inputs=3,volume=2" -ac 2 -ar 44100 -c:a pcm_s16le -bitexact "$src/long.wav"
    ffmpeg -v error -y -i "$src/long.wav" -t 90 -c:a pcm_s16le -bitexact "$src/short.wav"
    ffmpeg -v error -y -f lavfi -i "testsrc=s=600x600" -frames:v 1 -q:v 3 "$src/cover.jpg"

    i=0
    for opts in "-b 320" "-V 0" "-V 2" "-b 192" "-b 128" "-V 5" "--abr 160" "-b 256"; do
        i=$((i + 1))
        # shellcheck disable=SC2086
        lame --quiet --noreplaygain $opts "$src/long.wav" "$src/s$i.mp3" &
        if [ $((i % 2)) -eq 0 ]; then wait; fi
    done
    wait
    flac -s -8 -o "$src/a1.flac" "$src/short.wav" & flac -s -5 -o "$src/a2.flac" "$src/short.wav"; wait
    flac -s -3 -o "$src/b1.flac" "$src/short.wav" & flac -s -0 -o "$src/b2.flac" "$src/short.wav"; wait
    # Both layouts: the movie box after the media data (ffmpeg's way) and before it.
    ffmpeg -v error -y -i "$src/long.wav" -c:a aac -b:a 256k "$src/a1.m4a" &
    ffmpeg -v error -y -i "$src/long.wav" -c:a aac -b:a 192k -movflags +faststart "$src/a2.m4a"; wait
    ffmpeg -v error -y -i "$src/long.wav" -c:a aac -b:a 128k "$src/b1.m4a" &
    ffmpeg -v error -y -i "$src/long.wav" -c:a aac -b:a 160k -movflags +faststart "$src/b2.m4a"; wait

    tag="/usr/bin/python3 $here/tag_copies.py"
    $tag A $files "$src/cover.jpg" "$work/mp3/A" "$src/s1.mp3" "$src/s2.mp3" "$src/s3.mp3" "$src/s4.mp3"
    $tag B $files "$src/cover.jpg" "$work/mp3/B" "$src/s5.mp3" "$src/s6.mp3" "$src/s7.mp3" "$src/s8.mp3"
    $tag A $files "$src/cover.jpg" "$work/flac/A" "$src/a1.flac" "$src/a2.flac"
    $tag B $files "$src/cover.jpg" "$work/flac/B" "$src/b1.flac" "$src/b2.flac"
    $tag A $files "$src/cover.jpg" "$work/m4a/A" "$src/a1.m4a" "$src/a2.m4a"
    $tag B $files "$src/cover.jpg" "$work/m4a/B" "$src/b1.m4a" "$src/b2.m4a"
    rm -rf "$src"
    touch "$work/compare.done"
fi

# The program's settings from an empty folder of their own, not the user's.
home="$work/compare_home"
mkdir -p "$home"
cat "$work"/mp3/*/* "$work"/flac/*/* "$work"/m4a/*/* > /dev/null # warm the cache
VORNELIC_HOME="$home" VORNELIC_COMPARE_BENCH_DIR="$work" VORNELIC_CLI="$build/bin/vornelic-cli" \
    VORNELIC_TAGLIB_READER="$work/taglib_reader" \
    "$build/bench/compare_bench" --benchmark_repetitions=9 --benchmark_enable_random_interleaving=true \
    --benchmark_report_aggregates_only=true "$@"
