"""The widget gallery and the widget menu, end to end: the real host on an X server of its own with
no widget placed, the gallery beside it, and a screen reader's presses through AT-SPI: "Add Timer,
Medium" in the gallery, then "Remove widget" in the menu that a right click opens on the widget; and
the gallery's window beside a stand-in host that takes its questions and never answers; and a
gallery opened before the host, in German."""
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "Host", "WidgetHost", "Desktop"))
import harness  # noqa: E402
from harness import wait_until  # noqa: E402
from xsession import XSession  # noqa: E402

CHECKER = os.path.join(HERE, "..", "Host", "WidgetHost", "Desktop", "atspi_check.py")


class GalleryTest(harness.HostTestCase):
    def atspi(self, pid, press=None):
        result = subprocess.run([sys.executable, CHECKER, "--app-pid", str(pid)] + (["--press", press] if press else []),
                                env=self.env, capture_output=True, text=True, timeout=90)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        return result.stdout.splitlines()

    def start(self, name, argv, log_name=None):
        return super().start(name, argv, log_name, desktop_data=name != "widget-host")

    def test_a_widget_added_from_the_gallery_is_removed_through_its_menu(self):
        with XSession(1280, 1024) as x:
            self.start_host_on("DISPLAY", x.display)
            self.assertEqual(self.widgets(), {})
            gallery = self.start("widget-gallery", [self.program("widget-gallery")])
            # The gallery where the first widget would go.
            shown = wait_until(lambda: x.run("xdotool", "search", "--onlyvisible", "--pid", str(gallery.pid),
                                              check=False).stdout.split(), what="the gallery's window")
            x.run("xdotool", "windowmove", "--sync", shown[-1], "0", "0")
            self.assertIn("button Add Timer, Small enabled", self.atspi(gallery.pid, "Add Timer, Medium"))
            placed = wait_until(lambda: list(self.widgets().values()), what="a widget placed from the gallery")
            self.assertEqual([(w["kind"], w["family"]) for w in placed], [("TimerWidget", "systemMedium")])
            windows = wait_until(lambda: harness.x_windows(self.env, self.host.pid), what="the widget's window")
            # Where the user sees it: not under the gallery, and the gallery says where.
            gx, gy, gw, gh = harness.x_geometry(self.env, shown[-1])
            left, top, width, height = harness.x_geometry(self.env, next(iter(windows.values())))
            self.assertTrue(left >= gx + gw or left + width <= gx or top >= gy + gh or top + height <= gy,
                            ((left, top, width, height), (gx, gy, gw, gh)))
            self.assertIn("text Added Timer at %d, %d." % tuple(placed[0]["position"]), self.atspi(gallery.pid))
            gallery.stop()

            # Where the widget has the keyboard, the menu key opens its menu too.
            x.run("xdotool", "windowfocus", "--sync", next(iter(windows.values())))
            x.run("xdotool", "key", "shift+F10")
            wait_until(lambda: "item Remove widget enabled" in self.atspi(self.host.pid), what="the menu the key opens")
            x.run("xdotool", "key", "Escape")
            x.run("xdotool", "mousemove", "--sync", str(left + 16), str(top + 16), "click", "3")
            menu = self.atspi(self.host.pid, "Remove widget")
            self.assertIn("item Kelvo disabled", menu)  # the extension's name, a heading
            self.assertIn("item Widget gallery… enabled", menu)
            wait_until(lambda: self.widgets() == {}, what="the widget to be removed")
            wait_until(lambda: not harness.x_windows(self.env, self.host.pid), what="its window to go")

    def test_the_window_opens_and_answers_while_the_host_keeps_silent(self):
        with XSession() as x:
            self.env["DISPLAY"] = x.display
            fake = self.start("fake widget host", [self.program("kelvo_fake_widget_host"), "--json",
                                                   '{"control": "silent"}'])
            self.assertTrue(wait_until(lambda: "ready" in fake.text(), 10), "the fake host did not start")
            gallery = self.start("widget-gallery", [self.program("widget-gallery")])
            asked = wait_until(lambda: self.fake_calls("Kinds") >= 1, 10)
            self.assertTrue(asked, "the gallery never asked for the kinds")
            # A gallery that waited for the answer would open its window only when the call timed out.
            shown = wait_until(lambda: x.run("xdotool", "search", "--onlyvisible", "--pid", str(gallery.pid),
                                             check=False).stdout.split(), 5)
            self.assertTrue(shown, "the gallery's window did not open while the host was silent")
            # Its loop still turns: it answers a screen reader, and says what it waits for.
            self.assertIn("text Asking the widget host for its widgets…", self.atspi(gallery.pid))
            self.assertEqual(self.fake_calls("Kinds"), 1)

    def test_a_gallery_opened_before_the_host_lists_the_widgets_once_it_runs(self):
        self.env.update(LANGUAGE="de", LANG="C.UTF-8")
        with XSession() as x:
            self.env["DISPLAY"] = x.display
            self.assertEqual(self.ctl("gallery", check=False).returncode, 3, "widgetctl gallery without a host")
            gallery = self.start("widget-gallery", [self.program("widget-gallery")])
            wait_until(lambda: "text Der Widget-Dienst läuft nicht. Die Widgets erscheinen hier, sobald er startet."
                       in self.atspi(gallery.pid), what="the gallery to say that the host is not running")
            self.start_host_on("DISPLAY", x.display)
            buttons = wait_until(lambda: [line for line in self.atspi(gallery.pid) if line.startswith("button ")
                                          and "hinzufügen" in line], what="the gallery's buttons once the host runs")
            self.assertEqual(len(buttons), 2, buttons)
            self.assertFalse([line for line in self.atspi(gallery.pid) if "Add " in line])
            kinds = self.ctl("kinds").stdout
            self.assertRegex(kinds, r"(?m)^TimerWidget  \S.*  \(small, medium\)  \S+$")

            # Escape and Ctrl+W close it.
            for key in ("Escape", "ctrl+w"):
                with self.subTest(key=key):
                    if not gallery.running():  # and again, through widgetctl now that the host runs
                        gallery = self.start("widgetctl gallery", [self.program("widgetctl"), "gallery"])
                    window = wait_until(lambda: x.run("xdotool", "search", "--onlyvisible", "--pid", str(gallery.pid),
                                                      check=False).stdout.split(), what="the gallery's window")
                    x.run("xdotool", "windowfocus", "--sync", window[0])
                    x.run("xdotool", "key", key)
                    self.assertTrue(wait_until(lambda: not gallery.running(), 10), "%s left the gallery open" % key)

    def fake_calls(self, method):
        ok, out = self.bus_call("net.widgethost.FakeHost1", "CallCount", "", method)
        return int(out.strip().strip("(),").split()[-1]) if ok else 0


if __name__ == "__main__":
    harness.main()
