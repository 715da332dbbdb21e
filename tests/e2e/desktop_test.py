"""The widgets as desktop windows, end to end: the real widget host on its own X server (Xvfb with
openbox for the window-manager hints), the real KelvoWidget extension and the stand-in Kelvo
application, clicked with xdotool, read with xprop and through AT-SPI. Screenshots for people go
to $WIDGET_HOST_E2E_OUTPUT."""
import json
import os
import subprocess
import sys
from collections import Counter

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "Host", "WidgetHost", "Desktop"))
import harness  # noqa: E402
from harness import enabled_labels, labels, wait_for, wait_until  # noqa: E402
from xsession import XSession  # noqa: E402

OUTPUT = os.environ.get("WIDGET_HOST_E2E_OUTPUT") or os.path.join(os.getcwd(), "desktop-e2e")
SMALL_AT = (40, 60)
MEDIUM_AT = (260, 60)


def grab(env, box):
    """The pixels of `box` (x, y, width, height) on the screen, row by row."""
    x, y, w, h = box
    raw = subprocess.run(["import", "-window", "root", "-crop", "%dx%d+%d+%d" % (w, h, x, y), "-depth", "8", "rgb:-"],
                         env=env, capture_output=True, timeout=30).stdout
    return [[raw[3 * (r * w + c):3 * (r * w + c) + 3] for c in range(w)] for r in range(h)]


def changed(before, after):
    """The share of pixels that differ between two grabs of the same box."""
    pairs = [(a, b) for row_a, row_b in zip(before, after) for a, b in zip(row_a, row_b)]
    return sum(a != b for a, b in pairs) / len(pairs)


def running(widget):
    return "Stop tracking" in enabled_labels(widget)


def idle(widget):
    return "Start tracking" in enabled_labels(widget) and "Stop tracking" not in labels(widget)


class DesktopTest(harness.HostTestCase):
    @classmethod
    def setUpClass(cls):
        os.makedirs(OUTPUT, exist_ok=True)
        cls.x = XSession().__enter__()

    @classmethod
    def tearDownClass(cls):
        cls.x.__exit__(None, None, None)

    def setUp(self):
        super().setUp()
        self.start_host_on("DISPLAY", self.x.display)
        self.small = self.place_at("TimerWidget", "small", *SMALL_AT)
        self.medium = self.place_at("TimerWidget", "medium", *MEDIUM_AT)
        self.app = self.start("kelvo-app", [self.program("kelvo-app"), "--demo"])
        wait_until(lambda: "owns com.kelvo.desktop" in self.app.text() or not self.app.running(),
                   what="kelvo-app to own its name")
        for widget_id in (self.small, self.medium):
            self.wait_for_widget(widget_id, idle, "showed the idle demo state")
        wait_until(lambda: len(self.windows()) == 2, what="two windows")

    # The X server ----------------------------------------------------------------------------

    def xrun(self, *args):
        return subprocess.run(list(args), env=self.env, capture_output=True, text=True, timeout=30)

    def windows(self):
        return harness.x_windows(self.env, self.host.pid)

    def geometry(self, window):
        return harness.x_geometry(self.env, window)

    def click_button(self, widget_id, label):
        widget = self.widget(widget_id)
        button = next(b for b in widget["buttons"] if b["label"] == label)
        x, y, w, h = button["frame"]
        left, top, _, _ = self.geometry(self.windows()[widget_id])
        self.assertEqual([left, top], widget["position"])
        self.xrun("xdotool", "mousemove", "--sync", str(left + int(x + w / 2)), str(top + int(y + h / 2)), "click", "1")

    def menu_window(self):
        """The host's window on screen that shows no widget (GTK keeps a helper window off screen): its
        open menu."""
        widgets = set(self.windows().values())
        shown = self.xrun("xdotool", "search", "--onlyvisible", "--pid", str(self.host.pid)).stdout.split()
        return next((w for w in shown if w not in widgets and self.geometry(w)[0] >= 0), None)

    def open_menu(self, widget_id):
        left, top, width, height = self.geometry(self.windows()[widget_id])
        # Near the corner, so that the menu lies mostly over the desktop rather than the widget.
        self.xrun("xdotool", "mousemove", "--sync", str(left + width - 6), str(top + height - 6), "click", "3")
        menu = wait_until(self.menu_window, what="the widget menu")
        self.xrun("xdotool", "mousemove", "--sync", "1", "1")
        return self.geometry(menu)

    # Tests -----------------------------------------------------------------------------------

    def test_the_menu_is_drawn_resizes_the_widget_and_a_removal_can_be_undone(self):
        steer = os.path.join(self.root, "notices")
        os.makedirs(steer)
        notices = self.start("fake-notifications", [sys.executable, os.path.join(HERE, "fake_notifications.py"), steer])
        wait_until(lambda: "serving" in notices.text(), what="the notification server")
        behind = grab(self.env, (0, 0, 1024, 768))  # XSession's screen
        x, y, w, h = box = self.open_menu(self.small)
        # Drawn: an opaque background of its own, with what lay behind hidden.
        grid = wait_for(lambda: grab(self.env, box), lambda g: changed([r[x:x + w] for r in behind[y:y + h]], g) > 0.6,
                        what="the menu to be drawn over what lies behind")
        self.x.screenshot(os.path.join(OUTPUT, "desktop-menu.png"))
        background, count = Counter(p for row in grid for p in row).most_common(1)[0]
        self.assertGreater(count, 0.5 * w * h)
        # A separator: a line across the menu, inside its edges, in a colour other than the background.
        lines = [row[w // 10] for row in grid[4:-4] if len(set(row[w // 10:w * 9 // 10])) == 1 and row[w // 10] != background]
        self.assertTrue(lines, "no separator in the menu")

        # The keyboard's highlight shows.
        self.xrun("xdotool", "key", "Down")
        wait_for(lambda: grab(self.env, box), lambda g: changed(grid, g) > 0.03,
                 what="Down to highlight an item")
        # Small is checked and first: the next one is Medium.
        self.xrun("xdotool", "key", "Down", "Return")
        resized = self.wait_for_widget(self.small, lambda w: w["family"] == "systemMedium", "became medium")
        self.assertEqual(resized["position"], list(SMALL_AT))
        wait_until(lambda: self.small in self.windows() and self.geometry(self.windows()[self.small])[2] == 364,
                   what="the window to take the medium size")

        # Removed from the menu, then put back from the notice.
        self.open_menu(self.small)
        self.xrun("xdotool", "key", "Down", "Down", "Down", "Return")
        wait_until(lambda: self.small not in self.widgets(), what="the widget to be removed")
        wait_until(lambda: "notify 1 Widget removed|" in notices.text(), what="a notice of the removal")
        self.assertIn("|undo,Undo", notices.text())
        with open(os.path.join(steer, "invoke"), "w") as f:
            f.write("undo")
        back = self.wait_for_widget(self.small, lambda w: True, "came back")
        self.assertEqual((back["kind"], back["family"], back["position"]), ("TimerWidget", "systemMedium", list(SMALL_AT)))
        wait_until(lambda: self.small in self.windows(), what="its window to come back")

    def test_windows_are_desktop_widgets(self):
        windows = self.windows()
        self.assertEqual(set(windows), {self.small, self.medium})
        for widget_id, at, size in ((self.small, SMALL_AT, (170, 170)), (self.medium, MEDIUM_AT, (364, 170))):
            props = self.xrun("xprop", "-id", windows[widget_id]).stdout
            self.assertIn("_NET_WM_WINDOW_TYPE(ATOM) = _NET_WM_WINDOW_TYPE_DOCK", props)
            state = next(line for line in props.splitlines() if line.startswith("_NET_WM_STATE(ATOM)"))
            for atom in ("_NET_WM_STATE_BELOW", "_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER"):
                self.assertIn(atom, state)
            self.assertIn("_NET_WM_DESKTOP(CARDINAL) = 4294967295", props)  # on every workspace
            self.assertEqual(self.geometry(windows[widget_id]), (*at, *size))
        # Windows, not pictures.
        self.assertEqual([w["picture"] for w in self.widgets().values()], ["", ""])

    def test_a_click_on_start_tracking_runs_the_intent_end_to_end(self):
        self.x.screenshot(os.path.join(OUTPUT, "desktop-idle.png"))
        self.click_button(self.small, "Start tracking")
        for widget_id in (self.small, self.medium):
            self.wait_for_widget(widget_id, running, "showed the running layout after the click")
        shown = self.widget(self.small)["texts"]
        self.wait_for_widget(self.small, lambda w: w["texts"] != shown, "showed its live timer running")
        self.x.screenshot(os.path.join(OUTPUT, "desktop-running.png"))

        self.click_button(self.medium, "Stop tracking")
        for widget_id in (self.small, self.medium):
            self.wait_for_widget(widget_id, idle, "went back to idle after the second click")

    def test_a_click_on_a_disabled_button_does_nothing(self):
        self.click_button(self.small, "Start tracking")
        self.wait_for_widget(self.medium, running, "showed the running layout")
        disabled = [b["label"] for b in self.widget(self.medium)["buttons"] if not b["enabled"]]
        self.assertTrue(disabled, "the running medium widget has no disabled recent row")
        log_before = self.host.text().count("clicked")
        self.click_button(self.medium, disabled[0])
        # The host takes clicks in order: once the next one has run, the first was ignored or not.
        self.click_button(self.medium, "Stop tracking")
        self.wait_for_widget(self.medium, idle, "went back to idle")
        self.assertEqual(self.host.text().count("clicked"), log_before + 1, self.host.text())

    def test_a_dragged_widget_stays_where_it_was_put_across_restarts(self):
        left, top, _, _ = self.geometry(self.windows()[self.small])
        # Grab it by its top edge, away from the buttons.
        self.xrun("xdotool", "mousemove", "--sync", str(left + 150), str(top + 6), "mousedown", "1")
        for step in range(1, 11):
            self.xrun("xdotool", "mousemove", "--sync", str(left + 150 + 10 * step), str(top + 6 + 30 * step))
        self.xrun("xdotool", "mouseup", "1")
        expected = [left + 100, top + 300]
        wait_until(lambda: self.widget(self.small)["position"] == expected, what="the position %s to be kept" % expected)

        self.ctl("move", self.medium, "500", "420")
        wait_until(lambda: self.geometry(self.windows()[self.medium])[:2] == (500, 420), what="the move to 500,420")

        self.stop_host()
        self.start_host()
        wait_until(lambda: len(self.windows()) == 2, what="the windows to come back")
        self.assertEqual(self.geometry(self.windows()[self.small])[:2], tuple(expected))
        self.assertEqual(self.geometry(self.windows()[self.medium])[:2], (500, 420))

    def test_a_screen_reader_finds_the_buttons_and_presses_start(self):
        checker = os.path.join(HERE, "..", "Host", "WidgetHost", "Desktop", "atspi_check.py")
        result = subprocess.run([sys.executable, checker, "--app-pid", str(self.host.pid), "--press", "Start tracking"],
                                env=self.env, capture_output=True, text=True, timeout=90)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        lines = result.stdout.splitlines()
        self.assertIn("button Start tracking enabled", lines)
        self.assertTrue(any(line.startswith("text ") and "Today" in line for line in lines), lines)
        self.wait_for_widget(self.small, running, "ran the intent pressed through AT-SPI")


if __name__ == "__main__":
    harness.main()
