"""The widget gallery, end to end: the real host on an X server of its own with no widget placed,
the gallery beside it, and a screen reader's press on "Add Timer, Medium" through AT-SPI."""
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "Host", "WidgetHost", "Desktop"))
import harness  # noqa: E402
from harness import wait_until  # noqa: E402
from xsession import XSession  # noqa: E402


class GalleryTest(harness.HostTestCase):
    def test_a_press_on_add_places_the_widget(self):
        with XSession() as x:
            self.start_host_on("DISPLAY", x.display)
            self.assertEqual(self.widgets(), {})
            gallery = self.start("widget-gallery", [self.program("widget-gallery"), "--extensions-dir", self.bin_dir])
            checker = os.path.join(HERE, "..", "Host", "WidgetHost", "Desktop", "atspi_check.py")
            python = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else sys.executable
            result = subprocess.run([python, checker, "--app-pid", str(gallery.pid), "--press", "Add Timer, Medium"],
                                    env=self.env, capture_output=True, text=True, timeout=90)
            self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
            self.assertIn("button Add Timer, Small enabled", result.stdout.splitlines())
            placed = wait_until(lambda: list(self.widgets().values()), 10)
            self.assertTrue(placed, "no widget was placed")
            self.assertEqual([(w["kind"], w["family"]) for w in placed], [("TimerWidget", "systemMedium")])
            self.assertTrue(wait_until(lambda: harness.x_windows(self.env, self.host.pid), 10), "no window appeared")
            gallery.stop()


if __name__ == "__main__":
    harness.main()
