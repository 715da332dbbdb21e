"""A private X server with a window manager, for tests that need real windows.

Xvfb picks a free display number itself (-displayfd), so tests never collide on one. The window
manager sets the state (below, sticky, skip task bar) that the hints ask for; openbox unless a test
names another of WINDOW_MANAGERS, since each desktop honours a different part of the hints.
"""
import os
import shutil
import signal
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "e2e"))
from harness import wait_until  # noqa: E402


# How each window manager runs on a bare X server: no session manager, no compositor where that
# is a choice (Xvfb has no GL), replacing nothing since the server is new.
WINDOW_MANAGERS = {
    "openbox": ["openbox", "--sm-disable"],
    # xfwm4 reads its settings through xfconfd, which needs a session bus: one of its own, so it
    # never meets the names a test owns.
    "xfwm4": ["dbus-run-session", "--", "xfwm4", "--compositor=off", "--sm-client-disable"],
    "metacity": ["metacity", "--sm-disable", "--no-composite"],
    "mutter": ["mutter", "--x11", "--replace", "--sm-disable"],
}


def stop(process, group=False):
    """Ends a helper process (and the processes it started, with `group`), killing it if it lingers."""
    if process.poll() is not None:
        return
    if group:
        os.killpg(process.pid, signal.SIGTERM)
    else:
        process.terminate()
    try:
        process.wait(timeout=5)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


class XClient:
    """What a test does on an X display (`self.display`): run X tools and read the window manager."""

    def env(self, **extra):
        env = dict(os.environ)
        env.pop("WAYLAND_DISPLAY", None)
        env["DISPLAY"] = self.display
        env.update(extra)
        return env

    def run(self, *args, check=True):
        return subprocess.run(list(args), env=self.env(), check=check, capture_output=True, text=True, timeout=30)

    def supported(self):
        """The atoms the window manager lists in _NET_SUPPORTED, without the prefix "_NET_"."""
        out = self.run("xprop", "-root", "_NET_SUPPORTED", check=False).stdout
        return {atom.strip().removeprefix("_NET_") for atom in out.partition("=")[2].split(",") if atom.strip()}


class Helpers:
    """The programs a display session starts, each logging to a file of its own in the session's
    directory, so that a failure shows what they said."""

    runtime = None
    processes = ()
    log_paths = ()

    def _make_runtime(self, name):
        self.name = name
        self.runtime = tempfile.mkdtemp(prefix=name + "-")
        os.chmod(self.runtime, 0o700)
        self.processes = []
        self.log_paths = []

    def _start(self, name, argv, env, **options):
        path = os.path.join(self.runtime, name + ".log")
        with open(path, "ab") as log:
            process = subprocess.Popen(argv, env=env, stdout=log, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL,
                                       **options)
        self.processes.append(process)
        self.log_paths.append(path)
        return process

    def text(self):
        """Every helper's log, each under its name."""
        parts = []
        for path in self.log_paths:
            with open(path, errors="replace") as f:
                parts.append(f"----- {os.path.basename(path)} -----\n{f.read()}")
        return "\n".join(parts)

    def wait(self, ready, what, timeout=30):
        """Waits until `ready()` says yes; fails with the helpers' logs otherwise."""
        try:
            return wait_until(ready, timeout, what)
        except AssertionError as failure:
            raise AssertionError(f"{failure}\n{self.text()}") from None

    def _wait_at_start(self, ready, what, timeout=30):
        try:
            self.wait(ready, what, timeout)
        except AssertionError:
            self.__exit__(None, None, None)
            raise

    def __exit__(self, *exc):
        for process in reversed(self.processes):
            stop(process, group=process.poll() is None and process.pid == os.getpgid(process.pid))
        if self.runtime:
            shutil.rmtree(self.runtime, ignore_errors=True)
            self.runtime = None
        return False


class Compositor(Helpers):
    """A display server started in a runtime directory of its own; `_launch` waits until `ready()`
    says it serves."""

    def _launch(self, argv, env, ready, timeout=30, **options):
        server = self._start(self.name, argv, env, **options)
        self._wait_at_start(lambda: ready() or server.poll() is not None, f"{self.name} to serve", timeout)
        if server.poll() is not None:
            log = self.text()
            self.__exit__(None, None, None)
            raise AssertionError(f"{self.name} ended at start:\n{log}")
        self.server = server
        return self

    def kill_server(self):
        """Ends the display server the hard way, as a crash does."""
        self.server.kill()
        self.server.wait()


class XSession(XClient, Helpers):
    def __init__(self, width=1024, height=768, window_manager=True):
        self.size = (width, height)
        # True means openbox, the desktop the older tests were written for.
        self.window_manager = "openbox" if window_manager is True else window_manager
        self.display = None

    def __enter__(self):
        wm_argv = WINDOW_MANAGERS[self.window_manager] if self.window_manager else []
        for tool in ["Xvfb", "xprop", "xdotool"] + wm_argv[:1]:
            if not shutil.which(tool):
                raise RuntimeError(f"{tool} is missing; scripts/setup --tests installs it")
        self._make_runtime("xsession")
        read_end, write_end = os.pipe()
        self._start("Xvfb", ["Xvfb", "-displayfd", str(write_end), "-screen", "0", f"{self.size[0]}x{self.size[1]}x24",
                             "-nolisten", "tcp", "-noreset"], None, pass_fds=(write_end,))
        os.close(write_end)
        with os.fdopen(read_end, "rb") as pipe:
            number = pipe.readline()
        if not number.endswith(b"\n"):
            log = self.text()
            self.__exit__(None, None, None)
            raise RuntimeError("Xvfb did not start:\n" + log)
        self.display = ":" + number.decode().strip()
        if self.window_manager:
            self._start(self.window_manager, wm_argv, self.env(), start_new_session=True)
            self._wait_at_start(lambda: "window id" in self.run("xprop", "-root", "_NET_SUPPORTING_WM_CHECK",
                                                                  check=False).stdout,
                                f"{self.window_manager} to manage the screen")
        return self

    def kill_server(self):
        """Ends the X server the hard way, as a crash or a lost connection does."""
        self.processes[0].kill()
        self.processes[0].wait()

    def screenshot(self, path):
        """The whole screen as a PNG, for people to look at."""
        self.run("import", "-window", "root", str(path))

    # Window-manager helpers -------------------------------------------------------------------

    def show_desktop(self, on=True):
        self.run("wmctrl", "-k", "on" if on else "off")

    def close(self, window):
        """Asks the window manager to close the window, as its close button does."""
        self.run("wmctrl", "-i", "-c", str(window))

    def properties(self, window, *names):
        return self.run("xprop", "-id", str(window), *names, check=False).stdout

    def state(self, window):
        """The window's _NET_WM_STATE atoms and whether it is mapped (viewable)."""
        line = self.properties(window, "_NET_WM_STATE")
        atoms = {a.strip().removeprefix("_NET_WM_STATE_") for a in line.partition("=")[2].split(",") if a.strip()}
        viewable = "IsViewable" in self.run("xwininfo", "-id", str(window), check=False).stdout
        return atoms, viewable

    def desktop_window(self, normal=False, panel=False):
        """A full-screen window of type _NET_WM_WINDOW_TYPE_DESKTOP, as a file manager's desktop is
        (an ordinary window with `normal`, a 32-pixel dock across the top with `panel`). Returns its
        X window id."""
        script = os.path.join(os.path.dirname(os.path.abspath(__file__)), "desktop_window.py")
        name = "test window" if normal else "test panel" if panel else "test desktop"
        flags = ["--normal"] if normal else ["--panel"] if panel else []
        helper = self._start(name.replace(" ", "-"), [sys.executable, script] + flags, self.env())
        found = self.wait(lambda: helper.poll() is not None or self.run(
            "xdotool", "search", "--onlyvisible", "--name", f"^{name}$", check=False).stdout.split(), f"the {name} to appear")
        if helper.poll() is not None:
            raise AssertionError(f"the {name} ended at start:\n{self.text()}")
        return int(found[0])
