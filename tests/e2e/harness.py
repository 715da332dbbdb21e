"""Shared pieces of the end-to-end tests: a private session bus, temporary home directories,
the widget host and its control tool, waiting for conditions, and the logs printed on failure."""
import atexit
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

BUS_MARK = "WIDGET_HOST_E2E_PRIVATE_BUS"


def run_on_private_bus(mark=BUS_MARK):
    """Re-runs this script inside a session bus of its own: the tests own well-known names. The
    bus's services (the accessibility bus above all) get a runtime directory of their own too, since
    an accessibility bus left over from an earlier test removes its socket on its way out."""
    if os.environ.get(mark) == "1":
        runtime = os.environ.get("XDG_RUNTIME_DIR", "")
        if os.path.basename(runtime).startswith("widget-host-bus-"):
            atexit.register(shutil.rmtree, runtime, True)
        return
    env = dict(os.environ, **{mark: "1", "XDG_RUNTIME_DIR": tempfile.mkdtemp(prefix="widget-host-bus-")})
    os.execvpe("dbus-run-session", ["dbus-run-session", "--", sys.executable] + sys.argv, env)


def wait_until(predicate, timeout=30.0, what=None):
    """Polls until `predicate` returns something truthy and returns it. After `timeout` seconds it
    fails the test saying what it waited for, or returns None when no `what` is given (for
    conditions a test only records). Deadlines are generous: the machine may be busy."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            if what:
                raise AssertionError("waited %g s in vain for %s" % (timeout, what))
            return None
        time.sleep(0.05)


def wait_for(read, good, timeout=30.0, what=None):
    """Reads `read()` until `good` says yes of what it read, and returns the last reading; fails
    naming `what` when the deadline passes first, if given, so that a test can record it otherwise."""
    last = []

    def check():
        last.append(read())
        return good(last[-1])
    wait_until(check, timeout, what)
    return last[-1]


class Process:
    """A background program whose standard output and error go to a log file."""

    def __init__(self, name, argv, env, log_path):
        self.name = name
        self.log_path = log_path
        self.log = open(log_path, "ab")
        self.popen = subprocess.Popen(argv, env=env, stdout=self.log, stderr=subprocess.STDOUT,
                                      stdin=subprocess.DEVNULL)

    @property
    def pid(self):
        return self.popen.pid

    def running(self):
        return self.popen.poll() is None

    def stop(self, sig=signal.SIGTERM, timeout=10):
        if self.running():
            self.popen.send_signal(sig)
            try:
                self.popen.wait(timeout)
            except subprocess.TimeoutExpired:
                self.popen.kill()
                self.popen.wait()
        self.log.close()
        return self.popen.returncode

    def text(self):
        try:
            with open(self.log_path, "r", errors="replace") as f:
                return f.read()
        except OSError:
            return ""


class HostTestCase(unittest.TestCase):
    """Each test gets its own directories, its own widget host, and the logs when it fails."""

    bin_dir = os.environ.get("WIDGET_HOST_BIN_DIR", "")
    extensions_dir = None  # set by subclasses or tests

    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="widget-host-e2e-")
        self.env = dict(os.environ)
        # Pictures, not windows, unless a test brings a display of its own; and the appearance of
        # no particular desktop.
        for name in ("DISPLAY", "WAYLAND_DISPLAY"):
            self.env.pop(name, None)
        self.env["GSETTINGS_BACKEND"] = "memory"
        for name, sub in (("XDG_DATA_HOME", "data"), ("XDG_CONFIG_HOME", "config"),
                          ("XDG_CACHE_HOME", "cache"), ("XDG_RUNTIME_DIR", "run"), ("HOME", "home")):
            path = os.path.join(self.root, sub)
            os.makedirs(path, mode=0o700)
            self.env[name] = path
        self.env["XDG_DATA_DIRS"] = os.path.join(self.root, "share")
        self.opened = os.path.join(self.root, "opened-links")
        opener = os.path.join(self.root, "opener")
        with open(opener, "w") as f:
            f.write("#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + self.opened + "'\n")
        os.chmod(opener, 0o755)
        self.env["WIDGET_HOST_URL_OPENER"] = opener
        self.processes = []
        self.host = None

    def tearDown(self):
        for process in reversed(self.processes):
            process.stop()

    def run(self, result=None):
        # Print every log of a failed test, so that a failure explains itself; the directory with
        # the logs goes only afterwards.
        failures = len(result.failures) + len(result.errors) if result else 0
        outcome = super().run(result)
        if result and len(result.failures) + len(result.errors) > failures:
            for process in getattr(self, "processes", []):
                sys.stderr.write("\n----- log of %s -----\n%s\n" % (process.name, process.text()))
        if getattr(self, "root", None):
            shutil.rmtree(self.root, ignore_errors=True)
        return outcome

    # Processes -----------------------------------------------------------------------------

    def program(self, name):
        return os.path.join(self.bin_dir, name)

    def start(self, name, argv, log_name=None, desktop_data=False):
        """`desktop_data`: the system's data directories too, where GTK finds the MIME database that
        its window buttons' icons need."""
        env = dict(self.env, XDG_DATA_DIRS=self.env["XDG_DATA_DIRS"] + ":/usr/share") if desktop_data else self.env
        process = Process(name, argv, env, os.path.join(self.root, (log_name or name) + ".log"))
        self.processes.append(process)
        return process

    def start_host_on(self, variable, display, *extra):
        """Starts the host with the built extensions on a display (DISPLAY or WAYLAND_DISPLAY)."""
        self.extensions_dir = self.bin_dir
        self.env[variable] = display
        self.start_host(*extra)

    def start_host(self, *extra):
        argv = [self.program("widget-host"), "--extensions-dir", self.extensions_dir] + list(extra)
        self.host = self.start("widget-host", argv)
        wait_until(lambda: self.ctl("list", check=False).returncode == 0 or not self.host.running(),
                   what="the widget host to answer")
        self.assertTrue(self.host.running(), "the widget host ended at start")
        return self.host

    def stop_host(self):
        code = self.host.stop()
        self.processes.remove(self.host)
        self.host = None
        return code

    def extension_pids(self):
        if not self.host:
            return []
        out = subprocess.run(["pgrep", "-P", str(self.host.pid)], capture_output=True, text=True).stdout
        return [int(pid) for pid in out.split()]

    # widgetctl -----------------------------------------------------------------------------

    def ctl(self, *args, check=True):
        result = subprocess.run([self.program("widgetctl")] + list(args), env=self.env, capture_output=True,
                                text=True, timeout=60)
        if check and result.returncode != 0:
            self.fail("widgetctl %s failed (%d): %s" % (" ".join(args), result.returncode, result.stderr))
        return result

    def widgets(self):
        return {w["id"]: w for w in json.loads(self.ctl("list", "--json").stdout)}

    def widget(self, widget_id):
        return self.widgets().get(widget_id)

    def place(self, kind, family):
        return self.ctl("place", kind, "--family", family).stdout.strip()

    def place_at(self, kind, family, x, y):
        return self.ctl("place", kind, "--family", family, "--x", str(x), "--y", str(y)).stdout.strip()

    def wait_for_widget(self, widget_id, predicate, what, timeout=30.0):
        """Waits until the widget's details satisfy `predicate`; fails naming `what` otherwise."""
        found = wait_until(lambda: (lambda w: w if w and predicate(w) else None)(self.widget(widget_id)), timeout)
        if not found:
            self.fail("widget %s never %s; last seen: %s" % (widget_id, what, json.dumps(self.widget(widget_id))))
        return found

    # The bus -------------------------------------------------------------------------------

    def bus_call(self, interface, method, signature="", *args):
        """Calls a host method with gdbus; returns (ok, output or error name and message)."""
        argv = ["gdbus", "call", "--session", "--dest", "net.widgethost.Host1", "--object-path",
                "/net/widgethost/Host1", "--method", interface + "." + method] + [str(a) for a in args]
        result = subprocess.run(argv, env=self.env, capture_output=True, text=True, timeout=30)
        return result.returncode == 0, (result.stdout if result.returncode == 0 else result.stderr)


class BusSignals:
    """The names of the signals sent from an object path on the session bus, from the moment this
    is made: it returns only once the bus has its match rule."""

    def __init__(self, path):
        import gi
        gi.require_version("Gio", "2.0")
        gi.require_version("GLib", "2.0")
        from gi.repository import Gio, GLib
        self.context = GLib.MainContext.default()
        self.seen = []
        # Kept: the connection lives only as long as someone holds it.
        self.bus = Gio.bus_get_sync(Gio.BusType.SESSION)
        self.bus.signal_subscribe(None, None, None, path, None, Gio.DBusSignalFlags.NONE,
                                  lambda _bus, _sender, _path, _interface, name, _args: self.seen.append(name))
        # The bus handles a connection's messages in order: once it answers, the match is in place.
        self.bus.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "GetId", None, None,
                           Gio.DBusCallFlags.NONE, -1, None)

    def names(self):
        while self.context.iteration(False):
            pass
        return self.seen


class DesktopFacts:
    """What a desktop did, written to $WIDGET_HOST_DESKTOP_FACTS/<name>.json when that is set: the
    desktop tests record before they assert, so a run documents the desktop even where it fails."""

    def __init__(self, name):
        self.directory = os.environ.get("WIDGET_HOST_DESKTOP_FACTS", "")
        self.path = os.path.join(self.directory, name + ".json") if self.directory else ""
        self.facts = {}

    def record(self, key, value):
        self.facts[key] = value
        if self.path:
            os.makedirs(self.directory, exist_ok=True)
            with open(self.path, "w") as f:
                json.dump(self.facts, f, indent=1, sort_keys=True)

    def picture(self, name):
        """Where a screenshot for people goes, or None when nothing is recorded."""
        return os.path.join(self.directory, name + ".png") if self.directory else None


def known_fault(reason, desktops=None):
    """Marks a case that fails today because of a known fault of the host: it is skipped (and says
    why) unless WIDGET_HOST_KNOWN_FAULTS=1, which the engineer fixing the fault runs. `desktops`
    limits the mark to the test classes whose `window_manager` is one of them."""
    def mark(test):
        def run(self, *args, **kwargs):
            if os.environ.get("WIDGET_HOST_KNOWN_FAULTS") != "1" and (
                    desktops is None or getattr(self, "window_manager", None) in desktops):
                raise unittest.SkipTest("known fault, not fixed yet: " + reason)
            return test(self, *args, **kwargs)
        run.__name__, run.__doc__ = test.__name__, test.__doc__
        return run
    return mark


def x_windows(env, pid, visible_only=True):
    """The (visible) X windows of process `pid`, by widget id (the window role)."""
    run = lambda *args: subprocess.run(list(args), env=env, capture_output=True, text=True, timeout=30).stdout
    found = {}
    for window in run("xdotool", "search", *(["--onlyvisible"] if visible_only else []), "--pid", str(pid)).split():
        role = run("xprop", "-id", window, "WM_WINDOW_ROLE")
        if "=" in role:
            found[role.split("=", 1)[1].strip().strip('"')] = window
    return found


def x_geometry(env, window):
    """(x, y, width, height) of an X window on the screen."""
    out = subprocess.run(["xdotool", "getwindowgeometry", "--shell", str(window)], env=env, capture_output=True,
                         text=True, timeout=30).stdout
    values = dict(line.split("=", 1) for line in out.split())
    return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])


def labels(widget):
    return [b["label"] for b in widget["buttons"]]


def enabled_labels(widget):
    return [b["label"] for b in widget["buttons"] if b["enabled"]]


def main():
    run_on_private_bus()
    unittest.main(verbosity=2)
