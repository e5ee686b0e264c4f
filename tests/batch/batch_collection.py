#!/usr/bin/python3
"""Writes a collection for the batch re-encode tests and the matcher benchmark.

audio OUT ALBUMS DECOYS   CD images (raw .bin, or .wav for every third album) of pseudo-random
                          audio with their cue sheets in OUT/cues, and for each an album folder
                          OUT/A/<artist>/<album> of MP3 files that lame encoded from the image's
                          tracks, tagged by mutagen; every other album carries the disc's table of
                          contents in an MCDI frame (a drive's TOC, the 8-byte table or the text form
                          in turn). DECOYS more cue sheets copy the track count of an MCDI album with
                          every start after the first shifted by 40 sectors. Prints a JSON manifest.
tags OUT ALBUMS TRACKS    ALBUMS album folders of TRACKS copies of one short MP3 each, tagged with
                          album, artist, album artist, track and an MCDI frame, and a cue sheet per
                          album (with a sparse image file) whose starts the MCDI names.
"""
import json
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile

from mutagen.id3 import ID3, MCDI, TALB, TIT2, TPE1, TPE2, TRCK

SECTOR = 2352
WORDS = """amber falcon cobalt dune ember fjord garnet harbor indigo juniper kestrel lagoon marble nectar
onyx prairie quill raven saffron tundra umber velvet willow xenon yarrow zephyr azure bramble cinder
delta elm flint glacier heather iris jasper kelp lotus meadow nimbus oak pebble quartz reed sable
thistle upland vapor wren yonder zinnia alder birch cedar dahlia egret fern gorse hazel ivy""".split()


def drive_toc(starts, end):
    body = b"".join(struct.pack(">BBBBI", 0, 0x10, k + 1, 0, s) for k, s in enumerate(starts))
    body += struct.pack(">BBBBI", 0, 0x10, 0xAA, 0, end)
    return struct.pack(">HBB", len(body) + 2, 1, len(starts)) + body


def le_table(starts, end):
    body = b"".join(struct.pack("<IBBH", s, 0x10, k + 1, 0) for k, s in enumerate(starts))
    return body + struct.pack("<IBBH", end, 0x10, 0xAA, 0)


def text_toc(starts, end):
    return ("%X" % len(starts) + "".join("+%X" % (s + 150) for s in starts + [end])).encode("latin-1")


def msf(sectors):
    return "%02d:%02d:%02d" % (sectors // 4500, sectors // 75 % 60, sectors % 75)


def write_cue(path, image_name, kind, starts):
    lines = ['FILE "%s" %s' % (image_name, kind)]
    for k, s in enumerate(starts):
        lines += ["  TRACK %02d AUDIO" % (k + 1), "    INDEX 01 " + msf(s)]
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")


def wav_header(data_bytes):
    return (b"RIFF" + struct.pack("<I", 36 + data_bytes) + b"WAVEfmt " +
            struct.pack("<IHHIIHH", 16, 1, 2, 44100, 176400, 4, 16) + b"data" + struct.pack("<I", data_bytes))


def tag(path, album, artist, track, count, title, toc=None):
    t = ID3()
    t.add(TALB(encoding=3, text=[album]))
    t.add(TPE1(encoding=3, text=[artist]))
    t.add(TPE2(encoding=3, text=[artist]))
    t.add(TRCK(encoding=0, text=["%d/%d" % (track, count)]))
    t.add(TIT2(encoding=3, text=[title]))
    if toc is not None:
        t.add(MCDI(data=toc))
    t.save(path, v2_version=3)


def audio(out, albums, decoys):
    rnd = random.Random(7)
    cues = os.path.join(out, "cues")
    os.makedirs(cues, exist_ok=True)
    manifest = {"albums": [], "decoys": []}
    tmp = tempfile.mkdtemp(dir=out)
    for i in range(albums):
        artist = "%s %s" % (WORDS[3 * i].title(), WORDS[3 * i + 1].title())
        album = WORDS[3 * i + 2].title()
        n = 3 + i % 3
        lengths = [100 + 17 * i + 5 * k for k in range(n)]
        starts = [sum(lengths[:k]) for k in range(n)]
        end = sum(lengths)
        pcm = rnd.randbytes(end * SECTOR)
        wav = i % 3 == 2
        stem = "%s - %s" % (artist, album)
        image = os.path.join(cues, stem + (".wav" if wav else ".bin"))
        with open(image, "wb") as f:
            if wav:
                f.write(wav_header(len(pcm)))
            f.write(pcm)
        cue = os.path.join(cues, stem + ".cue")
        write_cue(cue, os.path.basename(image), "WAVE" if wav else "BINARY", starts)
        folder = os.path.join(out, "A", artist, album)
        os.makedirs(folder, exist_ok=True)
        toc = None
        if i % 2 == 0:
            toc = [drive_toc, le_table, text_toc][(i // 2) % 3](starts, end)
        files = []
        for k in range(n):
            raw = os.path.join(tmp, "t.raw")
            with open(raw, "wb") as f:
                f.write(pcm[starts[k] * SECTOR:(starts[k] + lengths[k]) * SECTOR])
            name = "%02d %s.mp3" % (k + 1, WORDS[(3 * i + k) % len(WORDS)].title())
            mp3 = os.path.join(folder, name)
            subprocess.run(["lame", "--quiet", "-r", "-s", "44.1", "--bitwidth", "16", "--signed",
                            "--little-endian", "-b", "128", "-q", "7", raw, mp3], check=True,
                           stderr=subprocess.DEVNULL)
            tag(mp3, album, artist, k + 1, n, "Song %d" % (k + 1), toc)
            files.append(name)
        manifest["albums"].append({"folder": folder, "cue": cue, "image": image, "wav": wav, "mcdi": toc is not None,
                                   "starts": starts, "end": end, "files": files})
    for d in range(decoys):
        model = manifest["albums"][2 * d]
        starts = [s + (40 if k else 0) for k, s in enumerate(model["starts"])]
        end = model["end"] + 40
        stem = "Decoy %s" % ["Quasar Vortex", "Nebula Pulsar", "Comet Aurora", "Meteor Corona"][d % 4]
        image = os.path.join(cues, stem + ".bin")
        with open(image, "wb") as f:
            f.write(rnd.randbytes(end * SECTOR))
        cue = os.path.join(cues, stem + ".cue")
        write_cue(cue, os.path.basename(image), "BINARY", starts)
        manifest["decoys"].append({"cue": cue, "model": 2 * d})
    shutil.rmtree(tmp)
    print(json.dumps(manifest))


def tags(out, albums, tracks):
    cues = os.path.join(out, "cues")
    os.makedirs(cues, exist_ok=True)
    base = os.path.join(out, "base.mp3")
    wav = os.path.join(out, "base.raw")
    with open(wav, "wb") as f:
        f.write(bytes(4 * 4410))
    subprocess.run(["lame", "--quiet", "-r", "-s", "44.1", "--bitwidth", "16", "--signed", "--little-endian",
                    "-b", "64", wav, base], check=True,
                   stderr=subprocess.DEVNULL)
    os.remove(wav)
    for i in range(albums):
        artist = "%s %s %d" % (WORDS[i % len(WORDS)].title(), WORDS[(i * 7 + 3) % len(WORDS)].title(), i)
        album = "%s Album %d" % (WORDS[(i * 3 + 1) % len(WORDS)].title(), i)
        lengths = [9000 + (i * 131 + k * 977) % 9000 for k in range(tracks)]
        starts = [sum(lengths[:k]) for k in range(tracks)]
        end = sum(lengths)
        stem = "%s - %s" % (artist, album)
        image = os.path.join(cues, stem + ".bin")
        with open(image, "wb") as f:
            f.truncate(end * SECTOR)
        write_cue(os.path.join(cues, stem + ".cue"), os.path.basename(image), "BINARY", starts)
        folder = os.path.join(out, "A", "%03d" % (i // 100), "%s - %s" % (artist, album))
        os.makedirs(folder, exist_ok=True)
        toc = drive_toc(starts, end)
        for k in range(tracks):
            mp3 = os.path.join(folder, "%02d Track.mp3" % (k + 1))
            shutil.copyfile(base, mp3)
            tag(mp3, album, artist, k + 1, tracks, "Track %d" % (k + 1), toc)
    os.remove(base)


if __name__ == "__main__":
    if sys.argv[1] == "audio":
        audio(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]))
    else:
        tags(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]))
