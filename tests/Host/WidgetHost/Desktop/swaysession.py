"""A private headless Sway, for tests of layer-shell surfaces on a real Wayland compositor.

Sway refuses to run as root, which CI is: as root the compositor runs as "nobody" (setpriv, no
new account) with a runtime directory of its own owned by that account; clients that run as root
reach its socket by its full path. Input comes from a virtual pointer (wl-virtual-pointer, built
in tests/support), pictures from grim. One compositor per test file: starting one takes ~0.3 s,
but tests that share it must leave no surface behind.
"""
import json
import os
import shutil
import subprocess

from xsession import Compositor


class SwaySession(Compositor):
    def __init__(self, width=1280, height=720, scale=1, pointer_program=None):
        self.size = (width, height)
        self.initial_scale = scale
        self.pointer_program = pointer_program or os.path.join(os.environ.get("WIDGET_HOST_BIN_DIR", ""),
                                                               "wl-virtual-pointer")

    def __enter__(self):
        for tool in ("sway", "swaymsg", "grim"):
            if not shutil.which(tool):
                raise RuntimeError(f"{tool} is missing; scripts/setup --tests installs it")
        self._make_runtime("sway")
        config = os.path.join(self.runtime, "config")
        with open(config, "w") as f:
            f.write(f"output HEADLESS-1 resolution {self.size[0]}x{self.size[1]} scale {self.initial_scale}\n"
                    "xwayland disable\n"
                    "default_border none\n")
        env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": self.runtime, "XDG_RUNTIME_DIR": self.runtime,
               "WLR_BACKENDS": "headless", "WLR_LIBINPUT_NO_DEVICES": "1", "WLR_RENDERER": "pixman"}
        argv = ["sway", "-c", config]
        if os.geteuid() == 0:
            shutil.chown(self.runtime, "nobody", "nogroup")
            shutil.chown(config, "nobody", "nogroup")
            argv = ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"] + argv
        return self._launch(argv, env, self._serving)

    def _serving(self):
        names = os.listdir(self.runtime)
        sockets = [n for n in names if n.startswith("wayland-") and not n.endswith(".lock")]
        ipc = [n for n in names if n.startswith("sway-ipc.")]
        if not (sockets and ipc):
            return False
        self.wayland_display = os.path.join(self.runtime, sockets[0])
        self.swaysock = os.path.join(self.runtime, ipc[0])
        return self.swaymsg("-t", "get_version", check=False).returncode == 0

    def env(self, **extra):
        """The environment of a client on this compositor (the full socket path, no X server)."""
        env = dict(os.environ)
        env.pop("DISPLAY", None)
        env["WAYLAND_DISPLAY"] = self.wayland_display
        env.update(extra)
        return env

    def swaymsg(self, *args, check=True):
        return subprocess.run(["swaymsg", "-s", self.swaysock] + list(args), check=check, capture_output=True,
                              text=True, timeout=30)

    def outputs(self):
        return json.loads(self.swaymsg("-t", "get_outputs", "--raw").stdout)

    def set_scale(self, scale):
        self.swaymsg("output", "HEADLESS-1", "scale", str(scale))

    def logical_size(self):
        """The output layout's size in logical points (what pointer positions are measured in)."""
        rects = [o["rect"] for o in self.outputs() if o.get("active")]
        return (max(r["x"] + r["width"] for r in rects), max(r["y"] + r["height"] for r in rects))

    def pointer(self, *actions):
        """Runs pointer actions in one go (see wl-virtual-pointer): ("move", 10, 20), "down", ..."""
        argv = [self.pointer_program, "--extent", "%dx%d" % self.logical_size()]
        for action in actions:
            argv += [str(a) for a in action] if isinstance(action, tuple) else [action]
        subprocess.run(argv, env=self.env(), check=True, capture_output=True, text=True, timeout=60)

    def screenshot(self, path):
        """The whole output as a PNG, in output pixels (twice the points at scale 2)."""
        subprocess.run(["grim", str(path)], env=self.env(), check=True, capture_output=True, timeout=30)
