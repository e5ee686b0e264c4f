#!/bin/sh
# The MP3-vs-CUE matcher (`vornelic-cli match`) on 1,000 album folders of 12 MP3 files (tags and an
# MCDI frame each, short audio) and 1,000 cue sheets, against mutagen reading the same files' tags
# (album, artist, album artist, track and MCDI), in the same run on a warm cache. Prints each
# repetition's times and the medians; the target is under 10 s and faster than mutagen's read alone.
# Usage: bench/match_bench.sh BUILD_DIR   (a Release build; vornelic-cli is built if needed)
set -eu
build=${1:?usage: $0 BUILD_DIR}
here=$(cd "$(dirname "$0")" && pwd)
albums=${VORNELIC_BENCH_ALBUMS:-1000}
reps=${VORNELIC_BENCH_REPS:-5}
work=${VORNELIC_BENCH_WORK:-$build/match_bench_data_$albums}
cmake --build "$build" --target vornelic-cli >/dev/null
cli="$build/bin/vornelic-cli"

if [ ! -f "$work/done" ]; then
    rm -rf "$work"
    mkdir -p "$work"
    /usr/bin/python3 "$here/../tests/batch/batch_collection.py" tags "$work" "$albums" 12
    touch "$work/done"
fi
mkdir -p "$work/home"

cat > "$work/read_tags.py" <<'PY'
import os, sys
from mutagen.id3 import ID3
n = 0
for folder, _, files in os.walk(sys.argv[1]):
    for name in sorted(files):
        if name.lower().endswith(".mp3"):
            t = ID3(os.path.join(folder, name))
            facts = [t.get(k) for k in ("TALB", "TPE1", "TPE2", "TRCK")] + t.getall("MCDI")
            n += 1
print(n)
PY

now() { date +%s%N; }
timed() {
    t0=$(now); "$@" >/dev/null; t1=$(now)
    ms=$(( (t1 - t0) / 1000000 ))
}
match() {
    VORNELIC_HOME="$work/home" "$cli" match --mp3-root "$work/A" --cue-folders "$work/cues" --list "$work/list.txt"
}
mutagen() { /usr/bin/python3 "$work/read_tags.py" "$work/A"; }

# Warm the cache, and check that every album found its own sheet.
match >/dev/null
mutagen >/dev/null
blocks=$(grep -c '^M' "$work/list.txt")
files=$(find "$work/A" -name '*.mp3' | wc -l)
echo "files: $files in $albums folders, $(ls "$work/cues" | grep -c '\.cue$') cue sheets; albums matched by MCDI: $blocks"

match_times=""
mutagen_times=""
r=0
while [ $r -lt "$reps" ]; do
    r=$((r + 1))
    # Alternating, so a drift of the shared machine falls on both alike.
    timed match; m1=$ms
    timed mutagen; g1=$ms
    echo "repetition $r: match $m1 ms, mutagen $g1 ms"
    match_times="$match_times $m1"
    mutagen_times="$mutagen_times $g1"
done
median() { echo "$1" | tr ' ' '\n' | grep . | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
mm=$(median "$match_times")
gm=$(median "$mutagen_times")
ratio=$(awk -v a="$mm" -v b="$gm" 'BEGIN { printf "%.3f", a / (b > 0 ? b : 1) }')
echo "median match ${mm} ms (target < 10000), median mutagen ${gm} ms, ratio match / mutagen $ratio (target < 1)"
[ "$blocks" -eq "$albums" ] || { echo "not every album was matched"; exit 1; }
[ "$mm" -lt 10000 ] && [ "$mm" -lt "$gm" ]
