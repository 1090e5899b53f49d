#!/usr/bin/env python3
"""Speed of our Deflate64 and bzip2 decoders next to 7-Zip, bzip2 and Python.

Makes test corpora, packs them with 7z (ZIP, Deflate64 and BZip2) and bzip2,
takes the raw entry data out of the archives and times every decoder on the
same data. Times are processor time (user + system), the best of several
runs: on a shared machine wall-clock times mostly measure the other load.

  compare.py --bench build/<dir>/bench/codecs/codec_bench [--work DIR] [--runs N]
"""
import argparse
import bz2
import os
import random
import resource
import struct
import subprocess
import sys
import tarfile
import time
import zipfile


def make_corpora(work):
    """Returns {name: path} of the corpora, made once in `work`."""
    corpora = {}
    path = os.path.join(work, "text.tar")  # real text: Perl modules and Vim help
    if not os.path.exists(path):
        with tarfile.open(path, "w") as tar:
            for root in ("/usr/share/perl", "/usr/share/vim"):
                if os.path.isdir(root):
                    tar.add(root)
    corpora["text.tar"] = path
    path = os.path.join(work, "binaries.bin")  # machine code and data of shared libraries
    if not os.path.exists(path):
        libdir = "/usr/lib/x86_64-linux-gnu"
        libs = sorted((os.path.join(libdir, f) for f in os.listdir(libdir) if ".so" in f),
                      key=lambda p: -os.path.getsize(p) if os.path.isfile(p) else 0)
        data = bytearray()
        for lib in libs[2:]:
            if os.path.isfile(lib) and not os.path.islink(lib):
                data += open(lib, "rb").read()
            if len(data) >= 40_000_000:
                break
        open(path, "wb").write(data[:40_000_000])
    corpora["binaries.bin"] = path
    path = os.path.join(work, "words.txt")  # random words: little context to exploit
    if not os.path.exists(path):
        rng = random.Random(1)
        words = ["".join(rng.choice("abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 9)))
                 for _ in range(3000)]
        open(path, "w").write(" ".join(rng.choice(words) for _ in range(2_000_000)))
    corpora["words.txt"] = path
    path = os.path.join(work, "runs.bin")  # long runs and long-distance repeats
    if not os.path.exists(path):
        rng = random.Random(2)
        block = bytes(rng.getrandbits(8) for _ in range(50_000))
        data = bytearray()
        while len(data) < 20_000_000:
            data += block * rng.randint(1, 4) + bytes([rng.getrandbits(8)]) * rng.randint(1, 300_000)
        open(path, "wb").write(data)
    corpora["runs.bin"] = path
    return corpora


def raw_entry(zip_path):
    with zipfile.ZipFile(zip_path) as z:
        info = z.infolist()[0]
    with open(zip_path, "rb") as f:
        f.seek(info.header_offset)
        header = f.read(30)
        name_len, extra_len = struct.unpack("<HH", header[26:30])
        f.seek(info.header_offset + 30 + name_len + extra_len)
        return info.compress_type, f.read(info.compress_size)


def children_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def best_time(command, runs):
    best = float("inf")
    for _ in range(runs):
        start = children_cpu()
        subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
        best = min(best, children_cpu() - start)
    return best


def ours(bench, method, raw_path, runs):
    """(best in-process decode time, best whole-process time, heap peak line)."""
    out = subprocess.run([bench, method, raw_path, "--repeat", str(runs)], capture_output=True, text=True,
                         check=True).stdout
    in_process = float(out.split("cpu ")[1].split(" s")[0])
    whole = best_time([bench, method, raw_path, "--repeat", "1"], runs)
    heap = out.split("heap peak ")[1].split(",")[0]
    return in_process, whole, heap


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bench", required=True)
    parser.add_argument("--work", default="/tmp/qx-codec-bench")
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    os.makedirs(args.work, exist_ok=True)
    corpora = make_corpora(args.work)

    rows = []
    for name, path in corpora.items():
        size = os.path.getsize(path)
        for method, mm, code in (("deflate64", "Deflate64", 9), ("bzip2", "BZip2", 12)):
            zip_path = os.path.join(args.work, f"{name}.{method}.zip")
            if not os.path.exists(zip_path):
                subprocess.run(["7z", "a", "-tzip", f"-mm={mm}", "-mx=9", zip_path, path],
                               stdout=subprocess.DEVNULL, check=True)
            kind, data = raw_entry(zip_path)
            if kind != code:
                continue  # 7z stored it
            raw_path = zip_path + ".raw"
            open(raw_path, "wb").write(data)
            in_process, whole, heap = ours(args.bench, method, raw_path, args.runs)
            row = {"corpus": name, "method": method, "size": size, "packed": len(data),
                   "ours": in_process, "ours_process": whole, "heap": heap,
                   # One thread, as the updater decodes: with more, 7z's processor
                   # time no longer tells its speed.
                   "7z t -mmt=1": best_time(["7z", "t", "-mmt=1", zip_path], args.runs)}
            if method == "bzip2":
                bz2_path = os.path.join(args.work, f"{name}.bz2")
                if not os.path.exists(bz2_path):
                    with open(bz2_path, "wb") as f:
                        subprocess.run(["bzip2", "-9", "-c", path], stdout=f, check=True)
                row["bzip2 -d"] = best_time(["bzip2", "-dkc", bz2_path], args.runs)
                packed = open(bz2_path, "rb").read()
                best = float("inf")
                for _ in range(args.runs):
                    start = time.process_time()
                    bz2.decompress(packed)
                    best = min(best, time.process_time() - start)
                row["python bz2"] = best
            rows.append(row)
            print(format_row(row), flush=True)


def format_row(row):
    mb = row["size"] / 1e6
    text = (f"{row['method']:9} {row['corpus']:13} {mb:6.1f} MB -> {row['packed'] / 1e6:6.1f} MB  "
            f"ours {mb / row['ours']:6.1f} MB/s (whole process {mb / row['ours_process']:6.1f}), heap {row['heap']}")
    for tool in ("7z t -mmt=1", "bzip2 -d", "python bz2"):
        if tool in row:
            text += f"\n    vs {tool:12} {mb / row[tool]:6.1f} MB/s: ratio {row[tool] / row['ours_process']:.2f}" \
                    f" (in-process {row[tool] / row['ours']:.2f})"
    return text


if __name__ == "__main__":
    sys.exit(main())
