"""A scripted HTTP server on 127.0.0.1 for the end-to-end tests: each accepted
connection follows its own script of byte-exact responses, and every request
head that arrives is recorded."""
import socket
import threading
import time


def response(status, headers=(), body=b""):
    """An HTTP/1.1 response with a Content-Length body."""
    if isinstance(body, str):
        body = body.encode("utf-8")
    head = f"HTTP/1.1 {status}\r\n" + "".join(h + "\r\n" for h in headers)
    head += f"Content-Length: {len(body)}\r\n\r\n"
    return head.encode("latin-1") + body


class Connection:
    """Steps for one connection: expect() reads a request head, send(bytes),
    send_file(path), stall(ms), close()."""

    def __init__(self):
        self.steps = []

    def expect(self):
        self.steps.append(("expect", None))
        return self

    def send(self, data):
        self.steps.append(("send", data if isinstance(data, bytes) else data.encode("latin-1")))
        return self

    def send_file(self, path):
        self.steps.append(("file", path))
        return self

    def stall(self, ms):
        self.steps.append(("stall", ms))
        return self

    def close(self):
        self.steps.append(("close", None))
        return self

    def answer(self, data):
        return self.expect().send(data)


class ScriptedServer:
    def __init__(self, port, connections, timeout=120):
        self.requests = []  # (connection number, raw head bytes)
        self._scripts = list(connections)
        self._lock = threading.Lock()
        self._stop = threading.Event()
        self._listener = socket.socket()
        self._listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self._listener.bind(("127.0.0.1", port))
        self._listener.listen(8)
        self._listener.settimeout(0.1)
        self._deadline = time.time() + timeout
        self._threads = []
        self._accepted = 0
        self._thread = threading.Thread(target=self._accept_loop, daemon=True)
        self._thread.start()

    def request_lines(self):
        with self._lock:
            return [head.split(b"\r\n", 1)[0].decode("latin-1") for _, head in self.requests]

    def connections(self):
        return self._accepted

    def _accept_loop(self):
        while not self._stop.is_set() and time.time() < self._deadline:
            try:
                conn, _ = self._listener.accept()
            except socket.timeout:
                continue
            number = self._accepted
            self._accepted += 1
            script = self._scripts[number] if number < len(self._scripts) else Connection().close()
            t = threading.Thread(target=self._serve, args=(conn, number, script), daemon=True)
            t.start()
            self._threads.append(t)

    def _serve(self, conn, number, script):
        conn.settimeout(0.2)
        buffered = b""
        try:
            for kind, arg in script.steps:
                if kind == "expect":
                    while b"\r\n\r\n" not in buffered:
                        if self._stop.is_set():
                            return
                        try:
                            data = conn.recv(65536)
                        except socket.timeout:
                            continue
                        if not data:
                            return
                        buffered += data
                    head, buffered = buffered.split(b"\r\n\r\n", 1)
                    with self._lock:
                        self.requests.append((number, head + b"\r\n\r\n"))
                elif kind == "send":
                    conn.sendall(arg)
                elif kind == "file":
                    with open(arg, "rb") as f:
                        while chunk := f.read(1 << 20):
                            conn.sendall(chunk)
                elif kind == "stall":
                    self._stop.wait(arg / 1000)
                elif kind == "close":
                    return
            # Script done without a close: stay open until the client closes.
            while not self._stop.is_set():
                try:
                    if not conn.recv(65536):
                        return
                except socket.timeout:
                    continue
        except OSError:
            pass
        finally:
            conn.close()

    def stop(self):
        self._stop.set()
        self._thread.join()
        for t in self._threads:
            t.join()
        self._listener.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()
