#!/usr/bin/env bash
# Whole-process cost of one timeline request: KelvoWidget started on a pipe, answering one
# getTimeline from a real container, next to /bin/true on the same machine.
# Usage: bench/Widget/program-start.sh [build-dir]   (a release build: cmake --preset release)
set -euo pipefail
build=${1:-build-release}
program=$(realpath "$build/bin/KelvoWidget")
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
state="$home/group-containers/group.com.kelvo.desktop/com.kelvo.desktop"
mkdir -p "$state"
cat > "$state/state.json" <<'JSON'
{"updatedAt":1796760000000,"appRunning":false,"loggedIn":true,"offline":false,"canTrack":true,
 "running":{"name":"Design review","project":"Website redesign","startTime":1796758000000},
 "today":{"dayStart":1796684400000,"baseSeconds":11520},
 "recent":[{"id":"0","name":"Sprint planning","project":"Mobile app"},{"id":"1","name":"Customer interviews","project":"Research"},{"id":"2","name":"Weekly sync"}],
 "strings":{"startTracking":"Start tracking","stopTracking":"Stop tracking","today":"Today","recent":"Recent","noRecent":"Your recent tracking shows up here","notTracking":"Not tracking","noDescription":"No description","openApp":"Open Kelvo to see your timer","loggedOut":"Log in to Kelvo to start tracking","offline":"Offline"}}
JSON
echo '{"jsonrpc":"2.0","id":1,"method":"getTimeline","params":{"family":"systemSmall","isPreview":false}}' > "$home/request"
export XDG_DATA_HOME="$home"
hyperfine -N --warmup 50 --runs 1000 --export-json "$home/result.json" \
  --input "$home/request" "$program" \
  "/bin/true"
python3 - "$home/result.json" <<'PY'
import json, sys
r = {x["command"].split("/")[-1]: x for x in json.load(open(sys.argv[1]))["results"]}
w, t = r["KelvoWidget"]["median"], r["true"]["median"]
print(f"median KelvoWidget {w*1e3:.3f} ms, /bin/true {t*1e3:.3f} ms, ratio {w/t:.2f}")
PY
