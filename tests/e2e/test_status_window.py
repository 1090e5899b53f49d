"""The status window of the real update.exe under Wine, read from another
process by the driver: when it appears, its frame, its status line, the
closing countdown and the exit code."""
import os
import subprocess

import harness

WS_CAPTION = 0x00C00000
WS_SYSMENU = 0x00080000
WS_THICKFRAME = 0x00040000
WS_MINIMIZEBOX = 0x00020000
WS_MAXIMIZEBOX = 0x00010000
WS_EX_TOOLWINDOW = 0x00000080
WS_EX_APPWINDOW = 0x00040000


class StatusWindow(harness.UpdaterTestCase):
    def test_window_appears_after_the_pause_with_its_layout(self):
        result = self.updater.run("")
        self.assertEqual(result.exit_code, 0, result)
        window = result.first("window")
        self.assertIsNotNone(window, result)
        started = result.first("started").ms
        # Nothing is visible during the creation pause.
        self.assertGreaterEqual(window.ms - started, 1000, result)
        w = window.fields()
        self.assertEqual(w["caption"], "Quorbix! Update")
        self.assertEqual(w["client"], "270x46")
        self.assertEqual(w["owner"], "none")
        self.assertEqual(w["icon"], "yes")
        style, exstyle = int(w["style"], 16), int(w["exstyle"], 16)
        self.assertEqual(style & WS_CAPTION, WS_CAPTION)
        self.assertTrue(style & WS_SYSMENU)
        for absent in (WS_THICKFRAME, WS_MINIMIZEBOX, WS_MAXIMIZEBOX):
            self.assertFalse(style & absent, hex(style))
        self.assertTrue(exstyle & WS_EX_TOOLWINDOW, hex(exstyle))
        self.assertTrue(exstyle & WS_EX_APPWINDOW, hex(exstyle))
        # The status line sits at 50,13 and has the size of its text in bold
        # Tahoma of 13 pixels, whichever text it shows.
        self.assertTrue(result.of("label"), result)
        for label in result.of("label"):
            f = label.fields()
            self.assertEqual(f["at"], "50,13", label)
            self.assertEqual(f["size"], f["text-size"], label)
        self.assertTrue(result.shots, "no screenshot saved")

    def test_closing_countdown_counts_two_then_one_and_ends(self):
        result = self.updater.run("")
        self.assertEqual(result.exit_code, 0, result)
        self.assertStatusesInOrder(result, ["Schließe Anwendung (2)", "Schließe Anwendung (1)"])
        durations = dict(result.status_durations())
        # Each count stands for about its pause.
        self.assertGreater(durations["Schließe Anwendung (2)"], 800, result)
        self.assertGreater(durations["Schließe Anwendung (1)"], 800, result)

    def test_binary_imports_only_system_libraries(self):
        out = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", harness.UPDATE_EXE], capture_output=True,
                             text=True, check=True).stdout
        dlls = sorted({line.split(":", 1)[1].strip().lower() for line in out.splitlines()
                       if line.strip().startswith("DLL Name:")})
        allowed = {"kernel32.dll", "user32.dll", "gdi32.dll", "comctl32.dll", "shell32.dll", "ws2_32.dll",
                   "advapi32.dll", "msvcrt.dll", "ole32.dll", "shlwapi.dll"}
        self.assertTrue(dlls, out)
        self.assertFalse(set(dlls) - allowed, dlls)
        for dll in dlls:
            self.assertNotIn("libstdc++", dll)
            self.assertNotIn("libgcc", dll)
            self.assertNotIn("winpthread", dll)


class StatusWindowAtHighDpi(harness.UpdaterTestCase):
    dpi = 144

    def test_layout_scales_with_the_screen_resolution(self):
        result = self.updater.run("")
        self.assertEqual(result.exit_code, 0, result)
        w = result.first("window").fields()
        self.assertEqual(w["dpi"], "144", result)
        self.assertEqual(w["client"], "405x69")
        label = result.of("label")[-1].fields()
        self.assertEqual(label["at"], "75,20")
        self.assertEqual(label["size"], label["text-size"])


if __name__ == "__main__":
    harness.main()
