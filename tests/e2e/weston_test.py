"""The widgets as X11 windows on weston's Xwayland, a window manager that honours none of below,
sticky, skip task bar or skip pager: widgets placed without a position must not overlap, and a
move the window manager did not carry out must not be reported as done.

With WIDGET_HOST_DESKTOP_FACTS=DIR the cases write what they saw to DIR/weston.json."""
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "Host", "WidgetHost", "Desktop"))
import harness  # noqa: E402
from harness import wait_for, wait_until  # noqa: E402
from westonsession import WestonSession  # noqa: E402


def overlap(a, b):
    return a[0] < b[0] + b[2] and b[0] < a[0] + a[2] and a[1] < b[1] + b[3] and b[1] < a[1] + a[3]


class WestonTest(harness.HostTestCase):
    @classmethod
    def setUpClass(cls):
        cls.weston = WestonSession().__enter__()
        cls.facts = harness.DesktopFacts("weston")

    @classmethod
    def tearDownClass(cls):
        cls.weston.__exit__(None, None, None)

    def setUp(self):
        super().setUp()
        self.start_host_on("DISPLAY", self.weston.display)
        self.first = self.place("TimerWidget", "medium")
        self.second = self.place("TimerWidget", "medium")
        wait_until(lambda: len(self.windows()) == 2, what="two windows")

    def windows(self):
        return harness.x_windows(self.env, self.host.pid)

    def geometry(self, widget_id):
        return harness.x_geometry(self.env, self.windows()[widget_id])

    def test_widgets_placed_without_a_position_do_not_overlap(self):
        supported = self.weston.supported()
        self.facts.record("supported", {name: name in supported for name in (
            "WM_STATE_BELOW", "WM_STATE_STICKY", "WM_STATE_SKIP_TASKBAR", "WM_STATE_SKIP_PAGER")})
        # Where the window manager put them, once the host's list says the same.
        first, second = wait_for(lambda: (self.geometry(self.first), self.geometry(self.second)), lambda g: [
            list(g[0][:2]), list(g[1][:2])] == [self.widget(self.first)["position"], self.widget(self.second)["position"]])
        said = [line for line in self.host.text().splitlines() if "window manager" in line]
        self.facts.record("two widgets placed without a position", {"first": first, "second": second, "log": said})
        self.assertFalse(overlap(first, second), (first, second))
        self.assertEqual([list(first[:2]), list(second[:2])],
                         [self.widget(self.first)["position"], self.widget(self.second)["position"]])
        self.assertEqual(len(said), 1, said)  # once, however many widgets
        self.assertIn("keep below other windows", said[0])

    def test_a_move_that_did_not_happen_is_not_reported(self):
        moved = self.ctl("move", self.first, "500", "400", check=False)
        # Settled: the list says where the window is, and that is where it was asked to go unless
        # the move was refused.
        real, listed = wait_for(lambda: (list(self.geometry(self.first)[:2]), self.widget(self.first)["position"]),
                                lambda p: p[0] == p[1] and (moved.returncode != 0 or p[0] == [500, 400]))
        self.facts.record("widgetctl move 500 400", {"exit status": moved.returncode, "listed": listed,
                                                     "real window position": real})
        self.assertEqual(listed, real)
        self.assertTrue(moved.returncode != 0 or real == [500, 400])


if __name__ == "__main__":
    harness.main()
