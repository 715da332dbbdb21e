"""Measures a running widget host (started by footprint.sh): how long a press takes to reach a new
picture, and what the host, its extension and conky cost in CPU and memory over a while."""
import argparse
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

    def buttons(self, widget_id):
        for widget in self.call("List", None, "(a(ssssdasa(sbs)ss))")[0]:
            if widget[0] == widget_id:
                return {label for label, enabled, _ in widget[6] if enabled}
        return set()

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


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--host-pid", type=int, required=True)
    parser.add_argument("--conky-pid", type=int, required=True)
    parser.add_argument("--widget", required=True)
    parser.add_argument("--presses", type=int, default=20)
    parser.add_argument("--seconds", type=int, default=60)
    args = parser.parse_args()

    host = Host()
    latencies = press_latencies(host, args.widget, args.presses)
    if "Stop tracking" not in host.buttons(args.widget):
        host.call("Press", GLib.Variant("(ss)", (args.widget, "Start tracking")), "(s)")
        host.pump(2)
    if "Stop tracking" not in host.buttons(args.widget):
        sys.exit("the timer did not start")

    [extension] = children(args.host_pid)
    watched = {"widget-host": args.host_pid, "KelvoWidget (extension)": extension, "conky (clock)": args.conky_pid}
    cpu_before = {name: cpu_seconds(pid) for name, pid in watched.items()}
    memory = {name: [] for name in watched}
    drawn_before = len(host.drawn)
    start = time.monotonic()
    while time.monotonic() - start < args.seconds:
        for name, pid in watched.items():
            memory[name].append(memory_mb(pid))
        host.pump(1.0)
    elapsed = time.monotonic() - start
    pictures = len(host.drawn) - drawn_before

    if latencies:
        print("press -> new picture, %d presses: median %.1f ms, min %.1f ms, max %.1f ms"
              % (len(latencies), statistics.median(latencies), min(latencies), max(latencies)))
    print("over %.0f s with two widgets and a running timer (%.2f pictures per second):" % (elapsed, pictures / elapsed))
    print("  %-26s %8s %11s %8s %11s %11s" % ("process", "CPU", "RSS median", "RSS max", "PSS median",
                                             "anon median"))
    for name, pid in watched.items():
        cpu = (cpu_seconds(pid) - cpu_before[name]) / elapsed * 100
        median = {key: statistics.median(m[key] for m in memory[name]) for key in ("rss", "pss", "anon")}
        print("  %-26s %7.3f%% %8.1f MB %5.1f MB %8.1f MB %8.1f MB"
              % (name, cpu, median["rss"], max(m["rss"] for m in memory[name]), median["pss"], median["anon"]))


if __name__ == "__main__":
    main()
