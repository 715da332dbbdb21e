"""The packages as installed: builds the .debs of a build tree with cpack, unpacks them into a
scratch root with dpkg-deb, and runs only what they contain, on a private session bus whose
service directory is the packages' own. Nothing of the build tree is on the path.

Usage: installed_system_test.py BUILD_DIR INSTALL_PREFIX
The files name their final place under INSTALL_PREFIX (/usr); the programs find their manifests,
catalogs and libraries relative to themselves, and the widget host finds the extension through
XDG_DATA_DIRS, so they run from the scratch root as they are. Only the D-Bus service file's Exec
line is pointed at the scratch root, since dbus-daemon starts the program it names."""
import glob
import gzip
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import harness  # noqa: E402
from harness import enabled_labels, labels, wait_until  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.path.normpath(os.path.join(HERE, "..", ".."))
PACKAGES = ["widget-host", "kelvo-widget", "libkelvowidgetbridge1", "libkelvowidgetbridge-dev",
            "kelvo-app-standin"]
SERVICE = "share/dbus-1/services/net.widgethost.Host1.service"

BUS_CONFIG = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <keep_umask/>
  <listen>unix:tmpdir=/tmp</listen>
  <auth>EXTERNAL</auth>
  <servicedir>{services}</servicedir>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
"""


def build_and_unpack(build_dir, work):
    """cpack into work/packages, every package unpacked into work/root; returns the .deb files."""
    out = os.path.join(work, "packages")
    subprocess.run(["cpack", "-G", "DEB", "--config", os.path.join(build_dir, "CPackConfig.cmake"), "-B", out],
                   check=True, stdout=subprocess.DEVNULL)
    debs = sorted(glob.glob(os.path.join(out, "*.deb")))
    root = os.path.join(work, "root")
    for deb in debs:
        subprocess.run(["dpkg-deb", "-x", deb, root], check=True)
    return debs, root


class InstalledSystemTest(harness.HostTestCase):
    """One host for the whole class: started by D-Bus activation, as a session would start it."""

    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="installed-system-")
        self.env = dict(os.environ)
        self.processes = []
        self.host = None
        self.prefix_root = os.environ["INSTALLED_ROOT"] + os.environ["INSTALLED_PREFIX"]
        self.bin_dir = os.path.join(self.prefix_root, "bin")

    def test_packages_hold_every_part(self):
        names = [subprocess.run(["dpkg-deb", "-f", deb, "Package"], capture_output=True, text=True,
                                check=True).stdout.strip() for deb in os.environ["INSTALLED_DEBS"].split(":")]
        self.assertEqual(sorted(names), sorted(PACKAGES))
        for path in ("bin/widget-host", "bin/widgetctl", "bin/widget-render", "bin/KelvoWidget", "bin/kelvo-app",
                     "lib/systemd/user/widget-host.service", SERVICE, "share/man/man1/widget-host.1.gz",
                     "share/man/man1/KelvoWidget.1.gz", "share/widget-extensions/com.kelvo.desktop.widget.json",
                     "share/applications/com.kelvo.desktop.desktop", "share/doc/widget-host/copyright",
                     "share/applications/net.widgethost.Gallery.desktop",
                     "share/icons/hicolor/scalable/apps/net.widgethost.Gallery.svg"):
            self.assertTrue(os.path.exists(os.path.join(self.prefix_root, path)), path)

    def test_activation_starts_the_installed_host_and_the_widget_works(self):
        self.assertEqual(shutil.which("widget-host", path=self.env["PATH"]), os.path.join(self.bin_dir, "widget-host"))
        ping = subprocess.run(["gdbus", "call", "--session", "--dest", "net.widgethost.Host1", "--object-path",
                               "/net/widgethost/Host1", "--method", "org.freedesktop.DBus.Peer.Ping"],
                              env=self.env, capture_output=True, text=True, timeout=30)
        self.assertEqual(ping.returncode, 0, ping.stderr)
        owner = subprocess.run(["gdbus", "call", "--session", "--dest", "org.freedesktop.DBus", "--object-path",
                                "/org/freedesktop/DBus", "--method", "org.freedesktop.DBus.GetConnectionUnixProcessID",
                                "net.widgethost.Host1"], env=self.env, capture_output=True, text=True, check=True)
        pid = int(owner.stdout.strip("()\n, ").split()[-1])
        self.addCleanup(lambda: subprocess.run(["kill", str(pid)]))
        self.assertEqual(os.readlink("/proc/%d/exe" % pid), os.path.join(self.bin_dir, "widget-host"))

        # Both widgets of the installed extension, then the stand-in application.
        small = self.place("TimerWidget", "small")
        medium = self.place("TimerWidget", "medium")
        app = self.start("kelvo-app", [self.program("kelvo-app"), "--demo"])
        wait_until(lambda: "placed TimerWidget widgets: 2" in app.text() or not app.running(),
                   what="kelvo-app to count two widgets")
        idle = lambda w: "Start tracking" in enabled_labels(w) and w["picture"]  # noqa: E731
        self.wait_for_widget(small, idle, "showed the idle state")
        self.wait_for_widget(medium, idle, "showed the idle state")
        before = os.path.join(self.root, "before.png")
        self.ctl("render", small, "--out", before)

        self.ctl("press", small, "Start tracking")
        self.wait_for_widget(small, lambda w: "Stop tracking" in labels(w), "showed the running timer")
        after = os.path.join(self.root, "after.png")
        self.ctl("render", small, "--out", after)
        with open(before, "rb") as a, open(after, "rb") as b:
            self.assertTrue(a.read() != b.read(), "the picture did not change")

    def deb(self, package):
        return [d for d in os.environ["INSTALLED_DEBS"].split(":") if os.path.basename(d).startswith(package + "_")][0]

    def test_the_widgets_are_drawn_in_the_fonts_the_host_package_depends_on(self):
        def render(**env):
            return subprocess.run([self.program("widget-render"), os.path.join(self.bin_dir, "KelvoWidget"),
                                   "--request", "placeholder", "--tree"], env=dict(self.env, **env),
                                  capture_output=True, text=True, timeout=60)

        # The families the renderer draws in are those it misses where fontconfig knows no font.
        bare = os.path.join(self.root, "no-fonts.conf")
        with open(bare, "w") as f:
            f.write("<?xml version=\"1.0\"?>\n<fontconfig><cachedir>%s</cachedir></fontconfig>\n"
                    % os.path.join(self.root, "font-cache"))
        families = re.findall(r'font "([^"]+)" is not installed', render(FONTCONFIG_FILE=bare).stderr)
        self.assertTrue(families)
        drawn = render()
        self.assertEqual(drawn.returncode, 0, drawn.stderr)
        depends = subprocess.run(["dpkg-deb", "-f", self.deb("widget-host"), "Depends"], capture_output=True,
                                 text=True, check=True).stdout
        for family in families:
            self.assertNotIn('font "%s"' % family, drawn.stderr)
            font = subprocess.run(["fc-match", "-f", "%{file}", family], capture_output=True, text=True,
                                  check=True).stdout
            owner = subprocess.run(["dpkg", "-S", font], capture_output=True, text=True, check=True).stdout
            self.assertIn(owner.split(":")[0], re.findall(r"[a-z0-9.+-]+", depends), (family, font))

    def test_manual_pages_carry_no_build_path_and_document_every_subcommand(self):
        build_paths = [os.environ["INSTALLED_BUILD_HOME"], os.environ["INSTALLED_BUILD_DIR"], SOURCE_DIR]
        pages = {}
        for page in glob.glob(os.path.join(self.prefix_root, "share", "man", "man1", "*.1.gz")):
            with gzip.open(page, "rt") as f:
                pages[os.path.basename(page)] = f.read().replace("\\-", "-")
            for path in build_paths:
                self.assertNotIn(path, pages[os.path.basename(page)], page)
        ctl = self.program("widgetctl")
        listed = subprocess.run([ctl, "--help"], capture_output=True, text=True, check=True).stdout
        subcommands = re.findall(r"^  ([a-z]+) ", listed.split("Subcommands:")[1], re.M)
        self.assertIn("click", subcommands)
        for subcommand in subcommands:
            self.assertIn(".SS " + subcommand + "\n", pages["widgetctl.1.gz"])
            usage = subprocess.run([ctl, subcommand, "--help"], capture_output=True, text=True, check=True).stdout
            for option in re.findall(r"--[a-z-]+", usage):
                self.assertIn(option, pages["widgetctl.1.gz"].split(".SS " + subcommand + "\n")[1], subcommand)
        self.assertIn("2 usage error", pages["widgetctl.1.gz"])

    def test_the_user_unit_is_enabled_with_the_package_and_purged_with_it(self):
        deb = self.deb("widget-host")
        scripts = os.path.join(self.root, "control")
        subprocess.run(["dpkg-deb", "-e", deb, scripts], check=True)
        system = os.path.join(self.root, "system")  # a root of its own: the scripts write to /etc and /var
        subprocess.run(["dpkg-deb", "-x", deb, system], check=True)
        env = dict(self.env, DPKG_ROOT=system, DPKG_MAINTSCRIPT_PACKAGE="widget-host")

        def run(script, *args):
            subprocess.run(["sh", os.path.join(scripts, script)] + list(args), check=True,
                           env=dict(env, DPKG_MAINTSCRIPT_NAME=script))

        def state():
            return sorted(os.path.relpath(os.path.join(d, f), system) for top in ("etc", "var")
                          for d, _, files in os.walk(os.path.join(system, top)) for f in files)

        run("postinst", "configure")
        self.assertIn("etc/systemd/user/graphical-session.target.wants/widget-host.service", state())
        run("postrm", "remove")
        run("postrm", "purge")
        self.assertEqual(state(), [])

    def test_the_c_bridge_check_builds_against_the_dev_package(self):
        env = dict(self.env, PKG_CONFIG_PATH=":".join(glob.glob(os.path.join(self.prefix_root, "lib", "*", "pkgconfig"))
                                                       + [os.path.join(self.prefix_root, "lib", "pkgconfig")]))
        flags = subprocess.run(["pkg-config", "--cflags", "--libs", "KelvoWidgetBridge"], env=env,
                               capture_output=True, text=True, check=True).stdout.split()
        libdir = subprocess.run(["pkg-config", "--variable=libdir", "KelvoWidgetBridge"], env=env,
                                capture_output=True, text=True, check=True).stdout.strip()
        self.assertTrue(os.path.realpath(libdir).startswith(os.path.realpath(self.prefix_root)), libdir)
        program = os.path.join(self.root, "c_interface_test")
        subprocess.run(["cc", "-std=c11", "-Wall", "-Wextra", "-Werror", "-pedantic",
                        os.path.join(SOURCE_DIR, "tests", "Bridge", "c_interface_test.c")] + flags
                       + ["-Wl,-rpath," + libdir, "-o", program], env=env, check=True)
        group = "group.com.example.installed"
        with open(program + ".bundle.json", "w") as f:
            f.write('{"bundleIdentifier": "com.example.installed", '
                    '"entitlements": {"com.apple.security.application-groups": ["%s"]}}' % group)
        run = subprocess.run([program, group, os.path.join(env["XDG_DATA_HOME"], "group-containers", group)],
                             env=env, capture_output=True, text=True, timeout=60)
        self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
        loaded = subprocess.run(["ldd", program], capture_output=True, text=True, check=True).stdout
        self.assertIn(os.path.join(libdir, "libKelvoWidgetBridge.so.1"), loaded)

        # The same check built through the installed CMake package.
        consumer = os.path.join(self.root, "consumer")
        subprocess.run(["cmake", "-S", os.path.join(SOURCE_DIR, "tests", "Bridge", "consumer"), "-B", consumer,
                        "-DCMAKE_PREFIX_PATH=" + self.prefix_root], env=env, check=True, stdout=subprocess.DEVNULL)
        subprocess.run(["cmake", "--build", consumer], env=env, check=True, stdout=subprocess.DEVNULL)
        shutil.copy(program + ".bundle.json", os.path.join(consumer, "consumer.bundle.json"))
        run = subprocess.run([os.path.join(consumer, "consumer"), group,
                              os.path.join(env["XDG_DATA_HOME"], "group-containers", group)],
                             env=env, capture_output=True, text=True, timeout=60)
        self.assertEqual(run.returncode, 0, run.stdout + run.stderr)


def main():
    if os.environ.get("INSTALLED_ROOT"):
        unittest.main(argv=[sys.argv[0]], verbosity=2)
        return
    build_dir, prefix = os.path.abspath(sys.argv[1]), sys.argv[2]
    work = tempfile.mkdtemp(prefix="installed-packages-")
    try:
        debs, root = build_and_unpack(build_dir, work)
        services = os.path.join(work, "services")
        os.makedirs(services)
        with open(os.path.join(root + prefix, SERVICE)) as f:
            service = f.read()
        exec_line = "Exec=%s/bin/widget-host\n" % prefix
        if exec_line not in service:
            sys.exit("FAIL: the service file does not start %s/bin/widget-host:\n%s" % (prefix, service))
        with open(os.path.join(services, os.path.basename(SERVICE)), "w") as f:
            f.write(service.replace(exec_line, "Exec=%s%s/bin/widget-host\n" % (root, prefix)))
        config = os.path.join(work, "session.conf")
        with open(config, "w") as f:
            f.write(BUS_CONFIG.format(services=services))

        env = {name: value for name, value in os.environ.items()
               if name not in ("DISPLAY", "WAYLAND_DISPLAY", "LD_LIBRARY_PATH", "WIDGET_HOST_EXTENSIONS_DIR",
                               "DBUS_SESSION_BUS_ADDRESS")}
        for name, sub in (("XDG_DATA_HOME", "data"), ("XDG_CONFIG_HOME", "config"), ("XDG_CACHE_HOME", "cache"),
                          ("XDG_RUNTIME_DIR", "run"), ("HOME", "home")):
            env[name] = os.path.join(work, sub)
            os.makedirs(env[name], mode=0o700)
        env.update(INSTALLED_ROOT=root, INSTALLED_PREFIX=prefix, INSTALLED_DEBS=":".join(debs),
                   INSTALLED_BUILD_DIR=build_dir, INSTALLED_BUILD_HOME=os.path.expanduser("~"),
                   XDG_DATA_DIRS=os.path.join(root + prefix, "share"), GSETTINGS_BACKEND="memory",
                   WIDGET_HOST_URL_OPENER="/bin/true",
                   PATH=os.path.join(root + prefix, "bin") + ":/usr/bin:/bin")
        result = subprocess.run(["dbus-run-session", "--config-file=" + config, "--", sys.executable,
                                 os.path.abspath(__file__)], env=env)
        sys.exit(result.returncode)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
