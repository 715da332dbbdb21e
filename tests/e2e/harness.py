"""Shared pieces of the end-to-end tests: a private session bus, temporary home directories,
the widget host and its control tool, waiting for conditions, and the logs printed on failure."""
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


def run_on_private_bus():
    """Re-runs this script inside a session bus of its own: the tests own well-known names."""
    if os.environ.get(BUS_MARK) == "1":
        return
    env = dict(os.environ, **{BUS_MARK: "1"})
    os.execvpe("dbus-run-session", ["dbus-run-session", "--", sys.executable] + sys.argv, env)


def wait_until(predicate, timeout=10.0, interval=0.05):
    """Polls until `predicate` returns something truthy; returns it, or None after `timeout`."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            return None
        time.sleep(interval)


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

    def start(self, name, argv, log_name=None):
        process = Process(name, argv, self.env, os.path.join(self.root, (log_name or name) + ".log"))
        self.processes.append(process)
        return process

    def start_host(self, *extra):
        argv = [self.program("widget-host"), "--extensions-dir", self.extensions_dir] + list(extra)
        self.host = self.start("widget-host", argv)
        if not wait_until(lambda: self.ctl("list", check=False).returncode == 0 or not self.host.running(), 10):
            self.fail("the widget host did not come up")
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

    def wait_for_widget(self, widget_id, predicate, what, timeout=10.0):
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


def labels(widget):
    return [b["label"] for b in widget["buttons"]]


def enabled_labels(widget):
    return [b["label"] for b in widget["buttons"] if b["enabled"]]


def main():
    run_on_private_bus()
    unittest.main(verbosity=2)
