#!/usr/bin/python3
# atspi-tree.py PID [WINDOW]
# Prints the accessibility tree of the application with process id PID as a screen reader reads it
# over at-spi2, one JSON object per element: its depth-first path of names ("frame:QMRL Tessrook/..."),
# role, name, states, description and extents on the screen. Elements not showing are left out with
# their subtrees; with WINDOW ("dialog:Help") the application's other windows are listed but not entered.
# Bounded: a tree gone wrong (a cycle, a runaway list) cannot make it run forever.
import json
import sys

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402

MAX_ELEMENTS = 5000
MAX_DEPTH = 60


def app_for(pid):
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(i)
        try:
            if app is not None and app.get_process_id() == pid:
                return app
        except Exception:
            pass
    return None


def main():
    pid = int(sys.argv[1])
    window = sys.argv[2] if len(sys.argv) > 2 else None
    app = app_for(pid)
    if app is None:
        print(json.dumps({"error": "no application with pid %d" % pid}))
        return 1
    seen = 0
    stack = [(app, "", 0)]
    while stack and seen < MAX_ELEMENTS:
        node, above, depth = stack.pop()
        seen += 1
        try:
            role = node.get_role_name()
            name = node.get_name() or ""
            states = sorted(Atspi.StateType(s).value_nick for s in node.get_state_set().get_states())
            desc = node.get_description() or ""
            count = node.get_child_count()
        except Exception as e:  # the element went away meanwhile
            print(json.dumps({"path": above, "error": str(e)}))
            continue
        if depth > 0 and "showing" not in states:
            continue
        extents = None
        try:
            comp = node.get_component_iface()
            if comp is not None:
                r = comp.get_extents(Atspi.CoordType.SCREEN)
                extents = [r.x, r.y, r.width, r.height]
        except Exception:
            pass
        path = above + "/" + role + ":" + name if above else role + ":" + name
        print(json.dumps({"path": path, "role": role, "name": name, "states": states,
                          "description": desc, "extents": extents, "children": count}))
        # Other windows are listed, not entered.
        if depth >= MAX_DEPTH or (depth == 1 and window is not None and role + ":" + name != window):
            continue
        kids = []
        for i in range(min(count, 1000)):
            try:
                k = node.get_child_at_index(i)
            except Exception:
                k = None
            if k is not None:
                kids.append(k)
        for k in reversed(kids):
            stack.append((k, path, depth + 1))
    return 0


if __name__ == "__main__":
    sys.exit(main())
