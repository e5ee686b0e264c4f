#!/bin/sh
# compare --verify on 20 albums of 12 tracks (A: MP3 by lame -V2, B: AAC by ffmpeg, 35 s a track), in
# the same run as plain compare on the same albums and as fpcalc (-length 30, the seconds the check
# hears) on the same 480 files, one album's files after another. Prints each repetition and the
# medians: compare --verify / compare, and what verifying adds (compare --verify - compare) / fpcalc,
# for wall time and for CPU time (user + system of the processes). Target: verifying costs less than
# fpcalc does (the wall ratio below 1).
# Usage: bench/verify_bench.sh BUILD_DIR   (a Release build; vornelic-cli is built if needed)
set -eu
build=${1:?usage: $0 BUILD_DIR}
work=${VORNELIC_BENCH_WORK:-$build/verify_bench_data}
reps=${VORNELIC_BENCH_REPS:-5}
albums=20
tracks=12
cmake --build "$build" --target vornelic-cli >/dev/null
cli="$build/bin/vornelic-cli"
command -v fpcalc >/dev/null || { echo "fpcalc (libchromaprint-tools) is missing" >&2; exit 1; }

if [ ! -f "$work/done" ]; then
    rm -rf "$work"
    mkdir -p "$work/src"
    # Twelve pieces of their own (a melody over pink noise each), encoded once; every album holds
    # copies of them. What is measured, decoding and fingerprinting, does not depend on which piece
    # a file holds.
    t=0
    while [ $t -lt $tracks ]; do
        t=$((t + 1))
        seed=$(awk -v t=$t 'BEGIN { print 1.3 + t * 1.17 }')
        rate=$((2 + t % 4))
        ffmpeg -v error -y \
            -f lavfi -i "aevalsrc=0.35*sin(2*PI*t*220*pow(2\,floor(24*abs(sin($seed*floor(t*$rate))))/12))+0.2*sin(2*PI*t*110*pow(2\,floor(12*abs(sin($seed*1.7*floor(t*$rate/4))))/12)):s=44100:d=35" \
            -f lavfi -i "anoisesrc=color=pink:a=0.05:d=35:seed=$t" \
            -filter_complex "amix=inputs=2:normalize=0,aformat=channel_layouts=stereo" -ar 44100 -c:a pcm_s16le \
            "$work/src/$t.wav"
        lame --quiet -V2 --add-id3v2 --tt "Track $t" "$work/src/$t.wav" "$work/src/$t.mp3" &
        ffmpeg -v error -y -i "$work/src/$t.wav" -c:a aac -b:a 192k "$work/src/$t.m4a"
        wait
    done
    a=0
    while [ $a -lt $albums ]; do
        a=$((a + 1))
        mkdir -p "$work/albums/$a/A" "$work/albums/$a/B"
        t=0
        while [ $t -lt $tracks ]; do
            t=$((t + 1))
            n=$(printf "%02d" $t)
            cp "$work/src/$t.mp3" "$work/albums/$a/A/$n Track.mp3"
            cp "$work/src/$t.m4a" "$work/albums/$a/B/$n Track.m4a"
        done
    done
    rm -f "$work"/src/*.wav
    touch "$work/done"
fi

home="$work/home"
mkdir -p "$home"
cat "$work"/albums/*/*/* > /dev/null # warm the cache

# Runs one mode over every album into $wall and $cpu (milliseconds).
run() {
    out="$work/time.txt"
    case $1 in
    plain) script='for d in "$0"/albums/*; do "$1" compare "$d/A" "$d/B" >/dev/null; done' ;;
    verify) script='for d in "$0"/albums/*; do "$1" compare --verify "$d/A" "$d/B" >/dev/null; done' ;;
    fpcalc) script='for d in "$0"/albums/*; do fpcalc -length 30 -raw "$d"/A/* "$d"/B/* >/dev/null; done' ;;
    esac
    VORNELIC_HOME="$home" /usr/bin/time -o "$out" -f "%e %U %S" sh -c "$script" "$work" "$cli"
    wall=$(awk '{printf "%d", $1 * 1000}' "$out")
    cpu=$(awk '{printf "%d", ($2 + $3) * 1000}' "$out")
}

# One sanity check first: the verify column is there and every pair matches.
VORNELIC_HOME="$home" "$cli" compare --verify "$work/albums/1/A" "$work/albums/1/B" > "$work/check.tsv"
low=$(awk -F'\t' 'NR > 1 && NR % 2 == 1 && $25 < 90 { n++ } END { print n + 0 }' "$work/check.tsv")
if [ "$low" -ne 0 ]; then
    echo "compare --verify found $low pairs below 90 % on the same album" >&2
    exit 1
fi

results="$work/results.txt"
: > "$results"
r=0
while [ $r -lt "$reps" ]; do
    r=$((r + 1))
    # Alternate the order so a drift of the machine falls on every mode alike.
    if [ $((r % 2)) -eq 1 ]; then order="plain verify fpcalc"; else order="fpcalc verify plain"; fi
    for mode in $order; do
        run $mode
        eval "${mode}_wall=$wall ${mode}_cpu=$cpu"
    done
    echo "$plain_wall $verify_wall $fpcalc_wall $plain_cpu $verify_cpu $fpcalc_cpu" >> "$results"
    echo "rep $r: compare ${plain_wall} ms, compare --verify ${verify_wall} ms, fpcalc ${fpcalc_wall} ms" \
         "(CPU: ${plain_cpu}, ${verify_cpu}, ${fpcalc_cpu} ms)"
done

median() { sort -n | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
col() { awk -v c="$1" '{ print $c }' "$results" | median; }
pw=$(col 1); vw=$(col 2); fw=$(col 3); pc=$(col 4); vc=$(col 5); fc=$(col 6)
echo "medians over $reps repetitions, $albums albums of $tracks tracks ($((albums * tracks * 2)) files), $(nproc) cores:"
echo "  wall: compare $pw ms, compare --verify $vw ms, fpcalc $fw ms"
echo "  CPU:  compare $pc ms, compare --verify $vc ms, fpcalc $fc ms"
awk -v pw="$pw" -v vw="$vw" -v fw="$fw" -v pc="$pc" -v vc="$vc" -v fc="$fc" 'BEGIN {
    printf "  compare --verify / compare:            wall %.2f, CPU %.2f\n", vw / pw, vc / pc
    printf "  (compare --verify - compare) / fpcalc: wall %.2f, CPU %.2f (target: wall below 1)\n", (vw - pw) / fw, (vc - pc) / fc
    exit ((vw - pw) / fw < 1 ? 0 : 1)
}'
