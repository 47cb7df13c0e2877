#!/usr/bin/env bash
# The blocked path for real: two fresh network namespaces joined by a veth pair; in the first, an
# nftables rule drops UDP to the home-network port. The unit there must find its path blocked and its
# firewall on; the unit in the second finds the path open and no firewall. The namespaces go away on
# every exit.
set -u
check=${1:?usage: blocked_path.sh path/to/blocked_path_check}
skip=77

real_root() {
    [ "$(id -u)" -eq 0 ] && awk 'NR == 1 { exit !($1 == 0 && $2 == 0 && $3 == 4294967295) }' /proc/self/uid_map
}
missing=""
real_root || missing="root"
command -v ip >/dev/null || missing="$missing iproute2"
command -v nft >/dev/null || missing="$missing nftables"
if [ -n "$missing" ]; then
    if [ "${CI:-}" = "true" ]; then
        echo "FAIL: the blocked-path run needs $missing"
        exit 1
    fi
    echo "SKIP: the blocked-path run needs $missing"
    exit $skip
fi

# A run killed outright (a test timeout) cannot run its trap: remove what such runs left behind.
for old in $(ip netns list 2>/dev/null | awk '{print $1}' | grep -E '^tessrook-bp[0-9]+-[ab]$'); do
    owner=${old#tessrook-bp}
    owner=${owner%-*}
    kill -0 "$owner" 2>/dev/null || ip netns del "$old" 2>/dev/null
done

tag="bp$$"
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
ip -n "$ns_a" addr add 169.254.78.1/24 brd + dev "${tag}a"
ip -n "$ns_b" addr add 169.254.78.2/24 brd + dev "${tag}b"
ip -n "$ns_a" link set "${tag}a" up
ip -n "$ns_b" link set "${tag}b" up
ip -n "$ns_a" route add 224.0.0.0/4 dev "${tag}a"
ip -n "$ns_b" route add 224.0.0.0/4 dev "${tag}b"
ip netns exec "$ns_a" nft add table inet tessrook_block
ip netns exec "$ns_a" nft add chain inet tessrook_block input '{ type filter hook input priority 0; policy accept; }'
ip netns exec "$ns_a" nft add rule inet tessrook_block input udp dport 48787 drop
set +e

run() { # namespace, expectation
    ip netns exec "$1" env XDG_CONFIG_HOME="$logs/$2" XDG_DATA_HOME="$logs/$2" "$check" --expect "$2" \
        >"$logs/$2.log" 2>&1
}
run "$ns_a" blocked &
pid_a=$!
run "$ns_b" open &
pid_b=$!
wait $pid_a
rc_a=$?
wait $pid_b
rc_b=$?
echo "--- behind the nftables rule"
cat "$logs/blocked.log"
echo "--- without it"
cat "$logs/open.log"
if [ $rc_a -eq 0 ] && [ $rc_b -eq 0 ]; then
    echo "the blocked path was found blocked, the open one open"
    exit 0
fi
echo "FAIL: blocked side exited $rc_a, open side exited $rc_b"
exit 1
