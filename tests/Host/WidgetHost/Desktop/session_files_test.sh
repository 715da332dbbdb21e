#!/usr/bin/env bash
# The files that start the widget host with the session, as `cmake --install --prefix` lays them
# out: both name the installed program, and D-Bus activation goes through the same unit; and the
# stand-in application's desktop entry, which handles kelvo: links.
# Usage: session_files_test.sh BUILD_DIR
set -euo pipefail
build=$1
prefix=$(mktemp -d -t widget-host-install-XXXXXX)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

unit=$prefix/lib/systemd/user/widget-host.service
autostart=$prefix/share/widget-host/autostart/widget-host.desktop
activation=$prefix/share/dbus-1/services/net.widgethost.Host1.service
failed=0
check() {  # FILE LINE
  if ! grep -qxF "$2" "$1"; then echo "FAIL: $1 lacks the line: $2"; failed=1; fi
}
check "$unit" "ExecStart=$prefix/bin/widget-host"
check "$unit" "BusName=net.widgethost.Host1"
check "$unit" "WantedBy=graphical-session.target"
check "$autostart" "Exec=$prefix/bin/widget-host"
check "$activation" "SystemdService=widget-host.service"
entry=$prefix/share/applications/com.kelvo.desktop.desktop
check "$entry" "Exec=$prefix/bin/kelvo-app %u"
check "$entry" "MimeType=x-scheme-handler/kelvo;"
# xdg-open finds the handler of kelvo: links through the cache that the install step writes.
if command -v xdg-mime >/dev/null && command -v update-desktop-database >/dev/null; then
  handler=$(XDG_DATA_DIRS=$prefix/share XDG_DATA_HOME=$prefix/none XDG_CONFIG_HOME=$prefix/none XDG_CURRENT_DESKTOP= \
            xdg-mime query default x-scheme-handler/kelvo)
  [ "$handler" = com.kelvo.desktop.desktop ] || { echo "FAIL: kelvo: links open with '$handler'"; failed=1; }
fi
[ -x "$prefix/bin/widget-host" ] || { echo "FAIL: $prefix/bin/widget-host is not installed"; failed=1; }
if command -v systemd-analyze >/dev/null; then
  runtime=$(mktemp -d)
  XDG_RUNTIME_DIR=$runtime systemd-analyze verify --user "$unit" || { echo "FAIL: systemd-analyze rejects the unit"; failed=1; }
  rm -rf "$runtime"
fi
[ "$failed" = 0 ] && echo "session files: all present and consistent"
exit "$failed"
