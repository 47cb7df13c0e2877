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
  set +e
  for p in "${pids[@]:-}"; do [ -n "$p" ] && kill "$p" 2>/dev/null; done
  # Only our own sound server: its pid file lives in our private runtime folder. Wait for it to go, or
  # it writes into the folder while we remove it.
  if [ -f "$XDG_RUNTIME_DIR/pulse/pid" ]; then
    pa=$(cat "$XDG_RUNTIME_DIR/pulse/pid")
    kill "$pa" 2>/dev/null
    for _ in $(seq 50); do kill -0 "$pa" 2>/dev/null || break; sleep 0.1; done
  fi
  rm -rf "$work" 2>/dev/null || true
}
trap cleanup EXIT

# The sound server goes first so it has settled by the time the tests run.
"$here/scripts/sound-server.sh" "$work" && pids+=("$(cat "$work/pacat.pid" 2>/dev/null || true)")

# Fuzzers first: the main build registers their regression runs when it finds them.
"$here/scripts/build-fuzz.sh" "$here/build/fuzz-bin"
"$here/scripts/build.sh"

# Sanitized build: the same suite runs a second time under AddressSanitizer and UndefinedBehaviorSanitizer
# (last), so a read of freed memory or undefined behaviour that a plain build hides fails the run.
# TESSROOK_PLAIN_ONLY=1 leaves the sanitized build and run out, for a quick look at a share of the suite.
[ -n "${TESSROOK_PLAIN_ONLY:-}" ] || "$here/scripts/build-sanitized.sh"

# A private X server with a tray host, for windows and the tray icon.
# Xvfb picks a free display number itself and writes it to the file.
Xvfb -displayfd 3 -screen 0 1600x1000x24 -nolisten tcp 3>"$work/xdisplay" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/xdisplay" ] && break; sleep 0.1; done
display=":$(tr -d '[:space:]' < "$work/xdisplay")"
export DISPLAY="$display" TESSROOK_TEST_DISPLAY="$display"
trayer --edge top --align right --widthtype request --height 24 >/dev/null 2>&1 &
pids+=($!)

# A window manager and the server's key auto-repeat on, as on a user's desktop: sheets, focus and held
# keys behave there as users meet them. The window manager is up once it names itself on the root.
xset r on
openbox --sm-disable >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break; sleep 0.1; done
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
# Extra arguments go to ctest, so one can run a share of the suite in the same set-up (-R views).
extra=""
for a in "$@"; do extra="$extra '$(printf %s "$a" | sed "s/'/'\\\\''/g")'"; done
$ns sh -c "ip link set lo up && cd '$here/build' && exec $as_user ctest --output-on-failure -j $jobs --timeout 300 $extra"

# Sanitized run: the first report ends the test that made it. Leaks are not looked for: Qt and the sound
# libraries keep allocations for the life of the process. A smaller quarantine of freed blocks keeps
# parallel tests within the machine's memory; a use after free is still caught in it.
[ -z "${TESSROOK_PLAIN_ONLY:-}" ] || exit 0
san="ASAN_OPTIONS=detect_leaks=0:halt_on_error=1:quarantine_size_mb=64"
san="$san UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1"
$ns sh -c "ip link set lo up && cd '$here/build-asan' && exec env $san $as_user ctest --output-on-failure -j $jobs --timeout 600 $extra"
