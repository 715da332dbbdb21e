#!/usr/bin/env bash
# Installs the bridge into a fresh prefix and uses it the way a host application would: checks the
# exported symbols and the soname, builds the plain-C test with the pkg-config file and a run path
# relative to the program, and once more through the CMake package; then runs both.
# Usage: installed_bridge_test.sh <build dir> <C compiler> [extra C and link flags]
set -euo pipefail
build=$1
cc=$2
extra=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

prefix=$tmp/prefix
for component in Bridge BridgeDev; do
  cmake --install "$build" --prefix "$prefix" --component "$component" >/dev/null
done
export PKG_CONFIG_PATH=$(dirname "$(find "$prefix" -name KelvoWidgetBridge.pc)")
libdir=$(pkg-config --variable=libdir KelvoWidgetBridge)
lib=$libdir/libKelvoWidgetBridge.so.1
[ -f "$lib" ] || { echo "FAILED: $lib is not installed"; exit 1; }
[ "$(pkg-config --modversion KelvoWidgetBridge)" = 1.0.0 ] || { echo "FAILED: pkg-config version"; exit 1; }

# Exactly the four functions of the C interface, and the soname that host programs record.
exported=$(nm -D --defined-only "$lib" | awk '{print $3}' | sort)
expected=$(printf '%s\n' kelvo_widget_container_path kelvo_widget_free_string kelvo_widget_placed_count \
  kelvo_widget_reload_all_timelines | sort)
if [ "$exported" != "$expected" ]; then
  echo "FAILED: exported symbols differ:"; diff <(echo "$expected") <(echo "$exported") || true; exit 1
fi
readelf -d "$lib" | grep -q 'SONAME.*\[libKelvoWidgetBridge\.so\.1\]' || { echo "FAILED: soname"; exit 1; }

# Program in <prefix>/bin, library in <prefix>/lib...: found through an $ORIGIN-relative run path.
mkdir -p "$prefix/bin"
rel=$(realpath --relative-to="$prefix/bin" "$libdir")
# shellcheck disable=SC2046,SC2086
"$cc" -std=c11 -Wall -Wextra -Werror -pedantic $extra "$here/c_interface_test.c" \
  $(pkg-config --cflags --libs KelvoWidgetBridge) -Wl,-rpath,"\$ORIGIN/$rel" -o "$prefix/bin/c_interface_test"

group=group.com.example.ctest
manifest='{"bundleIdentifier": "com.example.ctest", "entitlements": {"com.apple.security.application-groups": ["'$group'"]}}'
echo "$manifest" > "$prefix/bin/c_interface_test.bundle.json"
export XDG_DATA_HOME=$tmp/data
"$prefix/bin/c_interface_test" "$group" "$XDG_DATA_HOME/group-containers/$group"

# The same program built through the CMake package.
cmake -S "$here/consumer" -B "$tmp/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_C_COMPILER="$cc" \
  -DCMAKE_C_FLAGS="$extra" -DCMAKE_EXE_LINKER_FLAGS="$extra" >/dev/null
cmake --build "$tmp/consumer" >/dev/null
echo "$manifest" > "$tmp/consumer/consumer.bundle.json"
"$tmp/consumer/consumer" "$group" "$XDG_DATA_HOME/group-containers/$group"
echo "installed bridge: OK"
