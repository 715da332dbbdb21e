"""A stand-in for a file manager's desktop: one full-screen window of type DESKTOP, as
`pcmanfm --desktop` or xfdesktop show. Clicking it is what makes some window managers hide or
lower other windows. Or a stand-in for a top panel."""
import sys

import gi

gi.require_version("Gdk", "3.0")
gi.require_version("Gtk", "3.0")
from gi.repository import Gdk, Gtk  # noqa: E402

# With --normal it is an ordinary window instead, for a compositor to put above the widgets; with
# --panel a 32-pixel dock across the top, whose strut the caller sets.
normal = "--normal" in sys.argv
panel = "--panel" in sys.argv
window = Gtk.Window(title="test window" if normal else "test panel" if panel else "test desktop")
if not normal:
    window.set_type_hint(Gdk.WindowTypeHint.DOCK if panel else Gdk.WindowTypeHint.DESKTOP)
screen = window.get_screen()
window.set_default_size(screen.get_width(), 32 if panel else screen.get_height())
window.move(0, 0)
window.override_background_color(Gtk.StateFlags.NORMAL, Gdk.RGBA(0.2, 0.4, 0.3, 1))
window.connect("destroy", Gtk.main_quit)
window.show_all()
Gtk.main()
