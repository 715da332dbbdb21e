#!/usr/bin/env bash
# The files that start the widget host with the session, as `cmake --install` lays them out (into a
# DESTDIR): all name the installed program under the configured prefix, D-Bus activation goes through
# the same unit, and each is a file of install_manifest.txt, so that packages and uninstalls see it.
# Usage: session_files_test.sh BUILD_DIR INSTALL_PREFIX
set -euo pipefail
build=$1
prefix=$2
destdir=$(mktemp -d -t widget-host-install-XXXXXX)
trap 'rm -rf "$destdir"' EXIT
DESTDIR=$destdir cmake --install "$build" >/dev/null
root=$destdir$prefix

unit=lib/systemd/user/widget-host.service
autostart=share/widget-host/autostart/widget-host.desktop
activation=share/dbus-1/services/net.widgethost.Host1.service
link=share/widget-extensions/com.kelvo.desktop.widget.json
failed=0
check() {  # FILE LINE
  if ! grep -qxF "$2" "$root/$1"; then echo "FAIL: $1 lacks the line: $2"; failed=1; fi
}
check "$unit" "ExecStart=$prefix/bin/widget-host"
check "$unit" "BusName=net.widgethost.Host1"
check "$unit" "WantedBy=graphical-session.target"
check "$autostart" "Exec=$prefix/bin/widget-host"
check "$activation" "Exec=$prefix/bin/widget-host"
check "$activation" "SystemdService=widget-host.service"
[ -x "$root/bin/widget-host" ] || { echo "FAIL: $prefix/bin/widget-host is not installed"; failed=1; }
[ -L "$root/$link" ] && [ -f "$root/$link" ] || { echo "FAIL: $link is no link to an installed manifest"; failed=1; }
for file in "$unit" "$autostart" "$activation" "$link"; do
  grep -qxF "$prefix/$file" "$build/install_manifest.txt" || { echo "FAIL: $file is not in install_manifest.txt"; failed=1; }
done
entry=share/applications/com.kelvo.desktop.desktop
check "$entry" "Exec=$prefix/bin/kelvo-app %u"
check "$entry" "MimeType=x-scheme-handler/kelvo;"
# xdg-open finds the handler of kelvo: links through the cache that the package's trigger writes.
if command -v xdg-mime >/dev/null && command -v update-desktop-database >/dev/null; then
  update-desktop-database "$root/share/applications"
  handler=$(XDG_DATA_DIRS=$root/share XDG_DATA_HOME=$destdir/none XDG_CONFIG_HOME=$destdir/none XDG_CURRENT_DESKTOP= \
            xdg-mime query default x-scheme-handler/kelvo)
  [ "$handler" = com.kelvo.desktop.desktop ] || { echo "FAIL: kelvo: links open with '$handler'"; failed=1; }
fi
if command -v systemd-analyze >/dev/null; then
  runtime=$(mktemp -d)
  # The unit names the program at its final place; check it against the installed copy.
  sed "s|^ExecStart=$prefix|ExecStart=$root|" "$root/$unit" > "$runtime/widget-host.service"
  XDG_RUNTIME_DIR=$runtime systemd-analyze verify --user "$runtime/widget-host.service" ||
    { echo "FAIL: systemd-analyze rejects the unit"; failed=1; }
  rm -rf "$runtime"
fi
[ "$failed" = 0 ] && echo "session files: all present and consistent"
exit "$failed"
