#!/usr/bin/python3
"""A stand-in for logind on whatever bus DBUS_SYSTEM_BUS_ADDRESS names: takes the name
org.freedesktop.login1, announces a suspend and the resume after it (PrepareForSleep true, then
false), and stays on the bus for a few seconds so that the signals are delivered from its name."""
import gi

gi.require_version("Gio", "2.0")
gi.require_version("GLib", "2.0")
from gi.repository import Gio, GLib  # noqa: E402

loop = GLib.MainLoop()


def acquired(connection, _name):
    for sleeping in (True, False):
        connection.emit_signal(None, "/org/freedesktop/login1", "org.freedesktop.login1.Manager", "PrepareForSleep",
                               GLib.Variant("(b)", (sleeping,)))
    connection.flush_sync(None)
    print("announced a suspend and a resume", flush=True)
    GLib.timeout_add_seconds(5, loop.quit)


Gio.bus_own_name(Gio.BusType.SYSTEM, "org.freedesktop.login1", Gio.BusNameOwnerFlags.NONE, None, acquired,
                 lambda *_: loop.quit())
loop.run()
