"""The widgets as layer-shell surfaces on a real Wayland compositor: headless Sway (Debian 12's
1.7), one compositor for the whole file, input through the compositor's virtual pointer and
pictures through grim. Cases: the surface sits on the bottom layer below a normal window, a click
runs end to end, a drag moves by exactly the pointer's travel, a widget moved off the output comes
back, a closed surface comes back, output scale 2 draws sharp, a widget returns to its own output when
that output comes, and the log says what happened when the display cannot be opened.

With WIDGET_HOST_DESKTOP_FACTS=DIR each case writes what it saw to DIR/sway.json and screenshots
beside it before it asserts."""
import json
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "Host", "WidgetHost", "Desktop"))
import harness  # noqa: E402
from harness import enabled_labels, known_fault, wait_for, wait_until  # noqa: E402
from swaysession import SwaySession  # noqa: E402

MEDIUM = (364, 170)
WINDOW = bytes([51, 102, 76])  # the colour of desktop_window.py


def pixels(png, box):
    """The RGB bytes of `box` (x, y, width, height) of a PNG, row by row."""
    x, y, w, h = box
    return subprocess.run(["convert", png, "-crop", f"{w}x{h}+{x}+{y}", "+repage", "-depth", "8", "rgb:-"],
                          capture_output=True, check=True, timeout=30).stdout


def difference(a, b):
    return sum(abs(x - y) for x, y in zip(a, b)) / max(len(a), 1)


def drawn_at(png, x, y):
    """Whether a widget covers (x+24, y+24) to (x+64, y+64), inside its rounded corners, in output
    pixels: hardly any of it has the colour of the empty output (taken from the first output's
    bottom-right corner)."""
    empty = pixels(png, (1270, 710, 1, 1))
    inside = pixels(png, (x + 24, y + 24, 40, 40))
    return sum(inside[i:i + 3] == empty for i in range(0, len(inside), 3)) < 40 * 40 // 20


class SwayTest(harness.HostTestCase):
    @classmethod
    def setUpClass(cls):
        cls.sway = SwaySession().__enter__()
        cls.facts = harness.DesktopFacts("sway")

    @classmethod
    def tearDownClass(cls):
        cls.sway.__exit__(None, None, None)

    def setUp(self):
        super().setUp()
        self.start_host_on("WAYLAND_DISPLAY", self.sway.wayland_display)
        self.assertIn("wayland-layer-shell", self.host.text())

    def tearDown(self):
        super().tearDown()
        self.sway.set_scale(1)
        self.sway.swaymsg("[app_id=.*] kill", check=False)

    def shot(self, name):
        path = self.facts.picture("sway-" + name) or os.path.join(self.root, name + ".png")
        self.sway.screenshot(path)
        return path

    def wait_drawn(self, name, x, y, drawn=True):
        """Screenshots until the widget shows at (x, y) in output pixels (or until it is gone from
        there); returns the screenshot."""
        def shot():
            path = self.shot(name)
            return path if drawn_at(path, x, y) == drawn else None
        return wait_until(shot, what="a widget %s %d,%d on the screen" % ("at" if drawn else "gone from", x, y))

    def place_medium(self, x, y, scale=1):
        widget_id = self.place_at("TimerWidget", "medium", x, y)
        self.wait_for_widget(widget_id, lambda w: w["entryDate"] > 0, "showed an entry")
        position = self.widget(widget_id)["position"]
        self.wait_drawn("placed", position[0] * scale, position[1] * scale)
        return widget_id

    # Cases ---------------------------------------------------------------------------------

    def test_the_surface_is_below_a_normal_window(self):
        self.place_medium(100, 100)
        window = self.start("window", [sys.executable, os.path.join(HERE, "..", "Host", "WidgetHost", "Desktop",
                                                                       "desktop_window.py"), "--normal"])
        # The tiled window fills the output; once it shows, the widget must not show through it.
        shown = wait_for(lambda: self.shot("below-a-window"), lambda png: pixels(png, (1270, 710, 1, 1)) == WINDOW,
                         what="the window on the screen")
        covered = pixels(shown, (124, 124, 40, 40))
        self.facts.record("bottom layer", {"colour under a tiled window": list(covered[:3])})
        window.stop()
        self.assertEqual(covered, WINDOW * 40 * 40)  # the window's colour, not the widget's

    def test_a_drag_moves_by_the_pointer_travel(self):
        widget_id = self.place_medium(100, 100)
        grab = (100 + 340, 100 + 6)  # the top edge, away from the buttons
        steps = [("move", grab[0] - 30 * k, grab[1] + 30 * k) for k in range(1, 11)]
        self.sway.pointer(("move", *grab), "down", *steps, "up")
        # The last step goes to y 400; the x is clamped at the left.
        wait_until(lambda: self.widget(widget_id)["position"][1] == 400)
        position = self.widget(widget_id)["position"]
        self.shot("after-drag")
        self.facts.record("drag of -300,+300 in 10 steps from 100,100", {"expected": [-200, 400],
                                                                          "position": position})
        # The widget stops at the output's left edge, wholly on it.
        self.assertEqual(position, [0, 400])

    def test_a_drag_in_bounds_moves_exactly(self):
        widget_id = self.place_medium(100, 100)
        grab = (100 + 340, 100 + 6)
        steps = [("move", grab[0] + 30 * k, grab[1] + 20 * k) for k in range(1, 11)]
        self.sway.pointer(("move", *grab), "down", *steps, "up")
        wait_until(lambda: self.widget(widget_id)["position"] == [400, 300])
        position = self.widget(widget_id)["position"]
        self.facts.record("drag of +300,+200 in 10 steps from 100,100", {"expected": [400, 300], "position": position})
        self.assertEqual(position, [400, 300])

    def test_a_widget_moved_off_the_output_comes_back(self):
        widget_id = self.place_medium(100, 100)
        self.ctl("move", widget_id, "1400", "24")
        off = wait_for(lambda: self.widget(widget_id)["position"], lambda p: p[0] <= 1280 - MEDIUM[0],
                       what="the widget to stay wholly on the output")
        self.ctl("move", widget_id, "300", "24")
        self.facts.record("move 1400,24 then 300,24", {"position after the first move": off})
        self.wait_drawn("moved-back", 300, 24)

    def test_a_widget_placed_off_the_output_lands_on_it(self):
        widget_id = self.place_medium(400, 2000)  # waits until it is drawn where it is listed
        position = self.widget(widget_id)["position"]
        self.facts.record("placed at 400,2000", {"position": position})
        self.assertEqual(position, [400, 720 - MEDIUM[1]])

    def test_a_widget_stays_on_an_output_that_shrinks(self):
        widget_id = self.place_medium(800, 450)
        self.sway.swaymsg("output", "HEADLESS-1", "resolution", "800x600")
        size = wait_for(self.sway.logical_size, lambda s: s == (800, 600), what="the output to shrink")
        position = wait_for(lambda: self.widget(widget_id)["position"],
                            lambda p: p[0] + MEDIUM[0] // 2 <= size[0] and p[1] + MEDIUM[1] // 2 <= size[1])
        self.sway.swaymsg("output", "HEADLESS-1", "resolution", "1280x720")
        self.facts.record("output 1280x720 -> 800x600 with a medium widget at 800,450",
                          {"output": list(size), "position": position})
        self.assertLessEqual(position[0] + MEDIUM[0] // 2, size[0])
        self.assertLessEqual(position[1] + MEDIUM[1] // 2, size[1])

    def test_a_surface_the_compositor_closes_comes_back(self):
        # Sway 1.7 headless cannot take an output away, which is when compositors close layer
        # surfaces; the probe closes its window as gtk-layer-shell does on the compositor's `closed`.
        log_path = os.path.join(self.root, "probe.log")
        with open(log_path, "w") as log:
            probe = subprocess.Popen([self.program("widget-surface-probe"), "--x", "300", "--y", "200"],
                                     env=self.env, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=log, text=True)

        def said_closed():
            with open(log_path) as f:
                return "closed" in f.read()
        try:
            def ask(command, answer=None):
                probe.stdin.write(command + "\n")
                probe.stdin.flush()
                while answer:
                    line = probe.stdout.readline()
                    if not line or line.startswith(answer):
                        return line.strip()

            self.assertEqual(ask("", "ready"), "ready", "the probe did not come up")
            ask("close")
            # The surface logs that it was closed as it hides, and comes back a moment later.
            gone = wait_until(said_closed)
            back = gone and wait_until(lambda: ask("state", "mapped") == "mapped 1")
            drawn = bool(back and wait_until(lambda: drawn_at(self.shot("closed-and-back"), 300, 200)))
        finally:
            probe.kill()
            probe.wait()
        self.facts.record("a closed layer surface", {"unmapped": bool(gone), "mapped again": bool(back),
                                                     "drawn at 300,200": drawn})
        self.assertTrue(gone and back and drawn)

    def test_scale_2_draws_sharp(self):
        self.sway.set_scale(2)
        widget_id = self.place_medium(40, 40, scale=2)
        # The widget's inside (away from the rounded corners) against the host's own drawing at
        # scale 2 and its scale-1 drawing stretched twice: a sharp surface is nearer the first.
        inside = (40, 40, 2 * MEDIUM[0] - 80, 2 * MEDIUM[1] - 80)
        sharp, stretched = os.path.join(self.root, "sharp.png"), os.path.join(self.root, "stretched.png")
        self.ctl("render", widget_id, "--out", sharp, "--scale", "2")
        self.ctl("render", widget_id, "--out", stretched, "--scale", "1")
        subprocess.run(["convert", stretched, "-resize", "200%", stretched], check=True, timeout=30)

        def differences():
            shown = pixels(self.shot("scale-2"), (80 + inside[0], 80 + inside[1], inside[2], inside[3]))
            return difference(shown, pixels(sharp, inside)), difference(shown, pixels(stretched, inside))
        to_sharp, to_stretched = wait_for(differences, lambda d: d[0] < d[1])
        self.facts.record("scale 2: mean difference to a scale-2 drawing and to a stretched scale-1 drawing",
                          [round(to_sharp, 2), round(to_stretched, 2)])
        self.assertLess(to_sharp, to_stretched)

    def test_a_click_runs_end_to_end(self):
        widget_id = self.place_medium(100, 100)
        box = (100, 100, *MEDIUM)
        without_app = pixels(self.shot("before-click"), box)
        app = self.start("kelvo-app", [self.program("kelvo-app"), "--demo"])
        wait_until(lambda: "owns com.kelvo.desktop" in app.text(), what="kelvo-app to own its name")
        self.wait_for_widget(widget_id, lambda w: "Start tracking" in enabled_labels(w), "offered Start tracking")
        wait_until(lambda: pixels(self.shot("before-click"), box) != without_app, what="the buttons on the screen")
        x, y, w, h = next(b["frame"] for b in self.widget(widget_id)["buttons"] if b["label"] == "Start tracking")
        self.sway.pointer(("move", int(100 + x + w / 2), int(100 + y + h / 2)), "click")
        running = wait_until(lambda: "Stop tracking" in enabled_labels(self.widget(widget_id)))
        self.facts.record("click on Start tracking", {"ran": bool(running)})
        self.shot("after-click")
        self.assertTrue(running)


class OutputsTest(harness.HostTestCase):
    """A widget kept on an output that is not there (a compositor of this case's own, which gains
    that output with `create_output`; Sway 1.7 cannot take a headless output away again)."""

    def test_a_widget_waits_on_the_primary_output_and_returns_to_its_own(self):
        saved = {"id": "1", "kind": "TimerWidget", "family": "systemMedium", "extension": "com.kelvo.desktop.widget",
                 "x": 100, "y": 80, "output": "HEADLESS-2"}
        config = os.path.join(self.env["XDG_CONFIG_HOME"], "widget-host")
        os.makedirs(config, exist_ok=True)
        with open(os.path.join(config, "widgets.json"), "w") as f:
            json.dump({"version": 1, "nextNumber": 2, "widgets": [saved]}, f)
        png = os.path.join(self.root, "outputs.png")

        def screen():
            sway.screenshot(png)
            return png

        with SwaySession() as sway:
            self.start_host_on("WAYLAND_DISPLAY", sway.wayland_display)
            self.wait_for_widget("1", lambda w: w["entryDate"] > 0, "showed an entry")
            wait_until(lambda: drawn_at(screen(), 100, 80), what="the widget on HEADLESS-1")
            away = self.widget("1")
            sway.swaymsg("create_output")
            back = wait_until(lambda: self.widget("1")["output"] == "HEADLESS-2")
            wait_for(screen, lambda png: drawn_at(png, 1280 + 100, 80) and not drawn_at(png, 100, 80))
            drawn = drawn_at(png, 1280 + 100, 80)
            left = not drawn_at(png, 100, 80)
            now = self.widget("1")
            with open(os.path.join(config, "widgets.json")) as f:
                kept = json.load(f)["widgets"][0]
        harness.DesktopFacts("sway-outputs").record("saved at 100,80 on HEADLESS-2, started without it, then it came", {
            "while away": [away["output"], away["position"]], "after create_output": bool(back),
            "drawn on HEADLESS-2": drawn, "gone from HEADLESS-1": left, "saved record": kept})
        self.assertEqual([away["output"], away["position"]], ["HEADLESS-1", [100, 80]])
        self.assertTrue(back, "the widget did not return to its output")
        self.assertEqual(now["position"], [100, 80])
        self.assertTrue(drawn and left)
        self.assertEqual([kept["output"], kept["x"], kept["y"]], ["HEADLESS-2", 100, 80])


class LostCompositorTest(harness.HostTestCase):
    """The host whose compositor goes away (a compositor of this case's own)."""

    def test_losing_the_compositor_is_said_in_the_log(self):
        with SwaySession() as sway:
            self.start_host_on("WAYLAND_DISPLAY", sway.wayland_display)
            self.place_at("TimerWidget", "small", 40, 40)
            png = os.path.join(self.root, "small.png")
            wait_until(lambda: sway.screenshot(png) or drawn_at(png, 40, 40), what="the widget on the screen")
            sway.kill_server()
            ended = wait_until(lambda: not self.host.running())
        tail = self.host.text().strip().splitlines()[-3:]
        harness.DesktopFacts("sway-lost-display").record("after sway died", {
            "host ended": bool(ended), "exit status": self.host.popen.returncode, "last log lines": tail})
        self.assertTrue(any("display" in line and "lost" in line for line in tail), tail)
        if ended:
            self.assertNotEqual(self.host.popen.returncode, 0)


class StaleDisplayTest(harness.HostTestCase):
    def test_a_display_that_cannot_be_opened_is_named_as_such(self):
        self.start_host_on("WAYLAND_DISPLAY", os.path.join(self.root, "no-such-display"))
        first = self.host.text().splitlines()[:2]
        harness.DesktopFacts("stale-wayland-display").record("first log lines", first)
        self.assertFalse(any("has no layer-shell" in line for line in first), first)
        self.assertTrue(any("cannot" in line and "display" in line for line in first), first)


if __name__ == "__main__":
    harness.main()
