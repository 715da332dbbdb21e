"""The widget host with a fake extension: its bus interfaces, placing, drawing, presses, reloads,
and how it survives extensions that hang, crash or talk nonsense. When entries, reload policies,
ticks and restarts after a crash come due is unit-tested on a fake clock (WidgetSchedulerTests,
ExtensionSupervisorTests); here the processes meet."""
import json
import os
import signal
import sys
import xml.etree.ElementTree as ElementTree

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "Host", "WidgetHost", "Desktop"))
import harness  # noqa: E402
from harness import enabled_labels, labels, wait_until  # noqa: E402
from xsession import XSession  # noqa: E402

SOURCE_DIR = os.environ.get("KELVO_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))
FAKE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "fake_extension.py")
LOGIND = os.path.join(os.path.dirname(os.path.abspath(__file__)), "fake_logind.py")
PORTAL = os.path.join(os.path.dirname(os.path.abspath(__file__)), "fake_portal.py")


class WidgetHostTest(harness.HostTestCase):
    def setUp(self):
        super().setUp()
        # The fake extension, installed the way a development build is: a manifest beside the program.
        self.extensions_dir = os.path.join(self.root, "extensions")
        self.fake_dir = os.path.join(self.root, "fake")
        os.makedirs(self.extensions_dir)
        os.makedirs(self.fake_dir)
        program = os.path.join(self.extensions_dir, "FakeWidget")
        with open(program, "w") as f:
            f.write("#!/bin/sh\nexec '%s' '%s'\n" % (sys.executable, FAKE))
        os.chmod(program, 0o755)
        with open(program + ".bundle.json", "w") as f:
            json.dump({"bundleIdentifier": "net.example.fake.widget",
                       "extension": {"point": "widget", "executable": "FakeWidget"}}, f)
        self.env["FAKE_EXTENSION_DIR"] = self.fake_dir

    def steer(self, **settings):
        for name, value in settings.items():
            with open(os.path.join(self.fake_dir, name), "w", encoding="utf-8") as f:
                f.write(value)

    def requests(self, method=None):
        try:
            with open(os.path.join(self.fake_dir, "requests")) as f:
                lines = [line.split(" ", 2) for line in f.read().splitlines()]
        except OSError:
            return []
        return [line for line in lines if method is None or line[1] == method]

    def placed_counter(self):
        widget_id = self.place("Counter", "small")
        self.wait_for_widget(widget_id, lambda w: w["picture"] and "first fullColor" in w["texts"], "showed its timeline")
        return widget_id

    # The bus interfaces ----------------------------------------------------------------------

    def test_the_served_interfaces_match_their_introspection_files(self):
        self.start_host()
        ok, served = self.bus_call("org.freedesktop.DBus.Introspectable", "Introspect")
        self.assertTrue(ok, served)
        served_xml = ElementTree.fromstring(served.strip()[2:-3].encode().decode("unicode_escape"))
        for name, path in (("net.widgethost.Host1", "Platform/Widgets/dbus/net.widgethost.Host1.xml"),
                           ("net.widgethost.Control1", "Host/WidgetHost/dbus/net.widgethost.Control1.xml")):
            checked_in = ElementTree.parse(os.path.join(SOURCE_DIR, path)).getroot().find("interface")
            live = served_xml.find("interface[@name='%s']" % name)
            self.assertIsNotNone(live, name)

            def planned(member):
                return any(a.get("name") == "net.widgethost.Planned" for a in member.findall("annotation"))

            def shape(interface):
                members = {}
                for member in interface:
                    if member.tag in ("method", "signal") and not planned(member):
                        members[(member.tag, member.get("name"))] = [
                            (a.get("name"), a.get("type"), a.get("direction", "out" if member.tag == "signal" else "in"))
                            for a in member.findall("arg")]
                return members

            self.assertEqual(shape(live), shape(checked_in), name)
            # A planned member that the host serves has lost its reason to be marked.
            served_names = {(m.tag, m.get("name")) for m in live}
            self.assertEqual([m.get("name") for m in checked_in if planned(m) and (m.tag, m.get("name")) in served_names],
                             [], name)

    def test_application_ids_are_checked_and_matched_by_component(self):
        self.start_host()
        widget_id = self.placed_counter()
        ok, out = self.bus_call("net.widgethost.Host1", "GetCurrentConfigurations", "", "net.example.fake")
        self.assertTrue(ok, out)
        self.assertIn("('%s', 'Counter', 'systemSmall')" % widget_id, out)
        ok, out = self.bus_call("net.widgethost.Host1", "GetCurrentConfigurations", "", "net.example.fak")
        self.assertEqual(out.strip(), "(@a(sss) [],)")
        for bad in ("", "net..example", ".net", "net/example"):
            ok, out = self.bus_call("net.widgethost.Host1", "ReloadAllTimelines", "", bad)
            self.assertFalse(ok)
            self.assertIn("net.widgethost.Host1.Error.InvalidArgument", out)

    # Placing, drawing, rendering -------------------------------------------------------------

    def test_placing_draws_the_widget_and_refuses_what_is_not_declared(self):
        self.start_host()
        widget_id = self.placed_counter()
        widget = self.widget(widget_id)
        with open(widget["picture"], "rb") as f:
            self.assertEqual(f.read(8), b"\x89PNG\r\n\x1a\n")
        self.assertEqual(widget["status"], "ready")
        self.assertEqual(widget["extension"], "net.example.fake.widget")
        # The placeholder came first, then the timeline.
        methods = [r[1] for r in self.requests()]
        self.assertEqual(methods[:3], ["describe", "placeholder", "getTimeline"])

        unsupported = self.ctl("place", "Counter", "--family", "medium", check=False)
        self.assertEqual(unsupported.returncode, 4, unsupported.stderr)
        self.assertIn("systemSmall", unsupported.stderr)
        unknown = self.ctl("place", "NoSuchKind", "--family", "small", check=False)
        self.assertEqual(unknown.returncode, 4, unknown.stderr)
        self.assertEqual(list(self.widgets()), [widget_id])

    def test_render_writes_png_and_svg_and_asks_for_other_modes(self):
        self.start_host()
        widget_id = self.placed_counter()
        png = os.path.join(self.root, "out.png")
        self.ctl("render", widget_id, "--out", png, "--scale", "1", "--appearance", "dark")
        with open(png, "rb") as f:
            self.assertEqual(f.read(8), b"\x89PNG\r\n\x1a\n")
        svg = os.path.join(self.root, "out.svg")
        self.ctl("render", widget_id, "--out", svg, "--mode", "accented")
        with open(svg) as f:
            self.assertIn("<svg", f.read())
        self.assertTrue(any('"accented"' in r[2] for r in self.requests("getTimeline")))
        missing = self.ctl("render", "99", "--out", png, check=False)
        self.assertEqual(missing.returncode, 4)
        # The host refuses what widgetctl refuses, for any other client of the bus.
        for place in ("/dev/null", self.root):
            ok, out = self.bus_call("net.widgethost.Control1", "Render", "", widget_id, place, "1.0", "light", "fullColor")
            self.assertFalse(ok, place)
            self.assertIn("not a regular file", out)

    def test_removing_deletes_the_picture_and_stops_the_idle_extension(self):
        self.start_host()
        widget_id = self.placed_counter()
        picture = self.widget(widget_id)["picture"]
        self.ctl("remove", widget_id)
        self.assertFalse(os.path.exists(picture))
        self.assertEqual(self.widgets(), {})
        wait_until(lambda: not self.extension_pids(), what="the idle extension to end")
        self.assertEqual(self.ctl("remove", widget_id, check=False).returncode, 4)

    def test_the_gallery_lists_kinds_draws_previews_places_apart_and_hears_of_new_extensions(self):
        self.start_host()
        # With no widget placed, the host asks the extensions itself.
        ok, out = self.bus_call("net.widgethost.Control1", "Kinds")
        self.assertTrue(ok, out)
        self.assertEqual(out.strip(), "([('net.example.fake.widget', 'Counter', 'Counter', '', ['systemSmall'])],)")
        png = os.path.join(self.root, "preview.png")
        ok, out = self.bus_call("net.widgethost.Control1", "Preview", "", "Counter", "systemSmall", "2.0", "dark", png)
        self.assertTrue(ok, out)
        with open(png, "rb") as f:
            self.assertEqual(f.read(8), b"\x89PNG\r\n\x1a\n")
        self.assertTrue(any('"isPreview": true' in r[2] for r in self.requests("getSnapshot")))
        ok, out = self.bus_call("net.widgethost.Control1", "Preview", "", "Counter", "systemMedium", "2.0", "dark", png)
        self.assertIn("UnsupportedFamily", out)

        ids = []
        for _ in range(3):
            ok, out = self.bus_call("net.widgethost.Control1", "PlaceNearPointer", "", "Counter", "systemSmall")
            self.assertTrue(ok, out)
            ids.append(out.strip()[2:-3])
        widgets = self.widgets()
        self.assertEqual([widgets[i]["position"] for i in ids], [[24, 24], [24, 218], [24, 412]])

        signals = harness.BusSignals("/net/widgethost/Host1")
        with open(os.path.join(self.extensions_dir, "Other.bundle.json"), "w") as f:
            json.dump({"bundleIdentifier": "net.example.other.widget",
                       "extension": {"point": "widget", "executable": "FakeWidget"}}, f)
        wait_until(lambda: "KindsChanged" in signals.names(), what="KindsChanged on the bus")
        ok, out = self.bus_call("net.widgethost.Control1", "Kinds")
        self.assertIn("'net.example.other.widget', 'Counter'", out)

    def test_text_the_bus_cannot_carry_is_replaced_and_every_call_still_answers(self):
        # Noncharacters are valid JSON and UTF-8, but sd-bus refuses to send them.
        self.steer(name="Count\uffffer", stamp="odd\U0010fffe\ufdd0")
        self.start_host()
        ok, out = self.bus_call("net.widgethost.Control1", "Kinds")
        self.assertTrue(ok, out)
        self.assertIn("'Count\ufffder'", out)
        widget_id = self.place("Counter", "small")
        self.wait_for_widget(widget_id, lambda w: "odd\ufffd\ufffd fullColor" in w["texts"] and "position" in w,
                             "showed its texts, replaced where the bus cannot carry them")

    # Presses ---------------------------------------------------------------------------------

    def test_presses_run_intents_respect_disabled_buttons_and_open_the_link_outside(self):
        self.start_host()
        widget_id = self.placed_counter()
        timelines = len(self.requests("getTimeline"))
        pressed = self.ctl("press", widget_id, "bump")  # case does not matter
        self.assertIn("Bump", pressed.stdout)
        wait_until(lambda: self.requests("perform"), what="perform to reach the extension")
        self.assertIn('"intent": "Bump"', self.requests("perform")[0][2])
        # What an intent changed shows through a new timeline.
        wait_until(lambda: len(self.requests("getTimeline")) > timelines, what="a reload after perform")

        disabled = self.ctl("press", widget_id, "Never", check=False)
        self.assertEqual(disabled.returncode, 5, disabled.stderr)
        self.assertEqual(len(self.requests("perform")), 1)
        unknown = self.ctl("press", widget_id, "Nothing", check=False)
        self.assertEqual(unknown.returncode, 4)
        self.assertIn('"Bump"', unknown.stderr)

        # Off the widget is no click on it: refused, and the link stays shut.
        for x, y in [("-10", "-10"), ("170", "5"), ("5", "170")]:
            outside = self.ctl("click", widget_id, x, y, check=False)
            self.assertEqual(outside.returncode, 4, (x, y, outside.stdout))
            self.assertIn("outside the widget", outside.stderr)
        clicked = self.ctl("click", widget_id, "160", "160")
        self.assertIn("fake://open", clicked.stdout)
        wait_until(lambda: os.path.exists(self.opened) and os.path.getsize(self.opened) > 0, what="the URL opener to run")
        with open(self.opened) as f:
            self.assertEqual(f.read().strip(), "fake://open")

    # The host's process ---------------------------------------------------------------------

    def test_the_host_keeps_its_name_and_its_own_tuning(self):
        # A display makes the host tune GTK for itself; an extension and the URL opener must still
        # get the environment the host was started with.
        opener_env = os.path.join(self.root, "opener-environment")
        opener = os.path.join(self.root, "env-opener")
        with open(opener, "w") as f:
            f.write("#!/bin/sh\nenv > '%s.part' && mv '%s.part' '%s'\n" % (opener_env, opener_env, opener_env))
        os.chmod(opener, 0o755)
        self.env["WIDGET_HOST_URL_OPENER"] = opener
        self.env["WIDGET_HOST_E2E_USER_SETTING"] = "kept"
        with XSession() as x:
            self.env["DISPLAY"] = x.display
            self.start_host()
            with open("/proc/%d/comm" % self.host.pid) as f:
                self.assertEqual(f.read().strip(), "widget-host")
            widget_id = self.place("Counter", "small")
            self.wait_for_widget(widget_id, lambda w: "first fullColor" in w["texts"], "showed its timeline")
            self.ctl("click", widget_id, "160", "160")
            self.assertTrue(wait_until(lambda: os.path.exists(opener_env)), "the URL opener never ran")
            with open(opener_env) as f:
                opened_with = dict(line.split("=", 1) for line in f.read().splitlines() if "=" in line)
            extensions = self.extension_pids()
            self.assertTrue(extensions, "no extension runs")
            with open("/proc/%d/environ" % extensions[0], "rb") as f:
                extension_env = dict(entry.decode().split("=", 1) for entry in f.read().split(b"\0") if b"=" in entry)
        for name, environment in (("the extension", extension_env), ("the URL opener", opened_with)):
            self.assertEqual(environment.get("WIDGET_HOST_E2E_USER_SETTING"), "kept", name)
            for tuning in ("GDK_GL", "G_SLICE"):
                self.assertNotIn(tuning, environment, name)

    def test_a_host_started_through_the_dynamic_loader_runs(self):
        loader = next((path for path in ("/lib64/ld-linux-x86-64.so.2", "/lib/ld-linux-aarch64.so.1")
                       if os.path.exists(path)), None)
        if not loader:
            self.skipTest("no known dynamic loader here")
        self.host = self.start("widget-host", [loader, self.program("widget-host"), "--headless",
                                               "--extensions-dir", self.extensions_dir])
        self.assertTrue(wait_until(lambda: self.ctl("list", check=False).returncode == 0 or not self.host.running()),
                        "the widget host did not come up")
        self.assertTrue(self.host.running(), "the widget host ended at start")
        widget_id = self.placed_counter()
        self.assertTrue(self.widget(widget_id)["picture"])

    def test_widgetctl_says_when_no_host_runs(self):
        result = self.ctl("list", check=False)
        self.assertEqual(result.returncode, 3)
        self.assertIn("no widget host", result.stderr)

    def test_widgetctl_argument_errors_are_messages_with_a_documented_status(self):
        # Checked before the bus is asked, so no host is needed.
        for args in [(), ("nosuch",), ("list", "--nosuch"), ("move", "1", "x", "2"), ("render",),
                     ("render", "1", "--out", "a.png", "--scale", "99"), ("list", "extra"),
                     ("render", "1", "--out", ""), ("render", "1", "--out", "/dev/null"),
                     ("render", "1", "--out", self.root)]:
            result = self.ctl(*args, check=False)
            self.assertEqual(result.returncode, 2, args)
            self.assertTrue(result.stderr.strip(), args)

    # Timelines -------------------------------------------------------------------------------

    def test_reload_requests_are_merged_while_one_is_answered(self):
        self.start_host()
        widget_id = self.placed_counter()
        # Each answer says which request it was: the second one is the burst merged into one.
        self.steer(mode="slow", stamp="reload {n}")
        before = len(self.requests("getTimeline"))
        for _ in range(8):
            ok, out = self.bus_call("net.widgethost.Host1", "ReloadAllTimelines", "", "net.example.fake")
            self.assertTrue(ok, out)
        ok, _ = self.bus_call("net.widgethost.Host1", "ReloadAllTimelines", "", "net.example.other")
        follow_up = "reload %d fullColor" % (before + 2)
        self.wait_for_widget(widget_id, lambda w: follow_up in w["texts"], "showed the merged follow-up")
        # A host that queued the burst sends the next request as it takes this answer.
        self.assertEqual(len(self.requests("getTimeline")) - before, 2)

    def test_the_desktop_appearance_is_followed_and_redraws_at_once(self):
        portal = self.start("fake-portal", [sys.executable, PORTAL, "1", self.root])
        wait_until(lambda: "serving" in portal.text(), what="the stand-in portal to serve")
        self.start_host()
        widget_id = self.placed_counter()
        picture = self.widget(widget_id)["picture"]
        wait_until(lambda: "appearance: dark" in self.host.text(), what="the host to take the dark appearance")

        def pixels():
            with open(picture, "rb") as f:
                return f.read()

        wait_until(lambda: os.path.exists(picture), what="the picture")
        dark = pixels()
        with open(os.path.join(self.root, "scheme"), "w") as f:
            f.write("0")  # GNOME's "Light": no preference
        wait_until(lambda: "appearance: light" in self.host.text(), what="the host to take the light appearance")
        wait_until(lambda: pixels() != dark, what="the picture to be redrawn light")

    def test_a_resume_from_suspend_asks_every_widget_again(self):
        # The private bus stands in for the system bus, where a stand-in logind announces the resume.
        self.env["DBUS_SYSTEM_BUS_ADDRESS"] = os.environ["DBUS_SESSION_BUS_ADDRESS"]
        self.start_host()
        self.placed_counter()
        before = len(self.requests("getTimeline"))
        logind = self.start("fake-logind", [sys.executable, LOGIND])
        wait_until(lambda: "announced" in logind.text(), what="the stand-in logind to announce a resume")
        wait_until(lambda: len(self.requests("getTimeline")) > before, what="a new timeline asked for after the resume")
        self.assertIn("the system woke up", self.host.text())

    def test_live_timers_redraw_each_second_and_still_pictures_stay_put(self):
        self.steer(entries="timer")
        self.start_host()
        ticking = self.place("Counter", "small")
        picture = self.wait_for_widget(ticking, lambda w: w["picture"], "got a picture")["picture"]
        first = self.widget(ticking)["texts"]

        def pictures(count):
            seen = set()

            def enough():
                with open(picture, "rb") as f:
                    seen.add(f.read())
                return len(seen) >= count
            return enough

        # Real time on purpose: the only proof that the pictures themselves change with the ticks;
        # when ticks fall due is unit-tested on a fake clock.
        wait_until(pictures(3), what="three different pictures of the live timer")
        self.assertNotEqual(self.widget(ticking)["texts"], first)

        # A still widget beside it is left alone while the timer ticks twice.
        self.steer(entries="one", stamp="still")
        still = self.place("Counter", "small")
        still_picture = self.wait_for_widget(still, lambda w: "still fullColor" in w["texts"] and w["picture"],
                                             "showed the still timeline")["picture"]
        stamp = os.stat(still_picture).st_mtime_ns
        wait_until(pictures(3), what="two more ticks of the live timer")
        self.assertEqual(os.stat(still_picture).st_mtime_ns, stamp, "a still picture was rewritten")

    # Surviving the extension -----------------------------------------------------------------

    def test_a_malformed_or_refused_timeline_keeps_the_last_entries(self):
        self.start_host()
        widget_id = self.placed_counter()

        def turned_down():
            return sum(("widget %s: " % widget_id) in line and ("ignored" in line or "refused" in line)
                       for line in self.host.text().splitlines())

        for mode in ("malformed", "badview", "error"):
            self.steer(mode=mode, stamp=mode)
            before = turned_down()
            self.ctl("reload")
            wait_until(lambda: turned_down() > before, what="the host to turn down the %s timeline" % mode)
            widget = self.widget(widget_id)
            self.assertIn("first fullColor", widget["texts"], mode)
            self.assertEqual(widget["status"], "ready", mode)
        self.steer(mode="normal", stamp="healthy")
        self.ctl("reload")
        self.wait_for_widget(widget_id, lambda w: "healthy fullColor" in w["texts"], "recovered")

    def test_a_hanging_extension_times_out_is_restarted_and_the_picture_stays(self):
        self.start_host("--request-timeout", "500")
        widget_id = self.placed_counter()
        picture = self.widget(widget_id)["picture"]
        with open(picture, "rb") as f:
            before = f.read()
        [pid] = self.extension_pids()
        self.steer(mode="hang")
        self.ctl("reload")
        wait_until(lambda: pid not in self.extension_pids(), what="the hanging extension to be ended")
        with open(picture, "rb") as f:
            self.assertEqual(f.read(), before)
        self.assertIn("first fullColor", self.widget(widget_id)["texts"])
        self.steer(mode="normal", stamp="back")
        self.wait_for_widget(widget_id, lambda w: "back fullColor" in w["texts"] and w["status"] == "ready",
                             "came back after the restart")

    def test_an_extension_that_exits_on_a_request_is_restarted(self):
        self.start_host()
        widget_id = self.placed_counter()
        self.steer(mode="crash")
        self.ctl("reload")
        wait_until(lambda: "exited with status 7" in self.host.text(), what="the host to log the exit")
        self.steer(mode="normal", stamp="again")
        self.wait_for_widget(widget_id, lambda w: "again fullColor" in w["texts"], "came back")

    # Persistence -----------------------------------------------------------------------------

    def test_placed_widgets_survive_a_restart_of_the_host(self):
        self.start_host()
        first = self.placed_counter()
        self.assertEqual(self.stop_host(), 0)
        self.assertEqual(self.extension_pids(), [])
        self.steer(stamp="restored")
        self.start_host()
        self.wait_for_widget(first, lambda w: "restored fullColor" in w["texts"], "came back after the restart")
        second = self.place("Counter", "small")
        self.assertNotEqual(second, first)

    def test_an_unreadable_list_of_widgets_is_set_aside(self):
        config = os.path.join(self.env["XDG_CONFIG_HOME"], "widget-host")
        os.makedirs(config)
        with open(os.path.join(config, "widgets.json"), "w") as f:
            f.write("{ not json")
        self.start_host()
        self.assertEqual(self.widgets(), {})
        with open(os.path.join(config, "widgets.json.broken")) as f:
            self.assertEqual(f.read(), "{ not json")


if __name__ == "__main__":
    harness.main()
