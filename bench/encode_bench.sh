#!/bin/sh
# Encoding B of a 40-minute, 12-track CD image, with LAME (--preset fast standard) and with FLAC
# (level 5), against the lame and flac programs run one track after another on the same tracks, in
# the same run and on a warm cache. Prints each repetition's times, the medians and their ratios
# (encode / the programs), and the largest resident memory of the encode runs.
# flac is timed twice: as it runs by default, and with --verify, which the program's FLAC encoder
# always does (every frame is decoded again and compared); the target is against the same work.
# Usage: bench/encode_bench.sh BUILD_DIR   (a Release build; vornelic-cli is built if needed)
set -eu
build=${1:?usage: $0 BUILD_DIR}
work=${VORNELIC_BENCH_WORK:-$build/encode_bench_data}
reps=${VORNELIC_BENCH_REPS:-3}
target=0.55
mkdir -p "$work/src" "$work/A" "$work/tracks"
cmake --build "$build" --target vornelic-cli >/dev/null
cli="$build/bin/vornelic-cli"

# Track lengths in seconds: 40 minutes in all, none alike, the longest not last.
lengths="180 230 195 210 170 250 200 185 220 190 175 195"
if [ ! -f "$work/done" ]; then
    # Two drifting tones over pink noise: enough going on that the VBR encoder really varies.
    ffmpeg -v error -y -f lavfi -i "sine=f=220:d=2400" -f lavfi -i "sine=f=331:d=2400" \
        -f lavfi -i "anoisesrc=color=pink:a=0.08:d=2400" -filter_complex "amix=inputs=3,volume=2,vibrato=f=0.3" \
        -ac 2 -ar 44100 -f s16le "$work/src/disc.raw"
    # The image with a canonical 44-byte header, and each track as a WAV file of its own for the programs.
    ffmpeg -v error -y -f s16le -ar 44100 -ac 2 -i "$work/src/disc.raw" -c:a pcm_s16le -fflags +bitexact \
        -flags:a +bitexact "$work/disc.wav"
    {
        echo 'PERFORMER "Bench Ensemble"'
        echo 'TITLE "Forty Minutes"'
        echo 'FILE "disc.wav" WAVE'
    } > "$work/disc.cue"
    start=0
    n=0
    for len in $lengths; do
        n=$((n + 1))
        printf '  TRACK %02d AUDIO\n    INDEX 01 %02d:%02d:00\n' "$n" $((start / 60)) $((start % 60)) >> "$work/disc.cue"
        ffmpeg -v error -y -f s16le -ar 44100 -ac 2 -ss "$start" -t "$len" -i "$work/src/disc.raw" -c:a pcm_s16le \
            -fflags +bitexact -flags:a +bitexact "$work/tracks/$(printf %02d "$n").wav"
        start=$((start + len))
    done
    rm -f "$work/src/disc.raw"
    ffmpeg -v error -y -f lavfi -i "sine=d=1" -ac 2 "$work/src/a.wav"
    lame --quiet -b 128 "$work/src/a.wav" "$work/src/a.mp3"
    ffmpeg -v error -y -f lavfi -i "testsrc=s=300x300" -frames:v 1 "$work/src/cover.png"
    /usr/bin/python3 - "$work" <<'PY'
import shutil, sys
from mutagen.id3 import ID3, TIT2, TPE1, TALB, TRCK, APIC
work = sys.argv[1]
cover = open(work + "/src/cover.png", "rb").read()
for n in range(1, 13):
    path = "%s/A/%02d Piece %d.mp3" % (work, n, n)
    shutil.copyfile(work + "/src/a.mp3", path)
    t = ID3()
    t.add(TIT2(encoding=1, text=["Piece %d" % n])); t.add(TPE1(encoding=1, text=["Bench Ensemble"]))
    t.add(TALB(encoding=1, text=["Forty Minutes"])); t.add(TRCK(encoding=0, text=["%d/12" % n]))
    t.add(APIC(encoding=0, mime="image/png", type=3, desc="", data=cover))
    t.save(path, v2_version=3)
PY
    touch "$work/done"
fi

cat "$work/disc.wav" "$work"/tracks/*.wav > /dev/null # warm the cache
# Runs one command on an empty output folder, after what the command before wrote is flushed;
# sets $ms (wall), $cpu (user + system, its children included) and $kb (largest resident set).
timed() {
    rm -rf "$work/out"
    mkdir -p "$work/out"
    sync
    /usr/bin/time -f "%e %U %S %M" -o "$work/time" "$@" >/dev/null
    set -- $(tail -n 1 "$work/time")
    ms=$(awk -v e="$1" 'BEGIN { printf "%d", e * 1000 }')
    cpu=$(awk -v u="$2" -v s="$3" 'BEGIN { printf "%d", (u + s) * 1000 }')
    kb=$4
    rm -rf "$work/out"
}
tracks='for t in "$0"/tracks/*.wav; do'
lame_tool() { timed sh -c "$tracks"' lame --quiet --preset fast standard "$t" "$0/out/$(basename "$t" .wav).mp3"; done' "$work"; }
flac_tool() { timed sh -c "$tracks"' flac -s -5 $1 "$t" -o "$0/out/$(basename "$t" .wav).flac"; done' "$work" "${1:-}"; }
encode() { timed "$cli" encode "$work/A" "$work/disc.cue" --temp "$work/out" "$@"; }
median() { echo "$1" | tr ' ' '\n' | grep . | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / (b > 0 ? b : 1) }'; }

export VORNELIC_HOME="$work" # the default settings: --preset fast standard, FLAC level 5
# Wall and CPU times per command, each a list over the repetitions.
lt="" ltc="" le="" lec="" le1="" ft="" fv="" fvc="" fe="" fec="" fe1="" rss_lame=0 rss_flac=0 rss_one=0
r=0
while [ $r -lt "$reps" ]; do
    r=$((r + 1))
    load=$(cut -d' ' -f1 /proc/loadavg)
    lame_tool; lt="$lt $ms"; ltc="$ltc $cpu"; a="$ms ms ($cpu cpu)"
    encode --encoder lame; le="$le $ms"; lec="$lec $cpu"; b="$ms ms ($cpu cpu)"; [ "$kb" -gt "$rss_lame" ] && rss_lame=$kb
    encode --encoder lame --jobs 1; le1="$le1 $ms"; c="$ms ms"
    flac_tool; ft="$ft $ms"; d="$ms ms"
    flac_tool --verify; fv="$fv $ms"; fvc="$fvc $cpu"; e="$ms ms ($cpu cpu)"
    encode --encoder flac; fe="$fe $ms"; fec="$fec $cpu"; f="$ms ms ($cpu cpu)"; [ "$kb" -gt "$rss_flac" ] && rss_flac=$kb
    encode --encoder flac --jobs 1; fe1="$fe1 $ms"; g="$ms ms"; [ "$kb" -gt "$rss_one" ] && rss_one=$kb
    echo "repetition $r (load $load): lame $a, encode lame $b, one at a time $c; flac $d, flac --verify $e, encode flac $f, one at a time $g"
done

mlt=$(median "$lt"); mle=$(median "$le"); mle1=$(median "$le1")
mft=$(median "$ft"); mfv=$(median "$fv"); mfe=$(median "$fe"); mfe1=$(median "$fe1")
lame_ratio=$(ratio "$mle" "$mlt")
flac_ratio=$(ratio "$mfe" "$mfv")
echo "image: 40 minutes, 12 tracks, $(du -m "$work/disc.wav" | cut -f1) MB; $(nproc) cores, encode runs one track per core"
echo "median lame ${mlt} ms, encode lame ${mle} ms: ratio ${lame_ratio} (target <= $target); one at a time $(ratio "$mle1" "$mlt")"
echo "median flac --verify ${mfv} ms, encode flac ${mfe} ms: ratio ${flac_ratio} (target <= $target); one at a time $(ratio "$mfe1" "$mfv")"
echo "median flac without --verify ${mft} ms: ratio $(ratio "$mfe" "$mft")"
echo "CPU time, encode / the programs: lame $(ratio "$(median "$lec")" "$(median "$ltc")"), flac $(ratio "$(median "$fec")" "$(median "$fvc")")" \
     "(wall ratios near these mean the cores were taken by other work)"
echo "largest resident memory: encode lame ${rss_lame} kB, encode flac ${rss_flac} kB (one at a time ${rss_one} kB)"
awk -v l="$lame_ratio" -v f="$flac_ratio" -v t="$target" 'BEGIN { exit !(l <= t && f <= t) }'
