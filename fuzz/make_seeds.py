#!/usr/bin/env python3
"""Makes the seed corpora of the fuzz targets, one folder per target:

- http_response: responses recorded from nginx and Python's http.server
  over raw sockets, and written ones for every body framing;
- cookie: Set-Cookie fields as servers write them, with every date form;
- zip_archive: small archives made by Info-ZIP zip, 7-Zip and Python's
  zipfile (stored, deflated, Deflate64, bzip2, LZMA, PPMd, Zip64, data
  descriptors, comments, UTF-8 names, folders, an encrypted entry);
- deflate64, bzip2, lzma, ppmd: the entry data of those archives;
- decoder_differential, command_line, number: inputs of their cases.

Each file starts with the parameter bytes its target reads (see the
comments of the fuzz targets) and is named by its SHA-1; seeds already there
stay. The seeds are small; fuzzing adds more to build/fuzz/corpus, and
`scripts/fuzz --merge` minimizes them into these folders.

Usage: make_seeds.py CORPUS_DIR
"""
import hashlib
import http.server
import os
import random
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time
import zipfile

OUT = None


def put(target, data):
    folder = os.path.join(OUT, target)
    os.makedirs(folder, exist_ok=True)
    name = hashlib.sha1(data).hexdigest()
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def text(name, lines):
    return "".join(f"line {i} of {name}: the quick brown fox\n" for i in range(lines)).encode()


def noise(seed, size):
    return random.Random(seed).randbytes(size)


# ---- HTTP responses --------------------------------------------------------

def http_seed(response, cuts=(), flags=0):
    head = bytes([len(cuts)]) + b"".join(struct.pack("<H", c) for c in cuts) + bytes([flags])
    return head + response


def exchange(port, request):
    with socket.create_connection(("127.0.0.1", port), timeout=5) as s:
        s.sendall(request)
        chunks = []
        while True:
            try:
                b = s.recv(65536)
            except socket.timeout:
                break
            if not b:
                break
            chunks.append(b)
        return b"".join(chunks)


def get(target, extra=b"", version=b"1.1"):
    return (b"GET " + target + b" HTTP/" + version + b"\r\nHost: 127.0.0.1\r\nAccept: text/html, */*\r\n"
            b"Accept-Encoding: identity\r\nUser-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n" + extra +
            b"Connection: close\r\n\r\n")


def record_nginx():
    work = tempfile.mkdtemp(prefix="qx-seeds-nginx.")
    root = os.path.join(work, "root")
    os.makedirs(os.path.join(root, "qx", "1.5"))
    for sub in ("body", "proxy", "fastcgi", "uwsgi", "scgi"):
        os.makedirs(os.path.join(work, "tmp", sub))
    with open(os.path.join(root, "qx", "newest"), "wb") as f:
        f.write(b"1.5")
    with open(os.path.join(root, "qx", "1.5", "update.zip"), "wb") as f:
        f.write(text("archive", 30))
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        port = s.getsockname()[1]
    conf = os.path.join(work, "nginx.conf")
    with open(conf, "w") as f:
        f.write(f"""worker_processes 1;
error_log {work}/error.log;
pid {work}/nginx.pid;
events {{ worker_connections 16; }}
http {{
  access_log off;
  client_body_temp_path {work}/tmp/body; proxy_temp_path {work}/tmp/proxy;
  fastcgi_temp_path {work}/tmp/fastcgi; uwsgi_temp_path {work}/tmp/uwsgi; scgi_temp_path {work}/tmp/scgi;
  types {{ application/zip zip; }}
  default_type application/octet-stream;
  gzip on; gzip_min_length 1; gzip_types text/plain application/zip;
  server {{
    listen 127.0.0.1:{port};
    root {root};
    location = /qx/newest {{
      default_type text/plain; charset utf-8;
      add_header Set-Cookie "sid=4f2a; Path=/qx; Max-Age=3600; HttpOnly";
      add_header Set-Cookie "lang=de; Expires=Wed, 09 Jun 2027 10:18:14 GMT";
    }}
  }}
}}
""")
    nginx = subprocess.Popen(["nginx", "-p", work, "-c", conf, "-g", "daemon off;"],
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        for _ in range(100):
            try:
                socket.create_connection(("127.0.0.1", port), timeout=1).close()
                break
            except OSError:
                time.sleep(0.05)
        recorded = [
            exchange(port, get(b"/qx/newest")),
            exchange(port, get(b"/qx/1.5/update.zip")),
            exchange(port, get(b"/qx/1.5/update.zip", b"Accept-Encoding: gzip\r\n")),  # chunked
            exchange(port, get(b"/qx/2.0/update.zip")),  # 404
            exchange(port, get(b"/qx")),  # 301 with Location
            exchange(port, get(b"/qx/newest", version=b"1.0")),
        ]
    finally:
        nginx.terminate()
        nginx.wait()
        shutil.rmtree(work, ignore_errors=True)
    return recorded


def record_python_server():
    work = tempfile.mkdtemp(prefix="qx-seeds-py.")
    os.makedirs(os.path.join(work, "qx"))
    with open(os.path.join(work, "qx", "newest"), "wb") as f:
        f.write(b"1.6\r\n")

    class Quiet(http.server.SimpleHTTPRequestHandler):
        def __init__(self, *a, **k):
            super().__init__(*a, directory=work, **k)

        def log_message(self, *a):
            pass

    server = http.server.HTTPServer(("127.0.0.1", 0), Quiet)
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    try:
        port = server.server_address[1]
        recorded = [exchange(port, get(b"/qx/newest")), exchange(port, get(b"/qx/missing"))]
    finally:
        server.shutdown()
        server.server_close()
        shutil.rmtree(work, ignore_errors=True)
    return recorded


def http_seeds():
    recorded = record_nginx() + record_python_server()
    written = [
        b"HTTP/1.1 200 OK\r\nContent-Type: text/plain; charset=iso-8859-1\r\nContent-Length: 3\r\n\r\n1.5",
        b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3;ext=1\r\n1.5\r\nA\r\n0123456789\r\n0\r\nX-Sum: 1\r\n\r\n",
        b"HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip, chunked\r\nContent-Length: 9\r\n\r\n1\n\xff\n0\n\n",
        b"HTTP/1.0 200 OK\r\nContent-Type: text/plain; charset=\"UTF-8\"\r\n\r\n1.5\xc3\xa4",
        b"HTTP/1.0 200 OK\r\nConnection: keep-alive\r\nContent-Length: 1\r\n\r\n1",
        b"HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 102 Processing\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nokXY",
        b"\r\n\r\nHTTP/1.1 204 No Content\r\nConnection: close\r\n\r\n",
        b"HTTP/1.1 304 Not Modified\r\nETag: \"x\"\r\n\r\n",
        b"HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\n\r\nraw",
        b"HTTP/1.1 200 OK\r\nX-Folded: a\r\n  b\r\n\tc\r\nContent-Length: 0, 0\r\n\r\n",
        b"HTTP/1.1 404 Not Found\r\nContent-Type: text/html; charset=windows-1252\r\nContent-Length: 6\r\n\r\n\x80\x9fnot",
        b"HTTP/1.1 500 Internal\r\nProxy-Connection: close\r\nSet-Cookie: a=b; Domain=.127.0.0.1\r\n\r\n",
        b"HTTP/1.1 200 OK\r\nContent-Length: 3\r\nContent-Length: 4\r\n\r\nabcd",
        b"HTTP/1.1 200 OK\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\n1.4 \r\n",
        b"HTTP/1.1 200\r\nContent-Type: text/plain;charset=latin1\r\nContent-Length: 4\r\n\r\n\xef\xbb\xbf1",
        b"HTTP/2 200 OK\r\n\r\n",
        b"ICY 200 OK\r\n\r\n",
    ]
    for r in recorded + written:
        put("http_response", http_seed(r))
    # Cut in pieces, with small limits, and without the close at the end.
    put("http_response", http_seed(written[1], cuts=(5, 17, 40, 41, 60), flags=0))
    put("http_response", http_seed(written[0], cuts=(1, 2, 3), flags=1))
    put("http_response", http_seed(written[3], cuts=(30,), flags=2))


# ---- cookies ---------------------------------------------------------------

def cookie_seeds():
    def seed(lines, host=b"update.quorbix.example", target=b"/qx/newest", now=0):
        return bytes([0]) + struct.pack("<I", now) + b"\n".join([host, target] + lines)

    put("cookie", seed([b"sid=4f2a; Path=/qx; Max-Age=3600; HttpOnly", b"Hupdate.quorbix.example"]))
    put("cookie", seed([b"lang=de; Expires=Wed, 09 Jun 2027 10:18:14 GMT", b"T\x00\x10\x00\x00",
                        b"Hupdate.quorbix.example"]))
    put("cookie", seed([b"a=1; Expires=Sunday, 06-Nov-94 08:49:37 GMT", b"b=2; expires=Sun Nov  6 08:49:37 1994",
                        b"c=3; Expires=Thu, 01 Jan 1970 00:00:00 GMT; Max-Age=10", b"Hupdate.quorbix.example"]))
    put("cookie", seed([b"d=4; Domain=.Quorbix.Example; Path=/", b"e=5; Domain=other.example",
                        b"f=6; Secure", b"g=7; Max-Age=0", b"h=; Max-Age=-5", b"  i = 8  ; path=qx",
                        b"Hwww.update.quorbix.example", b"Hquorbix.example"]))
    put("cookie", seed([b"ip=1; Domain=0.0.1", b"Hx.127.0.0.1"], host=b"127.0.0.1", target=b"/qx/1.5/update.zip?a#b"))
    put("cookie", seed([b"n=" + b"v" * 300, b"=novalue", b"noequals", b"m=1; Max-Age=99999999999999999999",
                        b"Hupdate.quorbix.example"], target=b"qx"))
    put("cookie", bytes([1]) + struct.pack("<q", 2**63 - 100) + b"h\n/\nx=1; Max-Age=1000\nHh")
    for d in (b"Wed, 09 Jun 2027 10:18:14 GMT", b"Sunday, 06-Nov-94 08:49:37 GMT", b"Sun Nov  6 08:49:37 1994",
              b"29 Feb 2000 23:59:59", b"31-Apr-2021 1:2:3", b"Jan 1 1601 00:00:00", b"Dec 31 9999 23:59:59",
              b"70 jan 1 0:0:0", b"1:2:3:4 10 oct 69"):
        put("cookie", seed([b"D" + d]))
    put("cookie", seed([b"k%d=v; Path=/qx; Max-Age=%d" % (i, i) for i in range(40)] + [b"Hupdate.quorbix.example"]))


# ---- archives --------------------------------------------------------------

FILES = {
    "quorbix.exe": noise(7, 600) + b"\0" * 300,
    "readme.txt": text("readme", 25),
    "lib/data.bin": bytes(range(256)) * 2,
    "tiny.txt": b"x",
}


def stage(work, files):
    for name, data in files.items():
        path = os.path.join(work, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)


def tool_archive(command, files=FILES, shell=False):
    with tempfile.TemporaryDirectory() as work:
        stage(work, files)
        subprocess.run(command, cwd=work, shell=shell, check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        with open(os.path.join(work, "a.zip"), "rb") as f:
            return f.read()


def python_archive(method, files=FILES, force_zip64=False, comment=b"", stream=False):
    import io

    class Unseekable(io.RawIOBase):
        def __init__(self):
            self.data = bytearray()

        def writable(self):
            return True

        def write(self, b):
            self.data += b
            return len(b)

    out = Unseekable() if stream else io.BytesIO()
    with zipfile.ZipFile(out, "w", compression=method) as z:
        z.comment = comment
        for name, data in files.items():
            info = zipfile.ZipInfo(name, (2024, 6, 11, 12, 30, 0))
            info.compress_type = method
            with z.open(info, "w", force_zip64=force_zip64) as f:
                f.write(data)
    return bytes(out.data) if stream else out.getvalue()


def entries(archive):
    """(method, flags, uncompressed size, entry data) of every entry."""
    import io
    found = []
    with zipfile.ZipFile(io.BytesIO(archive)) as z:
        for info in z.infolist():
            offset = info.header_offset
            name_len, extra_len = struct.unpack("<HH", archive[offset + 26:offset + 30])
            start = offset + 30 + name_len + extra_len
            found.append((info.compress_type, info.flag_bits, info.file_size,
                          archive[start:start + info.compress_size]))
    return found


def archive_seeds():
    small = {"readme.txt": text("readme", 25), "quorbix.exe": noise(7, 300) * 2 + bytes(range(200))}
    runs = {"runs.bin": b"a" * 3000 + b"ab" * 1500 + noise(3, 200) + b"a" * 70000}
    archives = [
        tool_archive(["zip", "-q", "-r", "-Z", "store", "a.zip", "."]),
        tool_archive(["zip", "-q", "-r", "-9", "a.zip", "."]),
        tool_archive(["zip", "-q", "-r", "-Z", "bzip2", "a.zip", "."]),
        tool_archive(["zip", "-q", "-fz", "-Z", "bzip2", "a.zip", "readme.txt"]),
        tool_archive(["zip", "-q", "-P", "secret", "a.zip", "readme.txt", "tiny.txt"]),
        tool_archive("printf 'Quorbix! 1.5' | zip -q -z a.zip readme.txt", shell=True),
        tool_archive("cat readme.txt | zip -q - - > a.zip", shell=True),  # data descriptor, Zip64 local
        tool_archive(["7z", "a", "-tzip", "-mm=Deflate64", "-mx=9", "a.zip", "."]),
        tool_archive(["7z", "a", "-tzip", "-mm=Deflate64", "-mx=9", "a.zip", "runs.bin"], files=runs),
        tool_archive(["7z", "a", "-tzip", "-mm=LZMA", "a.zip", "."], files=small),
        tool_archive(["7z", "a", "-tzip", "-mm=LZMA:eos=off:d=4k", "a.zip", "."], files=small),
        tool_archive(["7z", "a", "-tzip", "-mm=PPMd:o=6", "a.zip", "."], files=small),
        tool_archive(["7z", "a", "-tzip", "-mm=PPMd:o=16:mem=1m", "a.zip", "."], files=small),
        tool_archive(["7z", "a", "-tzip", "-mm=BZip2", "a.zip", "."], files=small),
        python_archive(zipfile.ZIP_STORED, force_zip64=True, comment=b"zip64"),
        python_archive(zipfile.ZIP_DEFLATED, stream=True),
        python_archive(zipfile.ZIP_LZMA, small),
        python_archive(zipfile.ZIP_BZIP2, small),
        python_archive(zipfile.ZIP_STORED, {"Grüße/Übersicht.txt": b"utf-8", "dir/": b"", "..": b"x",
                                            "con": b"x", "a\\b\\c.txt": b"back", "update.zip": b"self"}),
    ]
    for a in archives:
        put("zip_archive", a)
    return archives


def decoder_seeds(archives):
    pieces = bytes([0, 7, 16, 255])
    seen = set()
    for a in archives:
        for method, flags, size, data in entries(a):
            key = (method, data)
            if key in seen or not data:
                continue
            seen.add(key)
            if method == 9:
                put("deflate64", pieces + data)
            elif method == 12:
                put("bzip2", pieces + data)
            elif method == 14:
                put("lzma", pieces + struct.pack("<I", size)[:3] + bytes([flags & 2]) + data)
            elif method == 98:
                put("ppmd", pieces + struct.pack("<I", size)[:3] + bytes([0]) + data)
    # PPMd with a model memory of 1 MB filled by random data at order 16: the
    # model restarts; and the same cut off by the memory (a=1).
    rand = {"r.bin": noise(11, 9000)}
    for option in ("-mm=PPMd:o=16:mem=1m", "-mm=PPMd:o=16:mem=1m:a=1"):
        for method, flags, size, data in entries(tool_archive(["7z", "a", "-tzip", option, "a.zip", "."], rand)):
            put("ppmd", pieces + struct.pack("<I", size)[:3] + bytes([0]) + data)


def differential_seeds():
    pieces = bytes([3, 0, 200, 1])
    data = text("differential", 40) + noise(5, 300) + b"z" * 600
    put("decoder_differential", bytes([0]) + pieces + bytes([2, 8, 0, 4, 30]) + data)      # bzip2
    # LZMA: preset, extreme, lc, lp, pb, dictionary shift, odd size [, its 4 bytes], fast, nice length (4
    # bytes), end marker.
    le32 = lambda v: struct.pack("<I", v)
    put("decoder_differential", bytes([1]) + pieces + bytes([6, 0, 3, 0, 2, 5, 0, 0]) + le32(60) + b"\1" + data)
    put("decoder_differential", bytes([1]) + pieces + bytes([9, 1, 0, 4, 4, 0, 1]) + le32(100) + b"\1" + le32(200) +
        b"\0" + data)
    put("decoder_differential", bytes([2]) + pieces + bytes([6, 0, 6, 8]) + data)          # Deflate64
    put("decoder_differential", bytes([2]) + pieces + bytes([9, 3, 6, 8]) + noise(6, 2000))
    for i in range(4):
        put("decoder_differential", bytes([3]) + pieces + struct.pack("<HI", i * 7, 5000 + i * 33333))


def command_line_seeds():
    lines = [
        '"C:\\Program Files\\Quorbix\\update.exe" 1.4',
        'update.exe 1.4',
        'update.exe "" ""  1.4 x',
        'update.exe \t 1.4\x01\x1fnext',
        'update.exe " 1.4 " "a b"c"d e" f',
        'update.exe "1.4',
        'update.exe 1"".4 "',
        'update.exe a\\"b c" d',
        '',
        '   ',
    ]
    for line in lines:
        put("command_line", b"\0" + line.encode("latin-1"))
    put("command_line", b"\1" + '"C:\\Quorbix\\update.exe" 1,4 \u00e4\u00a0\u3000 "\u20ac"'.encode("utf-16-le"))
    put("command_line", b"\1" + "update.exe 1.4\0hidden".encode("utf-16-le"))


def number_seeds():
    texts = ["1.4", "1.5", "  -1.5e3 ", "+.5", "5.", ".", "1e", "1E+", "1e-4950", "1e4933", "1.2.3",
             "0x10", "1 ", " 1.4\r\n", "", "-", "1e99999999999", "00000000000000000000001.10000000000000000001",
             "1.18973149535723176502e+4932"]
    for t in texts:
        put("number", b"\0" + t.encode())
    put("number", b"\2" + b"1,5")
    put("number", b"\2" + b"  -1,5E-3  ")
    put("number", b"\2" + b"1.5")
    put("number", b"\5" + "\u066b".encode("utf-16-le") + "12\u066b5".encode("utf-16-le"))
    put("number", b"\1" + "\ufeff1.4".encode("utf-16-le"))


def main():
    global OUT
    OUT = sys.argv[1]
    http_seeds()
    cookie_seeds()
    decoder_seeds(archive_seeds())
    differential_seeds()
    command_line_seeds()
    number_seeds()


if __name__ == "__main__":
    main()
