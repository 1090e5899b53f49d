#!/usr/bin/env python3
"""Makes the LZMA and PPMd samples for the decoder tests.

Every sample is the compressed data of one ZIP entry as it stands in the
archive (for LZMA with its small header), made by independent encoders:
Python's lzma module (liblzma) and 7-Zip (7z a -tzip -mm=LZMA / -mm=PPMd),
plus the original data. The decoder tests read manifest.txt:

    name <TAB> method <TAB> general purpose flags <TAB> uncompressed size

and the files name.data (compressed) and name.out (expected output).

Usage: lzma_ppmd_samples.py OUTPUT_DIR
"""
import lzma
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile


# ---- inputs ---------------------------------------------------------------

def words_text(rng, size):
    """Text made of a few thousand random words: compresses well."""
    vocabulary = [''.join(rng.choice('abcdefghijklmnopqrstuvwxyz') for _ in range(rng.randint(1, 10)))
                  for _ in range(3000)]
    out = []
    total = 0
    while total < size:
        w = rng.choice(vocabulary)
        sep = rng.choice(' ' * 12 + ',.\n')
        out.append(w + sep)
        total += len(w) + 1
    return ''.join(out).encode()[:size]


def random_bytes(rng, size):
    return bytes(rng.getrandbits(8) for _ in range(size))


def runs(rng, size):
    """Long runs and repeated short patterns: long matches, repeated distances."""
    out = bytearray()
    while len(out) < size:
        kind = rng.randint(0, 3)
        if kind == 0:
            out += bytes([rng.getrandbits(8)]) * rng.randint(1, 3000)
        elif kind == 1:
            pattern = bytes(rng.getrandbits(8) for _ in range(rng.randint(2, 9)))
            out += pattern * rng.randint(1, 400)
        elif kind == 2 and len(out) > 10:
            start = rng.randrange(len(out))
            out += out[start:start + rng.randint(2, 300)]
        else:
            out += bytes(rng.getrandbits(8) for _ in range(rng.randint(1, 40)))
    return bytes(out[:size])


def records(rng, size):
    """Fixed-size records of small numbers, like a table in an executable."""
    out = bytearray()
    i = 0
    while len(out) < size:
        out += struct.pack('<IHHf', i * 16 + rng.randint(0, 3), rng.randint(0, 50), 7, i * 0.5)
        i += 1
    return bytes(out[:size])


def varied(rng, size):
    """A mix of everything, in blocks: fills a small model memory quickly."""
    makers = [words_text, random_bytes, runs, records]
    out = bytearray()
    while len(out) < size:
        out += rng.choice(makers)(rng, rng.randint(2000, 40000))
    return bytes(out[:size])


# ---- encoders -------------------------------------------------------------

LZMA_EOS_FLAG = 0x0002


def zip_lzma_header(lc, lp, pb, dict_size):
    props = bytes([(pb * 5 + lp) * 9 + lc]) + struct.pack('<I', dict_size)
    return bytes([9, 20]) + struct.pack('<H', 5) + props


def python_raw(data, lc, lp, pb, dict_size, preset=6):
    filters = [{'id': lzma.FILTER_LZMA1, 'preset': preset, 'dict_size': dict_size, 'lc': lc, 'lp': lp, 'pb': pb}]
    raw = lzma.compress(data, format=lzma.FORMAT_RAW, filters=filters)
    return zip_lzma_header(lc, lp, pb, dict_size) + raw


def python_alone(data, preset):
    alone = lzma.compress(data, format=lzma.FORMAT_ALONE, preset=preset)
    props, stream = alone[:5], alone[13:]  # properties, then the size field
    return bytes([9, 20]) + struct.pack('<H', 5) + props + stream


def seven_zip(data, method_option, work):
    """Compresses data as one entry with 7z; gives (method, flags, entry data)."""
    src = os.path.join(work, 'input.bin')
    archive = os.path.join(work, 'out.zip')
    with open(src, 'wb') as f:
        f.write(data)
    if os.path.exists(archive):
        os.remove(archive)
    subprocess.run(['7z', 'a', '-tzip', '-mmt=1'] + method_option + [archive, src],
                   check=True, stdout=subprocess.DEVNULL)
    with zipfile.ZipFile(archive) as z:
        info = z.infolist()[0]
    with open(archive, 'rb') as f:
        f.seek(info.header_offset + 26)
        name_len, extra_len = struct.unpack('<HH', f.read(4))
        f.seek(info.header_offset + 30 + name_len + extra_len)
        entry = f.read(info.compress_size)
    return info.compress_type, info.flag_bits, entry


# ---- the samples ----------------------------------------------------------

def main():
    out_dir = sys.argv[1]
    os.makedirs(out_dir, exist_ok=True)
    rng = random.Random(20240611)
    text = words_text(rng, 400_000)
    rand = random_bytes(rng, 120_000)
    nibbles = bytes(b & 0x0F for b in random_bytes(rng, 200_000))
    run = runs(rng, 300_000)
    rec = records(rng, 200_000)
    mix = varied(rng, 1_500_000)

    manifest = []

    def add(name, method, flags, data, entry):
        expected = 98 if name.startswith('ppmd') else 14
        if method != expected:
            raise SystemExit(f'{name}: the encoder stored the data (method {method})')
        with open(os.path.join(out_dir, name + '.data'), 'wb') as f:
            f.write(entry)
        with open(os.path.join(out_dir, name + '.out'), 'wb') as f:
            f.write(data)
        manifest.append(f'{name}\t{method}\t{flags}\t{len(data)}')

    # LZMA from liblzma; its streams always close with the end marker.
    add('lzma_py_text_default', 14, LZMA_EOS_FLAG, text, python_alone(text, 6))
    add('lzma_py_text_fast', 14, LZMA_EOS_FLAG, text, python_alone(text, 1))
    add('lzma_py_random', 14, LZMA_EOS_FLAG, rand, python_alone(rand, 6))
    add('lzma_py_runs_extreme', 14, LZMA_EOS_FLAG, run, python_alone(run, 9 | lzma.PRESET_EXTREME))
    add('lzma_py_records_lc0_lp2_pb0', 14, LZMA_EOS_FLAG, rec, python_raw(rec, 0, 2, 0, 1 << 20))
    add('lzma_py_records_lc1_lp3_pb4', 14, LZMA_EOS_FLAG, rec, python_raw(rec, 1, 3, 4, 1 << 20))
    add('lzma_py_text_lc4_lp0_pb1', 14, LZMA_EOS_FLAG, text, python_raw(text, 4, 0, 1, 1 << 16))
    # Dictionaries smaller than the data: the window wraps many times.
    add('lzma_py_mix_dict4k', 14, LZMA_EOS_FLAG, mix[:300_000], python_raw(mix[:300_000], 3, 0, 2, 4096))
    add('lzma_py_runs_dict_odd', 14, LZMA_EOS_FLAG, run, python_raw(run, 3, 0, 2, 70001))
    add('lzma_py_empty', 14, LZMA_EOS_FLAG, b'', python_alone(b'', 6))
    add('lzma_py_one_byte', 14, LZMA_EOS_FLAG, b'Q', python_alone(b'Q', 6))
    # A stream with end marker read as one without: the size ends it.
    add('lzma_py_text_size_only', 14, 0, text[:50_000], python_alone(text[:50_000], 6))

    work = tempfile.mkdtemp()
    try:
        # LZMA as 7-Zip writes it into ZIP archives.
        for level in (1, 5, 9):
            m, fl, e = seven_zip(mix[:600_000], ['-mm=LZMA', f'-mx={level}'], work)
            add(f'lzma_7z_mix_mx{level}', m, fl, mix[:600_000], e)
        m, fl, e = seven_zip(text, ['-mm=LZMA:eos=off'], work)
        add('lzma_7z_text_no_end_marker', m, fl, text, e)
        m, fl, e = seven_zip(run, ['-mm=LZMA:eos=off:d=4k'], work)
        add('lzma_7z_runs_no_end_marker_dict4k', m, fl, run, e)
        m, fl, e = seven_zip(text, ['-mm=LZMA:lc=8:lp=0:pb=0'], work)
        add('lzma_7z_text_lc8', m, fl, text, e)
        m, fl, e = seven_zip(rec, ['-mm=LZMA:lc=0:lp=4:pb=4'], work)
        add('lzma_7z_records_lp4_pb4', m, fl, rec, e)
        m, fl, e = seven_zip(b'ab' * 30, ['-mm=LZMA'], work)
        add('lzma_7z_short', m, fl, b'ab' * 30, e)

        # PPMd var.I rev.1 as 7-Zip writes it: orders, memory sizes, and both
        # ways of handling a full model memory (restart below order 7 by
        # default, cut-off with a=1).
        ppmd = [
            ('ppmd_7z_text_o2', text, ['-mm=PPMd:o=2']),
            ('ppmd_7z_text_o6', text, ['-mm=PPMd:o=6']),
            ('ppmd_7z_text_o16', text[:150_000], ['-mm=PPMd:o=16']),
            ('ppmd_7z_runs_o8', run, ['-mm=PPMd:o=8:mem=16m']),
            ('ppmd_7z_records_o4', rec, ['-mm=PPMd:o=4']),
            ('ppmd_7z_nibbles_o3', nibbles, ['-mm=PPMd:o=3']),
            ('ppmd_7z_mix_restart_o4', mix, ['-mm=PPMd:o=4:mem=1m']),
            ('ppmd_7z_mix_restart_o12', mix[:700_000], ['-mm=PPMd:o=12:mem=1m:a=0']),
            ('ppmd_7z_mix_cutoff_o8', mix, ['-mm=PPMd:o=8:mem=1m:a=1']),
            ('ppmd_7z_mix_cutoff_o16', mix[:700_000], ['-mm=PPMd:o=16:mem=2m:a=1']),
            ('ppmd_7z_text_cutoff_o10', text, ['-mm=PPMd:o=10:mem=1m:a=1']),
            # 7-Zip stores entries that would not get smaller, so the
            # shortest PPMd entries it makes are a few dozen bytes.
            ('ppmd_7z_short', b'z' * 40, ['-mm=PPMd:o=2']),
            ('ppmd_7z_short_text', b'the cat and the hat and the bat', ['-mm=PPMd:o=6']),
        ]
        for name, data, option in ppmd:
            m, fl, e = seven_zip(data, option, work)
            add(name, m, fl, data, e)
    finally:
        shutil.rmtree(work)

    with open(os.path.join(out_dir, 'manifest.txt'), 'w') as f:
        f.write('\n'.join(manifest) + '\n')


if __name__ == '__main__':
    main()
