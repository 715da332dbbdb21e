"""The Kelvo widget end to end: the real widget host, the real KelvoWidget extension and the
stand-in Kelvo application, on a private session bus, driven through widgetctl."""
import glob
import os
import re
import signal
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import enabled_labels, labels, wait_until  # noqa: E402

OPEN_APP = "Open Kelvo to see your timer"


def duration(text):
    """Seconds of an "H:MM:SS" text, or None."""
    match = re.fullmatch(r"(\d+):(\d\d):(\d\d)", text)
    return int(match[1]) * 3600 + int(match[2]) * 60 + int(match[3]) if match else None


def today_total(widget):
    texts = widget["texts"]
    for i, text in enumerate(texts[:-1]):
        if text == "Today" and duration(texts[i + 1]) is not None:
            return duration(texts[i + 1])
    return None


def running(widget):
    return "Stop tracking" in enabled_labels(widget)


def idle(widget):
    return "Start tracking" in enabled_labels(widget) and "Stop tracking" not in labels(widget)


class KelvoWidgetTest(harness.HostTestCase):
    def setUp(self):
        super().setUp()
        self.extensions_dir = self.bin_dir
        self.container = os.path.join(self.env["XDG_DATA_HOME"], "group-containers", "group.com.kelvo.desktop",
                                      "com.kelvo.desktop")
        self.start_host()
        # Placed before the application starts, so that it counts them at start.
        self.small = self.place("TimerWidget", "small")
        self.medium = self.place("TimerWidget", "medium")
        self.app = self.start_app()
        for widget_id in (self.small, self.medium):
            self.wait_for_widget(widget_id, lambda w: idle(w) and w["picture"], "showed the idle demo state")

    def start_app(self):
        app = self.start("kelvo-app", [self.program("kelvo-app"), "--demo"])
        wait_until(lambda: "owns com.kelvo.desktop" in app.text() or not app.running(), what="kelvo-app to own its name")
        return app

    def commands(self):
        return glob.glob(os.path.join(self.container, "commands", "*.json"))

    def test_the_application_counts_both_placed_widgets(self):
        wait_until(lambda: "placed TimerWidget widgets: 2" in self.app.text(), what="kelvo-app to count two widgets")

    def test_start_then_stop_tracking(self):
        before = today_total(self.widget(self.small))
        self.assertIsNotNone(before)

        self.ctl("press", self.small, "Start tracking")
        for widget_id in (self.small, self.medium):
            widget = self.wait_for_widget(widget_id, running, "showed the running layout")
            self.assertNotIn("Start tracking", labels(widget))
        # The recent rows cannot start anything while a timer runs.
        medium = self.widget(self.medium)
        self.assertTrue(any(label.startswith("Start tracking: ") for label in labels(medium)))
        self.assertEqual([b for b in medium["buttons"] if b["label"].startswith("Start tracking: ") and b["enabled"]], [])

        # Track a little: until the live timer shows two seconds.
        self.wait_for_widget(self.small, lambda w: any((duration(t) or 0) >= 2 for t in w["texts"]),
                             "showed two seconds tracked")
        self.ctl("press", self.medium, "Stop tracking")
        small = self.wait_for_widget(self.small, idle, "went back to idle")
        after = today_total(small)
        self.assertIsNotNone(after, small["texts"])
        self.assertGreaterEqual(after, before + 2)
        self.assertLessEqual(after, before + 30)
        self.assertEqual(today_total(self.wait_for_widget(self.medium, idle, "went back to idle")), after)

    def test_a_recent_row_starts_that_entry(self):
        self.ctl("press", self.medium, "Start tracking: Sprint planning")
        medium = self.wait_for_widget(self.medium, lambda w: running(w) and "Sprint planning" in w["texts"],
                                      "ran the recent entry")
        self.assertIn("Mobile app", medium["texts"])
        small = self.wait_for_widget(self.small, running, "showed the running entry")
        self.assertIn("Sprint planning", small["texts"])

    def test_a_press_while_the_application_is_gone_waits_for_it(self):
        # A crashed application leaves a snapshot that still shows its buttons.
        self.app.stop(signal.SIGKILL)
        self.ctl("press", self.small, "Start tracking")
        wait_until(self.commands, what="the press's command file")
        # With nobody answering, the widget asks again by itself and learns the application is gone.
        for widget_id in (self.small, self.medium):
            widget = self.wait_for_widget(widget_id, lambda w: OPEN_APP in w["texts"], "showed the open-app message")
            self.assertEqual(widget["buttons"], [])
        self.assertEqual(len(self.commands()), 1)

        self.app = self.start_app()
        for widget_id in (self.small, self.medium):
            self.wait_for_widget(widget_id, running, "ran the waiting command")
        wait_until(lambda: not self.commands(), what="the carried-out command to be removed")

    def test_a_cleanly_closed_application_shows_the_open_app_message(self):
        self.app.stop(signal.SIGTERM)
        for widget_id in (self.small, self.medium):
            self.wait_for_widget(widget_id, lambda w: OPEN_APP in w["texts"] and not w["buttons"],
                                 "showed the open-app message")

    def test_a_killed_extension_is_restarted_and_the_picture_stays(self):
        picture = self.widget(self.small)["picture"]
        with open(picture, "rb") as f:
            before = f.read()
        [pid] = self.extension_pids()
        os.kill(pid, signal.SIGKILL)
        wait_until(lambda: pid not in self.extension_pids(), what="the killed extension to be gone")
        with open(picture, "rb") as f:
            self.assertEqual(f.read(), before, "the picture changed while the extension was gone")
        self.wait_for_widget(self.small, lambda w: w["status"] == "ready" and self.extension_pids(), "came back")
        self.ctl("press", self.small, "Start tracking")
        self.wait_for_widget(self.small, running, "ran after the restart")

    def test_the_host_keeps_its_widgets_across_a_restart(self):
        self.assertEqual(self.stop_host(), 0)
        self.start_host()
        widgets = self.widgets()
        self.assertEqual(sorted(widgets), sorted([self.small, self.medium]))
        self.assertEqual(widgets[self.small]["family"], "systemSmall")
        self.assertEqual(widgets[self.medium]["family"], "systemMedium")
        self.wait_for_widget(self.medium, lambda w: idle(w) and "Recent" in w["texts"], "came back")


if __name__ == "__main__":
    harness.main()
