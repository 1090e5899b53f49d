"""nginx from Debian as the update host, on 127.0.0.1, serving a folder."""
import os
import shutil
import socket
import subprocess
import tempfile
import time

CONFIG = """
worker_processes 1;
daemon off;
pid {dir}/nginx.pid;
error_log {dir}/error.log;
events {{ worker_connections 64; }}
http {{
  access_log {dir}/access.log main;
  log_format main '$connection $request $status $body_bytes_sent';
  default_type application/octet-stream;
  keepalive_timeout 60s;
  sendfile on;
  server {{
    listen 127.0.0.1:{port};
    root {root};
    location = /qx/newest {{ default_type text/plain; }}
  }}
}}
"""


class Nginx:
    """Serves `root` on the port; stop() ends the processes it started, by PID."""

    def __init__(self, root, port):
        self.dir = tempfile.mkdtemp(prefix="qx-nginx-")
        with open(os.path.join(self.dir, "nginx.conf"), "w") as f:
            f.write(CONFIG.format(dir=self.dir, port=port, root=os.path.abspath(root)))
        self.process = subprocess.Popen(["/usr/sbin/nginx", "-p", self.dir, "-c", os.path.join(self.dir, "nginx.conf")],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.time() + 10
        while time.time() < deadline:
            try:
                socket.create_connection(("127.0.0.1", port), timeout=0.2).close()
                return
            except OSError:
                if self.process.poll() is not None:
                    break
                time.sleep(0.05)
        self.stop()
        raise RuntimeError("nginx did not start: " + self.errors())

    def errors(self):
        try:
            with open(os.path.join(self.dir, "error.log")) as f:
                return f.read()
        except OSError:
            return ""

    def access_log(self):
        """(connection number, request line, status) for each request served."""
        out = []
        try:
            with open(os.path.join(self.dir, "access.log")) as f:
                for line in f:
                    conn, rest = line.split(" ", 1)
                    request, status = rest.rsplit(" ", 2)[0], rest.rsplit(" ", 2)[1]
                    out.append((int(conn), request, int(status)))
        except OSError:
            pass
        return out

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        shutil.rmtree(self.dir, ignore_errors=True)
