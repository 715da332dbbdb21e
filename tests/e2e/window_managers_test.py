"""The widgets under the X11 window managers people run: openbox, xfwm4, metacity and mutter
(--x11), each on an Xvfb of its own. The same cases run against each: the hints the window
manager honours, "show desktop", a click on a file manager's desktop window, a window closed by
the window manager, a drag, and the host losing its X server.

With WIDGET_HOST_DESKTOP_FACTS=DIR every case writes what it saw to DIR/<window manager>.json
(and screenshots beside it) before it asserts: docs/desktops/ was made that way."""
import json
import os
import subprocess
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "Host", "WidgetHost", "Desktop"))
import harness  # noqa: E402
from harness import known_fault, wait_until  # noqa: E402
from xsession import XSession  # noqa: E402

SMALL_AT = (40, 60)
MEDIUM_AT = (260, 60)
# What a desktop widget needs from the window manager, as _NET_SUPPORTED names them.
NEEDED = ("WM_STATE_BELOW", "WM_STATE_STICKY", "WM_STATE_SKIP_TASKBAR", "WM_STATE_SKIP_PAGER",
          "WM_WINDOW_TYPE_DESKTOP", "WM_WINDOW_TYPE_UTILITY", "WM_WINDOW_TYPE_DOCK", "SHOWING_DESKTOP",
          "CLOSE_WINDOW", "WM_ALLOWED_ACTIONS")


class WindowManagerCases:
    window_manager = None

    @classmethod
    def setUpClass(cls):
        cls.x = XSession(window_manager=cls.window_manager).__enter__()
        cls.facts = harness.DesktopFacts(cls.window_manager)

    @classmethod
    def tearDownClass(cls):
        cls.x.__exit__(None, None, None)

    def setUp(self):
        super().setUp()
        self.start_host_on("DISPLAY", self.x.display)
        self.small = self.place_at("TimerWidget", "small", *SMALL_AT)
        self.medium = self.place_at("TimerWidget", "medium", *MEDIUM_AT)
        wait_until(lambda: len(self.windows()) == 2, what="two windows")

    def windows(self):
        return harness.x_windows(self.env, self.host.pid)

    def seen(self):
        """Per widget: is its window viewable, and which _NET_WM_STATE atoms does it carry."""
        found = {}
        for widget_id, window in harness.x_windows(self.env, self.host.pid, visible_only=False).items():
            atoms, viewable = self.x.state(window)
            found[widget_id] = {"viewable": viewable, "state": sorted(atoms)}
        return found

    def all_shown(self):
        seen = self.seen()
        return len(seen) == 2 and all(w["viewable"] and "HIDDEN" not in w["state"] for w in seen.values())

    def assertions_in_log(self):
        return sum("CRITICAL" in line or "assertion" in line for line in self.host.text().splitlines())

    # Cases ---------------------------------------------------------------------------------

    def test_hints(self):
        supported = self.x.supported()
        self.facts.record("supported", {name: name in supported for name in NEEDED})
        window = self.windows()[self.small]
        self.facts.record("window type", self.x.properties(window, "_NET_WM_WINDOW_TYPE").strip())
        self.facts.record("state at start", self.seen()[self.small])
        self.facts.record("allowed actions", self.x.properties(window, "_NET_WM_ALLOWED_ACTIONS").strip())
        self.assertTrue(self.all_shown())

    def hidden(self, window):
        atoms, viewable = self.x.state(window)
        return not viewable or "HIDDEN" in atoms

    def active(self):
        return self.x.run("xdotool", "getactivewindow", check=False).stdout.strip()

    def test_show_desktop_keeps_the_widgets(self):
        window = self.x.desktop_window(normal=True)
        self.x.show_desktop(True)
        # The window manager hides the ordinary windows as it shows the desktop.
        wait_until(lambda: self.hidden(window), what="show desktop to hide an ordinary window")
        self.x.run("xdotool", "windowkill", str(window), check=False)
        self.facts.record("after show desktop", self.seen())
        shot = self.facts.picture(self.window_manager + "-show-desktop")
        if shot:
            self.x.screenshot(shot)
        shown = self.all_shown()
        self.x.show_desktop(False)
        self.assertTrue(shown, "show desktop hid a widget: %s" % self.facts.facts["after show desktop"])

    def test_a_click_on_the_desktop_window_keeps_the_widgets(self):
        desktop = self.x.desktop_window()
        self.x.run("xdotool", "mousemove", "--sync", "900", "700", "click", "1")
        # The window manager gives the desktop the focus as it takes the click.
        wait_until(lambda: self.active() == str(desktop), what="the clicked desktop window to have the focus")
        stacking = self.x.run("xprop", "-root", "_NET_CLIENT_LIST_STACKING").stdout
        order = [int(w, 16) for w in stacking.partition("#")[2].replace(",", " ").split()]
        above = {widget_id: desktop in order and int(window) in order and order.index(int(window)) > order.index(desktop)
                 for widget_id, window in self.windows().items()}
        self.facts.record("after a click on the desktop window", {"seen": self.seen(), "above the desktop": above})
        shot = self.facts.picture(self.window_manager + "-desktop-click")
        if shot:
            self.x.screenshot(shot)
        self.x.run("xdotool", "search", "--name", "^test desktop$", "windowkill", check=False)
        self.assertTrue(self.all_shown())
        self.assertEqual(above, {self.small: True, self.medium: True})

    def test_a_window_closed_by_the_window_manager_comes_back(self):
        before = self.assertions_in_log()
        self.x.close(self.windows()[self.small])
        back = wait_until(lambda: self.small in self.windows())
        position = self.widget(self.small)["position"]  # a round trip: the host has done with the close
        self.facts.record("after wmctrl -c", {"back": bool(back),
                                              "GTK complaints in the log": self.assertions_in_log() - before,
                                              "host running": self.host.running()})
        self.assertTrue(back, "the closed widget never came back")
        self.assertEqual(position, list(SMALL_AT))
        self.assertEqual(self.assertions_in_log(), before)

    def test_a_click_on_a_widget_leaves_the_focus_where_it_was(self):
        window = self.x.desktop_window(normal=True)
        self.addCleanup(self.x.run, "xdotool", "windowkill", str(window), check=False)
        # Mutter and xfwm4 maximize a window the size of the screen; then it would take the click.
        self.x.run("wmctrl", "-i", "-r", str(window), "-b", "remove,maximized_vert,maximized_horz")
        self.x.run("xdotool", "windowsize", str(window), "300", "200", "windowmove", str(window), "600", "400")
        wait_until(lambda: harness.x_geometry(self.env, window)[0] >= 500 and harness.x_geometry(self.env, window)[2] <= 400,
                   what="the ordinary window clear of the widgets")
        self.x.run("xdotool", "windowactivate", "--sync", str(window))
        left, top, _, _ = harness.x_geometry(self.env, self.windows()[self.small])
        self.x.run("xdotool", "mousemove", "--sync", str(left + 150), str(top + 6), "click", "1")
        # A click outside the buttons opens the widget's link once the host has it.
        wait_until(lambda: os.path.exists(self.opened), what="the click to open the widget's link")
        active = self.active()
        self.facts.record("a click on a widget: the normal window keeps the focus", active == str(window))
        self.assertEqual(active, str(window))

    def test_a_drag_moves_by_the_pointer_travel(self):
        left, top, _, _ = harness.x_geometry(self.env, self.windows()[self.small])
        self.x.run("xdotool", "mousemove", "--sync", str(left + 150), str(top + 6), "mousedown", "1")
        for step in range(1, 11):
            self.x.run("xdotool", "mousemove", "--sync", str(left + 150 + 10 * step), str(top + 6 + 30 * step))
        self.x.run("xdotool", "mouseup", "1")
        expected = [left + 100, top + 300]
        wait_until(lambda: self.widget(self.small)["position"] == expected)
        self.facts.record("drag of +100,+300 in 10 steps", {"expected": expected,
                                                            "position": self.widget(self.small)["position"]})
        self.assertEqual(self.widget(self.small)["position"], expected)

    def test_widgets_stay_out_of_a_top_panel(self):
        self.ctl("move", self.medium, "260", "10")
        panel = self.x.desktop_window(panel=True)
        self.addCleanup(self.x.run, "xdotool", "windowkill", str(panel), check=False)
        width = self.x.size[0]
        # The panel reserves its 32 pixels; the window manager publishes what is left.
        for name, value in (("_NET_WM_STRUT", "0, 0, 32, 0"),
                            ("_NET_WM_STRUT_PARTIAL", "0, 0, 32, 0, 0, 0, 0, 0, 0, %d, 0, 0" % (width - 1))):
            self.x.run("xprop", "-id", str(panel), "-f", name, "32c", "-set", name, value)
        wait_until(lambda: self.x.run("xprop", "-root", "_NET_WORKAREA").stdout.split("=")[-1].split(",")[1].strip()
                   == "32", what="the work area to leave out the panel")
        # A widget the panel now covers moves out of its way for as long as the panel is there; the
        # file keeps where the user put it.
        wait_until(lambda: self.widget(self.medium)["position"] == [260, 32], what="the widget below the panel")
        with open(os.path.join(self.env["XDG_CONFIG_HOME"], "widget-host", "widgets.json")) as kept:
            saved = {w["id"]: [w["x"], w["y"]] for w in json.load(kept)["widgets"]}
        self.assertEqual(saved[self.medium], [260, 10])
        # Alone on the desktop, a new widget takes the top-left spot.
        for widget_id in (self.small, self.medium):
            self.ctl("remove", widget_id)
        added = self.place("TimerWidget", "medium")
        wait_until(lambda: added in self.windows(), what="the added widget's window")
        first = self.widget(added)["position"]
        self.ctl("move", added, "24", "8")
        moved = self.widget(added)["position"]
        shown = harness.x_geometry(self.env, self.windows()[added])
        self.facts.record("with a 32-pixel top panel", {"first free spot": first, "after move 24 8": moved,
                                                        "window": list(shown)})
        self.assertGreaterEqual(first[1], 32)
        self.assertEqual(moved, [24, 32])
        self.assertGreaterEqual(shown[1], 32)


class LostDisplayCases:
    """The host whose X server goes away: one clear line, and no silent end."""
    window_manager = None

    def test_losing_the_display_is_said_in_the_log(self):
        x = XSession(window_manager=self.window_manager).__enter__()
        try:
            self.start_host_on("DISPLAY", x.display)
            self.ctl("place", "TimerWidget", "--family", "small")
            wait_until(lambda: harness.x_windows(self.env, self.host.pid), what="the widget's window")
            x.kill_server()
            ended = wait_until(lambda: not self.host.running())
        finally:
            x.__exit__(None, None, None)
        tail = self.host.text().strip().splitlines()[-3:]
        facts = harness.DesktopFacts(self.window_manager + "-lost-display")
        facts.record("after the X server died", {"host ended": bool(ended),
                                                 "exit status": self.host.popen.returncode, "last log lines": tail})
        self.assertTrue(any("display" in line and "lost" in line for line in tail), tail)
        if ended:
            self.assertNotEqual(self.host.popen.returncode, 0)


# One test class per window manager; the unittest names say which desktop failed.
for _wm in ("openbox", "xfwm4", "metacity", "mutter"):
    globals()[_wm.capitalize() + "Test"] = type(_wm.capitalize() + "Test", (WindowManagerCases, harness.HostTestCase),
                                               {"window_manager": _wm})
OpenboxLostDisplayTest = type("OpenboxLostDisplayTest", (LostDisplayCases, harness.HostTestCase),
                              {"window_manager": "openbox"})

if __name__ == "__main__":
    harness.main()
