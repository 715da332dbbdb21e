"""The widgets on the real KWin 5.27: its virtual backend, the widgets as layer-shell surfaces,
input through the fake-input protocol. The cases are in shell_cases.py."""
from shell_cases import ShellCases  # first: it puts the harness and the rigs on the path
import harness
from shellsession import KWinSession


class KWinTest(ShellCases, harness.HostTestCase):
    session_class = KWinSession
    name = "kwin"

    def setUp(self):
        super().setUp()
        self.assertIn("wayland-layer-shell", self.host.text())


if __name__ == "__main__":
    harness.main()
