#!/usr/bin/env bash
# The files that start the widget host with the session, as `cmake --install --prefix` lays them
# out: both name the installed program, and D-Bus activation goes through the same unit.
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
[ -x "$prefix/bin/widget-host" ] || { echo "FAIL: $prefix/bin/widget-host is not installed"; failed=1; }
if command -v systemd-analyze >/dev/null; then
  runtime=$(mktemp -d)
  XDG_RUNTIME_DIR=$runtime systemd-analyze verify --user "$unit" || { echo "FAIL: systemd-analyze rejects the unit"; failed=1; }
  rm -rf "$runtime"
fi
[ "$failed" = 0 ] && echo "session files: all present and consistent"
exit "$failed"
