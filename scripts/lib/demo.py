#!/usr/bin/env python3
"""The demonstration behind scripts/demo."""
import os
import shutil
import subprocess
import sys

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
BUILD = os.path.join(ROOT, "build", "demo")
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))


def build(location):
    subprocess.run(["cmake", "--preset", "windows", "-B", BUILD, f"-DUPDATE_LOCATION={location}"], check=True,
                   stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", BUILD, "-j", str(os.cpu_count() or 2), "--target", "update", "qx_driver"],
                   check=True)


def main():
    location = "http://127.0.0.1:8080/qx/"
    build(location)
    os.environ["QX_BINARY_DIR"] = BUILD
    import harness  # noqa: E402  (paths above decide which build it uses)
    harness.UPDATE_EXE = os.path.join(BUILD, "update.exe")
    harness.DRIVER_EXE = os.path.join(BUILD, "e2e", "qx_driver.exe")
    harness.WORK_ROOT = os.path.join(BUILD, "runs")
    interactive = bool(os.environ.get("DISPLAY"))
    updater = harness.Updater("demo")
    try:
        if interactive:
            print("update.exe runs on your screen; answer its dialogs.")
            subprocess.run(["wine", os.path.join(updater.install_dir, "update.exe"), "1.4"],
                           cwd=updater.install_dir, env=updater.env)
        else:
            result = updater.run("1.4", answers=["OK", "OK"])
            print("timeline:")
            print(result)
            print(f"exit code: {result.exit_code}")
            print("screenshots:")
            for shot in result.shots:
                print("  " + shot)
    finally:
        updater.close()
        harness.Display.stop()


if __name__ == "__main__":
    main()
