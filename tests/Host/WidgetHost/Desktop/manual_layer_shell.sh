#!/usr/bin/env bash
# By hand, not in CI: a desktop surface on a layer-shell compositor. Sway refuses to run as root,
# which CI is, so run this as a normal user on a machine with sway (and grim for the picture):
#
#   tests/Host/WidgetHost/Desktop/manual_layer_shell.sh build/bin/widget-surface-probe [OUT.png]
#
# It starts a headless Sway, shows the probe's surface on it, checks that the probe chose
# layer-shell and mapped its surface, takes a screenshot with grim when it can, and stops.
set -euo pipefail
probe=$(realpath "$1")
out=${2:-/tmp/layer-shell.png}
[ "$(id -u)" != 0 ] || { echo "run this as a normal user: sway does not run as root" >&2; exit 2; }
command -v sway >/dev/null || { echo "sway is missing (apt-get install sway)" >&2; exit 2; }

runtime=$(mktemp -d)
chmod 700 "$runtime"
export XDG_RUNTIME_DIR=$runtime WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1
unset DISPLAY WAYLAND_DISPLAY
printf 'output HEADLESS-1 resolution 1280x800\n' >"$runtime/sway.conf"
sway -c "$runtime/sway.conf" >"$runtime/sway.log" 2>&1 &
sway_pid=$!
trap 'kill $sway_pid $probe_pid 2>/dev/null; wait 2>/dev/null; rm -rf "$runtime"' EXIT
for _ in $(seq 50); do ls "$runtime"/wayland-* >/dev/null 2>&1 && break; sleep 0.1; done
export WAYLAND_DISPLAY=$(basename "$(ls "$runtime"/wayland-* | grep -v lock | head -1)")

coproc PROBE { "$probe" --medium --x 100 --y 80 2>"$runtime/probe.err"; }
probe_pid=$PROBE_PID
ready=
while read -r -t 10 line <&"${PROBE[0]}"; do [ "$line" = ready ] && { ready=1; break; }; done
grep -q "display: wayland-layer-shell" "$runtime/probe.err" || { echo "FAIL: not on layer-shell"; cat "$runtime/probe.err"; exit 1; }
[ -n "$ready" ] || { echo "FAIL: the surface was never mapped"; cat "$runtime/probe.err"; exit 1; }
echo "layer-shell surface mapped"
if command -v grim >/dev/null; then grim "$out" && echo "screenshot: $out"; fi
