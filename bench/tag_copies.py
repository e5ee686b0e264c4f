#!/usr/bin/python3
# Copies a few encodes of the same track to COUNT numbered names in a folder and gives each copy
# its own tags with mutagen: side "A" the full set with a cover, side "B" a short set, as a fresh
# encode that has been through a tagger only lightly would carry.
# Usage: tag_copies.py SIDE COUNT COVER.jpg OUT_FOLDER SOURCE...
import os
import shutil
import sys

from mutagen.flac import FLAC, Picture
from mutagen.id3 import APIC, COMM, ID3, TALB, TCON, TIT2, TPE1, TPE2, TPOS, TRCK, TSSE, TYER
from mutagen.mp4 import MP4, MP4Cover

side, count, cover_path, out = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
sources = sys.argv[5:]
cover = open(cover_path, "rb").read()
full = side == "A"


def tag_mp3(path, n, title):
    t = ID3()
    t.add(TIT2(encoding=1, text=[title]))
    t.add(TRCK(encoding=0, text=["%d/%d" % (n, count)]))
    t.add(TSSE(encoding=0, text=["LAME 3.100"]))
    if full:
        t.add(TPE1(encoding=1, text=["Bench Ensemble"]))
        t.add(TPE2(encoding=1, text=["Bench Ensemble"]))
        t.add(TALB(encoding=1, text=["Benchmark Album \u30d9\u30f3\u30c1"]))
        t.add(TPOS(encoding=0, text=["1/1"]))
        t.add(TYER(encoding=0, text=["2024"]))
        t.add(TCON(encoding=0, text=["Ambient"]))
        t.add(COMM(encoding=1, lang="eng", desc="", text=["reference copy %d" % n]))
        t.add(APIC(encoding=0, mime="image/jpeg", type=3, desc="", data=cover))
    t.save(path, v2_version=3 if full else 4)


def tag_flac(path, n, title):
    f = FLAC(path)
    f["TITLE"] = title
    f["TRACKNUMBER"] = str(n)
    if full:
        f["ARTIST"] = "Bench Ensemble"
        f["ALBUMARTIST"] = "Bench Ensemble"
        f["ALBUM"] = "Benchmark Album \u30d9\u30f3\u30c1"
        f["DISCNUMBER"] = "1"
        f["DATE"] = "2024"
        f["GENRE"] = "Ambient"
        f["COMMENT"] = "reference copy %d" % n
        p = Picture()
        p.type, p.mime, p.width, p.height, p.depth, p.data = 3, "image/jpeg", 600, 600, 24, cover
        f.add_picture(p)
    f.save()


def tag_m4a(path, n, title):
    f = MP4(path)
    f["\xa9nam"] = [title]
    f["trkn"] = [(n, count)]
    if full:
        f["\xa9ART"] = ["Bench Ensemble"]
        f["aART"] = ["Bench Ensemble"]
        f["\xa9alb"] = ["Benchmark Album \u30d9\u30f3\u30c1"]
        f["disk"] = [(1, 1)]
        f["\xa9day"] = ["2024"]
        f["\xa9gen"] = ["Ambient"]
        f["\xa9cmt"] = ["reference copy %d" % n]
        f["covr"] = [MP4Cover(cover, imageformat=MP4Cover.FORMAT_JPEG)]
    f.save()


os.makedirs(out, exist_ok=True)
for i in range(count):
    src = sources[i % len(sources)]
    ext = os.path.splitext(src)[1].lower()
    n = i + 1
    title = "Track %03d" % n if not full else "Title of track %03d" % n
    dst = os.path.join(out, "%03d %s%s" % (n, "Track" if not full else "Title", ext))
    shutil.copyfile(src, dst)
    {".mp3": tag_mp3, ".flac": tag_flac, ".m4a": tag_m4a}[ext](dst, n, title)
