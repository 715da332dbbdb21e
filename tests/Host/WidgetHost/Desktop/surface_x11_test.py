#!/usr/bin/env python3
"""A desktop surface on a real X server: hints, clicks, a drag, screen readers, screenshots.

Runs widget-surface-probe under its own Xvfb and openbox, clicks it with xdotool, reads its hints
with xprop and its buttons through AT-SPI, and leaves screenshots in the output directory.
"""
import argparse
import os
import queue
import subprocess
import sys
import threading
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "e2e"))
import harness  # noqa: E402
from harness import wait_until  # noqa: E402
from xsession import XSession  # noqa: E402

ARGS = None


class Probe:
    """The probe program, with its output lines arriving on a queue."""

    def __init__(self, session, *extra):
        self.process = subprocess.Popen([ARGS.probe, *extra], env=session.env(), stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, bufsize=1)
        self.lines = queue.Queue()
        self.stderr = []
        threading.Thread(target=self._pump, args=(self.process.stdout, self.lines.put), daemon=True).start()
        threading.Thread(target=self._pump, args=(self.process.stderr, self.stderr.append), daemon=True).start()
        self.buttons = {}
        while True:
            line = self.next(60)
            if line is None:
                raise AssertionError("the probe never showed its window: " + "".join(self.stderr))
            if line == "ready":
                break
            if line.startswith("button "):
                _, index, state, x, y, w, h, label = line.split(" ", 7)
                self.buttons[label] = (state == "enabled", float(x), float(y), float(w), float(h))

    @staticmethod
    def _pump(stream, sink):
        for line in stream:
            sink(line.rstrip("\n"))

    def next(self, timeout):
        try:
            return self.lines.get(timeout=timeout)
        except queue.Empty:
            return None

    def expect(self, wanted, timeout=30):
        """The next line the probe says, which must be `wanted` (a trailing "*" matches any end):
        the probe says what happens in order, so a line that should not have come shows here."""
        line = self.next(timeout)
        if line is None or not (line == wanted or (wanted.endswith("*") and line.startswith(wanted[:-1]))):
            raise AssertionError(f"expected {wanted!r}, got {line!r}; the probe's errors: {''.join(self.stderr)}")
        return line

    def send(self, command):
        self.process.stdin.write(command + "\n")
        self.process.stdin.flush()

    def close(self):
        if self.process.poll() is None:
            try:
                self.send("quit")
                self.process.wait(timeout=10)
            except (BrokenPipeError, subprocess.TimeoutExpired):
                self.process.kill()
                self.process.wait()
        for stream in (self.process.stdin, self.process.stdout, self.process.stderr):
            stream.close()


class SurfaceUnderX11(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        os.makedirs(ARGS.output, exist_ok=True)
        cls.session = XSession().__enter__()

    @classmethod
    def tearDownClass(cls):
        cls.session.__exit__(None, None, None)

    def setUp(self):
        self.probe = Probe(self.session, "--medium", "--x", "60", "--y", "80")
        self.window = self.session.run("xdotool", "search", "--sync", "--name", "^Probe widget$").stdout.split()[0]

    def tearDown(self):
        self.probe.close()

    def geometry(self):
        out = self.session.run("xdotool", "getwindowgeometry", "--shell", self.window).stdout
        values = dict(line.split("=", 1) for line in out.split())
        return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])

    def pixels(self):
        return subprocess.run(["import", "-window", self.window, "rgb:-"], env=self.session.env(), check=True,
                              capture_output=True, timeout=30).stdout

    def pixel(self, x, y):
        """The colour at a point of the widget, in points, as (red, green, blue)."""
        _, _, width, _ = self.geometry()
        rgb = subprocess.run(["import", "-window", self.window, "-depth", "8", "rgb:-"], env=self.session.env(),
                             check=True, capture_output=True, timeout=30).stdout
        at = (int(y) * width + int(x)) * 3
        return tuple(rgb[at:at + 3])

    def click(self, x, y):
        """Clicks at a point of the widget, in points (one point is one pixel at scale 1)."""
        left, top, _, _ = self.geometry()
        self.session.run("xdotool", "mousemove", "--sync", str(left + int(x)), str(top + int(y)), "click", "1")

    def centre(self, label):
        enabled, x, y, w, h = self.probe.buttons[label]
        return x + w / 2, y + h / 2

    def test_window_manager_hints(self):
        out = self.session.run("xprop", "-id", self.window).stdout
        self.assertIn("_NET_WM_WINDOW_TYPE_DOCK", out)
        state = next(line for line in out.splitlines() if line.startswith("_NET_WM_STATE(ATOM)"))
        for atom in ("_NET_WM_STATE_BELOW", "_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER"):
            self.assertIn(atom, state)
        # On every workspace: openbox keeps "sticky" as the desktop number "all" rather than as a state.
        self.assertIn("_NET_WM_DESKTOP(CARDINAL) = 4294967295", out)
        self.assertIn("Client accepts input or input focus: False", out)
        self.assertEqual(self.geometry(), (60, 80, 364, 170))

    def test_the_accented_mode_tints_the_accent_group(self):
        # The capsule of "Start", beside its label: pink in full colour, the accent blue when accented.
        _, x, y, _, h = self.probe.buttons["Start"]
        self.assertEqual(self.pixel(x + 8, y + h / 2), (236, 132, 255))
        self.probe.close()
        self.probe = Probe(self.session, "--medium", "--x", "60", "--y", "80", "--accented")
        self.window = self.session.run("xdotool", "search", "--sync", "--name", "^Probe widget$").stdout.split()[0]
        _, x, y, _, h = self.probe.buttons["Start"]
        self.assertEqual(self.pixel(x + 8, y + h / 2), (0, 122, 255))

    def test_clicks(self):
        self.assertEqual(set(self.probe.buttons), {"Start", "Stop", "Power"})
        self.assertTrue(self.probe.buttons["Start"][0])
        self.assertFalse(self.probe.buttons["Stop"][0])

        self.click(*self.centre("Start"))
        self.probe.expect("intent ProbeStartIntent")
        # A disabled button takes no click, and the click does not fall through to the link either:
        # the next thing the probe says is the next click's. Hidden from screen readers is not hidden
        # from the pointer.
        self.click(*self.centre("Stop"))
        self.click(*self.centre("Power"))
        self.probe.expect("intent ProbeHiddenIntent")
        # Outside every button: the widget's link.
        self.click(20, 60)
        self.probe.expect("open probe://open")
        self.session.screenshot(os.path.join(ARGS.output, "surface-light.png"))

        # The live timer ticks by itself: the window's pixels change from one second to the next.
        first = self.pixels()
        wait_until(lambda: self.pixels() != first, what="the live timer to tick")

        light = self.pixel(20, 60)
        self.probe.send("dark")
        wait_until(lambda: self.pixel(20, 60) != light, what="the dark drawing")
        self.session.screenshot(os.path.join(ARGS.output, "surface-dark.png"))

    def test_drag_moves_and_reports_the_position(self):
        left, top, _, _ = self.geometry()
        # Away from where other tests leave the pointer: "--sync" waits for a move that never comes.
        self.session.run("xdotool", "mousemove", "--sync", str(left + 26), str(top + 64), "mousedown", "1")
        for step in range(1, 11):
            self.session.run("xdotool", "mousemove", "--sync", str(left + 26 + 12 * step), str(top + 64 + 5 * step))
        self.session.run("xdotool", "mouseup", "1")
        moved = self.probe.expect("moved *")
        x, y = (int(v) for v in moved.split()[1:])
        self.assertEqual((x, y), (left + 120, top + 50))
        self.assertEqual(self.geometry()[:2], (x, y))

        # A move asked by the host lands where asked and is not reported back as the user's.
        self.probe.send("move 300 200")
        wait_until(lambda: self.geometry()[:2] == (300, 200), what="the window at 300,200")
        # A drag is no click, and the move no drag: the next thing the probe says is this click's.
        self.click(*self.centre("Start"))
        self.probe.expect("intent ProbeStartIntent")

    def test_screen_reader_sees_and_presses_the_buttons(self):
        checker = os.path.join(os.path.dirname(os.path.abspath(__file__)), "atspi_check.py")
        result = subprocess.run([sys.executable, checker, "--app-pid", str(self.probe.process.pid), "--name-changes", "1",
                                 "--press", "Start"],
                                env=self.session.env(), capture_output=True, text=True, timeout=120)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        lines = result.stdout.splitlines()
        self.assertIn("button Start enabled", lines)
        self.assertIn("button Stop disabled", lines)
        # Hidden from screen readers: neither its button nor its label is read.
        self.assertFalse(any("Power" in line for line in lines), lines)
        self.assertTrue(any(line.startswith("text ") and "Probe" in line for line in lines), lines)
        # The live timer's second is made when the name is read, and announced once it has been.
        texts = [line for line in lines if line.startswith("text ") and "Probe" in line]
        changes = [line for line in lines if line.startswith("name ") and "Probe" in line]
        self.assertTrue(changes, lines)
        self.assertNotEqual(changes[-1][len("name "):], texts[0][len("text "):], lines)
        self.probe.expect("intent ProbeStartIntent")


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--probe", required=True)
    parser.add_argument("--output", required=True)
    ARGS, rest = parser.parse_known_args()
    # Screen readers talk over the session bus; the whole test gets one of its own.
    harness.run_on_private_bus("WIDGET_SURFACE_TEST_PRIVATE_BUS")
    unittest.main(argv=[sys.argv[0], "-v", *rest])


if __name__ == "__main__":
    main()
