"""A small window with the hints a desktop widget may ask for, to find out which window type each
window manager keeps through "show desktop" and below normal windows.

    hint_window.py TYPE NAME      TYPE: utility, dock, desktop, splashscreen, toolbar, normal

It keeps below, sticks to every workspace and skips the task bar and pager, as the widget windows do."""
import sys

import gi


gi.require_version("Gdk", "3.0")
gi.require_version("Gtk", "3.0")
from gi.repository import Gdk, Gtk  # noqa: E402

kind, name = sys.argv[1], sys.argv[2]
window = Gtk.Window(title=name)
window.set_type_hint(getattr(Gdk.WindowTypeHint, kind.upper()))
window.set_decorated(False)
window.set_keep_below(True)
window.stick()
window.set_skip_taskbar_hint(True)
window.set_skip_pager_hint(True)
window.set_accept_focus(False)
window.set_default_size(170, 170)
window.move(40, 60)
window.override_background_color(Gtk.StateFlags.NORMAL, Gdk.RGBA(0.9, 0.5, 0.9, 1))
window.connect("destroy", Gtk.main_quit)
window.show_all()
Gtk.main()
