#!/usr/bin/python3
# atspi-focus.py PID SECONDS
# Prints each control that takes the focus in the application with process id PID as a screen reader
# hears it, one JSON object per line: {"role", "name", "window": "role:name"}, the window being the
# frame or dialog the control sits in (found through its parents, as a reader says where it is).
# Prints "ready" once it listens; stops after SECONDS.
import json
import sys

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402

pid = int(sys.argv[1])
seconds = float(sys.argv[2])
WINDOWS = {"frame", "dialog", "window", "alert", "file chooser"}
MAX_DEPTH = 40  # a parent chain gone wrong (a cycle) cannot make it climb forever


def window_of(node):
    for _ in range(MAX_DEPTH):
        node = node.get_parent()
        if node is None:
            return ""
        role = node.get_role_name()
        if role in WINDOWS:
            return role + ":" + (node.get_name() or "")
        if role == "application":
            return ""
    return ""


def heard(event):
    try:
        source = event.source
        if event.detail1 != 1 or source is None or source.get_process_id() != pid:
            return
        print(json.dumps({"role": source.get_role_name(), "name": source.get_name() or "",
                          "window": window_of(source)}), flush=True)
    except Exception as e:  # the control went away meanwhile
        print(json.dumps({"error": str(e)}), flush=True)


# On a busy machine the program may take seconds to answer while it builds a sheet; the library's
# default wait (under a second) would lose the control's name.
Atspi.set_timeout(20000, 20000)
listener = Atspi.EventListener.new(heard)
listener.register("object:state-changed:focused")
GLib.timeout_add(int(seconds * 1000), Atspi.event_quit)
print("ready", flush=True)
Atspi.event_main()
