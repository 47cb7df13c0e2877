#!/usr/bin/env bash
# Runs one benchmark in the test command's set-up: a private sound server with null devices, a private
# network (loopback only) and settings folders of its own. Benchmarks build in Release into
# build-bench/, configured once and rebuilt incrementally, so figures come from one configuration and a
# run does not disturb the test build in build/.
# Usage: scripts/bench.sh NAME [benchmark arguments...]   e.g. scripts/bench.sh bench_delay
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
name=${1:?usage: scripts/bench.sh NAME [arguments]}
shift
"$here/scripts/setup.sh"
bench_build="$here/build-bench"
launcher=()
if command -v ccache >/dev/null; then
  export CCACHE_BASEDIR="$here" CCACHE_NOHASHDIR=1
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
if [ ! -f "$bench_build/CMakeCache.txt" ]; then
  cmake -S "$here" -B "$bench_build" -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" >/dev/null
fi
# The relay too: the benchmarks that go through it start the real one.
cmake --build "$bench_build" -j "${BENCH_JOBS:-4}" --target "$name" tessrook-relay
work=$(mktemp -d /tmp/tessrook-bench.XXXXXX)
chmod 700 "$work"
export XDG_RUNTIME_DIR="$work/runtime" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" \
       XDG_CACHE_HOME="$work/cache" HOME="$work/home" QT_QPA_PLATFORM=offscreen
mkdir -p "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$HOME"
chmod 700 "$XDG_RUNTIME_DIR"
cleanup() {
  set +e
  [ -f "$work/pacat.pid" ] && kill "$(cat "$work/pacat.pid")" 2>/dev/null
  if [ -f "$XDG_RUNTIME_DIR/pulse/pid" ]; then
    pa=$(cat "$XDG_RUNTIME_DIR/pulse/pid")
    kill "$pa" 2>/dev/null
    for _ in $(seq 50); do kill -0 "$pa" 2>/dev/null || break; sleep 0.1; done
  fi
  rm -rf "$work"
}
trap cleanup EXIT
"$here/scripts/sound-server.sh" "$work"
# In the private network, a veth pair of its own gives the links that need a multicast-capable
# interface (the nearby link) something to find each other on; it exists only in there.
# TESSROOK_BENCH_AS_USER=1 runs it as a desktop user runs, where the audio threads are refused real-time
# priority, even for root.
ns="unshare -n"
[ "$(id -u)" -eq 0 ] && [ -z "${TESSROOK_BENCH_AS_USER:-}" ] || ns="unshare -rn"
$ns sh -c '
  ip link set lo up
  if ip link add trb0 type veth peer name trb1 2>/dev/null; then
    ip addr add 169.254.78.1/24 brd + dev trb0 && ip addr add 169.254.78.2/24 brd + dev trb1 &&
    ip link set trb0 up && ip link set trb1 up && ip route add 224.0.0.0/4 dev trb0 &&
    export TESSROOK_RUN_VETH=trb0,trb1
  fi
  exec "$0" "$@"' "$bench_build/bench/$name" "$@"
