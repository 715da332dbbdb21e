"""Measures a running widget host (started by footprint.sh), one step per command: how long a press
takes to reach a new picture (press), what the host, its extensions and conky cost in CPU and memory
over a while (steady), how long after its start the host shows every placed widget (shown), and the
figures of a run side by side (summary). Each step adds its figures to a JSON file."""
import argparse
import json
import os
import statistics
import sys
import time

import gi

gi.require_version("Gio", "2.0")
from gi.repository import Gio, GLib  # noqa: E402

NAME, PATH = "net.widgethost.Host1", "/net/widgethost/Host1"
CONTROL = "net.widgethost.Control1"
TICK = os.sysconf("SC_CLK_TCK")


class Host:
    def __init__(self):
        self.bus = Gio.bus_get_sync(Gio.BusType.SESSION)
        self.drawn = []  # (monotonic time, widget id)
        self.bus.signal_subscribe(NAME, CONTROL, "Drawn", PATH, None, Gio.DBusSignalFlags.NONE, self.on_drawn)

    def on_drawn(self, _bus, _sender, _path, _interface, _signal, params):
        self.drawn.append((time.monotonic(), params.unpack()[0]))

    def call(self, method, args=None, signature=None):
        reply = self.bus.call_sync(NAME, PATH, CONTROL, method, args, GLib.VariantType(signature) if signature else None,
                                   Gio.DBusCallFlags.NONE, 30000, None)
        return reply.unpack() if reply else None

    def widgets(self):
        return self.call("List", None, "(a(ssssdasa(sbs)ss))")[0]

    def buttons(self, widget_id):
        for widget in self.widgets():
            if widget[0] == widget_id:
                return {label for label, enabled, _ in widget[6] if enabled}
        return set()

    def pump_until(self, predicate, timeout, interval=0.1):
        deadline = time.monotonic() + timeout
        while not predicate():
            if time.monotonic() > deadline:
                return False
            self.pump(interval)
        return True

    def pump(self, seconds):
        deadline = time.monotonic() + seconds
        context = GLib.MainContext.default()
        while time.monotonic() < deadline:
            if not context.iteration(False):
                time.sleep(0.0005)


def press_latencies(host, widget_id, presses):
    """Alternates Start and Stop; each latency runs from the call to the first picture that shows
    the new state."""
    latencies = []
    for _ in range(presses):
        running = "Stop tracking" in host.buttons(widget_id)
        label, expected = ("Stop tracking", "Start tracking") if running else ("Start tracking", "Stop tracking")
        seen = len(host.drawn)
        start = time.monotonic()
        host.call("Press", GLib.Variant("(ss)", (widget_id, label)), "(s)")
        done = None
        while done is None and time.monotonic() - start < 10:
            host.pump(0.001)
            for when, drawn_id in host.drawn[seen:]:
                if drawn_id == widget_id and expected in host.buttons(widget_id):
                    done = when
                    break
            seen = len(host.drawn)
        if done is None:
            sys.exit("a press never reached the picture")
        latencies.append((done - start) * 1000)
        host.pump(1.0)  # let the intent finish before the next press
    return latencies


def cpu_seconds(pid):
    """Time on a CPU of the process's threads, in nanoseconds from the scheduler where it keeps them:
    a process using 0.1 % of a CPU runs 6 clock ticks a minute, too few for /proc/PID/stat to tell
    apart. Threads that end within the run are not counted there."""
    try:
        total = 0
        for task in os.listdir("/proc/%d/task" % pid):
            with open("/proc/%d/task/%s/schedstat" % (pid, task)) as f:
                total += int(f.read().split()[0])
        return total / 1e9
    except (OSError, ValueError, IndexError):
        with open("/proc/%d/stat" % pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / TICK


def memory_mb(pid):
    """Resident, proportional (shared pages split among the processes that map them) and anonymous
    memory. Resident counts every library page, though a desktop shares them among all its GTK
    programs; proportional and anonymous show what one more program really costs."""
    fields = {}
    with open("/proc/%d/smaps_rollup" % pid) as f:
        for line in f:
            parts = line.split()
            if len(parts) == 3 and parts[2] == "kB":
                fields[parts[0].rstrip(":")] = int(parts[1]) / 1024
    return {"rss": fields.get("Rss", 0.0), "pss": fields.get("Pss", 0.0), "anon": fields.get("Anonymous", 0.0)}


def children(pid):
    try:
        with open("/proc/%d/task/%d/children" % (pid, pid)) as f:
            return [int(p) for p in f.read().split()]
    except OSError:
        return []


def command_name(pid):
    with open("/proc/%d/comm" % pid) as f:
        return f.read().strip()


def save(path, name, figures):
    results = {}
    if os.path.exists(path):
        with open(path) as f:
            results = json.load(f)
    results[name] = figures
    with open(path, "w") as f:
        json.dump(results, f, indent=1)


def press(args):
    host = Host()
    latencies = press_latencies(host, args.widget, args.presses)
    print("press -> new picture, %d presses: median %.1f ms, min %.1f ms, max %.1f ms"
          % (len(latencies), statistics.median(latencies), min(latencies), max(latencies)))
    save(args.results, "press", {"median ms": statistics.median(latencies), "min ms": min(latencies),
                                 "max ms": max(latencies), "presses": len(latencies)})


def steady(args):
    host = Host()
    if args.start_timer:
        if not host.pump_until(lambda: host.buttons(args.start_timer), 10):
            sys.exit("the widget shows no buttons")
        if "Stop tracking" not in host.buttons(args.start_timer):
            host.call("Press", GLib.Variant("(ss)", (args.start_timer, "Start tracking")), "(s)")
        if not host.pump_until(lambda: "Stop tracking" in host.buttons(args.start_timer), 10):
            sys.exit("the timer did not start")
    if not host.pump_until(lambda: len([w for w in host.widgets() if w[4] > 0]) == args.widgets, 30):
        sys.exit("not every widget showed an entry")
    host.pump(2.0)  # what placing started settles

    watched = {"widget-host": args.host_pid, "conky (clock)": args.conky_pid}
    for child in children(args.host_pid):
        watched["%s (extension)" % command_name(child)] = child
    cpu_before = {name: cpu_seconds(pid) for name, pid in watched.items()}
    memory = {name: [] for name in watched}
    start = time.monotonic()
    while time.monotonic() - start < args.seconds:
        for name, pid in watched.items():
            memory[name].append(memory_mb(pid))
        host.pump(1.0)
    elapsed = time.monotonic() - start

    print("%s, over %.0f s (load average %s):" % (args.name, elapsed, loadavg()))
    print("  %-26s %8s %11s %8s %11s %11s" % ("process", "CPU", "RSS median", "RSS max", "PSS median",
                                             "anon median"))
    figures = {}
    for name, pid in watched.items():
        cpu = (cpu_seconds(pid) - cpu_before[name]) / elapsed * 100
        median = {key: statistics.median(m[key] for m in memory[name]) for key in ("rss", "pss", "anon")}
        figures[name] = {"cpu %": cpu, "rss MB": median["rss"], "pss MB": median["pss"], "anon MB": median["anon"]}
        print("  %-26s %7.3f%% %8.1f MB %5.1f MB %8.1f MB %8.1f MB"
              % (name, cpu, median["rss"], max(m["rss"] for m in memory[name]), median["pss"], median["anon"]))
    save(args.results, args.name, {"widgets": args.widgets, "seconds": elapsed, "load": loadavg(),
                                   "processes": figures})


def shown(args):
    host = Host()
    everyone = lambda: len(host.widgets()) == args.widgets and all(w[4] > 0 for w in host.widgets())  # noqa: E731
    if not host.pump_until(everyone, 60, interval=0.02):
        sys.exit("not every widget showed an entry within a minute")
    seconds = time.time_ns() / 1e9 - args.since_ns / 1e9
    print("host start -> all %d widgets shown: %.2f s" % (args.widgets, seconds))
    save(args.results, "shown", {"widgets": args.widgets, "seconds": seconds})


def summary(args):
    with open(args.results) as f:
        r = json.load(f)
    two, twenty = r["2 widgets"]["processes"], r["20 widgets"]["processes"]
    conky = two["conky (clock)"]

    def extensions(processes):
        return sum(p["anon MB"] for name, p in processes.items() if name.endswith("(extension)"))

    host_and_extension = two["widget-host"]["anon MB"] + two["KelvoWidget (extension)"]["anon MB"]
    added = r["20 widgets"]["widgets"] - r["2 widgets"]["widgets"]
    rows = [
        ("host CPU, 2 ticking widgets / conky's clock", "%.3f %% / %.3f %% = %.2f x"
         % (two["widget-host"]["cpu %"], conky["cpu %"], two["widget-host"]["cpu %"] / max(conky["cpu %"], 1e-9))),
        ("host + extension anonymous / conky's", "%.1f MB / %.1f MB = %.2f x"
         % (host_and_extension, conky["anon MB"], host_and_extension / conky["anon MB"])),
        ("host CPU, 20 widgets (10 ticking) / 2 widgets", "%.3f %% / %.3f %% = %.2f x"
         % (twenty["widget-host"]["cpu %"], two["widget-host"]["cpu %"],
            twenty["widget-host"]["cpu %"] / max(two["widget-host"]["cpu %"], 1e-9))),
        ("host anonymous per added widget", "%.0f KB"
         % ((twenty["widget-host"]["anon MB"] - two["widget-host"]["anon MB"]) * 1024 / added)),
        ("extensions' anonymous, 2 / 20 widgets", "%.1f MB / %.1f MB" % (extensions(two), extensions(twenty))),
        ("host start -> all %d widgets shown" % r["shown"]["widgets"], "%.2f s" % r["shown"]["seconds"]),
    ]
    if "press" in r:
        rows.append(("press -> new picture, median of %d" % r["press"]["presses"], "%.1f ms" % r["press"]["median ms"]))
    print("summary:")
    for name, value in rows:
        print("  %-48s %s" % (name, value))


def loadavg():
    with open("/proc/loadavg") as f:
        return " ".join(f.read().split()[:3])


def main():
    parser = argparse.ArgumentParser()
    steps = parser.add_subparsers(dest="step", required=True)
    p = steps.add_parser("press")
    p.add_argument("--widget", required=True)
    p.add_argument("--presses", type=int, default=20)
    s = steps.add_parser("steady")
    s.add_argument("--name", required=True)
    s.add_argument("--host-pid", type=int, required=True)
    s.add_argument("--conky-pid", type=int, required=True)
    s.add_argument("--widgets", type=int, required=True)
    s.add_argument("--start-timer", help="a Kelvo widget whose timer is started first")
    s.add_argument("--seconds", type=int, default=60)
    d = steps.add_parser("shown")
    d.add_argument("--widgets", type=int, required=True)
    d.add_argument("--since-ns", type=int, required=True, help="when the host was started, CLOCK_REALTIME")
    steps.add_parser("summary")
    for step in (p, s, d, steps.choices["summary"]):
        step.add_argument("--results", required=True)
    args = parser.parse_args()
    {"press": press, "steady": steady, "shown": shown, "summary": summary}[args.step](args)


if __name__ == "__main__":
    main()
