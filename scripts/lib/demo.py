#!/usr/bin/env python3
"""The demonstration behind scripts/demo: a sample installation of Quorbix!
1.4 with its host application running, an update host (nginx on loopback)
offering 1.5, and update.exe 1.4 under Wine doing the whole update."""
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
BUILD = os.path.join(ROOT, "build", "demo")
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

VERSION_14 = {
    "readme.txt": b"Quorbix! 1.4\r\n",
    "quorbix.dll": b"Bibliothek 1.4\r\n",
    "settings.ini": b"[Benutzer]\r\nName=Erika\r\n",
}
VERSION_15 = {
    "readme.txt": b"Quorbix! 1.5\r\nNeu: schnellere Suche.\r\n",
    "quorbix.dll": b"Bibliothek 1.5\r\n",
    "hilfe/handbuch.txt": b"Handbuch zu Quorbix! 1.5\r\n",
}


def free_port():
    return subprocess.run([sys.executable, os.path.join(ROOT, "scripts", "lib", "free_port.py")], check=True,
                          capture_output=True, text=True).stdout.strip()


def build(location):
    print(f"building update.exe for the update location {location} ...", flush=True)
    subprocess.run(["cmake", "--preset", "windows", "-B", BUILD, f"-DUPDATE_LOCATION={location}"], check=True,
                   stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", BUILD, "-j", str(os.cpu_count() or 2), "--target", "update", "qx_driver",
                    "host_standin"], check=True, stdout=subprocess.DEVNULL)


def make_site(standin):
    """The update host's folder: qx/newest and qx/1.5/update.zip, zipped by Info-ZIP zip."""
    site = tempfile.mkdtemp(prefix="qx-demo-site-")
    os.makedirs(os.path.join(site, "qx", "1.5"))
    with open(os.path.join(site, "qx", "newest"), "w") as f:
        f.write("1.5")
    with tempfile.TemporaryDirectory() as files:
        # The new host application: the stand-in with a version mark behind its image.
        shutil.copy(standin, os.path.join(files, "quorbix.exe"))
        with open(os.path.join(files, "quorbix.exe"), "ab") as f:
            f.write(b"\0Quorbix! 1.5")
        for name, content in VERSION_15.items():
            os.makedirs(os.path.dirname(os.path.join(files, name)), exist_ok=True)
            with open(os.path.join(files, name), "wb") as f:
                f.write(content)
        subprocess.run(["zip", "-q", "-r", os.path.join(site, "qx", "1.5", "update.zip"), "."], cwd=files,
                       check=True)
    return site


def snapshot(folder):
    out = {}
    for name in sorted(os.listdir(folder)):
        path = os.path.join(folder, name)
        if os.path.isfile(path):
            with open(path, "rb") as f:
                out[name] = hashlib.sha256(f.read()).hexdigest()[:12]
    return out


def print_changes(before, after):
    print("changes in the installation directory:")
    for name in sorted(set(before) | set(after)):
        if name not in after:
            print(f"  removed  {name}")
        elif name not in before:
            print(f"  added    {name}")
        elif before[name] != after[name]:
            print(f"  replaced {name}")
        else:
            print(f"  kept     {name}")


def main():
    port = free_port()
    location = f"http://127.0.0.1:{port}/qx/"
    build(location)
    os.environ["QX_BINARY_DIR"] = BUILD
    os.environ["QX_UPDATE_LOCATION"] = location
    import harness  # noqa: E402  (the environment above decides which build it uses)
    from nginx import Nginx  # noqa: E402

    interactive = bool(os.environ.get("DISPLAY"))
    site = make_site(harness.STANDIN_EXE)
    server = None
    updater = harness.Updater("demo")
    try:
        server = Nginx(site, int(port))
        print(f"update host: nginx on 127.0.0.1:{port} offers 1.5")
        updater.install_host_application()
        updater.install(VERSION_14)
        host, report = updater.start_host_application()
        print(f"installation: {updater.install_dir}")
        print(f"host application running (Windows process {report.get('pid')})")
        before = snapshot(updater.install_dir)
        if interactive:
            print("update.exe runs on your screen; answer its dialogs.", flush=True)
            result = updater.run("1.4", timeout=600)
        else:
            result = updater.run("1.4", answers=["OK", "OK"])
        print("timeline (ms since start):")
        for event in result.events:
            if event.kind in ("status", "dialog", "press", "exit"):
                # The countdown sets its last text as the window closes; it is never painted.
                unseen = "  (set as the window closes, never painted)" if event.text.endswith("(0)") else ""
                print(f"  {event.ms:6d} {event.kind:6s} {event.text}{unseen}".replace("\n", " / "))
        print(f"exit code: {result.exit_code}")
        print_changes(before, snapshot(updater.install_dir))
        host.wait(10)
        restarted = [r for r in updater.reports().values() if r["arg"] == ["dontupdate"]]
        if restarted:
            print(f"host application ended and started again with \"dontupdate\" "
                  f"(Windows process {restarted[0].get('pid')}, in {restarted[0].get('cwd')})")
        else:
            print("host application was not started again")
        if server is not None:
            print("requests the update host served:")
            for _, request, status in server.access_log():
                print(f"  {status} {request}")
        if result.shots:
            print("screenshots:")
            for shot in result.shots:
                print("  " + shot)
        return 0 if result.exit_code == 0 and restarted else 1
    finally:
        updater.close()
        if server is not None:
            server.stop()
        shutil.rmtree(site, ignore_errors=True)
        harness.Display.stop()


if __name__ == "__main__":
    sys.exit(main())
