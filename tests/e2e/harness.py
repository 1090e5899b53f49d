"""Runs the real update.exe under Wine in a directory of its own, with the
driver watching and answering it, and reads back what happened.

Each Updater has its own Wine prefix (so process sweeps and the Wine server
see only this test's processes) and uses the X display of the test run
(DISPLAY), or an Xvfb of its own when none is set.
"""
import os
import re
import shutil
import signal
import subprocess
import sys
import threading
import time
import unittest

SOURCE_DIR = os.environ.get("QX_SOURCE_DIR", os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..")))
BINARY_DIR = os.environ.get("QX_BINARY_DIR", os.path.join(SOURCE_DIR, "build", "windows"))
UPDATE_EXE = os.path.join(BINARY_DIR, "update.exe")
DRIVER_EXE = os.path.join(BINARY_DIR, "e2e", "qx_driver.exe")
STANDIN_EXE = os.path.join(BINARY_DIR, "tests", "support", "host_standin", "host_standin.exe")
WINE_LIB = os.path.join(SOURCE_DIR, "scripts", "lib", "wine.sh")
WORK_ROOT = os.path.join(BINARY_DIR, "e2e-runs")
# The update location update.exe was built with; the tests serve it on loopback.
UPDATE_LOCATION = os.environ.get("QX_UPDATE_LOCATION", "")
_m = re.match(r"http://127\.0\.0\.1:(\d+)/qx/$", UPDATE_LOCATION)
UPDATE_PORT = int(_m.group(1)) if _m else None


def windows_path(path):
    """The path as Wine's drive Z: shows it."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Event:
    def __init__(self, ms, kind, text):
        self.ms, self.kind, self.text = ms, kind, text

    def fields(self):
        """The "key=value|key=value" text of window, label and dialog events."""
        out = {}
        for part in self.text.split("|"):
            key, _, value = part.partition("=")
            out[key] = value
        return out

    def __repr__(self):
        return f"{self.ms} {self.kind} {self.text}"


class RunResult:
    def __init__(self, events, exit_code, shots):
        self.events = events
        self.exit_code = exit_code
        self.shots = shots

    def of(self, kind):
        return [e for e in self.events if e.kind == kind]

    def statuses(self):
        return [e.text for e in self.of("status")]

    def dialogs(self):
        return [e.fields() for e in self.of("dialog")]

    def first(self, kind):
        found = self.of(kind)
        return found[0] if found else None

    def status_durations(self):
        """How long each status text stood, in ms, in the order shown."""
        marks = [e for e in self.events if e.kind in ("status", "gone", "exit")]
        out = []
        for a, b in zip(marks, marks[1:]):
            if a.kind == "status":
                out.append((a.text, b.ms - a.ms))
        return out

    def __str__(self):
        return "\n".join(repr(e) for e in self.events)


def _unescape(text):
    return text.replace("\\n", "\n").replace("\\r", "\r")


def parse_timeline(path):
    events = []
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            line = line.rstrip("\n")
            m = re.match(r"(\d+) (\S+) ?(.*)$", line)
            if m:
                events.append(Event(int(m.group(1)), m.group(2), _unescape(m.group(3))))
    return events


class Display:
    """The X display of the run, or an Xvfb of this process's own."""
    _xvfb = None

    @classmethod
    def ensure(cls):
        if os.environ.get("DISPLAY"):
            return os.environ["DISPLAY"]
        for n in range(150, 250):
            if os.path.exists(f"/tmp/.X{n}-lock") or os.path.exists(f"/tmp/.X11-unix/X{n}"):
                continue
            proc = subprocess.Popen(["Xvfb", f":{n}", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            for _ in range(100):
                if os.path.exists(f"/tmp/.X11-unix/X{n}"):
                    cls._xvfb = proc
                    os.environ["DISPLAY"] = f":{n}"
                    return os.environ["DISPLAY"]
                if proc.poll() is not None:
                    break
                time.sleep(0.05)
            proc.kill()
        raise RuntimeError("no X display for Wine")

    @classmethod
    def stop(cls):
        if cls._xvfb is not None:
            cls._xvfb.terminate()
            cls._xvfb.wait()
            cls._xvfb = None


class Updater:
    """One installation directory with update.exe, in a Wine prefix of its own."""

    def __init__(self, name, locale=None, dpi=None):
        self.root = os.path.join(WORK_ROOT, name)
        if os.path.exists(self.root):
            subprocess.run(["chattr", "-R", "-i", self.root], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            shutil.rmtree(self.root)
        self.install_dir = os.path.join(self.root, "install")
        self.shots_dir = os.path.join(self.root, "shots")
        self.prefix = os.path.join(self.root, "prefix")
        os.makedirs(self.install_dir)
        os.makedirs(self.shots_dir)
        subprocess.run(["bash", "-c", f'. "{WINE_LIB}" && qx_wine_prefix "$1"', "_", self.prefix], check=True)
        self.env = dict(os.environ)
        self.env.update(WINEPREFIX=self.prefix, WINEDEBUG="-all", DISPLAY=Display.ensure())
        if locale:
            self.env.update(LANG=locale, LC_ALL=locale)
        if dpi:
            self.wine(["reg", "add", r"HKCU\Control Panel\Desktop", "/v", "LogPixels", "/t", "REG_DWORD",
                       "/d", str(dpi), "/f"])
        shutil.copy(UPDATE_EXE, os.path.join(self.install_dir, "update.exe"))
        self._started = []

    def wine(self, args, **kwargs):
        return subprocess.run(["wine"] + args, env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              **kwargs)

    def install(self, files):
        """Writes files (name -> bytes or text) into the installation directory."""
        for name, content in files.items():
            path = os.path.join(self.install_dir, name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(content if isinstance(content, bytes) else content.encode("utf-8"))

    def read(self, name):
        with open(os.path.join(self.install_dir, name), "rb") as f:
            return f.read()

    def exists(self, name):
        return os.path.exists(os.path.join(self.install_dir, name))

    def install_host_application(self, name="quorbix.exe"):
        """The host-application stand-in as `name` in the installation directory."""
        shutil.copy(STANDIN_EXE, os.path.join(self.install_dir, name))
        os.makedirs(self.reports_dir, exist_ok=True)

    @property
    def reports_dir(self):
        return os.path.join(self.root, "reports")

    def start_host_application(self, name="quorbix.exe", hold=None):
        """Starts the stand-in under `name` and waits for its report; returns
        (process, report). The process ends when the Windows process ends.
        With `hold`, it keeps that installation file open."""
        before = set(self.reports())
        env = dict(self.env, QX_STANDIN_DIR=windows_path(self.reports_dir), QX_STANDIN_SECONDS="180")
        if hold:
            env["QX_STANDIN_HOLD"] = windows_path(os.path.join(self.install_dir, hold))
        proc = subprocess.Popen(["wine", os.path.join(self.install_dir, name)], cwd=self.install_dir, env=env,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self._started.append(proc)
        deadline = time.time() + 30
        while time.time() < deadline:
            new = set(self.reports()) - before
            if new:
                return proc, self.reports()[new.pop()]
            time.sleep(0.05)
        raise RuntimeError("the host application stand-in wrote no report")

    def reports(self):
        """Stand-in reports by file name: {key: value, "arg": [arguments]}."""
        out = {}
        if not os.path.isdir(self.reports_dir):
            return out
        for name in sorted(os.listdir(self.reports_dir)):
            if not (name.startswith("standin-") and name.endswith(".txt")):
                continue
            report = {"arg": []}
            with open(os.path.join(self.reports_dir, name), encoding="utf-8") as f:
                for line in f.read().splitlines():
                    key, _, value = line.partition("=")
                    if key == "arg":
                        report["arg"].append(value)
                    else:
                        report[key] = value
            out[name] = report
        return out

    def run(self, args="", answers=(), close_after_dialog=0, close_at_status=None, timeout=90, exe="update.exe"):
        """Runs update.exe with the given argument text; returns a RunResult.
        A run in which Wine never brought up any window of the program at all
        (seen on a loaded machine, before the program's own code shows
        anything) is started once more; the second run's result counts."""
        result = self._run_once(args, answers, close_after_dialog, close_at_status, timeout, exe)
        if result.first("window") is None and result.first("dialog") is None and result.first("exit") is None:
            sys.stderr.write(f"no window within {timeout} s, starting once more:\n{result}\n")
            result = self._run_once(args, answers, close_after_dialog, close_at_status, timeout, exe)
        return result

    def _run_once(self, args, answers, close_after_dialog, close_at_status, timeout, exe):
        timeline = os.path.join(self.root, "timeline.txt")
        for f in os.listdir(self.shots_dir):
            os.remove(os.path.join(self.shots_dir, f))
        cmd = ["wine", DRIVER_EXE, "--timeline", windows_path(timeline), "--shots", windows_path(self.shots_dir),
               "--timeout", str(timeout)]
        for a in answers:
            cmd += ["--answer", a]
        if close_after_dialog:
            cmd += ["--close-after-dialog", str(close_after_dialog)]
        if close_at_status:
            cmd += ["--close-at-status", close_at_status]
        command_line = f'"{windows_path(os.path.join(self.install_dir, exe))}"' + (f" {args}" if args else "")
        command_file = os.path.join(self.root, "command.txt")
        with open(command_file, "wb") as f:
            f.write(command_line.encode("utf-8"))
        cmd += ["--command", windows_path(command_file)]
        stop = threading.Event()
        shooter = threading.Thread(target=self._take_shots, args=(stop,), daemon=True)
        shooter.start()
        try:
            # A host application that update.exe starts reports where the tests look.
            env = dict(self.env, QX_STANDIN_DIR=windows_path(self.reports_dir), QX_STANDIN_SECONDS="120")
            os.makedirs(self.reports_dir, exist_ok=True)
            subprocess.run(cmd, cwd=self.install_dir, env=env, timeout=timeout + 60,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        finally:
            stop.set()
            shooter.join()
        events = parse_timeline(timeline)
        exit_events = [e for e in events if e.kind == "exit"]
        exit_code = int(exit_events[-1].text) if exit_events and exit_events[-1].text.isdigit() else None
        shots = sorted(os.path.join(self.shots_dir, f) for f in os.listdir(self.shots_dir) if f.endswith(".png")
                       and not f.endswith(".tmp.png"))
        with open(os.path.join(self.root, "timeline.txt.log"), "w", encoding="utf-8") as f:
            f.write("\n".join(repr(e) for e in events) + "\n")
        return RunResult(events, exit_code, shots)

    def _take_shots(self, stop):
        """Answers the driver's screenshot requests (NAME.req holds x y w h)
        until the run is over, then takes the ones still waiting."""
        while True:
            last_pass = stop.is_set()
            for name in sorted(os.listdir(self.shots_dir)):
                if name.endswith(".req"):
                    self._take_shot(os.path.join(self.shots_dir, name))
            if last_pass:
                return
            stop.wait(0.02)

    def _take_shot(self, req):
        with open(req) as f:
            x, y, w, h = (int(v) for v in f.read().split())
        os.remove(req)
        png = req[:-4] + ".png"
        tmp = req[:-4] + ".tmp.png"
        subprocess.run(["import", "-display", self.env["DISPLAY"], "-window", "root", "-crop",
                        f"{w}x{h}+{max(x, 0)}+{max(y, 0)}", "+repage", tmp],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if os.path.exists(tmp):
            os.rename(tmp, png)

    def close(self):
        subprocess.run(["wineserver", "-k"], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for proc in self._started:
            if proc.poll() is None:
                proc.kill()
            proc.wait()


class UpdaterTestCase(unittest.TestCase):
    """Gives each test an Updater named after it and ends its Wine server."""
    locale = None
    dpi = None
    needs_update_host = False

    def setUp(self):
        if self.needs_update_host and UPDATE_PORT is None:
            self.skipTest("update.exe was not built for an update host on 127.0.0.1")
        name = self.id().split(".", 1)[-1].replace(".", "-")
        self.updater = Updater(name, locale=self.locale, dpi=self.dpi)
        self.addCleanup(self.updater.close)

    def serve(self, *connections):
        """Our scripted update host on the update location's port, for this test."""
        import http_server
        server = http_server.ScriptedServer(UPDATE_PORT, connections)
        self.addCleanup(server.stop)
        return server

    def assertStatusesInOrder(self, result, expected):
        """The status texts the driver saw, each text of `expected` in that order."""
        seen = result.statuses()
        pos = 0
        for text in expected:
            try:
                pos = seen.index(text, pos) + 1
            except ValueError:
                self.fail(f"status {text!r} not seen in order; saw {seen}\n{result}")


def main():
    try:
        unittest.main(verbosity=2)
    finally:
        Display.stop()
