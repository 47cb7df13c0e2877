#!/usr/bin/env bash
# Runs two real copies of the program against each other with the headless link test.
#   linkrun.sh lan      PROGRAM          two network namespaces joined by a veth pair, home network only
#   linkrun.sh mismatch PROGRAM          the same with different passphrases and --expect-mismatch
#   linkrun.sh nearby   PROGRAM          the two namespaces again, different home-network ports, so only the
#                                        nearby link (beacons and one TCP session) can carry the test
#   linkrun.sh relay    PROGRAM RELAY    one fresh namespace, different ports, the relay on 127.0.0.1:8787
# Each copy gets its own settings, data and temporary folders. Exit 77 = skipped (needs root), unless
# CI=true, where a missing privilege is a failure.
# TESSROOK_LINKTEST_PLAY=1 makes the first copy play what it receives (needs a sound server).
set -uo pipefail
mode=${1:?mode}
program=${2:?program}
relay=${3:-}
seconds=${TESSROOK_LINKTEST_SECONDS:-15}

skip() {
  if [ "${CI:-}" = "true" ]; then
    echo "FAIL: $1 (CI=true: this run may not be skipped)"
    exit 1
  fi
  echo "SKIP: $1"
  exit 77
}

# The relay run owns 127.0.0.1:8787 only inside a namespace of its own, so parallel runs never meet.
if [ "$mode" = relay ] && [ -z "${TESSROOK_LINKRUN_INSIDE:-}" ]; then
  if [ "$(id -u)" -eq 0 ]; then ns="unshare -n"; else ns="unshare -rn"; fi
  $ns true 2>/dev/null || skip "cannot make a private network namespace here"
  exec $ns env TESSROOK_LINKRUN_INSIDE=1 "$0" "$@"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/tessrook-linkrun.XXXXXX")
chmod 700 "$work"
pids=()
copies=()
netns=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null; done
  for n in "${netns[@]}"; do ip netns del "$n" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

# copy TAG PREFIX... -- ARGS...: starts one copy in the background with folders of its own.
copy() {
  local tag=$1; shift
  local prefix=()
  while [ "$1" != "--" ]; do prefix+=("$1"); shift; done
  shift
  mkdir -p "$work/$tag/config" "$work/$tag/data" "$work/$tag/tmp"
  "${prefix[@]}" env XDG_CONFIG_HOME="$work/$tag/config" XDG_DATA_HOME="$work/$tag/data" \
      TMPDIR="$work/$tag/tmp" timeout -k 5 $(( ${seconds%.*} * 4 + 30 )) \
      "$program" "$@" >"$work/$tag/out" 2>"$work/$tag/err" &
  pids+=($!)
  copies+=($!)
}

play=()
[ "${TESSROOK_LINKTEST_PLAY:-}" = 1 ] && play=(--play)
channel="Link test $$"
common=(--seconds "$seconds" --channel "$channel")

case "$mode" in
  lan|mismatch|nearby)
    [ "$(id -u)" -eq 0 ] || skip "two network namespaces need root"
    # A run killed outright (a test timeout) cannot run its trap: remove what such runs left behind.
    for old in $(ip netns list 2>/dev/null | awk '{print $1}' | grep -E '^tessrook-[0-9]+-[0-9]+-[ab]$'); do
      owner=${old#tessrook-}
      owner=${owner%%-*}
      kill -0 "$owner" 2>/dev/null || ip netns del "$old" 2>/dev/null
    done
    id="$$-$RANDOM"
    a="tessrook-$id-a"; b="tessrook-$id-b"
    va="tka$$"; vb="tkb$$"
    ip netns add "$a" 2>/dev/null || skip "cannot make named network namespaces here"
    netns+=("$a")
    ip netns add "$b" || exit 1
    netns+=("$b")
    set -e
    ip link add "$va" netns "$a" type veth peer name "$vb" netns "$b"
    ip -n "$a" link set lo up; ip -n "$b" link set lo up
    ip -n "$a" addr add 169.254.77.1/24 brd + dev "$va"
    ip -n "$b" addr add 169.254.77.2/24 brd + dev "$vb"
    ip -n "$a" link set "$va" up; ip -n "$b" link set "$vb" up
    ip -n "$a" route add 224.0.0.0/4 dev "$va"
    ip -n "$b" route add 224.0.0.0/4 dev "$vb"
    set +e
    if [ "$mode" = nearby ]; then
      copy A ip netns exec "$a" -- --link-test talk "${common[@]}" --pass "correct horse battery staple" \
          --nearby --port 48801 "${play[@]}"
      copy B ip netns exec "$b" -- --link-test answer "${common[@]}" --pass "correct horse battery staple" \
          --nearby --port 48802
    elif [ "$mode" = lan ]; then
      copy A ip netns exec "$a" -- --link-test talk "${common[@]}" --pass "correct horse battery staple" "${play[@]}"
      copy B ip netns exec "$b" -- --link-test answer "${common[@]}" --pass "correct horse battery staple"
    else
      copy A ip netns exec "$a" -- --link-test talk "${common[@]}" --pass "correct horse battery staple" \
          --expect-mismatch "${play[@]}"
      copy B ip netns exec "$b" -- --link-test answer "${common[@]}" --pass "incorrect donkey battery staple" \
          --expect-mismatch
    fi
    ;;
  relay)
    [ -x "$relay" ] || { echo "FAIL: no relay program at '$relay'"; exit 1; }
    ip link set lo up || exit 1
    # Bounded like the copies: a run killed outright must not leave the relay running for ever.
    timeout -k 5 $(( ${seconds%.*} * 4 + 40 )) \
        "$relay" --listen 127.0.0.1:8787 >"$work/relay.out" 2>"$work/relay.err" &
    pids+=($!)
    for _ in $(seq 100); do grep -q "listening" "$work/relay.out" 2>/dev/null && break; sleep 0.05; done
    grep -q "listening" "$work/relay.out" || { echo "FAIL: the relay did not start"; cat "$work/relay.err"; exit 1; }
    copy A -- --link-test talk "${common[@]}" --pass "correct horse battery staple" --relay --port 48801 "${play[@]}"
    copy B -- --link-test answer "${common[@]}" --pass "correct horse battery staple" --relay --port 48802
    ;;
  *)
    echo "unknown mode $mode"; exit 2 ;;
esac

status=0
codes=()
for i in 0 1; do
  wait "${copies[$i]}"
  codes+=($?)
done
if [ "$mode" = mismatch ]; then
  want="RESULT PASS (different passphrase does not connect; shows unknown channel / key mismatch)"
else
  want="RESULT PASS"
fi
for i in 0 1; do
  tag=$([ "$i" = 0 ] && echo A || echo B)
  echo "---- copy $tag (exit ${codes[$i]})"
  cat "$work/$tag/out"
  if [ -s "$work/$tag/err" ]; then echo "---- copy $tag, standard error"; tail -n 40 "$work/$tag/err"; fi
  last=$(tail -n 1 "$work/$tag/out")
  if [ "${codes[$i]}" -ne 0 ] || [ "${last#*] }" != "$want" ]; then
    echo "copy $tag did not pass"
    status=1
  fi
  # The copies listen on different home-network ports: the relay or the nearby link alone may have
  # carried the test.
  if { [ "$mode" = relay ] || [ "$mode" = nearby ]; } &&
      ! grep -q "] LAN stats: .*, heard , own echoes" "$work/$tag/out"; then
    echo "copy $tag heard the other copy on the home network, not only through the $mode link"
    status=1
  fi
done
if [ "$mode" = relay ] && [ "$status" -ne 0 ]; then echo "---- relay"; tail -n 40 "$work/relay.err"; fi
exit "$status"
