#!/usr/bin/env bash
# Installs what is missing, builds everything (plus the fuzzers with clang) and runs every test
# inside a private network namespace, with a private sound server, X server and settings folders.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/setup.sh"

work=$(mktemp -d /tmp/tessrook-test.XXXXXX)
chmod 700 "$work"
export XDG_RUNTIME_DIR="$work/runtime" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" \
       XDG_CACHE_HOME="$work/cache" HOME="$work/home"
mkdir -p "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$HOME"
chmod 700 "$XDG_RUNTIME_DIR"

pids=()
cleanup() {
  for p in "${pids[@]:-}"; do [ -n "$p" ] && kill "$p" 2>/dev/null || true; done
  # Only our own sound server: its pid file lives in our private runtime folder.
  [ -f "$XDG_RUNTIME_DIR/pulse/pid" ] && kill "$(cat "$XDG_RUNTIME_DIR/pulse/pid")" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# The sound server goes first so it has settled by the time the tests run.
"$here/scripts/sound-server.sh" "$work" && pids+=("$(cat "$work/pacat.pid" 2>/dev/null || true)")

# Fuzzers first: the main build registers their regression runs when it finds them.
"$here/scripts/build-fuzz.sh" "$here/build/fuzz-bin"
"$here/scripts/build.sh"

# A private X server with a tray host, for windows and the tray icon.
display=":$(( 90 + RANDOM % 400 ))"
Xvfb "$display" -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY="$display" TESSROOK_TEST_DISPLAY="$display"
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
trayer --edge top --align right --widthtype request --height 24 >/dev/null 2>&1 &
pids+=($!)
export QT_QPA_PLATFORM=offscreen

# Only loopback exists in here; namespaces the tests make hang off this one. Without root a user
# namespace makes the private network possible, and a second one gives the tests back their real user
# id, so the tests that need root see that they lack it and skip.
ns="unshare -n" as_user=""
if [ "$(id -u)" -ne 0 ]; then
  ns="unshare -rn"
  as_user="unshare --map-user=$(id -u) --map-group=$(id -g)"
fi
jobs=$(nproc 2>/dev/null || echo 2)
$ns sh -c "ip link set lo up && cd '$here/build' && exec $as_user ctest --output-on-failure -j $jobs --timeout 300"
