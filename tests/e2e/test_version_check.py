"""The version check of the real update.exe under Wine: the argument, the
newest version from our scripted update host, the confirmation and the error
report, as the driver sees and answers them."""
import harness
from http_server import Connection, response


def newest(body, headers=("Content-Type: text/plain",)):
    return Connection().answer(response("200 OK", headers, body))


class VersionCheck(harness.UpdaterTestCase):
    needs_update_host = True

    def test_without_a_version_it_asks_to_be_started_through_quorbix(self):
        server = self.serve()
        result = self.updater.run("")
        self.assertEqual(result.exit_code, 0, result)
        self.assertStatusesInOrder(result, ["Bitte über Quorbix! starten", "Schließe Anwendung (2)",
                                            "Schließe Anwendung (1)"])
        self.assertGreater(dict(result.status_durations())["Bitte über Quorbix! starten"], 1800, result)
        self.assertEqual(server.connections(), 0)

    def test_up_to_date_written_differently_counts_down_and_closes(self):
        server = self.serve(newest("1.5"))
        result = self.updater.run("1.50")
        self.assertEqual(result.exit_code, 0, result)
        self.assertStatusesInOrder(result, ["Keine neue Version (3)", "Keine neue Version (2)",
                                            "Keine neue Version (1)"])
        self.assertNotIn("Schließe Anwendung (2)", result.statuses())
        self.assertEqual(result.dialogs(), [])
        self.assertEqual(server.request_lines(), ["GET /qx/newest HTTP/1.1"])

    def test_cancel_at_the_update_confirmation_closes_with_the_countdown(self):
        server = self.serve(newest("1.5"))
        result = self.updater.run("1.4", answers=["Abbrechen"])
        self.assertEqual(result.exit_code, 0, result)
        [dialog] = result.dialogs()
        self.assertEqual(dialog["caption"], "Bestätigen")
        self.assertEqual(dialog["buttons"], "OK,Abbrechen")
        self.assertEqual(dialog["default"], "OK")
        self.assertIn("Ihre Version: 1.4\n\rAktuelle Version: 1.5\n\rUpdaten?", dialog["text"])
        self.assertStatusesInOrder(result, ["Suche nach neuer Version", "Schließe Anwendung (2)",
                                            "Schließe Anwendung (1)"])
        self.assertEqual(server.request_lines(), ["GET /qx/newest HTTP/1.1"])

    def test_escape_at_the_update_confirmation_counts_as_cancel(self):
        self.serve(newest("1.5"))
        result = self.updater.run("1.4", answers=["Esc"])
        self.assertEqual(result.exit_code, 0, result)
        self.assertStatusesInOrder(result, ["Schließe Anwendung (2)"])

    def test_an_error_status_shows_the_error_report_and_leaves_the_window_open(self):
        self.serve(Connection().answer(response("404 Not Found", (), "nicht da")))
        result = self.updater.run("1.4", answers=["OK"], close_after_dialog=1)
        self.assertEqual(result.exit_code, 0, result)
        [report] = result.dialogs()
        self.assertEqual(report["caption"], "update")
        self.assertEqual(report["buttons"], "OK")
        self.assertEqual(report["icon"], "yes")
        self.assertIn("HTTP/1.1 404 Not Found.", report["text"])
        # Left open on the first status until the user closes it.
        self.assertEqual(result.statuses(), ["Suche nach neuer Version"])
        close = [e for e in result.of("press") if e.text == "close-window"]
        self.assertTrue(close, result)
        self.assertGreaterEqual(result.first("exit").ms, close[0].ms)

    def test_an_unreachable_host_shows_the_socket_error_in_german(self):
        # Nothing listens on the update location's port.
        result = self.updater.run("1.4", answers=["OK"], close_after_dialog=1)
        self.assertEqual(result.exit_code, 0, result)
        [report] = result.dialogs()
        self.assertEqual(report["icon"], "yes")
        self.assertIn("Socket-Fehler # 10061", report["text"])
        self.assertIn("Verbindung abgelehnt.", report["text"])
        self.assertEqual(result.statuses(), ["Suche nach neuer Version"])


class VersionCheckWithGermanSettings(harness.UpdaterTestCase):
    needs_update_host = True
    locale = "de_DE.UTF-8"

    def test_a_comma_is_the_decimal_separator(self):
        self.serve(newest("1,5"))
        result = self.updater.run("1,4", answers=["Abbrechen"])
        self.assertEqual(result.exit_code, 0, result)
        [dialog] = result.dialogs()
        self.assertIn("Ihre Version: 1,4\n\rAktuelle Version: 1,5\n\rUpdaten?", dialog["text"])

    def test_a_full_stop_is_then_invalid(self):
        self.serve(newest("1.5"))
        result = self.updater.run("1,4", answers=["OK"], close_after_dialog=1)
        self.assertEqual(result.exit_code, 0, result)
        [report] = result.dialogs()
        self.assertIn("'1.5' ist kein gültiger Gleitkommawert.", report["text"])


if __name__ == "__main__":
    harness.main()
