#!/bin/sh
# with-atspi.sh CMD [ARGS...]
# Runs CMD on a private session bus with an accessibility (at-spi2) bus of its own, as a desktop with a
# screen reader has them, and removes both afterwards whatever CMD did. Exits with CMD's status.
# Nothing is shared with parallel runs: the buses live in a private folder, and the accessibility bus's
# address is not left on the X root window, where every test on the same X server would see the last
# one's. Programs find it through the session bus, as on a desktop. It is not handed over as
# AT_SPI_BUS_ADDRESS: Qt 6.4 then connects but never turns its bridge on. It is in TESSROOK_AT_SPI_BUS for
# clients that want it (AT_SPI_BUS_ADDRESS=$TESSROOK_AT_SPI_BUS for a reader or a tree walker alone).
[ $# -ge 1 ] || { echo "usage: $0 CMD [ARGS...]" >&2; exit 2; }

d=$(mktemp -d "${TMPDIR:-/tmp}/tessrook-atspi.XXXXXX") || exit 1
chmod 700 "$d"
bus_pid="" launcher_pid=""

# Every process below the ones we started (services the buses activated included), deepest last.
descendants() {
  for p in "$@"; do
    kids=$(ps -o pid= --ppid "$p" 2>/dev/null)
    [ -n "$kids" ] && { echo $kids; descendants $kids; }
  done
}

cleanup() {
  top="$launcher_pid $bus_pid"
  all="$top $(descendants $top)"
  for p in $all; do kill "$p" 2>/dev/null; done
  # Wait for them to go, so nothing writes into the folder while it is removed.
  for _ in $(seq 50); do
    alive=""
    for p in $all; do kill -0 "$p" 2>/dev/null && alive=1; done
    [ -z "$alive" ] && break
    sleep 0.1
  done
  for p in $all; do kill -9 "$p" 2>/dev/null; done
  rm -rf "$d"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

fail() { echo "with-atspi: $*" >&2; exit 1; }

# The session bus. The full path (not an abstract socket) works inside a private network namespace too.
dbus-daemon --session --nofork --nopidfile --address="unix:path=$d/session" \
  --print-address=3 3>"$d/address" >/dev/null 2>"$d/session.log" &
bus_pid=$!
for _ in $(seq 100); do [ -s "$d/address" ] && break; kill -0 $bus_pid 2>/dev/null || break; sleep 0.05; done
[ -s "$d/address" ] || fail "session bus did not start: $(cat "$d/session.log")"
DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$d/address")
export DBUS_SESSION_BUS_ADDRESS

# The accessibility bus. Without a display the launcher leaves the X root window alone; settings come
# from memory so no settings service is started on the bus.
launcher=""
for f in /usr/libexec/at-spi-bus-launcher /usr/lib/at-spi2-core/at-spi-bus-launcher; do
  [ -x "$f" ] && { launcher=$f; break; }
done
[ -n "$launcher" ] || fail "at-spi-bus-launcher not found (package at-spi2-core)"
env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR="$d" GSETTINGS_BACKEND=memory \
  "$launcher" --launch-immediately --a11y=1 >/dev/null 2>"$d/launcher.log" &
launcher_pid=$!

# Up once it answers with the accessibility bus's address.
a11y=""
for _ in $(seq 100); do
  a11y=$(dbus-send --session --print-reply=literal --dest=org.a11y.Bus /org/a11y/bus \
           org.a11y.Bus.GetAddress 2>/dev/null | tr -d '[:space:]')
  [ -n "$a11y" ] && break
  kill -0 $launcher_pid 2>/dev/null || break
  sleep 0.05
done
[ -n "$a11y" ] || fail "accessibility bus did not start: $(cat "$d/launcher.log")"
export TESSROOK_AT_SPI_BUS="$a11y"

# The registry is started by the accessibility bus on first use; starting it now means a reader
# listening from the first moment hears the program's first events.
dbus-send --bus="$a11y" --print-reply --dest=org.a11y.atspi.Registry /org/a11y/atspi/accessible/root \
  org.freedesktop.DBus.Peer.Ping >/dev/null 2>&1 || fail "accessibility registry did not start"

export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
"$@"
rc=$?
exit $rc
