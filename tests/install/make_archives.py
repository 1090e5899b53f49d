#!/usr/bin/env python3
"""Builds the update archives that the unpacking tests read, each made by the
tool that writes that kind of archive (Info-ZIP zip, 7-Zip, bsdtar, Python's
zipfile), plus small hand-made damaged ones, and the files each must leave.

Usage: make_archives.py OUTDIR

For a case NAME it writes into OUTDIR:
  NAME.zip        the archive (absent when the case is "no archive at all")
  NAME.before/    files that are in the directory before unpacking (optional)
  NAME.expected/  the files the directory must hold afterwards, when the
                  archive opens
Two large archives are made for tests of their own: many_entries.zip (70000
entries) and beyond_4gib.zip (a sparse file whose last entry lies beyond
4 GiB).
"""
import io
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile
import zlib

OUT = None


def text(name, lines=400):
    return "".join(f"line {i} of {name}: the quick brown fox\n" for i in range(lines)).encode()


def noise(seed, size):
    return random.Random(seed).randbytes(size)


SAMPLE = {
    "readme.txt": text("readme"),
    "data.bin": noise(1, 100_000),
    "tiny.txt": b"x",
    "nested/deep/file.txt": text("file", 50),
}


def expected_names(files):
    return {name.replace("\\", "/").split("/")[-1]: data for name, data in files.items()}


def write_tree(root, files):
    os.makedirs(root, exist_ok=True)
    for name, data in files.items():
        path = os.path.join(root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)


def case(name, archive_bytes=None, expected=None, before=None):
    """Records one case. `expected` None means the opening must fail."""
    if archive_bytes is not None:
        with open(os.path.join(OUT, name + ".zip"), "wb") as f:
            f.write(archive_bytes)
    if before:
        write_tree(os.path.join(OUT, name + ".before"), before)
    if expected is not None:
        write_tree(os.path.join(OUT, name + ".expected"), expected)


def run(cmd, cwd):
    subprocess.run(cmd, cwd=cwd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def with_tool(files, command, archive="a.zip", shell=False):
    """Stages `files`, runs `command` in the staging folder, returns the archive."""
    with tempfile.TemporaryDirectory() as work:
        write_tree(work, files)
        if shell:
            subprocess.run(command, cwd=work, shell=True, check=True, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
        else:
            run(command, work)
        with open(os.path.join(work, archive), "rb") as f:
            return f.read()


def with_zipfile(entries, compression=zipfile.ZIP_DEFLATED, comment=b"", force_zip64=False):
    """entries: list of (name or ZipInfo, data)."""
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", compression) as z:
        z.comment = comment
        for name, data in entries:
            if force_zip64:
                with z.open(name, "w", force_zip64=True) as f:
                    f.write(data)
            else:
                z.writestr(name, data)
    return buffer.getvalue()


class Unseekable(io.RawIOBase):
    """A byte sink without seek and tell, like a pipe: zipfile then writes data descriptors."""

    def __init__(self):
        self.chunks = []

    def writable(self):
        return True

    def write(self, b):
        self.chunks.append(bytes(b))
        return len(b)

    def value(self):
        return b"".join(self.chunks)


def streamed_zipfile(entries):
    sink = Unseekable()
    with zipfile.ZipFile(sink, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in entries:
            with z.open(name, "w") as f:
                f.write(data)
    return sink.value()


# Structures, for the damaged archives -------------------------------------

def end_record_at(data):
    return data.rindex(b"PK\x05\x06")


def central_headers(data):
    """Offsets of the central-directory headers of a classic archive."""
    end = end_record_at(data)
    count, size, offset = struct.unpack_from("<HII", data, end + 10)
    at, result = offset, []
    for _ in range(count):
        result.append(at)
        n, m, k = struct.unpack_from("<HHH", data, at + 28)
        at += 46 + n + m + k
    return result


def local_offset(data, header):
    return struct.unpack_from("<I", data, header + 42)[0]


def patch(data, offset, fmt, *values):
    data = bytearray(data)
    struct.pack_into(fmt, data, offset, *values)
    return bytes(data)


def patch_both(data, index, local_field, central_field, fmt, value):
    """Sets a field in an entry's local and central header."""
    header = central_headers(data)[index]
    data = patch(data, local_offset(data, header) + local_field, fmt, value)
    return patch(data, header + central_field, fmt, value)


# A small writer of our own for Zip64 layouts the tools make only for huge
# files: every size and offset in the Zip64 extra fields and end records.

def own_zip64(path, entries):
    """entries: list of (name, data) or (name, ("zeros", size)); stored."""
    central = []
    with open(path, "wb") as f:
        for name, data in entries:
            raw = name.encode()
            offset = f.tell()
            if isinstance(data, tuple):
                size = data[1]
                crc = 0
                chunk = bytes(64 << 20)
                left = size
                while left:
                    n = min(left, len(chunk))
                    crc = zlib.crc32(chunk[:n] if n < len(chunk) else chunk, crc)
                    left -= n
            else:
                size, crc = len(data), zlib.crc32(data)
            local_extra = struct.pack("<HHQQ", 1, 16, size, size)
            f.write(struct.pack("<IHHHHHIIIHH", 0x04034B50, 45, 0, 0, 0x0000, 0x5A21, crc,
                                0xFFFFFFFF, 0xFFFFFFFF, len(raw), len(local_extra)))
            f.write(raw + local_extra)
            if isinstance(data, tuple):
                f.seek(size, os.SEEK_CUR)  # zeros, as a hole in the file
            else:
                f.write(data)
            central.append((raw, crc, size, offset))
        directory_at = f.tell()
        for raw, crc, size, offset in central:
            extra = struct.pack("<HHQQQ", 1, 24, size, size, offset)
            f.write(struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 45, 45, 0, 0, 0x0000, 0x5A21, crc,
                                0xFFFFFFFF, 0xFFFFFFFF, len(raw), len(extra), 0, 0, 0, 0, 0xFFFFFFFF))
            f.write(raw + extra)
        directory_size = f.tell() - directory_at
        record_at = f.tell()
        f.write(struct.pack("<IQHHIIQQQQ", 0x06064B50, 44, 45, 45, 0, 0, len(central), len(central),
                            directory_size, directory_at))
        f.write(struct.pack("<IIQI", 0x07064B50, 0, record_at, 1))
        f.write(struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 0xFFFF, 0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0))
    # Python's reader must agree that the archive is well made.
    with zipfile.ZipFile(path) as z:
        assert [i.filename for i in z.infolist()] == [name for name, _ in entries]


# What a case is meant to exercise, checked on the archive the tool made, so
# that a tool that changes its ways cannot quietly empty a case.

def infos(data):
    return zipfile.ZipFile(io.BytesIO(data)).infolist()


def require(data, what, test):
    assert test(data), f"the archive made for {what} does not have it"
    return data


def descriptors(data):
    return all(i.flag_bits & 0x08 for i in infos(data) if not i.is_dir())


def zip64_end(data):
    return b"PK\x06\x06" in data and b"PK\x06\x07" in data


def no_utf8_flag(data):
    return all(not i.flag_bits & 0x800 for i in infos(data))


# The cases ----------------------------------------------------------------

def plain_cases():
    expected = expected_names(SAMPLE)
    names = ["readme.txt", "data.bin", "tiny.txt", "nested"]
    case("stored_infozip", with_tool(SAMPLE, ["zip", "-q", "-0", "-r", "a.zip"] + names), expected)
    case("deflated_infozip", with_tool(SAMPLE, ["zip", "-q", "-9", "-r", "a.zip"] + names), expected)
    case("deflated_7z", with_tool(SAMPLE, ["7z", "a", "-tzip", "-mm=Deflate", "-mx=9", "a.zip"] + names), expected)
    case("stored_7z", with_tool(SAMPLE, ["7z", "a", "-tzip", "-mx=0", "a.zip"] + names), expected)
    case("deflated_bsdtar", with_tool(SAMPLE, ["bsdtar", "--format", "zip", "-cf", "a.zip"] + names), expected)
    case("stored_bsdtar",
         with_tool(SAMPLE, ["bsdtar", "--format", "zip", "--options", "zip:compression=store", "-cf", "a.zip"] + names),
         expected)
    case("deflated_python", with_zipfile(list(SAMPLE.items())), expected)
    case("stored_python", with_zipfile(list(SAMPLE.items()), zipfile.ZIP_STORED), expected)
    # Data descriptors: sizes and CRC after the data, zeros in the local header.
    case("descriptor_infozip_fd",
         require(with_tool(SAMPLE, ["zip", "-q", "-fd", "-r", "a.zip"] + names), "data descriptors", descriptors),
         expected)
    case("descriptor_infozip_stream",
         require(with_tool(SAMPLE, "zip -q -r - " + " ".join(names) + " | cat > a.zip", shell=True),
                 "data descriptors", descriptors), expected)
    case("descriptor_python_stream",
         require(streamed_zipfile(list(SAMPLE.items())), "data descriptors", descriptors), expected)
    # Zip64 extra fields and end records.
    # Zip64 extra fields in the local headers, sizes in the central directory.
    case("zip64_python_forced", with_zipfile(list(SAMPLE.items()), force_zip64=True), expected)
    case("zip64_infozip_fz",
         require(with_tool(SAMPLE, ["zip", "-q", "-fz", "-r", "a.zip"] + names), "Zip64 end records", zip64_end),
         expected)
    case("zip64_bsdtar",
         require(with_tool(SAMPLE, ["bsdtar", "--format", "zip", "--options", "zip:zip64", "-cf", "a.zip"] + names),
                 "Zip64 end records", zip64_end),
         expected)
    with tempfile.TemporaryDirectory() as work:
        path = os.path.join(work, "a.zip")
        own_zip64(path, [(n, d) for n, d in SAMPLE.items()])
        with open(path, "rb") as f:
            case("zip64_every_field", f.read(), expected)
    # Archive comments: the end record is found behind them.
    case("comment_infozip",
         with_tool(SAMPLE, "echo 'Quorbix! 1.5 update' | zip -q -z -r a.zip " + " ".join(names), shell=True), expected)
    fake = b"PK\x05\x06" + bytes(18)
    longest = (fake + noise(2, 1000)) * 65
    case("comment_longest_with_fake_record", with_zipfile(list(SAMPLE.items()), comment=longest[:65535]), expected)


def name_cases():
    utf8 = {"ordner/Grüße.txt": b"hallo", "日本語.txt": b"nihongo", "emoji😀.txt": b"smile"}
    case("utf8_flagged_python", with_zipfile(list(utf8.items())), expected_names(utf8))
    case("utf8_unflagged_infozip",
         require(with_tool(utf8, ["zip", "-q", "-r", "a.zip", "ordner", "日本語.txt", "emoji😀.txt"]),
                 "UTF-8 names without the flag", no_utf8_flag), expected_names(utf8))
    case("utf8_7z", with_tool(utf8, ["7z", "a", "-tzip", "a.zip", "ordner", "日本語.txt", "emoji😀.txt"]),
         expected_names(utf8))
    # Names in code page 437 without the UTF-8 flag, as DOS and Windows
    # archivers wrote them; these letters are the same in code page 850.
    cp437 = {"Übung.txt": b"uebung", "grüße.txt": b"gruesse", "Ärger.txt": b"aerger"}
    placeholders = {name: chr(ord("A") + i) * len(name.encode("cp437")) for i, name in enumerate(cp437)}
    data = with_zipfile([(placeholders[n], d) for n, d in cp437.items()])
    for name, placeholder in placeholders.items():
        data = data.replace(placeholder.encode(), name.encode("cp437"))
    assert all(name.encode("cp437") in data for name in cp437)
    case("cp437_names", require(data, "names without the UTF-8 flag", no_utf8_flag), cp437)

    folders = {"x.dll": b"x", "bin/y.dll": b"y"}
    case("folders_infozip", with_tool(folders, ["zip", "-q", "-r", "a.zip", "x.dll", "bin"]), expected_names(folders))
    case("duplicates", with_zipfile([("a/readme.txt", b"first"), ("b/readme.txt", b"second")]),
         {"readme.txt": b"second"})
    parents = [("..\\evil.dll", b"1"), ("../evil2.dll", b"2"), ("c:evil3.dll", b"3"), ("/abs/evil4.dll", b"4"),
               ("a\\b\\c.dll", b"5"), ("..", b"6"), ("sub/..", b"7"), ("sub/.", b"8"), ("NUL", b"9"),
               ("dir/con.txt", b"10")]
    case("parent_and_device_names", with_zipfile(parents),
         {"evil.dll": b"1", "evil2.dll": b"2", "evil3.dll": b"3", "evil4.dll": b"4", "c.dll": b"5"})
    # A zero byte ends a name: the first entry writes quorbix.cfg, not tail.txt;
    # the second is the folder sub/. The names are set after writing, as
    # zipfile itself cuts names at a zero byte.
    data = with_zipfile([("quorbix.cfgX/tail.txt", b"cfg"), ("sub/Xx.dll", b"x")])
    data = data.replace(b"quorbix.cfgX/tail.txt", b"quorbix.cfg\0/tail.txt").replace(b"sub/Xx.dll", b"sub/\0x.dll")
    case("zero_byte_in_names", data, {"quorbix.cfg": b"cfg"})
    directory = zipfile.ZipInfo("winfolder")
    directory.external_attr = 0x10
    directory.create_system = 0
    case("directory_entries_only", with_zipfile([("bin/", b""), ("docs\\", b""), (directory, b"")]), {})

    link_files = {"target-of-link": b"real"}
    with tempfile.TemporaryDirectory() as work:
        write_tree(work, link_files)
        os.symlink("target-of-link", os.path.join(work, "link.txt"))
        os.mkdir(os.path.join(work, "somedir"))
        os.symlink("somedir", os.path.join(work, "dirlink"))
        run(["zip", "-q", "-y", "a.zip", "link.txt", "dirlink"], work)
        with open(os.path.join(work, "a.zip"), "rb") as f:
            case("symlink_entries", f.read(), {"link.txt": b"target-of-link", "dirlink": b"somedir"})


def edge_cases():
    case("encrypted_beside_plain",
         with_tool({"plain.txt": b"plain", "secret.txt": b"secret", "after.txt": b"after"},
                   "zip -q a.zip plain.txt && zip -q -P geheim a.zip secret.txt && zip -q a.zip after.txt", shell=True),
         {"plain.txt": b"plain", "after.txt": b"after"})
    case("empty_entry", with_zipfile([("empty.txt", b""), ("sub/also-empty.dat", b"")]),
         {"empty.txt": b"", "also-empty.dat": b""}, before={"empty.txt": b"old content"})
    case("empty_archive", with_zipfile([]), {})
    case("zero_bytes", b"")
    case("html_page", b"<html><body><h1>404 Not Found</h1></body></html>\n")
    case("missing")
    with tempfile.TemporaryDirectory() as work:
        write_tree(work, {"big.bin": noise(3, 300_000)})
        run(["zip", "-q", "-s", "64k", "a.zip", "big.bin"], work)
        with open(os.path.join(work, "a.zip"), "rb") as f:
            case("multi_volume_last_part", f.read())
    case("existing_file_replaced", with_zipfile([("keep.txt", b"new")]), {"keep.txt": b"new", "other.txt": b"other"},
         before={"keep.txt": b"old, longer than the new content", "other.txt": b"other"})


def method_cases():
    files = {"t.txt": text("method", 3000), "r.bin": noise(4, 20_000) * 3}
    for method, name in [("Deflate64", "m9_deflate64_7z"), ("BZip2", "m12_bzip2_7z"), ("LZMA", "m14_lzma_7z"),
                         ("PPMd", "m98_ppmd_7z")]:
        case(name, with_tool(files, ["7z", "a", "-tzip", f"-mm={method}", "a.zip", "t.txt", "r.bin"]), files)


def damaged_cases():
    good = with_zipfile([("first.txt", text("first")), ("victim.txt", text("victim")), ("last.txt", text("last"))])
    first_last = {"first.txt": text("first"), "last.txt": text("last")}
    end = end_record_at(good)
    headers = central_headers(good)

    case("bad_central_signature", patch(good, headers[1], "<I", 0x02014B51))
    case("directory_beyond_file", patch(good, end + 16, "<I", len(good) + 100))
    case("directory_size_too_large", patch(good, end + 12, "<I", len(good)))
    case("entry_count_too_large", patch(patch(good, end + 8, "<H", 5), end + 10, "<H", 5))
    case("local_offset_beyond_directory", patch(good, headers[2] + 42, "<I", struct.unpack_from("<I", good, end + 16)[0]))
    case("zip64_marker_without_extra", patch(good, headers[0] + 24, "<I", 0xFFFFFFFF))
    case("truncated_archive", good[: len(good) * 3 // 5])

    victim_before = {"victim.txt": b"the installed version"}
    expected = dict(first_last, **victim_before)
    case("bad_local_header", patch(good, local_offset(good, headers[1]), "<I", 0x04034B51), expected, victim_before)
    crc = struct.unpack_from("<I", good, headers[1] + 16)[0]
    case("crc_mismatch", patch_both(good, 1, 14, 16, "<I", crc ^ 1), expected, victim_before)
    compressed = struct.unpack_from("<I", good, headers[1] + 20)[0]
    case("deflate_cut_short", patch_both(good, 1, 18, 20, "<I", compressed // 2), expected, victim_before)
    size = struct.unpack_from("<I", good, headers[1] + 24)[0]
    case("more_data_than_size", patch_both(good, 1, 22, 24, "<I", size - 1), expected, victim_before)
    case("less_data_than_size", patch_both(good, 1, 22, 24, "<I", size + 1), expected, victim_before)
    case("unknown_method", patch_both(good, 1, 8, 10, "<H", 95), expected, victim_before)
    case("shrunk_method", patch_both(good, 1, 8, 10, "<H", 1), expected, victim_before)
    case("garbage_deflate_data", patch(good, local_offset(good, headers[1]) + 30 + len("victim.txt"), "<Q",
                                       0xFFFFFFFFFFFFFFFF), expected, victim_before)
    stored = with_zipfile([("first.txt", text("first")), ("victim.txt", text("victim")), ("last.txt", text("last"))],
                          zipfile.ZIP_STORED)
    size = struct.unpack_from("<I", stored, central_headers(stored)[1] + 24)[0]
    case("stored_sizes_differ", patch_both(stored, 1, 22, 24, "<I", size + 10), expected, victim_before)
    encrypted_flag = patch_both(good, 1, 6, 8, "<H", 1)
    case("encrypted_flag_only", encrypted_flag, expected, victim_before)


def attribute_and_time_archives():
    """attributes.zip: entries made on DOS/Windows and Unix hosts with their
    attributes; times.zip: entries with known local modification times."""
    entries = []
    for name, bits in [("readonly.txt", 0x21), ("hidden.txt", 0x22), ("system.txt", 0x24), ("archive.txt", 0x20),
                       ("normal.txt", 0x00), ("all.txt", 0x27)]:
        info = zipfile.ZipInfo(name, (2022, 1, 2, 3, 4, 6))
        info.create_system = 0
        info.external_attr = bits
        entries.append((info, name.encode()))
    unix_readonly = zipfile.ZipInfo("unix-readonly.txt", (2022, 1, 2, 3, 4, 6))
    unix_readonly.create_system = 3
    unix_readonly.external_attr = 0o100444 << 16
    unix_writable = zipfile.ZipInfo("unix-writable.txt", (2022, 1, 2, 3, 4, 6))
    unix_writable.create_system = 3
    unix_writable.external_attr = 0o100644 << 16
    entries += [(unix_readonly, b"r"), (unix_writable, b"w")]
    with open(os.path.join(OUT, "attributes.zip"), "wb") as f:
        f.write(with_zipfile(entries))
    with tempfile.TemporaryDirectory() as work:
        write_tree(work, {"infozip-readonly.txt": b"read only"})
        os.chmod(os.path.join(work, "infozip-readonly.txt"), 0o444)
        run(["zip", "-q", "a.zip", "infozip-readonly.txt"], work)
        shutil.copy(os.path.join(work, "a.zip"), os.path.join(OUT, "attributes_infozip.zip"))

    winter = zipfile.ZipInfo("winter.txt", (2021, 1, 4, 5, 6, 8))
    summer = zipfile.ZipInfo("summer.txt", (2020, 7, 15, 13, 14, 16))
    with open(os.path.join(OUT, "times.zip"), "wb") as f:
        f.write(with_zipfile([(winter, b"winter"), (summer, b"summer")]))


def large_archives():
    entries = [(f"f{i:05d}.txt", str(i).encode()) for i in range(70000)]
    with open(os.path.join(OUT, "many_entries.zip"), "wb") as f:
        f.write(with_zipfile(entries, zipfile.ZIP_STORED))
    own_zip64(os.path.join(OUT, "beyond_4gib.zip"),
              [("zeros.bin", ("zeros", (4 << 30) + (1 << 20))), ("small.txt", b"beyond four gibibytes")])


def main():
    global OUT
    OUT = sys.argv[1]
    if os.path.exists(OUT):
        shutil.rmtree(OUT)
    os.makedirs(OUT)
    plain_cases()
    name_cases()
    edge_cases()
    method_cases()
    damaged_cases()
    attribute_and_time_archives()
    large_archives()


if __name__ == "__main__":
    main()
