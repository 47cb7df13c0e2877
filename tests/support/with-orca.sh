#!/bin/sh
# with-orca.sh CMD [ARGS...]
# Runs CMD while the desktop's screen reader, Orca, listens to keys on $DISPLAY: on a private session
# and accessibility bus (with-atspi.sh), without speech or braille, its debug log kept in a private
# folder and shown when CMD fails. Exits with CMD's status, or 1 when the reader never listened.
[ $# -ge 1 ] || { echo "usage: $0 CMD [ARGS...]" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
command -v orca >/dev/null || { echo "with-orca: orca missing (package orca)" >&2; exit 1; }
[ -n "$TESSROOK_AT_SPI_BUS" ] || exec "$here/with-atspi.sh" "$0" "$@"

d=$(mktemp -d "${TMPDIR:-/tmp}/tessrook-orca.XXXXXX") || exit 1
chmod 700 "$d"
# Orca refuses to start while any other Orca of this user runs (it asks pgrep), and tests on other
# displays may run their own: this one is given a pgrep that finds none.
mkdir "$d/bin" "$d/home"
printf '#!/bin/sh\nexit 1\n' >"$d/bin/pgrep"
chmod +x "$d/bin/pgrep"
PATH="$d/bin:$PATH" HOME="$d/home" XDG_CONFIG_HOME="$d/home" XDG_DATA_HOME="$d/home" GSETTINGS_BACKEND=memory \
  orca --disable=speech --disable=braille --debug-file="$d/orca.log" --user-prefs="$d/prefs" \
  >"$d/orca.out" 2>&1 &
orca_pid=$!
cleanup() {
  kill "$orca_pid" 2>/dev/null
  for _ in $(seq 30); do kill -0 "$orca_pid" 2>/dev/null || break; sleep 0.1; done
  kill -9 "$orca_pid" 2>/dev/null
  rm -rf "$d"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Listening once it has keystroke listeners at the registry.
listening=""
for _ in $(seq 200); do
  if dbus-send --bus="$TESSROOK_AT_SPI_BUS" --print-reply --dest=org.a11y.atspi.Registry \
       /org/a11y/atspi/registry/deviceeventcontroller \
       org.a11y.atspi.DeviceEventController.GetKeystrokeListeners 2>/dev/null | grep -q 'object path'; then
    listening=1
    break
  fi
  kill -0 "$orca_pid" 2>/dev/null || break
  sleep 0.1
done
[ -n "$listening" ] || { echo "with-orca: Orca never listened to keys" >&2; cat "$d/orca.out" >&2; exit 1; }

"$@"
rc=$?
if [ $rc -ne 0 ]; then
  echo "with-orca: the reader's debug log ends:" >&2
  tail -n 40 "$d/orca.log" >&2
fi
exit $rc
