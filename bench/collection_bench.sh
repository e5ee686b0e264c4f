#!/bin/sh
# Compare A/B and Replace Tags over a collection as a user has it, against cat and cp -r of the same
# files: 20 album pairs (A: 12 tracks of 200 s by lame -V2 with an ID3v2.3 tag and a 100 KB cover;
# B: the same by lame -b 192 with an encoder's tag), one vornelic-cli process per album as a script
# over a collection runs it, and the same 240 pairs in one folder; warm cache. Prints the medians,
# the ratios, the start-up and the peak memory (see collection_bench.py).
# The collection (about 1.8 GB) is made once by make-collection, into VORNELIC_BENCH_COLLECTION or
# BUILD_DIR/collection, and kept.
# Usage: bench/collection_bench.sh BUILD_DIR   (a Release build; VORNELIC_BENCH_REPS rounds, 7 unless told)
set -eu
build=${1:?usage: $0 BUILD_DIR}
here=$(cd "$(dirname "$0")" && pwd)
collection=${VORNELIC_BENCH_COLLECTION:-$build/collection}
work=$build/collection_work
rounds=${VORNELIC_BENCH_REPS:-7}

cmake --build "$build" --target vornelic-cli >/dev/null
sh "$here/make-collection" "$collection"
rm -rf "$work"
mkdir -p "$work/home"
cat "$collection"/albums/*/*/* "$collection"/short/*/* > /dev/null # warm the cache
# The program's settings from an empty folder of their own, not the user's.
VORNELIC_HOME="$work/home" /usr/bin/python3 "$here/collection_bench.py" "$build/bin/vornelic-cli" "$collection" "$work" "$rounds"
