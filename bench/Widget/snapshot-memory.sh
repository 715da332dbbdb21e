#!/usr/bin/env bash
# Peak resident memory of KelvoWidget answering one getTimeline for a snapshot of about SIZE bytes
# (default 1000000), made of many recent entries, next to the same program answering with no
# snapshot. The figure to watch is the difference divided by the snapshot's size.
#
# Usage: bench/Widget/snapshot-memory.sh [SIZE] [KelvoWidget, default build/bin/KelvoWidget]
set -euo pipefail
size=${1:-1000000}
program=${2:-build/bin/KelvoWidget}
data=$(mktemp -d)
trap 'rm -rf "$data"' EXIT
state="$data/group-containers/group.com.kelvo.desktop/com.kelvo.desktop/state.json"
mkdir -p "$(dirname "$state")"

python3 - "$size" "$state" <<'PY'
import json, sys
size, path = int(sys.argv[1]), sys.argv[2]
keys = ["startTracking", "stopTracking", "today", "recent", "noRecent", "notTracking", "noDescription",
        "openApp", "loggedOut", "offline"]
doc = {"updatedAt": 1765250000000, "appRunning": True, "loggedIn": True, "offline": False,
       "running": {"startTime": 1765240000000, "name": "Design review", "project": "Website"},
       "today": {"dayStart": 1765238400000, "baseSeconds": 3600},
       "recent": [], "strings": {k: k for k in keys}}
entry = lambda i: {"id": str(i), "name": "Entry name number %d" % i, "project": "Project %d" % (i % 50)}
per = len(json.dumps(entry(100000))) + 2
doc["recent"] = [entry(i) for i in range(max(0, (size - len(json.dumps(doc))) // per))]
json.dump(doc, open(path, "w"))
PY

peak() {  # XDG_DATA_HOME -> peak resident KiB; the answer goes to $data/answer
  echo '{"jsonrpc":"2.0","id":1,"method":"getTimeline","params":{"family":"systemMedium"}}' |
    env XDG_DATA_HOME="$1" DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent \
      /usr/bin/time -f %M -o "$data/peak" "$program" >"$data/answer"
  cat "$data/peak"
}
bytes=$(stat -c %s "$state")
with=$(peak "$data")
# The extension reads state.json only up to a limit (so that a timeline answer fits the host's line
# limit); a larger one is no snapshot, and its answer carries no content.
read=$(python3 -c 'import json,sys; print("read" if json.load(open(sys.argv[1]))["result"]["entries"][0]["content"] else "not read")' "$data/answer")
without=$(peak "$data/none")
echo "snapshot $bytes bytes ($read): peak $with KiB, without a snapshot $without KiB," \
  "$(( (with - without) * 1024 / bytes )) x the snapshot's size"
