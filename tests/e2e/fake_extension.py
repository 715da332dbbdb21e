"""A widget extension for testing the widget host: JSON-RPC 2.0 over standard input and output.

Its behaviour is steered through files in $FAKE_EXTENSION_DIR, read at every request:
  mode    "normal", "malformed" (a timeline that breaks the protocol), "badview" (a view tree the
          host cannot read), "error" (a JSON-RPC error), "hang" (never answers), "crash" (exits),
          "slow" (answers after two seconds)
  stamp   a text shown in the widget; "{n}" in it becomes the number of getTimeline requests so far
  policy  "never" (default), "soon" (after now), "atEnd"
  entries "one" (default), "two" (a second entry 1.5 s later), "timer" (a live timer text)
  name    the kind's display name, "Counter" by default
  families the kind's families, comma-separated, "systemSmall" by default
Every request is appended to $FAKE_EXTENSION_DIR/requests as "<pid> <method> <params>".
"""
import json
import os
import sys
import time

DIR = os.environ["FAKE_EXTENSION_DIR"]


def setting(name, default):
    try:
        with open(os.path.join(DIR, name), encoding="utf-8") as f:
            return f.read().strip() or default
    except OSError:
        return default


def requests(method):
    with open(os.path.join(DIR, "requests")) as f:
        return sum(line.split(" ", 2)[1] == method for line in f)


def text(value):
    return {"type": "text", "text": value}


def button(label, intent, enabled):
    return {"type": "environment", "disabled": not enabled,
            "content": {"type": "button", "intent": {"intent": intent, "parameters": {}}, "label": text(label)}}


def view(title, timer_from=None):
    children = [text(title), button("Bump", "Bump", True), button("Never", "Never", False)]
    if timer_from is not None:
        children.append({"type": "timer", "from": timer_from})
    return {"type": "containerBackground", "color": "#FFFFFF",
            "content": {"type": "widgetURL", "url": "fake://open",
                        "content": {"type": "vstack", "alignment": "leading", "spacing": 4, "children": children}}}


def entry(date, title, timer_from=None):
    return {"date": date, "content": {"title": title}, "view": view(title, timer_from)}


def timeline(params):
    now = time.time() * 1000
    stamp = setting("stamp", "first").replace("{n}", str(requests("getTimeline")))
    shape = setting("entries", "one")
    if shape == "two":
        entries = [entry(now, stamp + " now"), entry(now + 1500, stamp + " later")]
    elif shape == "timer":
        entries = [entry(now, stamp, timer_from=now - 5000)]
    else:
        entries = [entry(now, stamp + " " + params.get("renderingMode", "?"))]
    policy = setting("policy", "never")
    if policy == "soon":
        policy_json = {"kind": "after", "date": now}
    elif policy == "atEnd":
        policy_json = {"kind": "atEnd"}
    else:
        policy_json = {"kind": "never"}
    return {"entries": entries, "policy": policy_json}


def answer(request):
    method = request.get("method")
    params = request.get("params") or {}
    mode = setting("mode", "normal")
    if method == "describe":
        return {"result": {"bundleIdentifier": "net.example.fake.widget",
                           "widgets": [{"kind": "Counter", "displayName": setting("name", "Counter"), "description": "",
                                        "supportedFamilies": setting("families", "systemSmall").split(",")}]}}
    if method == "perform":
        return {"result": {}}
    if mode == "hang":
        return None
    if mode == "crash":
        sys.exit(7)
    if mode == "slow":
        time.sleep(2)
    if mode == "error":
        return {"error": {"code": -32602, "message": "refused on purpose"}}
    if method == "placeholder":
        return {"result": entry(time.time() * 1000, "Placeholder")}
    if method == "getSnapshot":
        return {"result": entry(time.time() * 1000, "Preview" if params.get("isPreview") else "Snapshot")}
    if method == "getTimeline":
        if mode == "malformed":
            return {"result": {"entries": "not a list"}}
        result = timeline(params)
        if mode == "badview":
            result["entries"][0]["view"] = {"type": "no-such-view"}
        return {"result": result}
    return {"error": {"code": -32601, "message": "Method not found"}}


def main():
    for line in sys.stdin:
        if not line.strip():
            continue
        request = json.loads(line)
        with open(os.path.join(DIR, "requests"), "a") as log:
            log.write("%d %s %s\n" % (os.getpid(), request.get("method"), json.dumps(request.get("params"))))
        reply = answer(request)
        if reply is None:
            continue
        reply.update({"jsonrpc": "2.0", "id": request.get("id")})
        sys.stdout.write(json.dumps(reply) + "\n")
        sys.stdout.flush()


if __name__ == "__main__":
    main()
