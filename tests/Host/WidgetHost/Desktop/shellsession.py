"""The real GNOME Shell 43 and KWin 5.27, headless, each with a session bus of its own, for the
desktop tests and for the screenshots in docs/desktops (scripts/desktop-screenshots).

GNOME Shell runs as a headless Wayland session; the widgets reach it as X11 clients through its
XWayland (it has no layer-shell). KWin runs on its virtual backend; the widgets are layer-shell
surfaces there. Clients of either get `env()`; `bus` is the shell's session bus, where the widget
host belongs too, so that what the shell starts (the gallery from the app grid) finds it.

Each shell runs in a process group of its own that is ended whole: a shell or its XWayland left
running made the next one hang at start.
"""
import glob
import os
import re
import shutil
import signal
import subprocess
import sys
import threading
import time

import gi

from xsession import Compositor, XClient

gi.require_version("Gio", "2.0")
gi.require_version("GLib", "2.0")
from gi.repository import Gio, GLib  # noqa: E402

# Clients of the shells: not the caller's own display, bus or runtime directory.
_CLIENT_ONLY = ("DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY", "DBUS_SESSION_BUS_ADDRESS")


class ShellSession(Compositor):
    """What both shells share: a runtime directory, a session bus whose address the shell's own
    dbus-run-session writes to a file, and an end that takes the whole process group."""

    def __init__(self, width=1280, height=800, data_dirs=()):
        self.size = (width, height)
        # Directories put before /usr/share in the shell's XDG_DATA_DIRS (desktop entries, icons).
        self.data_dirs = list(data_dirs)
        self.bus = None
        self._connection = None

    def _shell_env(self, **extra):
        home = os.path.join(self.runtime, "home")
        os.makedirs(home, exist_ok=True)
        env = {name: value for name, value in os.environ.items() if name not in _CLIENT_ONLY}
        env.update(HOME=home, XDG_RUNTIME_DIR=self.runtime, XDG_CONFIG_HOME=os.path.join(home, ".config"),
                   XDG_DATA_HOME=os.path.join(home, ".local", "share"),
                   XDG_DATA_DIRS=":".join(self.data_dirs + ["/usr/local/share", "/usr/share"]))
        env.update(extra)
        return env

    def _bus_wrapped(self, argv):
        """argv run on a session bus of its own, whose address lands in <runtime>/bus."""
        record = 'printf %s "$DBUS_SESSION_BUS_ADDRESS" > "$0.tmp" && mv "$0.tmp" "$0" && shift && exec "$@"'
        return ["dbus-run-session", "--", "sh", "-c", record, os.path.join(self.runtime, "bus"), "-"] + argv

    def _read_bus(self):
        try:
            with open(os.path.join(self.runtime, "bus")) as f:
                self.bus = f.read().strip() or None
        except OSError:
            self.bus = None
        return self.bus

    def connection(self):
        """A Gio connection to the shell's bus, kept for the session."""
        if self._connection is None:
            flags = Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION
            self._connection = Gio.DBusConnection.new_for_address_sync(self.bus, flags, None, None)
        return self._connection

    def __exit__(self, *exc):
        if self._connection is not None:
            self._connection.close_sync(None)
            self._connection = None
        # The whole group, shell, XWayland, bus and all; what ignores SIGTERM is killed.
        for process in self.processes:
            try:
                os.killpg(process.pid, signal.SIGTERM)
            except ProcessLookupError:
                continue
        deadline = time.monotonic() + 5
        for process in self.processes:
            try:
                process.wait(max(0.1, deadline - time.monotonic()))
            except subprocess.TimeoutExpired:
                pass
            try:
                os.killpg(process.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            process.wait()
        return super().__exit__(*exc)


class GnomeShellSession(ShellSession, XClient):
    """gnome-shell --headless --wayland with one virtual monitor, out of the overview. Without
    logind: a private mount namespace with a tmpfs over /run/systemd makes it use its own login
    manager, and a private bus plays the system bus."""

    def __enter__(self):
        if os.geteuid() != 0:
            raise PermissionError("GNOME Shell's rig runs as root: it mounts over /run/systemd in a namespace of its own")
        for tool in ("gnome-shell", "Xwayland", "unshare", "dbus-daemon", "gdbus", "xprop"):
            if not shutil.which(tool):
                raise RuntimeError(f"{tool} is missing; scripts/setup --tests installs it")
        # Mutter refuses to start XWayland unless everyone may make sockets here.
        os.makedirs("/tmp/.X11-unix", exist_ok=True)
        os.chmod("/tmp/.X11-unix", 0o1777)
        # Now and then a start stops short of XWayland (its log ends before XWayland says a word)
        # and never goes on; such a session is ended whole and started again.
        for attempt in range(3):
            try:
                return self._start_shell(timeout=60)
            except AssertionError as failure:
                if attempt == 2:
                    raise
                sys.stderr.write(f"gnome-shell did not start; starting it again ({str(failure).splitlines()[0]})\n")

    def _start_shell(self, timeout):
        self._make_runtime("gnome-shell")
        system_bus = os.path.join(self.runtime, "system_bus_socket")
        self._start("system-bus", ["dbus-daemon", "--session", "--nofork", "--address=unix:path=" + system_bus],
                    self._shell_env(), start_new_session=True)
        self._wait_at_start(lambda: os.path.exists(system_bus), "the private system bus")
        env = self._shell_env(DBUS_SYSTEM_BUS_ADDRESS="unix:path=" + system_bus, XDG_SESSION_TYPE="wayland",
                              XDG_CURRENT_DESKTOP="GNOME", GSETTINGS_BACKEND="memory")
        shell = self._bus_wrapped(["gnome-shell", "--headless", "--wayland", "--virtual-monitor",
                                   "%dx%d" % self.size])
        hide = 'if [ -d /run/systemd ]; then mount -t tmpfs none /run/systemd || exit 1; fi; exec "$@"'
        # 2-4 s on an idle machine; much longer on a busy one.
        self._launch(["unshare", "-m", "sh", "-c", hide, "-"] + shell, env, self._serving, timeout=timeout,
                     start_new_session=True)
        self._wait_at_start(self._out_of_overview, "the shell to leave the overview")
        return self

    def _serving(self):
        log = self.text()
        display = re.search(r"Using public X11 display (:\d+)", log)
        if not ("GNOME Shell started at" in log and display and self._read_bus()):
            return False
        self.display = display.group(1)
        return True

    def _out_of_overview(self):
        self.shell_call("org.freedesktop.DBus.Properties.Set", "org.gnome.Shell", "OverviewActive", "<false>")
        return "false" in self.shell_call("org.freedesktop.DBus.Properties.Get", "org.gnome.Shell", "OverviewActive")

    def shell_call(self, method, *args):
        """Calls a method on org.gnome.Shell's /org/gnome/Shell; its output, empty when it failed."""
        argv = ["gdbus", "call", "--session", "--dest", "org.gnome.Shell", "--object-path", "/org/gnome/Shell",
                "--method", method] + list(args)
        result = subprocess.run(argv, env=self.env(), capture_output=True, text=True, timeout=30)
        return result.stdout if result.returncode == 0 else ""

    def env(self, **extra):
        """A client of the shell as a GNOME session starts one: Wayland and the shell's XWayland both
        offered, on the shell's bus."""
        env = {name: value for name, value in os.environ.items() if name not in _CLIENT_ONLY}
        env.update(DISPLAY=self.display, WAYLAND_DISPLAY=os.path.join(self.runtime, "wayland-0"),
                   DBUS_SESSION_BUS_ADDRESS=self.bus, XDG_CURRENT_DESKTOP="GNOME")
        auth = glob.glob(os.path.join(self.runtime, ".mutter-Xwaylandauth.*"))
        if auth:
            env["XAUTHORITY"] = auth[0]
        env.update(extra)
        return env

    def work_area(self):
        """_NET_WORKAREA of the first desktop: (x, y, width, height)."""
        out = self.run("xprop", "-root", "_NET_WORKAREA", check=False).stdout
        values = [int(v) for v in re.findall(r"\d+", out.partition("=")[2])]
        return tuple(values[:4]) if len(values) >= 4 else None

    def _call_as(self, name, path, interface, method, args):
        """Calls the shell as the owner of `name`: some of its methods answer only a few
        well-known names."""
        bus = self.connection()
        owned = bus.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
                              GLib.Variant("(su)", (name, 0)), None, Gio.DBusCallFlags.NONE, 30000, None).unpack()[0]
        if owned not in (1, 4):  # primary owner, or already
            raise RuntimeError(f"cannot own {name} ({owned})")
        # The shell owns a bus name for each interface, named after it.
        return bus.call_sync(interface, path, interface, method, args, None, Gio.DBusCallFlags.NONE, 30000,
                             None).unpack()

    def show_applications(self):
        """Opens the app grid, as the dash's button does."""
        self._call_as("org.gnome.SettingsDaemon.MediaKeys", "/org/gnome/Shell", "org.gnome.Shell", "ShowApplications",
                      None)

    def screenshot(self, path):
        """The whole screen as a PNG, top bar included."""
        done, _ = self._call_as("org.gnome.Screenshot", "/org/gnome/Shell/Screenshot", "org.gnome.Shell.Screenshot",
                                "Screenshot", GLib.Variant("(bbs)", (False, False, os.path.abspath(str(path)))))
        if not done:
            raise RuntimeError("the shell took no screenshot")

    def pointer(self, *actions):
        """Pointer and keys through XTEST: ("move", x, y), "click", "right-click", ("key", "Down")."""
        argv = ["xdotool"]
        for action in actions:
            if isinstance(action, tuple) and action[0] == "move":
                argv += ["mousemove", "--sync", str(action[1]), str(action[2])]
            elif isinstance(action, tuple) and action[0] == "key":
                argv += ["key", action[1]]
            else:
                argv += ["click", {"click": "1", "right-click": "3"}[action]]
        self.run(*argv)


class KWinSession(ShellSession):
    """kwin_wayland --virtual with XWayland. The installed program carries a file capability this
    container may not grant, so a copy runs; it must keep its name for its Qt platform plugin. Input
    comes through the fake-input protocol (wl-fake-input), offered without permission checks."""

    socket = "wayland-kw"

    def __init__(self, width=1280, height=800, data_dirs=(), input_program=None):
        super().__init__(width, height, data_dirs)
        self.input_program = input_program or os.path.join(os.environ.get("WIDGET_HOST_BIN_DIR", ""), "wl-fake-input")

    def __enter__(self):
        program = shutil.which("kwin_wayland")
        if not program:
            raise RuntimeError("kwin_wayland is missing; scripts/setup --tests installs it")
        self._make_runtime("kwin")
        copy = os.path.join(self.runtime, "bin", "kwin_wayland")
        os.makedirs(os.path.dirname(copy))
        shutil.copy(program, copy)
        env = self._shell_env(QT_QPA_PLATFORM="wayland-org.kde.kwin.qpa", KWIN_WAYLAND_NO_PERMISSION_CHECKS="1",
                              KWIN_SCREENSHOT_NO_PERMISSION_CHECKS="1", XDG_CURRENT_DESKTOP="KDE")
        self.wayland_display = os.path.join(self.runtime, self.socket)
        argv = self._bus_wrapped([copy, "--virtual", "--xwayland", "--width", str(self.size[0]), "--height",
                                  str(self.size[1]), "--socket", self.socket])
        return self._launch(argv, env, lambda: os.path.exists(self.wayland_display) and self._read_bus()
                            and self._has_screenshots(), start_new_session=True)

    def _has_screenshots(self):
        argv = ["gdbus", "introspect", "--session", "--dest", "org.kde.KWin", "--object-path", "/org/kde/KWin/ScreenShot2"]
        return "CaptureWorkspace" in subprocess.run(argv, env=self.env(), capture_output=True, text=True,
                                                    timeout=30).stdout

    def env(self, **extra):
        """A Wayland client of KWin (the socket's full path), on KWin's bus."""
        env = {name: value for name, value in os.environ.items() if name not in _CLIENT_ONLY}
        env.update(WAYLAND_DISPLAY=self.wayland_display, DBUS_SESSION_BUS_ADDRESS=self.bus, XDG_CURRENT_DESKTOP="KDE")
        env.update(extra)
        return env

    def work_area(self):
        """The virtual output: it has no panels."""
        return (0, 0) + self.size

    def pointer(self, *actions):
        """Runs pointer and key actions in one go (see wl-fake-input)."""
        argv = [self.input_program]
        for action in actions:
            argv += [str(a) for a in action] if isinstance(action, tuple) else [action]
        subprocess.run(argv, env=self.env(), check=True, capture_output=True, text=True, timeout=60)

    def screenshot(self, path):
        """The workspace as a PNG. KWin writes the image into a pipe whose write end the call's fd
        list keeps open, so exactly stride × height bytes are read, never up to end of file."""
        read_end, write_end = os.pipe()
        fds = Gio.UnixFDList.new()
        fds.append(write_end)
        os.close(write_end)
        data = bytearray()

        def drain():
            while True:
                chunk = os.read(read_end, 1 << 20)
                if not chunk:
                    return
                data.extend(chunk)
        reader = threading.Thread(target=drain, daemon=True)
        reader.start()
        try:
            reply, _ = self.connection().call_with_unix_fd_list_sync(
                "org.kde.KWin", "/org/kde/KWin/ScreenShot2", "org.kde.KWin.ScreenShot2", "CaptureWorkspace",
                GLib.Variant("(a{sv}h)", ({}, 0)), GLib.VariantType("(a{sv})"), Gio.DBusCallFlags.NONE, 30000, fds, None)
            info = reply.unpack()[0]
            width, height, stride = int(info["width"]), int(info["height"]), int(info["stride"])
            deadline = time.monotonic() + 30
            while len(data) < stride * height and time.monotonic() < deadline and reader.is_alive():
                time.sleep(0.02)
            if len(data) < stride * height:
                raise RuntimeError(f"KWin sent {len(data)} of {stride * height} bytes")
        finally:
            # Without our copy of the write end the reader meets the end of the pipe once KWin
            # closes its own.
            fds = None
            reader.join(5)
            if not reader.is_alive():
                os.close(read_end)
        rows = b"".join(bytes(data[row * stride:row * stride + width * 4]) for row in range(height))
        converted = subprocess.run(["convert", "-size", f"{width}x{height}", "-depth", "8", "bgra:-", str(path)],
                                   input=rows, capture_output=True, timeout=60)
        if converted.returncode != 0:
            raise RuntimeError(f"convert failed: {converted.stderr.decode(errors='replace')}")
