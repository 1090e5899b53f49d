#!/usr/bin/env python3
"""Makes the bzip2 and Deflate64 samples for the decoder tests.

Every sample is the compressed data of one ZIP entry as our decoders get it,
made by independent encoders, together with the original data:

- bzip2 (method 12): Debian's bzip2 tool and Python's bz2 module at every
  block size 1..9, concatenated streams, and the entry data of archives made
  by 7-Zip (7z a -tzip -mm=BZip2);
- Deflate64 (method 9): the entry data of archives made by 7-Zip
  (7z a -tzip -mm=Deflate64) at several levels, taken out of the archive at
  the offsets its headers give.

The tests read manifest.txt, one line per sample:

    name <TAB> method <TAB> uncompressed size

and the files name.data (compressed) and name.out (expected output).

Usage: bzip2_deflate64_samples.py OUTPUT_DIR
"""
import bz2
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile

BZIP2 = 12
DEFLATE64 = 9


# ---- inputs ---------------------------------------------------------------

def words_text(rng, size):
    """Text of a few thousand random words: compresses well."""
    vocabulary = ["".join(rng.choice("abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(1, 10)))
                  for _ in range(3000)]
    out = []
    total = 0
    while total < size:
        word = rng.choice(vocabulary) + rng.choice(" " * 12 + ",.\n")
        out.append(word)
        total += len(word)
    return "".join(out).encode()[:size]


def random_bytes(rng, size):
    return rng.getrandbits(8 * size).to_bytes(size, "little") if size else b""


def byte_runs(rng):
    """Runs of every length around the four-byte run coding of bzip2 (1..8,
    250..262 and far longer), of changing byte values."""
    out = bytearray()
    lengths = list(range(1, 9)) + list(range(250, 263)) + [300, 511, 1000, 5000, 70000]
    for length in lengths * 3:
        out += bytes([rng.choice(b"\x00\x01aZ\xff")]) * length
        out += bytes([rng.getrandbits(8)])
    return bytes(out)


def skewed_bytes(rng, size):
    """Bytes from a small, uneven alphabet without repeats: Huffman coding
    only, few matches."""
    alphabet = bytes(rng.getrandbits(8) for _ in range(20))
    weights = [1 + i * i for i in range(20)]
    return bytes(rng.choices(alphabet, weights, k=size))


def far_repeats(rng):
    """Random blocks repeated at distances between 32 KiB and 64 KiB, and long
    runs: the far distance codes and long matches of Deflate64."""
    out = bytearray()
    for block_size in (40_000, 50_000, 65_000, 33_000):
        block = random_bytes(rng, block_size)
        out += block + block[: block_size // 2] + block
    out += b"\x00" * 200_000 + b"xy" * 50_000 + b"abcdefghijk" * 10_000
    return bytes(out)


def mixed(rng):
    """Text with incompressible pieces in between: stored blocks."""
    out = bytearray()
    for _ in range(4):
        out += words_text(rng, 60_000) + random_bytes(rng, 70_000)
    return bytes(out)


def records(rng, count):
    """Binary records: counters, flags, small numbers."""
    out = bytearray()
    for i in range(count):
        out += struct.pack("<IHBBd", i * 7, rng.randint(0, 50), i & 3, 0xEE, i / 3.0)
    return bytes(out)


# ---- encoders -------------------------------------------------------------

def bzip2_tool(data, level):
    return subprocess.run(["bzip2", f"-{level}", "-c"], input=data, stdout=subprocess.PIPE, check=True).stdout


def python_bz2(data, level):
    return bz2.compress(data, level)


def seven_zip_entry(data, method, level, scratch):
    """Returns (method, compressed entry data) of a ZIP archive that 7z made
    of `data`."""
    folder = tempfile.mkdtemp(dir=scratch)
    source = os.path.join(folder, "entry.bin")
    archive = os.path.join(folder, "archive.zip")
    with open(source, "wb") as f:
        f.write(data)
    subprocess.run(["7z", "a", "-tzip", f"-mm={method}", f"-mx={level}", archive, source],
                   stdout=subprocess.DEVNULL, check=True)
    with zipfile.ZipFile(archive) as z:
        info = z.infolist()[0]
    with open(archive, "rb") as f:
        f.seek(info.header_offset)
        header = f.read(30)
        if header[:4] != b"PK\x03\x04":
            raise RuntimeError("no local header")
        name_length, extra_length = struct.unpack("<HH", header[26:30])
        f.seek(info.header_offset + 30 + name_length + extra_length)
        entry = f.read(info.compress_size)
    shutil.rmtree(folder)
    return info.compress_type, entry


# ---- samples --------------------------------------------------------------

def main():
    out_dir = sys.argv[1]
    shutil.rmtree(out_dir, ignore_errors=True)
    os.makedirs(out_dir)
    scratch = tempfile.mkdtemp()
    rng = random.Random(20240611)
    manifest = []

    def add(name, method, compressed, original):
        with open(os.path.join(out_dir, name + ".data"), "wb") as f:
            f.write(compressed)
        with open(os.path.join(out_dir, name + ".out"), "wb") as f:
            f.write(original)
        manifest.append(f"{name}\t{method}\t{len(original)}")

    text = words_text(rng, 1_100_000)  # more than one block at every block size
    inputs = {
        "empty": b"",
        "one_byte": b"Q",
        "runs": byte_runs(rng),
        "random": random_bytes(rng, 300_000),
        "records": records(rng, 40_000),
        "all_values": bytes(range(256)) * 2000,
        # The rotations of a block made of a repeated pattern are not all
        # different; the transform's links then cycle through one period.
        "pattern_ab": b"ab" * 400_000,
        "pattern_abc": b"abc" * 100_001,
        "one_value": b"\x07" * 2_000_000,
    }

    for level in range(1, 10):
        add(f"bz_text_tool_{level}", BZIP2, bzip2_tool(text, level), text)
        add(f"bz_text_python_{level}", BZIP2, python_bz2(text, level), text)
    for name, data in inputs.items():
        add(f"bz_{name}_tool_9", BZIP2, bzip2_tool(data, 9), data)
        add(f"bz_{name}_python_1", BZIP2, python_bz2(data, 1), data)

    # Streams one after the other, an empty one among them.
    parts = [text[:250_000], b"", inputs["runs"], inputs["one_byte"]]
    add("bz_streams_tool", BZIP2, b"".join(bzip2_tool(p, 1 + 4 * (i % 3)) for i, p in enumerate(parts)),
        b"".join(parts))
    add("bz_streams_python", BZIP2, b"".join(python_bz2(p, 9 - i) for i, p in enumerate(parts)), b"".join(parts))

    for name, data in (("text", text), ("runs", inputs["runs"]), ("records", inputs["records"])):
        for level in (1, 9):
            method, entry = seven_zip_entry(data, "BZip2", level, scratch)
            if method == BZIP2:
                add(f"bz_{name}_7z_{level}", BZIP2, entry, data)

    deflate64_inputs = {
        "text": text,
        "far_repeats": far_repeats(rng),
        "runs": inputs["runs"],
        "mixed": mixed(rng),
        "skewed": skewed_bytes(rng, 300_000),
        "records": inputs["records"],
        "pattern_abc": inputs["pattern_abc"],
        "one_byte": inputs["one_byte"],
    }
    for name, data in deflate64_inputs.items():
        for level in (1, 5, 9):
            method, entry = seven_zip_entry(data, "Deflate64", level, scratch)
            if method == DEFLATE64:  # 7z stores what it cannot compress
                add(f"d64_{name}_7z_{level}", DEFLATE64, entry, data)

    with open(os.path.join(out_dir, "manifest.txt"), "w") as f:
        f.write("\n".join(manifest) + "\n")
    shutil.rmtree(scratch)
    print(f"{len(manifest)} samples in {out_dir}")


if __name__ == "__main__":
    main()
