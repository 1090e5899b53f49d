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
  log_format main '$connection $request $status $body_bytes_sent';
  access_log {dir}/access.log main;
  client_body_temp_path {dir}/tmp/body;
  proxy_temp_path {dir}/tmp/proxy;
  fastcgi_temp_path {dir}/tmp/fastcgi;
  uwsgi_temp_path {dir}/tmp/uwsgi;
  scgi_temp_path {dir}/tmp/scgi;
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


def _open_for_reading(root):
    path = os.path.abspath(root)
    while True:
        os.chmod(path, os.stat(path).st_mode | 0o755)
        parent = os.path.dirname(path)
        if parent == path or parent == tempfile.gettempdir():
            break
        path = parent
    for base, dirs, files in os.walk(root):
        for d in dirs:
            os.chmod(os.path.join(base, d), 0o755)
        for f in files:
            os.chmod(os.path.join(base, f), 0o644)


class Nginx:
    """Serves `root` on the port; stop() ends the processes it started, by PID."""

    def __init__(self, root, port):
        self.dir = tempfile.mkdtemp(prefix="qx-nginx-")
        os.makedirs(os.path.join(self.dir, "tmp"))
        # The worker processes run as another user; they read the site.
        _open_for_reading(root)
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
