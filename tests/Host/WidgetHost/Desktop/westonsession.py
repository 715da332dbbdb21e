"""A private headless weston with Xwayland: a Wayland desktop without layer-shell whose X11 window
manager honours few of the hints (no below, sticky, skip task bar or pager), for the X11 path of
the widgets on a weak window manager. Weston runs as root; Xwayland starts on the first X client.
"""
import os
import re
import shutil

from xsession import Compositor, XClient


class WestonSession(Compositor, XClient):
    def __init__(self, width=1280, height=720):
        self.size = (width, height)

    def __enter__(self):
        if not shutil.which("weston") or not shutil.which("Xwayland"):
            raise RuntimeError("weston or Xwayland is missing; scripts/setup --tests installs them")
        self._make_runtime("weston")
        env = dict(os.environ, XDG_RUNTIME_DIR=self.runtime)
        for name in ("DISPLAY", "WAYLAND_DISPLAY"):
            env.pop(name, None)
        self.wayland_display = os.path.join(self.runtime, "weston-test")
        return self._launch(["weston", "--backend=headless-backend.so", "--xwayland", "--socket=weston-test",
                             "--idle-time=0", f"--width={self.size[0]}", f"--height={self.size[1]}"], env, self._serving)

    def _serving(self):
        found = re.search(r"xserver listening on display (:\d+)", self.text())
        if found:
            self.display = found.group(1)
        return bool(found)
