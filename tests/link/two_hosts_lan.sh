#!/usr/bin/env bash
# Two hosts on one machine: two fresh network namespaces joined by a veth pair, each running the
# home-network check with no typed peer. Multicast and broadcast must cross, and each side must see
# its own datagrams come back through the network. The namespaces go away on every exit.
set -u
check=${1:?usage: two_hosts_lan.sh path/to/lan_peer_check}
skip=77

# Root inside a user namespace cannot make named network namespaces: only the real root counts.
real_root() {
    [ "$(id -u)" -eq 0 ] && awk 'NR == 1 { exit !($1 == 0 && $2 == 0 && $3 == 4294967295) }' /proc/self/uid_map
}
if ! real_root || ! command -v ip >/dev/null; then
    if [ "${CI:-}" = "true" ]; then
        echo "FAIL: the two-host check needs root and iproute2 to make network namespaces"
        exit 1
    fi
    echo "SKIP: the two-host check needs root and iproute2 to make network namespaces"
    exit $skip
fi

# A run killed outright (a test timeout) cannot run its trap: remove what such runs left behind.
for old in $(ip netns list 2>/dev/null | awk '{print $1}' | grep -E '^tessrook-tk[0-9]+-[ab]$'); do
    owner=${old#tessrook-tk}
    owner=${owner%-*}
    kill -0 "$owner" 2>/dev/null || ip netns del "$old" 2>/dev/null
done

tag="tk$$"
ns_a="tessrook-$tag-a"
ns_b="tessrook-$tag-b"
logs=$(mktemp -d)
cleanup() {
    ip netns del "$ns_a" 2>/dev/null
    ip netns del "$ns_b" 2>/dev/null
    rm -rf "$logs"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

set -e
ip netns add "$ns_a"
ip netns add "$ns_b"
ip link add "${tag}a" netns "$ns_a" type veth peer name "${tag}b" netns "$ns_b"
ip -n "$ns_a" link set lo up
ip -n "$ns_b" link set lo up
ip -n "$ns_a" addr add 169.254.77.1/24 brd + dev "${tag}a"
ip -n "$ns_b" addr add 169.254.77.2/24 brd + dev "${tag}b"
ip -n "$ns_a" link set "${tag}a" up
ip -n "$ns_b" link set "${tag}b" up
ip -n "$ns_a" route add 224.0.0.0/4 dev "${tag}a"
ip -n "$ns_b" route add 224.0.0.0/4 dev "${tag}b"
set +e

run() { # namespace, veth, role
    ip netns exec "$1" env TESSROOK_RUN_VETH="$2" XDG_CONFIG_HOME="$logs/$3" XDG_DATA_HOME="$logs/$3" \
        "$check" --role "$3" --seconds 20 >"$logs/$3.log" 2>&1
}
run "$ns_a" "${tag}a" a &
pid_a=$!
run "$ns_b" "${tag}b" b &
pid_b=$!
wait $pid_a
rc_a=$?
wait $pid_b
rc_b=$?
cat "$logs/a.log" "$logs/b.log"
if [ $rc_a -eq 0 ] && [ $rc_b -eq 0 ]; then
    echo "both hosts heard each other by multicast and broadcast"
    exit 0
fi
echo "FAIL: host a exited $rc_a, host b exited $rc_b"
exit 1
