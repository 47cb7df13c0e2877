#!/usr/bin/env bash
# Two hosts on one machine: two fresh network namespaces joined by a veth pair, each running the
# home-network check with no typed peer. Multicast and broadcast must cross, and each side must see
# its own datagrams come back through the network. The namespaces go away on every exit.
set -u
check=${1:?usage: two_hosts_lan.sh path/to/lan_peer_check}
. "$(dirname "$0")/../support/host_pair.sh"
host_pair_require "the two-host check"
host_pair_make tk 169.254.77

run() { # namespace, veth, role
    ip netns exec "$1" env TESSROOK_RUN_VETH="$2" XDG_CONFIG_HOME="$logs/$3" XDG_DATA_HOME="$logs/$3" \
        "$check" --role "$3" --seconds 20 >"$logs/$3.log" 2>&1
}
run "$ns_a" "$veth_a" a &
pid_a=$!
run "$ns_b" "$veth_b" b &
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
