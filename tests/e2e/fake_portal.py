#!/usr/bin/python3
"""A stand-in for the desktop portal's Settings interface, as Debian 12's portal has it: Read only
(its answer wrapped in two variants), no ReadOne, and SettingChanged on a change.

    fake_portal.py SCHEME DIR

Answers "org.freedesktop.appearance" "color-scheme" with SCHEME (0, 1 or 2). Whenever a file DIR/scheme
appears, it takes the number in it as the new scheme, announces it and removes the file."""
import os
import sys

import gi

gi.require_version("Gio", "2.0")
gi.require_version("GLib", "2.0")
from gi.repository import Gio, GLib  # noqa: E402

XML = """<node><interface name="org.freedesktop.portal.Settings">
  <method name="Read"><arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="v" direction="out"/></method>
  <signal name="SettingChanged"><arg type="s"/><arg type="s"/><arg type="v"/></signal>
</interface></node>"""
PATH = "/org/freedesktop/portal/desktop"

scheme = int(sys.argv[1])
steer = sys.argv[2]
connection = None


def call(_conn, _sender, _path, _interface, method, params, invocation):
    namespace, key = params.unpack()
    if method == "Read" and (namespace, key) == ("org.freedesktop.appearance", "color-scheme"):
        invocation.return_value(GLib.Variant("(v)", (GLib.Variant("v", GLib.Variant("u", scheme)),)))
    else:
        invocation.return_dbus_error("org.freedesktop.portal.Error.NotFound", "no such setting")


def poll():
    global scheme
    path = os.path.join(steer, "scheme")
    if os.path.exists(path):
        with open(path) as f:
            scheme = int(f.read())
        os.remove(path)
        connection.emit_signal(None, PATH, "org.freedesktop.portal.Settings", "SettingChanged",
                               GLib.Variant("(ssv)", ("org.freedesktop.appearance", "color-scheme",
                                                      GLib.Variant("u", scheme))))
        print("scheme", scheme, flush=True)
    return True


def acquired(conn, _name):
    print("serving", flush=True)


connection = Gio.bus_get_sync(Gio.BusType.SESSION)
connection.register_object(PATH, Gio.DBusNodeInfo.new_for_xml(XML).interfaces[0], call, None, None)
Gio.bus_own_name_on_connection(connection, "org.freedesktop.portal.Desktop", Gio.BusNameOwnerFlags.NONE, acquired, None)
GLib.timeout_add(50, poll)
GLib.MainLoop().run()
