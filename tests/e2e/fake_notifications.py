#!/usr/bin/python3
"""A stand-in for a desktop notification server (org.freedesktop.Notifications) that shows actions.

    fake_notifications.py DIR

Prints "notify ID SUMMARY|BODY|ACTIONS" for every notice. Whenever a file DIR/invoke appears, it
chooses the action named in it on the last notice (ActionInvoked, then NotificationClosed, as servers
do when a notice's button is pressed) and removes the file."""
import os
import sys

import gi

gi.require_version("Gio", "2.0")
gi.require_version("GLib", "2.0")
from gi.repository import Gio, GLib  # noqa: E402

XML = """<node><interface name="org.freedesktop.Notifications">
  <method name="GetCapabilities"><arg type="as" direction="out"/></method>
  <method name="Notify"><arg type="s"/><arg type="u"/><arg type="s"/><arg type="s"/><arg type="s"/><arg type="as"/>
    <arg type="a{sv}"/><arg type="i"/><arg type="u" direction="out"/></method>
  <signal name="ActionInvoked"><arg type="u"/><arg type="s"/></signal>
  <signal name="NotificationClosed"><arg type="u"/><arg type="u"/></signal>
</interface></node>"""
PATH = "/org/freedesktop/Notifications"
INTERFACE = "org.freedesktop.Notifications"

steer = sys.argv[1]
connection = None
last = 0


def call(_conn, _sender, _path, _interface, method, params, invocation):
    global last
    if method == "GetCapabilities":
        invocation.return_value(GLib.Variant("(as)", (["actions", "body"],)))
        return
    _app, _replaces, _icon, summary, body, actions, _hints, _timeout = params.unpack()
    last += 1
    print("notify %d %s|%s|%s" % (last, summary, body, ",".join(actions)), flush=True)
    invocation.return_value(GLib.Variant("(u)", (last,)))


def poll():
    path = os.path.join(steer, "invoke")
    if os.path.exists(path):
        with open(path) as f:
            action = f.read().strip()
        os.remove(path)
        connection.emit_signal(None, PATH, INTERFACE, "ActionInvoked", GLib.Variant("(us)", (last, action)))
        connection.emit_signal(None, PATH, INTERFACE, "NotificationClosed", GLib.Variant("(uu)", (last, 2)))
        print("invoked", last, action, flush=True)
    return True


def acquired(_conn, _name):
    print("serving", flush=True)


connection = Gio.bus_get_sync(Gio.BusType.SESSION)
connection.register_object(PATH, Gio.DBusNodeInfo.new_for_xml(XML).interfaces[0], call, None, None)
Gio.bus_own_name_on_connection(connection, INTERFACE, Gio.BusNameOwnerFlags.NONE, acquired, None)
GLib.timeout_add(50, poll)
GLib.MainLoop().run()
