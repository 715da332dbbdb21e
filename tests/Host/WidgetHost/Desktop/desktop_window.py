"""A stand-in for a file manager's desktop: one full-screen window of type DESKTOP, as
`pcmanfm --desktop` or xfdesktop show. Clicking it is what makes some window managers hide or
lower other windows."""
import gi

gi.require_version("Gtk", "3.0")
from gi.repository import Gdk, Gtk  # noqa: E402

window = Gtk.Window(title="test desktop")
window.set_type_hint(Gdk.WindowTypeHint.DESKTOP)
screen = window.get_screen()
window.set_default_size(screen.get_width(), screen.get_height())
window.move(0, 0)
window.override_background_color(Gtk.StateFlags.NORMAL, Gdk.RGBA(0.2, 0.4, 0.3, 1))
window.connect("destroy", Gtk.main_quit)
window.show_all()
Gtk.main()
