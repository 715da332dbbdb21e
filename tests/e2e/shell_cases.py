"""What the widgets must do on the real GNOME Shell and KWin, written once for both: gnome_shell_test.py
and kwin_test.py each run these cases on one shell started for the whole file.

With WIDGET_HOST_DESKTOP_FACTS=DIR each case writes what it saw to DIR/<shell>.json and its
screenshots beside it before it asserts."""
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "Host", "WidgetHost", "Desktop"))
import harness  # noqa: E402
from harness import enabled_labels, wait_for, wait_until  # noqa: E402

MEDIUM = (364, 170)
WINDOW = bytes([51, 102, 76])  # the colour of desktop_window.py
CHECKER = os.path.join(HERE, "..", "Host", "WidgetHost", "Desktop", "atspi_check.py")


def pixels(png, box):
    """The RGB bytes of `box` (x, y, width, height) of a PNG, row by row."""
    x, y, w, h = box
    return subprocess.run(["convert", png, "-crop", f"{w}x{h}+{x}+{y}", "+repage", "-depth", "8", "rgb:-"],
                          capture_output=True, check=True, timeout=30).stdout


def changed_share(a, b):
    """The share of pixels that differ clearly between two equal-sized RGB crops."""
    count = len(a) // 3
    changed = sum(1 for i in range(0, len(a), 3) if sum(abs(a[i + k] - b[i + k]) for k in range(3)) > 24)
    return changed / max(count, 1)


def inside(box, area):
    x, y, w, h = box
    ax, ay, aw, ah = area
    return ax <= x and ay <= y and x + w <= ax + aw and y + h <= ay + ah


class ShellCases:
    """The cases, mixed into a harness.HostTestCase that sets `session_class` and `name` and may
    say where a widget's window is (kept out of the test case classes so that it is not run alone)."""

    session_class = None
    name = None

    @classmethod
    def setUpClass(cls):
        cls.shell = cls.session_class().__enter__()
        cls.facts = harness.DesktopFacts(cls.name)

    @classmethod
    def tearDownClass(cls):
        cls.shell.__exit__(None, None, None)

    def setUp(self):
        super().setUp()
        # Widgets, widgetctl and the stand-in on the shell's own bus and display.
        for name, value in self.shell.env().items():
            if name in ("DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY", "DBUS_SESSION_BUS_ADDRESS", "XDG_CURRENT_DESKTOP"):
                self.env[name] = value
        self.extensions_dir = self.bin_dir
        self.start_host()

    def tearDown(self):
        # The host's widgets go with it; the bus is the shell's, so nothing of the test may stay.
        super().tearDown()

    def shot(self, name):
        path = self.facts.picture(f"{self.name}-{name}") or os.path.join(self.root, name + ".png")
        os.makedirs(os.path.dirname(path), exist_ok=True)
        self.shell.screenshot(path)
        return path

    def frame(self, widget_id):
        """Where the widget is on the screen: (x, y, width, height)."""
        x, y = self.widget(widget_id)["position"]
        return (x, y) + MEDIUM

    def place_drawn(self, x=None, y=None):
        """Places a medium widget (at x, y if given) and waits until the screen shows it there."""
        empty = self.shot("empty")
        widget_id = self.place("TimerWidget", "medium") if x is None else self.place_at("TimerWidget", "medium", x, y)
        self.wait_for_widget(widget_id, lambda w: w["entryDate"] > 0, "showed an entry")

        def drawn():
            box = self.frame(widget_id)
            return changed_share(pixels(self.shot("placed"), box), pixels(empty, box)) > 0.5
        wait_until(drawn, what="widget %s on the screen" % widget_id)
        return widget_id

    def test_two_widgets_are_placed_inside_the_work_area(self):
        first, second = self.place_drawn(), self.place_drawn()
        area = self.shell.work_area()
        frames = [self.frame(first), self.frame(second)]
        self.facts.record("work area", area)
        self.facts.record("two widgets placed without a position", frames)
        for frame in frames:
            self.assertTrue(inside(frame, area), f"{frame} is not inside the work area {area}")
        self.assertFalse(frames[0][0] < frames[1][0] + MEDIUM[0] and frames[1][0] < frames[0][0] + MEDIUM[0]
                         and frames[0][1] < frames[1][1] + MEDIUM[1] and frames[1][1] < frames[0][1] + MEDIUM[1],
                         frames)

    def test_a_click_runs_end_to_end(self):
        widget_id = self.place_drawn(400, 300)
        app = self.start("kelvo-app", [self.program("kelvo-app"), "--demo"])
        wait_until(lambda: "owns com.kelvo.desktop" in app.text(), what="kelvo-app to own its name")
        self.wait_for_widget(widget_id, lambda w: "Start tracking" in enabled_labels(w), "offered Start tracking")
        box = self.frame(widget_id)
        before = wait_for(lambda: pixels(self.shot("before-click"), box), lambda p: True)
        x, y, w, h = next(b["frame"] for b in self.widget(widget_id)["buttons"] if b["label"] == "Start tracking")
        self.shell.pointer(("move", int(box[0] + x + w / 2), int(box[1] + y + h / 2)), "click")
        running = wait_until(lambda: "Stop tracking" in enabled_labels(self.widget(widget_id)))
        self.facts.record("click on Start tracking", {"ran": bool(running)})
        self.assertTrue(running, "kelvo-app never got the command")
        self.assertIn("(start)", app.text())
        wait_until(lambda: changed_share(pixels(self.shot("after-click"), box), before) > 0.01,
                   what="the widget to show the running timer")

    def test_a_normal_window_covers_the_widgets(self):
        widget_id = self.place_drawn(300, 300)
        script = os.path.join(HERE, "..", "Host", "WidgetHost", "Desktop", "desktop_window.py")
        self.start("test window", [sys.executable, script, "--normal"], desktop_data=True)
        box = self.frame(widget_id)
        inner = (box[0] + 40, box[1] + 40, 80, 60)

        def covered():
            shown = pixels(self.shot("below-a-window"), inner)
            return sum(shown[i:i + 3] == WINDOW for i in range(0, len(shown), 3)) / (len(shown) // 3)
        share = wait_for(covered, lambda s: s > 0.95, timeout=20)
        self.facts.record("share of the widget covered by a normal window", round(share, 3))
        self.assertGreater(share, 0.95)

    def test_the_menu_is_visible_resizes_and_removes_the_widget(self):
        widget_id = self.place_drawn(300, 200)
        x, y, w, h = self.frame(widget_id)
        # Right-clicked near its bottom-right corner, the menu opens over the bare desktop.
        at = (x + w - 12, y + h - 12)
        behind = (at[0] + 24, at[1] + 24, 60, 24)
        before = pixels(self.shot("before-menu"), behind)
        self.shell.pointer(("move", *at), "right-click")
        items = wait_until(lambda: self.menu_items(), what="the menu's items for a screen reader")
        share = wait_for(lambda: changed_share(pixels(self.shot("menu"), behind), before), lambda s: s > 0.9,
                         timeout=10)
        self.facts.record("menu items", items)
        self.facts.record("share of the menu's area that differs from what lies behind", round(share, 3))
        self.assertGreater(share, 0.9, "the menu is see-through")
        # Small, chosen by keyboard: the same widget, where it was, in the other size.
        self.assertIn("Small", items)
        self.shell.pointer(*[("key", "Down")] * (items.index("Small") + 1), ("key", "Return"))
        resized = wait_until(lambda: self.widget(widget_id)["family"] == "systemSmall" and self.widget(widget_id),
                             what="the widget to become small")
        self.assertEqual(resized["position"][:2], [x, y])
        # Its menu again, on the small widget, and "Remove widget".
        self.shell.pointer(("move", x + 150, y + 150), "right-click")
        items = wait_until(lambda: self.menu_items(), what="the small widget's menu")
        self.assertIn("Remove widget", items)
        self.shell.pointer(*[("key", "Down")] * (items.index("Remove widget") + 1), ("key", "Return"))
        wait_until(lambda: widget_id not in self.widgets(), what="the widget to be removed")

    def menu_items(self):
        """The choices of the open menu, in order, as the keyboard reaches them."""
        result = subprocess.run([sys.executable, CHECKER, "--app-pid", str(self.host.pid), "--timeout", "5"],
                                env=self.env, capture_output=True, text=True, timeout=60)
        return [line[len("item "):-len(" enabled")] for line in result.stdout.splitlines()
                if line.startswith("item ") and line.endswith(" enabled")]
