#!/usr/bin/env bash
# The widget host's footprint next to conky drawing a clock each second on the same Xvfb, in one run:
#   1. press -> new picture latency (median of N presses), with a host writing pictures;
#   2. the host with windows, two ticking widgets (small and medium, a running timer): CPU and
#      memory of the host, its extension and conky over S seconds;
#   3. the same host with 20 placed widgets, 10 of them ticking (the other 10 from a static test
#      extension): CPU and memory again, and, after a restart, the time from the host's start to all
#      20 widgets shown.
# The host runs as a user's desktop would start it: the user's GTK theme (Adwaita, from the user's
# GTK settings), and none of the variables that tune GLib, GDK or GTK.
#
# Usage: bench/host/footprint.sh [--presses N] [--seconds S]
# Programs come from KELVO_BIN_DIR (default build-release/bin, else build/bin). Runs on a private
# session bus and in temporary directories.
set -euo pipefail
cd "$(dirname "$0")/../.."
args=("$@")
presses=20
seconds=60
while [ $# -gt 0 ]; do
  case "$1" in
    --presses) presses=$2; shift ;;
    --seconds) seconds=$2; shift ;;
    *) echo "footprint: unknown option $1" >&2; exit 2 ;;
  esac
  shift
done

if [ -z "${FOOTPRINT_PRIVATE_BUS:-}" ]; then
  exec env FOOTPRINT_PRIVATE_BUS=1 dbus-run-session -- "$0" "${args[@]}"
fi

bin=${KELVO_BIN_DIR:-}
[ -n "$bin" ] || { [ -x build-release/bin/widget-host ] && bin=build-release/bin || bin=build/bin; }
bin=$(realpath "$bin")
measure=(/usr/bin/python3 "$PWD/bench/host/footprint.py")
tmp=$(mktemp -d -t widget-host-footprint-XXXXXX)
export XDG_DATA_HOME="$tmp/data" XDG_CONFIG_HOME="$tmp/config" XDG_CACHE_HOME="$tmp/cache"
# Whatever the caller's shell tunes stays out of the measured programs.
unset G_SLICE G_DEBUG GDK_GL GDK_DEBUG GTK_THEME GTK_DEBUG NO_AT_BRIDGE MALLOC_ARENA_MAX
mkdir -p "$XDG_CONFIG_HOME/gtk-3.0"
printf '[Settings]\ngtk-theme-name=Adwaita\n' >"$XDG_CONFIG_HOME/gtk-3.0/settings.ini"
pids=()
cleanup() {
  set +e
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT

# conky with a clock, on a virtual display of its own.
Xvfb -displayfd 3 -screen 0 1920x1200x24 -nolisten tcp 3>"$tmp/display" 2>"$tmp/xvfb.log" &
pids+=($!)
for _ in $(seq 50); do [ -s "$tmp/display" ] && break; sleep 0.1; done
display=":$(cat "$tmp/display")"
cat >"$tmp/conky.conf" <<'CONKY'
conky.config = {
  out_to_x = true, out_to_console = false, own_window = true, own_window_type = 'normal',
  update_interval = 1, double_buffer = true, use_xft = true, font = 'DejaVu Sans:size=20',
  minimum_width = 364, minimum_height = 170,
}
conky.text = [[${time %H:%M:%S}]]
CONKY
DISPLAY=$display conky -c "$tmp/conky.conf" >"$tmp/conky.log" 2>&1 &
conky_pid=$!
pids+=($conky_pid)

# A static widget that never ticks: the end-to-end tests' fake extension, in a directory of its own.
mkdir -p "$tmp/extensions" "$tmp/fake"
printf '#!/bin/sh\nFAKE_EXTENSION_DIR=%s exec /usr/bin/python3 %s\n' "$tmp/fake" "$PWD/tests/e2e/fake_extension.py" \
  >"$tmp/extensions/FakeWidget"
chmod +x "$tmp/extensions/FakeWidget"
echo '{"bundleIdentifier": "net.example.fake.widget", "extension": {"point": "widget", "executable": "FakeWidget"}}' \
  >"$tmp/extensions/FakeWidget.bundle.json"

host_pid=
start_host() {  # start_host <log name> <arguments...>
  local log=$1
  shift
  "$bin/widget-host" --extensions-dir "$bin" --extensions-dir "$tmp/extensions" "$@" >>"$tmp/$log.log" 2>&1 &
  host_pid=$!
  pids+=($host_pid)
  for _ in $(seq 200); do "$bin/widgetctl" list >/dev/null 2>&1 && return; sleep 0.05; done
  echo "footprint: the widget host did not come up" >&2
  cat "$tmp/$log.log" >&2
  exit 1
}
stop_host() {
  kill "$host_pid"
  wait "$host_pid" 2>/dev/null || true
}

"$bin/kelvo-app" --demo >"$tmp/kelvo-app.log" 2>&1 &
pids+=($!)

echo "programs: $bin; load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"

# 1. Presses, with pictures (windows send no picture signal).
if [ "$presses" -gt 0 ]; then
  start_host press --headless --config-dir "$tmp/press-config" \
    --output-dir "$tmp/pictures"
  small=$("$bin/widgetctl" place TimerWidget --family small)
  "${measure[@]}" press --widget "$small" --presses "$presses" --results "$tmp/results.json"
  stop_host
fi

# 2. Windows with two ticking widgets.
export DISPLAY=$display
start_host windows
small=$("$bin/widgetctl" place TimerWidget --family small --x 20 --y 20)
"$bin/widgetctl" place TimerWidget --family medium --x 200 --y 20 >/dev/null
"${measure[@]}" steady --name "2 widgets" --host-pid "$host_pid" --conky-pid "$conky_pid" --start-timer "$small" \
  --widgets 2 --seconds "$seconds" --results "$tmp/results.json"

# 3. Twenty widgets: ten ticking, ten static.
for i in $(seq 0 7); do
  "$bin/widgetctl" place TimerWidget --family small --x $((20 + 180 * i)) --y 200 >/dev/null
done
for i in $(seq 0 9); do
  "$bin/widgetctl" place Counter --family small --x $((20 + 180 * i)) --y $((380 + 180 * (i / 5))) >/dev/null
done
"${measure[@]}" steady --name "20 widgets" --host-pid "$host_pid" --conky-pid "$conky_pid" --widgets 20 \
  --seconds "$seconds" --results "$tmp/results.json"
stop_host
started=$(date +%s%N)
start_host windows
"${measure[@]}" shown --widgets 20 --since-ns "$started" --results "$tmp/results.json"
stop_host

echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
"${measure[@]}" summary --results "$tmp/results.json"
