"""Which window type keeps a widget-like window (below, sticky, skip task bar and pager) on screen
through "show desktop", above a file manager's desktop window after a click on it, and below a
normal window, on each X11 window manager. Writes evidence/hints.json and prints a table.

    python3 docs/desktops/measure_hints.py
"""
import json
import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tests", "Host", "WidgetHost", "Desktop"))
from xsession import WINDOW_MANAGERS, XSession  # noqa: E402

PYTHON = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else sys.executable
TYPES = ("utility", "dock", "desktop", "splashscreen", "toolbar")
if len(sys.argv) > 1:
    WINDOW_MANAGERS = {wm: None for wm in sys.argv[1:]}  # noqa: F811


def find(x, name):
    for _ in range(100):
        out = x.run("xdotool", "search", "--name", f"^{name}$", check=False).stdout.split()
        if out:
            return int(out[0])
        time.sleep(0.1)
    return None


def stacking(x):
    out = x.run("xprop", "-root", "_NET_CLIENT_LIST_STACKING", check=False).stdout
    return [int(w, 16) for w in out.partition("#")[2].replace(",", " ").split()]


def shown(x, window):
    atoms, viewable = x.state(window)
    return viewable and "HIDDEN" not in atoms


def measure(wm, kind):
    with XSession(window_manager=wm) as x:
        start = lambda *args: x.processes.append(subprocess.Popen([PYTHON, *args], env=x.env(NO_AT_BRIDGE="1")))
        desktop = x.desktop_window()
        start(os.path.join(HERE, "..", "..", "tests", "Host", "WidgetHost", "Desktop", "hint_window.py"), kind, "widget")
        widget = find(x, "widget")
        if widget is None:
            return {"error": "the window never appeared"}
        time.sleep(0.5)
        facts = {"state": sorted(x.state(widget)[0])}
        x.run("xdotool", "mousemove", "--sync", "900", "700", "click", "1")
        time.sleep(0.3)
        order = stacking(x)
        facts["after a desktop click"] = shown(x, widget) and (desktop not in order or widget not in order or
                                                              order.index(widget) > order.index(desktop))
        x.show_desktop(True)
        time.sleep(0.5)
        facts["through show desktop"] = shown(x, widget)
        x.show_desktop(False)
        time.sleep(0.3)
        start(os.path.join(HERE, "..", "..", "tests", "Host", "WidgetHost", "Desktop", "desktop_window.py"), "--normal")
        normal = find(x, "test window") or 0
        time.sleep(0.5)
        order = stacking(x)
        facts["below a normal window"] = widget in order and normal in order and order.index(widget) < order.index(normal)
        return facts


def main():
    results = {wm: {kind: measure(wm, kind) for kind in TYPES} for wm in WINDOW_MANAGERS}
    os.makedirs(os.path.join(HERE, "evidence"), exist_ok=True)
    with open(os.path.join(HERE, "evidence", "hints.json"), "w") as f:
        json.dump(results, f, indent=1, sort_keys=True)
    for wm, kinds in results.items():
        for kind, facts in kinds.items():
            if "error" in facts:
                print(f"{wm:9} {kind:8} {facts['error']}")
                continue
            print(f"{wm:9} {kind:8} desktop click: {facts['after a desktop click']!s:5} "
                  f"show desktop: {facts['through show desktop']!s:5} below normal: {facts['below a normal window']!s:5} "
                  f"state: {' '.join(facts['state'])}")


if __name__ == "__main__":
    main()
