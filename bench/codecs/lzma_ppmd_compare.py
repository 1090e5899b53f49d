#!/usr/bin/env python3
"""Speed and memory of our LZMA and PPMd decoders next to 7-Zip and liblzma.

Makes the corpora, packs each into a ZIP archive with 7z (-mm=LZMA at several
levels, -mm=PPMd with several orders and memory sizes), then decodes the same
entry data with
  - our decoders (lzma_ppmd_bench, in-process, from memory),
  - `7z t -mmt=1` on the archive (whole process: start, read, decode, CRC),
  - for LZMA, Python's lzma module (liblzma) on the same raw stream.
Times are processor time (user + system), the best of several runs: the
machine is shared, so wall time is noisy. Ratios above 1 mean we are faster.
Our peak resident size includes the archive, which the bench reads whole.

  lzma_ppmd_compare.py --bench build/<dir>/bench/codecs/lzma_ppmd_bench [--work DIR] [--runs N]
"""
import argparse
import lzma
import os
import random
import struct
import subprocess
import sys
import tarfile
import time
import zipfile


def make_corpora(work):
    corpora = {}
    path = os.path.join(work, "text.tar")  # real text: Perl modules and Vim help
    if not os.path.exists(path):
        with tarfile.open(path, "w") as tar:
            for root in ("/usr/share/perl", "/usr/share/vim"):
                if os.path.isdir(root):
                    tar.add(root)
        with open(path, "rb") as f:
            data = f.read(24_000_000)
        with open(path, "wb") as f:
            f.write(data)
    corpora["text.tar"] = path
    path = os.path.join(work, "binaries.bin")  # machine code and data of shared libraries
    if not os.path.exists(path):
        libdir = "/usr/lib/x86_64-linux-gnu"
        libs = sorted(os.path.join(libdir, f) for f in os.listdir(libdir) if ".so" in f)
        data = bytearray()
        for lib in libs:
            if os.path.isfile(lib) and not os.path.islink(lib):
                with open(lib, "rb") as f:
                    data += f.read()
            if len(data) >= 24_000_000:
                break
        with open(path, "wb") as f:
            f.write(data[:24_000_000])
    corpora["binaries.bin"] = path
    path = os.path.join(work, "words.txt")  # random words
    if not os.path.exists(path):
        rng = random.Random(1)
        words = ["".join(rng.choice("abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 9)))
                 for _ in range(3000)]
        with open(path, "w") as f:
            f.write(" ".join(rng.choice(words) for _ in range(2_000_000)))
    corpora["words.txt"] = path
    return corpora


def cpu_of(command):
    """Processor time and peak resident size (KiB) of one run of command, as
    /usr/bin/time sees them (a fresh process, so the peak is its own)."""
    proc = subprocess.run(["/usr/bin/time", "-f", "%U %S %M"] + command, stdout=subprocess.DEVNULL,
                          stderr=subprocess.PIPE, text=True)
    if proc.returncode != 0:
        raise SystemExit(f"{command} failed: {proc.stderr}")
    user, system, rss = proc.stderr.strip().splitlines()[-1].split()
    return float(user) + float(system), int(rss)


def best_cpu(command, runs):
    results = [cpu_of(command) for _ in range(runs)]
    return min(r[0] for r in results), max(r[1] for r in results)


def raw_entry(zip_path):
    with zipfile.ZipFile(zip_path) as z:
        info = z.infolist()[0]
    with open(zip_path, "rb") as f:
        f.seek(info.header_offset + 26)
        name_len, extra_len = struct.unpack("<HH", f.read(4))
        f.seek(info.header_offset + 30 + name_len + extra_len)
        return info, f.read(info.compress_size)


def python_lzma_cpu(entry, info, runs):
    """liblzma on the same stream: the ZIP header turned into a .lzma header."""
    props = entry[4:9]
    size = struct.pack("<q", -1 if info.flag_bits & 2 else info.file_size)
    alone = props + size + entry[9:]
    best = float("inf")
    for _ in range(runs):
        start = time.process_time()
        out = lzma.decompress(alone, format=lzma.FORMAT_ALONE)
        best = min(best, time.process_time() - start)
    assert len(out) == info.file_size
    return best


def ours_cpu(bench, zip_path, runs):
    out = subprocess.run([bench, "--repeat", str(runs), zip_path], capture_output=True, text=True)
    if out.returncode != 0:
        raise SystemExit(out.stdout + out.stderr)
    fields = out.stdout.split("\t")
    seconds = float(fields[4].split()[0])
    _, rss = cpu_of([bench, "--repeat", "1", zip_path])
    return seconds, rss


CONFIGS = [
    ("LZMA", ["-mm=LZMA", "-mx=1"]),
    ("LZMA", ["-mm=LZMA", "-mx=5"]),
    ("LZMA", ["-mm=LZMA", "-mx=9"]),
    ("PPMd", ["-mm=PPMd:o=4:mem=16m"]),
    ("PPMd", ["-mm=PPMd:o=6:mem=64m"]),
    ("PPMd", ["-mm=PPMd:o=8:mem=2m"]),  # model memory runs full: restarts
    ("PPMd", ["-mm=PPMd:o=16:mem=8m:a=1"]),  # and cut-offs
]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bench", required=True)
    parser.add_argument("--work", default="/tmp/qx-lzma-ppmd-bench")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--corpus", action="append", help="only these corpora")
    args = parser.parse_args()
    os.makedirs(args.work, exist_ok=True)
    corpora = make_corpora(args.work)

    print(f"{'corpus':13} {'method':28} {'MB':>5} {'ours MB/s':>9} {'7z MB/s':>8} {'vs 7z':>6} "
          f"{'liblzma':>8} {'vs py':>6} {'ours RSS':>9} {'7z RSS':>8}")
    for name, path in corpora.items():
        if args.corpus and name not in args.corpus:
            continue
        mb = os.path.getsize(path) / 1e6
        for method, options in CONFIGS:
            tag = "".join(o.strip("-").replace("=", "").replace(":", "_") for o in options)
            zip_path = os.path.join(args.work, f"{name}.{tag}.zip")
            if not os.path.exists(zip_path):
                subprocess.run(["7z", "a", "-tzip", "-mmt=1"] + options + [zip_path, path],
                               stdout=subprocess.DEVNULL, check=True)
            info, entry = raw_entry(zip_path)
            if info.compress_type not in (14, 98):
                continue
            ours, ours_rss = ours_cpu(args.bench, zip_path, args.runs)
            seven, seven_rss = best_cpu(["7z", "t", "-mmt=1", zip_path], args.runs)
            line = (f"{name:13} {' '.join(options):28} {mb:5.1f} {mb / ours:9.1f} {mb / seven:8.1f} "
                    f"{seven / ours:6.2f}")
            if method == "LZMA":
                py = python_lzma_cpu(entry, info, args.runs)
                line += f" {mb / py:8.1f} {py / ours:6.2f}"
            else:
                line += f" {'':8} {'':6}"
            line += f" {ours_rss / 1024:7.1f}MB {seven_rss / 1024:6.1f}MB"
            print(line, flush=True)


if __name__ == "__main__":
    sys.exit(main())
