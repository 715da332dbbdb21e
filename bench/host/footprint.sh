#!/usr/bin/env bash
# The widget host's footprint: press -> new picture latency (median of N presses), then CPU and
# resident memory of the host and its extension over a while with two placed widgets and a running
# timer, next to conky showing a clock each second under Xvfb in the same run.
#
# With --windows the host shows its widgets as windows on the same Xvfb as conky (no press latency
# then: windows send no picture signal); without it, it writes pictures.
#
# Usage: bench/host/footprint.sh [--windows] [--presses N] [--seconds S]
# Programs come from KELVO_BIN_DIR (default build-release/bin, else build/bin). Runs on a private
# session bus and in temporary directories.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
args=("$@")
presses=20
seconds=60
windows=
while [ $# -gt 0 ]; do
  case "$1" in
    --windows) windows=1 ;;
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
tmp=$(mktemp -d -t widget-host-footprint-XXXXXX)
export XDG_DATA_HOME="$tmp/data" XDG_CONFIG_HOME="$tmp/config" XDG_CACHE_HOME="$tmp/cache"
pids=()
cleanup() {
  set +e
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT

# conky with a clock, on a virtual display of its own.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$tmp/display" 2>"$tmp/xvfb.log" &
pids+=($!)
for _ in $(seq 50); do [ -s "$tmp/display" ] && break; sleep 0.1; done
cat >"$tmp/conky.conf" <<'CONKY'
conky.config = {
  out_to_x = true, out_to_console = false, own_window = true, own_window_type = 'normal',
  update_interval = 1, double_buffer = true, use_xft = true, font = 'DejaVu Sans:size=20',
  minimum_width = 364, minimum_height = 170,
}
conky.text = [[${time %H:%M:%S}]]
CONKY
DISPLAY=":$(cat "$tmp/display")" conky -c "$tmp/conky.conf" >"$tmp/conky.log" 2>&1 &
conky_pid=$!
pids+=($conky_pid)

if [ -n "$windows" ]; then
  # FOOTPRINT_HOST_ENV can add variables, e.g. NO_AT_BRIDGE=1 to leave out the screen readers' bridge.
  env ${FOOTPRINT_HOST_ENV:-} DISPLAY=":$(cat "$tmp/display")" "$bin/widget-host" --extensions-dir "$bin" \
    >"$tmp/widget-host.log" 2>&1 &
  presses=0
else
  env -u DISPLAY -u WAYLAND_DISPLAY "$bin/widget-host" --headless --extensions-dir "$bin" \
    --output-dir "$tmp/pictures" >"$tmp/widget-host.log" 2>&1 &
fi
host_pid=$!
pids+=($host_pid)
for _ in $(seq 100); do "$bin/widgetctl" list >/dev/null 2>&1 && break; sleep 0.1; done
small=$("$bin/widgetctl" place TimerWidget --family small)
"$bin/widgetctl" place TimerWidget --family medium >/dev/null
"$bin/kelvo-app" --demo >"$tmp/kelvo-app.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do "$bin/widgetctl" list | grep -q '"Start tracking" ->' && break; sleep 0.1; done

echo "programs: $bin; host: $([ -n "$windows" ] && echo windows on Xvfb || echo pictures)"
/usr/bin/python3 bench/host/footprint.py --host-pid "$host_pid" --conky-pid "$conky_pid" --widget "$small" \
  --presses "$presses" --seconds "$seconds"
