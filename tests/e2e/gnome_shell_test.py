"""The widgets on the real GNOME Shell 43: a headless Wayland session whose XWayland shows them as
X11 windows, below its 32-pixel top bar (_NET_WORKAREA). The cases are in shell_cases.py; here also
a widget moved under the top bar stays inside the work area."""
from shell_cases import ShellCases, inside  # first: it puts the harness and the rigs on the path
import harness
from harness import wait_for
from shellsession import GnomeShellSession


class GnomeShellTest(ShellCases, harness.HostTestCase):
    session_class = GnomeShellSession
    name = "gnome-shell"

    def frame(self, widget_id):
        # The X window's real place: what the shell did with it, not what the host asked for.
        window = self.shell.wait(lambda: harness.x_windows(self.env, self.host.pid).get(widget_id),
                                 f"the window of widget {widget_id}")
        return harness.x_geometry(self.env, window)

    def test_a_widget_moved_under_the_top_bar_stays_in_the_work_area(self):
        widget_id = self.place_drawn(300, 300)
        self.ctl("move", widget_id, "24", "8", check=False)
        # Settled: the list says where the window is.
        frame = wait_for(lambda: self.frame(widget_id),
                         lambda f: list(f[:2]) == self.widget(widget_id)["position"] and list(f[:2]) != [300, 300])
        area = self.shell.work_area()
        self.facts.record("widgetctl move 24 8", {"window": frame, "work area": area})
        self.assertTrue(inside(frame, area), f"{frame} is not inside the work area {area}")


if __name__ == "__main__":
    harness.main()
