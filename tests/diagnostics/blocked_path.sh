#!/usr/bin/env bash
# The blocked path for real: two fresh network namespaces joined by a veth pair; in the first, the unit
# runs on a home-network port of its own and an nftables rule drops UDP to it. The unit there must find
# its path blocked, name that port in its reason and find its firewall on; the unit in the second finds the path open and no firewall. The namespaces go away on
# every exit.
set -u
check=${1:?usage: blocked_path.sh path/to/blocked_path_check}
. "$(dirname "$0")/../support/host_pair.sh"
host_pair_require "the blocked-path run" nft
host_pair_make bp 169.254.78

set -e
ip netns exec "$ns_a" nft add table inet tessrook_block
ip netns exec "$ns_a" nft add chain inet tessrook_block input '{ type filter hook input priority 0; policy accept; }'
ip netns exec "$ns_a" nft add rule inet tessrook_block input udp dport 48797 drop
set +e

run() { # namespace, expectation, more arguments
    ip netns exec "$1" env XDG_CONFIG_HOME="$logs/$2" XDG_DATA_HOME="$logs/$2" "$check" --expect "$2" "${@:3}" \
        >"$logs/$2.log" 2>&1
}
run "$ns_a" blocked --port 48797 &
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
