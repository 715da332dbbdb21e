"""A private X server with a window manager, for tests that need real windows.

Xvfb picks a free display number itself (-displayfd), so tests never collide on one. The window
manager sets the state (below, sticky, skip task bar) that the hints ask for; openbox unless a test
names another of WINDOW_MANAGERS, since each desktop honours a different part of the hints.
"""
import os
import shutil
import signal
import subprocess
import tempfile
import time


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


class Compositor:
    """A display server started in a runtime directory of its own, logging there; `_launch` waits
    until `ready()` says it serves, and the log explains a failure."""

    process = None
    runtime = None

    def _make_runtime(self, name):
        self.runtime = tempfile.mkdtemp(prefix=name + "-")
        os.chmod(self.runtime, 0o700)
        self.log_path = os.path.join(self.runtime, name + ".log")

    def _launch(self, argv, env, ready):
        self.log = open(self.log_path, "wb")
        self.process = subprocess.Popen(argv, env=env, stdout=self.log, stderr=subprocess.STDOUT,
                                        stdin=subprocess.DEVNULL)
        deadline = time.monotonic() + 15
        while time.monotonic() < deadline:
            if ready():
                return self
            if self.process.poll() is not None:
                break
            time.sleep(0.05)
        log = self.text()
        self.__exit__(None, None, None)
        raise RuntimeError(f"{argv[0]} did not start:\n" + log)

    def __exit__(self, *exc):
        if self.process:
            stop(self.process)
        if self.runtime:
            self.log.close()
            shutil.rmtree(self.runtime, ignore_errors=True)
            self.runtime = None
        return False

    def text(self):
        with open(self.log_path, errors="replace") as f:
            return f.read()

    def kill_server(self):
        """Ends the display server the hard way, as a crash does."""
        self.process.kill()
        self.process.wait()


class XSession(XClient):
    def __init__(self, width=1024, height=768, window_manager=True):
        self.size = (width, height)
        # True means openbox, the desktop the older tests were written for.
        self.window_manager = "openbox" if window_manager is True else window_manager
        self.processes = []
        self.display = None

    def __enter__(self):
        wm_argv = WINDOW_MANAGERS[self.window_manager] if self.window_manager else []
        for tool in ["Xvfb", "xprop", "xdotool"] + wm_argv[:1]:
            if not shutil.which(tool):
                raise RuntimeError(f"{tool} is missing; scripts/setup --tests installs it")
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
            self.wm_log = tempfile.NamedTemporaryFile(prefix=f"{self.window_manager}-", suffix=".log")
            wm = subprocess.Popen(wm_argv, env=self.env(), stdout=self.wm_log, stderr=subprocess.STDOUT,
                                  start_new_session=True)
            self.processes.append(wm)
            try:
                self._wait_for_window_manager()
            except Exception:
                self.__exit__(None, None, None)
                raise
        return self

    def kill_server(self):
        """Ends the X server the hard way, as a crash or a lost connection does."""
        self.processes[0].kill()
        self.processes[0].wait()

    def __exit__(self, *exc):
        for process in reversed(self.processes):
            stop(process, group=process.poll() is None and process.pid == os.getpgid(process.pid))
        return False

    def _wait_for_window_manager(self):
        deadline = time.monotonic() + 15
        while time.monotonic() < deadline:
            out = self.run("xprop", "-root", "_NET_SUPPORTING_WM_CHECK", check=False).stdout
            if "window id" in out:
                return
            time.sleep(0.1)
        raise RuntimeError(f"{self.window_manager} did not start")

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

    def desktop_window(self, normal=False):
        """A full-screen window of type _NET_WM_WINDOW_TYPE_DESKTOP, as a file manager's desktop is
        (an ordinary window with `normal`). Returns its X window id."""
        script = os.path.join(os.path.dirname(os.path.abspath(__file__)), "desktop_window.py")
        python = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else "python3"
        process = subprocess.Popen([python, script] + (["--normal"] if normal else []), env=self.env(),
                                   stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
        self.processes.append(process)
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            found = self.run("xdotool", "search", "--onlyvisible", "--name",
                             "^test window$" if normal else "^test desktop$", check=False).stdout
            if found.split():
                return int(found.split()[0])
            time.sleep(0.1)
        raise RuntimeError("the desktop window did not appear")
