"""The whole update under Wine: the real update.exe, a running host
application stand-in, and an update host on loopback (our scripted server, or
nginx), with the driver answering the dialogs."""
import os
import subprocess
import tempfile
import time

import harness
from http_server import Connection, response
from nginx import Nginx

INSTALL_STATUSES = ["Lade neue Version", "Schließe Quorbix!", "Entpacke neue Version", "Starte Quorbix!",
                    "Update erfolgreich", "Schließe Anwendung (2)", "Schließe Anwendung (1)"]


def make_zip(files):
    """update.zip made by Info-ZIP zip from files (name -> bytes)."""
    with tempfile.TemporaryDirectory() as d:
        for name, content in files.items():
            path = os.path.join(d, name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(content)
        subprocess.run(["zip", "-q", "-X", "-r", "update.zip"] + sorted(files), cwd=d, check=True)
        with open(os.path.join(d, "update.zip"), "rb") as f:
            return f.read()


def standin_bytes():
    with open(harness.STANDIN_EXE, "rb") as f:
        return f.read()


def version_15():
    return {"quorbix.exe": standin_bytes(), "readme.txt": b"Quorbix! 1.5\r\n", "bin/data.dll": b"data 1.5"}


def newest_then(archive_response, close=False):
    c = Connection().answer(response("200 OK", ["Content-Type: text/plain"], "1.5")).answer(archive_response)
    return c.close() if close else c


class UpdateTestCase(harness.UpdaterTestCase):
    needs_update_host = True

    def setUp(self):
        super().setUp()
        self.updater.install_host_application()
        self.updater.install({"readme.txt": "Quorbix! 1.4\r\n", "data.dll": "data 1.4", "settings.ini": "[mine]"})

    def assertSucceeded(self, result, host):
        self.assertEqual(result.exit_code, 0, result)
        self.assertStatusesInOrder(result, INSTALL_STATUSES)
        self.assertEqual([d["text"] for d in result.dialogs()],
                         ["Ihre Version: 1.4\n\rAktuelle Version: 1.5\n\rUpdaten?",
                          "Quorbix! muss geschlossen werden\n\rOK?"])
        durations = dict(result.status_durations())
        for text in INSTALL_STATUSES[1:]:
            self.assertGreater(durations[text], 800, f"{text}\n{result}")
        self.assertEqual(self.updater.read("readme.txt"), b"Quorbix! 1.5\r\n")
        self.assertEqual(self.updater.read("data.dll"), b"data 1.5")
        self.assertEqual(self.updater.read("settings.ini"), b"[mine]")
        self.assertFalse(self.updater.exists("bin"))
        self.assertFalse(self.updater.exists("update.zip"))
        # The old host application was ended, and a new one started with "dontupdate".
        host.wait(10)
        restarted = [r for r in self.updater.reports().values() if r["arg"] == ["dontupdate"]]
        self.assertEqual(len(restarted), 1, self.updater.reports())
        self.assertEqual(restarted[0]["cwd"].rstrip("\\").lower(),
                         harness.windows_path(self.updater.install_dir).lower())

    def assertFailedDownload(self, result, host):
        self.assertEqual(result.exit_code, 0, result)
        self.assertEqual(len(result.dialogs()), 2, result)
        message = result.dialogs()[1]
        self.assertEqual(message["text"], "unbekannter Fehler :(")
        self.assertEqual(message["caption"], "update")
        self.assertEqual(message["buttons"], "OK")
        self.assertEqual(message["icon"], "no")
        self.assertStatusesInOrder(result, ["Lade neue Version", "Schließe Anwendung (2)", "Schließe Anwendung (1)"])
        self.assertNotIn("Schließe Quorbix!", result.statuses())
        self.assertIsNone(host.poll(), "the host application was stopped")
        self.assertEqual(self.updater.read("readme.txt"), b"Quorbix! 1.4\r\n")


class Update(UpdateTestCase):
    def test_happy_path_against_our_server(self):
        host, _ = self.updater.start_host_application()
        server = self.serve(newest_then(response("200 OK", ["Content-Type: application/zip"], make_zip(version_15()))))
        result = self.updater.run("1.4", answers=["OK", "OK"])
        self.assertSucceeded(result, host)
        self.assertEqual(server.request_lines(), ["GET /qx/newest HTTP/1.1", "GET /qx/1.5/update.zip HTTP/1.1"])
        self.assertTrue(result.shots)

    def test_happy_path_against_nginx(self):
        host, _ = self.updater.start_host_application()
        root = tempfile.mkdtemp(prefix="qx-site-")
        os.makedirs(os.path.join(root, "qx", "1.5"))
        with open(os.path.join(root, "qx", "newest"), "w") as f:
            f.write("1.5")
        with open(os.path.join(root, "qx", "1.5", "update.zip"), "wb") as f:
            f.write(make_zip(version_15()))
        server = Nginx(root, harness.UPDATE_PORT)
        self.addCleanup(server.stop)
        result = self.updater.run("1.4", answers=["OK", "OK"])
        self.assertSucceeded(result, host)
        log = server.access_log()
        self.assertEqual([r[1:] for r in log], [("GET /qx/newest HTTP/1.1", 200), ("GET /qx/1.5/update.zip HTTP/1.1", 200)])

    def test_no_host_application_installed_still_succeeds(self):
        os.remove(os.path.join(self.updater.install_dir, "quorbix.exe"))
        files = version_15()
        del files["quorbix.exe"]
        self.serve(newest_then(response("200 OK", [], make_zip(files))))
        result = self.updater.run("1.4", answers=["OK", "OK"])
        self.assertEqual(result.exit_code, 0, result)
        self.assertStatusesInOrder(result, INSTALL_STATUSES)
        self.assertEqual(self.updater.read("readme.txt"), b"Quorbix! 1.5\r\n")

    def test_the_download_reconnects_after_the_host_closed_the_idle_connection(self):
        host, _ = self.updater.start_host_application()
        first = Connection().answer(response("200 OK", [], "1.5")).close()
        second = Connection().answer(response("200 OK", [], make_zip(version_15())))
        server = self.serve(first, second)
        result = self.updater.run("1.4", answers=["OK", "OK"])
        self.assertSucceeded(result, host)
        self.assertEqual(server.connections(), 2)

    def test_a_file_in_use_is_kept_and_the_rest_is_installed(self):
        host, _ = self.updater.start_host_application()
        shutil_copy = __import__("shutil").copy
        shutil_copy(harness.STANDIN_EXE, os.path.join(self.updater.install_dir, "holder.exe"))
        holder, _ = self.updater.start_host_application("holder.exe", hold="data.dll")
        self.serve(newest_then(response("200 OK", [], make_zip(version_15()))))
        result = self.updater.run("1.4", answers=["OK", "OK"])
        self.assertEqual(result.exit_code, 0, result)
        self.assertStatusesInOrder(result, INSTALL_STATUSES)
        self.assertEqual(self.updater.read("data.dll"), b"data 1.4")
        self.assertEqual(self.updater.read("readme.txt"), b"Quorbix! 1.5\r\n")
        self.assertIsNone(holder.poll())
        self.assertEqual([f for f in os.listdir(self.updater.install_dir) if f.endswith(".tmp")], [])


class FailedDownload(UpdateTestCase):
    def test_error_status_for_the_archive(self):
        host, _ = self.updater.start_host_application()
        self.serve(newest_then(response("404 Not Found", [], "<html>fehlt</html>")))
        result = self.updater.run("1.4", answers=["OK", "OK"])
        self.assertFailedDownload(result, host)
        self.assertEqual(self.updater.read("update.zip"), b"")

    def test_a_body_that_is_no_zip_archive(self):
        host, _ = self.updater.start_host_application()
        self.serve(newest_then(response("200 OK", ["Content-Type: text/html"], "<html>Wartung</html>")))
        result = self.updater.run("1.4", answers=["OK", "OK"])
        self.assertFailedDownload(result, host)

    def test_a_body_shorter_than_announced(self):
        host, _ = self.updater.start_host_application()
        archive = make_zip(version_15())
        head = f"HTTP/1.1 200 OK\r\nContent-Length: {len(archive) + 1000}\r\n\r\n".encode()
        self.serve(newest_then(head + archive, close=True))
        result = self.updater.run("1.4", answers=["OK", "OK"])
        self.assertFailedDownload(result, host)
        self.assertEqual(self.updater.read("update.zip"), archive)

    def test_an_archive_file_that_cannot_be_created(self):
        host, _ = self.updater.start_host_application()
        self.updater.install({"update.zip": b"old"})
        path = os.path.join(self.updater.install_dir, "update.zip")
        subprocess.run(["chattr", "+i", path], check=True)
        self.addCleanup(subprocess.run, ["chattr", "-i", path])
        self.serve(newest_then(response("200 OK", [], make_zip(version_15()))))
        result = self.updater.run("1.4", answers=["OK", "OK"])
        self.assertFailedDownload(result, host)
        self.assertEqual(self.updater.read("update.zip"), b"old")

    def test_cancel_at_the_closing_confirmation_keeps_the_archive(self):
        host, _ = self.updater.start_host_application()
        archive = make_zip(version_15())
        self.serve(newest_then(response("200 OK", [], archive)))
        result = self.updater.run("1.4", answers=["OK", "Abbrechen"])
        self.assertEqual(result.exit_code, 0, result)
        self.assertEqual(len(result.dialogs()), 2)
        self.assertStatusesInOrder(result, ["Lade neue Version", "Schließe Anwendung (2)"])
        self.assertNotIn("Schließe Quorbix!", result.statuses())
        self.assertIsNone(host.poll())
        self.assertEqual(self.updater.read("update.zip"), archive)


if __name__ == "__main__":
    harness.main()
