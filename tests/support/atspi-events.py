#!/usr/bin/python3
# atspi-events.py PID SECONDS
# Prints the name and state changes a screen reader hears from the application with process id PID,
# one JSON object per event ({"type", "name", "role", "detail"}), for at most SECONDS. Prints "ready"
# once it listens.
import json
import sys

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402

pid = int(sys.argv[1])
seconds = float(sys.argv[2])


def heard(event):
    try:
        source = event.source
        if source is None or source.get_process_id() != pid:
            return
        print(json.dumps({"type": event.type, "name": source.get_name() or "",
                          "role": source.get_role_name(), "detail": event.detail1}), flush=True)
    except Exception:
        pass


listener = Atspi.EventListener.new(heard)
for kind in ("object:property-change:accessible-name", "object:state-changed", "object:text-changed"):
    listener.register(kind)
GLib.timeout_add(int(seconds * 1000), Atspi.event_quit)
print("ready", flush=True)
Atspi.event_main()
