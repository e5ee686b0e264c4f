#!/usr/bin/python3
# The driver of collection_bench.sh: Compare A/B and Replace Tags over the collection of
# make-collection, against cat and cp -r of the same files (and, for Replace Tags, which waits for
# its files' data to be on the disk, also against cp -r followed by sync -d), in one run with the commands
# alternating (the order turns round every round, so a slow moment of the machine falls on both).
# Prints the medians of the wall-clock and processor times, their ratios, the start-up, and the peak
# memory (/usr/bin/time -f %M) of each command. Exit status 3 when a target is missed.
# Usage: collection_bench.py CLI COLLECTION WORK ROUNDS
import os
import shutil
import statistics
import subprocess
import sys
import time

cli, collection, work, rounds = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
albums = sorted(os.path.join(collection, "albums", d) for d in os.listdir(os.path.join(collection, "albums")))
everything = os.path.join(collection, "all")
short = os.path.join(collection, "short")
out_root = os.path.join(work, "out")


def files(folder):
    return [os.path.join(folder, side, n) for side in ("A", "B") for n in sorted(os.listdir(os.path.join(folder, side)))]


def run(argv):
    """One process, its output dropped: wall seconds and processor seconds (user + system)."""
    start = time.perf_counter()
    pid = os.posix_spawn(argv[0], argv, os.environ,
                         file_actions=[(os.POSIX_SPAWN_OPEN, 1, os.devnull, os.O_WRONLY, 0)])
    _, status, usage = os.wait4(pid, 0)
    wall = time.perf_counter() - start
    if status != 0:
        sys.exit("failed (%d): %s" % (status, " ".join(argv)))
    return wall, usage.ru_utime + usage.ru_stime


def compare(folder, _out):
    return [cli, "compare", os.path.join(folder, "A"), os.path.join(folder, "B")]


def cat(folder, _out):
    return ["/bin/cat"] + files(folder)


def replace(folder, out):
    return [cli, "replace-tags", os.path.join(folder, "A"), os.path.join(folder, "B"), "--temp", out]


def copy(folder, out):
    return ["/bin/cp", "-r", os.path.join(folder, "B"), os.path.join(out, "B")]


def copy_synced(folder, out):
    """cp -r, then the copies' data on the disk (sync -d): what Replace Tags waits for before it names
    a file, and what cp leaves to the kernel's write-back, which holds cp up only once enough is
    waiting to be written."""
    copies = [os.path.join(out, "B", n) for n in sorted(os.listdir(os.path.join(folder, "B")))]
    return [copy(folder, out), ["/bin/sync", "-d"] + copies]


FLOOR_NAMES = {"cat": "cat", "copy": "cp -r", "copy_synced": "cp -r + sync -d"}


def timed(command, folders, writes):
    """The folders one process each, in order; their total times."""
    outs = []
    if writes:
        shutil.rmtree(out_root, ignore_errors=True)
        for i in range(len(folders)):
            outs.append(os.path.join(out_root, "%02d" % i))
            os.makedirs(outs[-1])
        os.sync()  # what the commands before wrote goes to the disk outside the time
    else:
        outs = [None] * len(folders)
    wall = cpu = 0.0
    for folder, out in zip(folders, outs):
        argvs = command(folder, out)
        for argv in argvs if isinstance(argvs[0], list) else [argvs]:
            w, c = run(argv)
            wall += w
            cpu += c
    if writes:
        # One file out for each B file, or the comparison is of unequal work.
        made = sum(len(names) for o in outs for _, _, names in os.walk(o))
        expected = sum(len(os.listdir(os.path.join(f, "B"))) for f in folders)
        if made != expected:
            sys.exit("%s wrote %d files of %d" % (command.__name__, made, expected))
        shutil.rmtree(out_root, ignore_errors=True)
    return wall, cpu


# The pairs of commands measured against each other, on the albums one process each and on the
# one folder of everything.
pairs = [
    ("compare, a process per album", compare, cat, albums, False),
    ("compare, all in one folder", compare, cat, [everything], False),
    ("replace-tags, a process per album", replace, copy, albums, True),
    ("replace-tags, all in one folder", replace, copy, [everything], True),
    # Not a target: the floor of a copy that, like Replace Tags, waits for its data on the disk.
    ("replace-tags, per album, synced floor", replace, copy_synced, albums, True),
]
targets = {"compare, a process per album", "replace-tags, a process per album"}
times = {(name, side): ([], []) for name, *_ in pairs for side in (0, 1)}
startup = {"vornelic-cli --version": [], "vornelic-cli --help": [], "cat /dev/null": []}
for r in range(rounds):
    for name, ours, floor, folders, writes in pairs:
        order = [(0, ours), (1, floor)] if r % 2 == 0 else [(1, floor), (0, ours)]
        for side, command in order:
            w, c = timed(command, folders, writes)
            times[(name, side)][0].append(w)
            times[(name, side)][1].append(c)
    for _ in range(10):
        startup["vornelic-cli --version"].append(run([cli, "--version"])[0])
        startup["vornelic-cli --help"].append(run([cli, "--help"])[0])
        startup["cat /dev/null"].append(run(["/bin/cat", os.devnull])[0])


def peak_kb(argv):
    """What /usr/bin/time -f %M reports: the process's peak resident memory in KB."""
    report = os.path.join(work, "time.txt")
    subprocess.run(["/usr/bin/time", "-f", "%M", "-o", report] + argv, stdout=subprocess.DEVNULL, check=True)
    with open(report) as f:
        return int(f.read().split()[-1])


def peak_of(command, folder):
    out = None
    if command in (replace, copy):
        shutil.rmtree(out_root, ignore_errors=True)
        out = out_root
        os.makedirs(out)
    kb = peak_kb(command(folder, out))
    shutil.rmtree(out_root, ignore_errors=True)
    return kb


memory = {}
for command in (compare, cat, replace, copy):
    memory[command.__name__] = (peak_of(command, short), max(peak_of(command, a) for a in albums[:3]),
                                peak_of(command, everything))

size = sum(os.path.getsize(f) for a in albums for f in files(a))
print("collection: %d album pairs of 12 tracks, %.2f GB; the same %d pairs in one folder; %d rounds" %
      (len(albums), size / 1e9, 12 * len(albums), rounds))
print()
print("%-36s %10s %10s %7s   %10s %10s %7s" % ("medians", "wall (s)", "floor", "ratio", "cpu (s)", "floor", "ratio"))
met = True
for name, ours, floor, folders, writes in pairs:
    w0, c0 = (statistics.median(v) for v in times[(name, 0)])
    w1, c1 = (statistics.median(v) for v in times[(name, 1)])
    print("%-36s %10.3f %10.3f %7.2f   %10.3f %10.3f %7.2f   (floor: %s)" %
          (name, w0, w1, w0 / w1, c0, c1, c0 / c1, FLOOR_NAMES[floor.__name__]))
    if name in targets:
        ok = w0 / w1 <= 1.3
        met = met and ok
        print("%-36s target wall ratio <= 1.3: %s" % ("", "met" if ok else "MISSED"))
print()
for name, values in startup.items():
    print("start-up, %-27s %7.1f ms (median of %d)" % (name, statistics.median(values) * 1e3, len(values)))
print()
print("peak memory (MB)       short album  album (max of 3)  all 240 pairs")
for name, (a, b, c) in memory.items():
    print("%-22s %11.1f %17.1f %14.1f" % (name, a / 1024, b / 1024, c / 1024))
for name in ("compare", "replace"):
    s, a, e = memory[name]
    ok = max(s, a, e) < 64 * 1024 and a < s * 1.25 + 2048
    met = met and ok
    print("%s: under 64 MB, and an album of 200-second tracks within a quarter of one of 10-second tracks: %s" %
          (name, "met" if ok else "MISSED"))
sys.exit(0 if met else 3)
