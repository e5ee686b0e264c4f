#!/bin/sh
# Replace Tags on 200 pairs against cp of the same 200 B files, in the same run, on a warm cache:
# prints each repetition's times and the median ratio (replace-tags / cp), for the whole command and
# for its work alone (less the start-up of the program, timed as `vornelic-cli --help`).
# Usage: bench/replace_tags_bench.sh BUILD_DIR   (a Release build; vornelic-cli is built if needed)
set -eu
build=${1:?usage: $0 BUILD_DIR}
# Track length in seconds: VORNELIC_BENCH_SECONDS (60 unless told otherwise).
seconds=${VORNELIC_BENCH_SECONDS:-60}
work=${VORNELIC_BENCH_WORK:-$build/replace_bench_data_${seconds}s}
reps=${VORNELIC_BENCH_REPS:-9}
mkdir -p "$work/src" "$work/A" "$work/B"
cmake --build "$build" --target vornelic-cli >/dev/null
cli="$build/bin/vornelic-cli"

if [ ! -f "$work/done" ]; then
    ffmpeg -v error -y -f lavfi -i "sine=f=300:d=$seconds" -f lavfi -i "anoisesrc=d=$seconds:a=0.1" \
        -filter_complex amix=inputs=2 -ac 2 -ar 44100 "$work/src/in.wav"
    ffmpeg -v error -y -f lavfi -i "testsrc=s=300x300" -frames:v 1 "$work/src/cover.png"
    i=0
    for opts in "-b 128" "-b 320" "-V 0" "-V 2" "-V 5" "-b 192" "-m m -b 96" "--abr 160"; do
        i=$((i + 1))
        # shellcheck disable=SC2086
        lame --quiet $opts --add-id3v2 "$work/src/in.wav" "$work/src/b$i.mp3"
    done
    lame --quiet -b 128 "$work/src/in.wav" "$work/src/a.mp3"
    /usr/bin/python3 - "$work" <<'PY'
import shutil, sys
from mutagen.id3 import ID3, TIT2, TPE1, TPE2, TALB, TRCK, TCON, TDRC, COMM, APIC
work = sys.argv[1]
cover = open(work + "/src/cover.png", "rb").read()
for n in range(200):
    a = "%s/A/%03d Title.mp3" % (work, n)
    shutil.copyfile(work + "/src/a.mp3", a)
    t = ID3()
    t.add(TIT2(encoding=1, text=["Title %d" % n])); t.add(TPE1(encoding=1, text=["Artist"]))
    t.add(TPE2(encoding=1, text=["Artist"])); t.add(TALB(encoding=1, text=["Album"]))
    t.add(TRCK(encoding=0, text=[str(n + 1)])); t.add(TCON(encoding=0, text=["Jazz"]))
    t.add(TDRC(encoding=0, text=["2024"])); t.add(COMM(encoding=1, lang="eng", desc="", text=["bench"]))
    t.add(APIC(encoding=0, mime="image/png", type=3, desc="", data=cover))
    t.save(a, v2_version=3)
    shutil.copyfile("%s/src/b%d.mp3" % (work, n % 8 + 1), "%s/B/%03d.mp3" % (work, n))
PY
    touch "$work/done"
fi

now() { date +%s%N; }
cat "$work"/A/*.mp3 "$work"/B/*.mp3 > /dev/null # warm the cache
replace() {
    VORNELIC_HOME="$work" "$cli" replace-tags "$work/A" "$work/B" --temp "$1" --block 0 --pad 256 >/dev/null
}
copy() { cp "$work"/B/*.mp3 "$1/"; }
# Times one command into $ms, on a quiet disk: what was written before is flushed first, and
# each output is removed once timed, so every command finds the memory as the one before it.
timed() {
    sync
    t0=$(now); "$@"; t1=$(now)
    ms=$(( (t1 - t0) / 1000000 ))
}
timed_into() {
    rm -rf "$1"
    mkdir -p "$1"
    timed "$2" "$1"
    made=$(ls "$1" | wc -l)
    rm -rf "$1"
}
ratios=""
work_ratios=""
r=0
while [ $r -lt "$reps" ]; do
    r=$((r + 1))
    # cp, replace-tags, replace-tags, cp: whatever the order or a slow drift of the machine costs
    # falls on both alike.
    timed_into "$work/out-cp1" copy; cp1=$ms
    timed_into "$work/out-rt1" replace; rt1=$ms
    timed_into "$work/out-rt2" replace; rt2=$ms; count=$made
    timed_into "$work/out-cp2" copy; cp2=$ms
    timed "$cli" --help >/dev/null; start_ms=$ms
    cp_ms=$(( (cp1 + cp2) / 2 ))
    rt_ms=$(( (rt1 + rt2) / 2 ))
    ratio=$(awk -v a="$rt_ms" -v b="$cp_ms" 'BEGIN { printf "%.3f", a / (b > 0 ? b : 1) }')
    work_ratio=$(awk -v a="$rt_ms" -v s="$start_ms" -v b="$cp_ms" 'BEGIN { printf "%.3f", (a - s) / (b > 0 ? b : 1) }')
    echo "repetition $r: cp ${cp1}+${cp2} ms, replace-tags ${rt1}+${rt2} ms (start-up ${start_ms} ms), ratio $ratio, without start-up $work_ratio"
    ratios="$ratios $ratio"
    work_ratios="$work_ratios $work_ratio"
done
median() { echo "$1" | tr ' ' '\n' | grep . | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
size=$(du -sm "$work/B" | cut -f1)
echo "files: $count pairs, B side ${size} MB"
echo "median ratio replace-tags / cp: $(median "$ratios") (target <= 1.3)"
echo "median ratio without the program's start-up: $(median "$work_ratios")"
