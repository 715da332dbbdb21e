#!/usr/bin/env python3
"""What a screen reader finds in a widget window, through AT-SPI.

Prints one line per push button ("button NAME enabled|disabled"), per menu item ("item NAME
enabled|disabled") and per other named element that is not the window ("text NAME"), in tree order;
with --name-changes N then waits for N accessible names announced as changed and prints "name NAME"
for each; with --press NAME runs that button's or menu item's "click" action. Exits non-zero when
the application, the button or the announcements cannot be found within --timeout seconds.

    atspi_check.py --app-pid PID [--name-changes N] [--press NAME]

Needs the session bus of the application (AT-SPI starts its own bus from there) and its display.
"""
import argparse
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
gi.require_version("GLib", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402


# Plain, radio and check items alike: the keyboard reaches each of them.
MENU_ITEMS = (Atspi.Role.MENU_ITEM, Atspi.Role.RADIO_MENU_ITEM, Atspi.Role.CHECK_MENU_ITEM)


def find_application(pid, timeout):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        desktop = Atspi.get_desktop(0)
        for i in range(desktop.get_child_count()):
            app = desktop.get_child_at_index(i)
            try:
                if app is not None and app.get_process_id() == pid:
                    return app
            except gi.repository.GLib.Error:
                continue
        time.sleep(0.2)
    return None


def walk(node, depth=0):
    yield node
    if depth > 30:
        return
    for i in range(node.get_child_count()):
        child = node.get_child_at_index(i)
        if child is not None:
            yield from walk(child, depth + 1)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--app-pid", type=int, required=True)
    parser.add_argument("--press")
    parser.add_argument("--name-changes", type=int, default=0)
    parser.add_argument("--timeout", type=float, default=30)
    args = parser.parse_args()

    app = find_application(args.app_pid, args.timeout)
    if app is None:
        print(f"no accessible application with pid {args.app_pid}", file=sys.stderr)
        return 2

    # Pressed once the whole tree is read: a press may close a menu and take its items away.
    target = None
    for node in walk(app):
        role = node.get_role()
        name = node.get_name() or ""
        if role in (Atspi.Role.PUSH_BUTTON,) + MENU_ITEMS:
            enabled = node.get_state_set().contains(Atspi.StateType.ENABLED)
            kind = "button" if role == Atspi.Role.PUSH_BUTTON else "item"
            print(f"{kind} {name} {'enabled' if enabled else 'disabled'}")
            if args.press == name and target is None:
                target = node
        elif role not in (Atspi.Role.APPLICATION, Atspi.Role.FRAME, Atspi.Role.WINDOW) and name:
            print("text " + name.replace("\n", " | "))
    if args.name_changes > 0:
        # Announced changes of names this reader has read, as a screen reader keeps them current.
        loop = GLib.MainLoop()
        announced = []

        def changed(event):
            announced.append(event.source.get_name() or "")
            print("name " + announced[-1].replace("\n", " | "))
            if len(announced) >= args.name_changes:
                loop.quit()

        listener = Atspi.EventListener.new(changed)
        listener.register("object:property-change:accessible-name")
        GLib.timeout_add(int(args.timeout * 1000), loop.quit)
        loop.run()
        listener.deregister("object:property-change:accessible-name")
        if len(announced) < args.name_changes:
            print(f"{len(announced)} of {args.name_changes} name changes announced", file=sys.stderr)
            return 5
    if args.press and target is None:
        print(f"no button named {args.press!r}", file=sys.stderr)
        return 4
    if target is not None:
        action = target.get_action_iface()
        names = [action.get_action_name(i) for i in range(action.get_n_actions())]
        if "click" not in names:
            print(f"{args.press} has no click action: {names}", file=sys.stderr)
            return 3
        action.do_action(names.index("click"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
