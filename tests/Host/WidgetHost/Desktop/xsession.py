"""A private X server with a window manager, for tests that need real windows.

Xvfb picks a free display number itself (-displayfd), so tests never collide on one, and openbox
sets the window-manager state (below, sticky, skip task bar) that the hints ask for.
"""
import os
import shutil
import subprocess
import time


class XSession:
    def __init__(self, width=1024, height=768, window_manager=True):
        self.size = (width, height)
        self.window_manager = window_manager
        self.processes = []
        self.display = None

    def __enter__(self):
        for tool in ("Xvfb", "openbox", "xprop", "xdotool"):
            if not shutil.which(tool):
                raise RuntimeError(f"{tool} is missing; scripts/setup installs it")
        read_end, write_end = os.pipe()
        xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", f"{self.size[0]}x{self.size[1]}x24",
             "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        self.processes.append(xvfb)
        number = b""
        with os.fdopen(read_end, "rb") as pipe:
            while not number.endswith(b"\n"):
                chunk = pipe.read(1)
                if not chunk:
                    raise RuntimeError("Xvfb did not start")
                number += chunk
        self.display = ":" + number.decode().strip()
        if self.window_manager:
            wm = subprocess.Popen(["openbox", "--sm-disable"], env=self.env(), stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL)
            self.processes.append(wm)
            self._wait_for_window_manager()
        return self

    def __exit__(self, *exc):
        for process in reversed(self.processes):
            process.terminate()
            try:
                process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
        return False

    def env(self, **extra):
        env = dict(os.environ)
        env.pop("WAYLAND_DISPLAY", None)
        env["DISPLAY"] = self.display
        env.update(extra)
        return env

    def run(self, *args, check=True):
        return subprocess.run(list(args), env=self.env(), check=check, capture_output=True, text=True, timeout=30)

    def _wait_for_window_manager(self):
        deadline = time.monotonic() + 15
        while time.monotonic() < deadline:
            out = self.run("xprop", "-root", "_NET_SUPPORTING_WM_CHECK", check=False).stdout
            if "window id" in out:
                return
            time.sleep(0.1)
        raise RuntimeError("openbox did not start")

    def screenshot(self, path):
        """The whole screen as a PNG, for people to look at."""
        self.run("import", "-window", "root", str(path))
