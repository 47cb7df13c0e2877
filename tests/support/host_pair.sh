# Two hosts on one machine, for the runs that need a real network between two units: two fresh network
# namespaces joined by a veth pair. Sourced, not run.
#   host_pair_require "the two-host check" [command...]   skips (fails under CI) without real root and the commands
#   host_pair_make TAG SUBNET                              makes the pair; sets ns_a ns_b veth_a veth_b logs
# The namespaces and the log folder go away on every exit.

# Root inside a user namespace cannot make named network namespaces: only the real root counts.
host_pair_real_root() {
    [ "$(id -u)" -eq 0 ] && awk 'NR == 1 { exit !($1 == 0 && $2 == 0 && $3 == 4294967295) }' /proc/self/uid_map
}

host_pair_require() {
    local what=$1 missing=""
    shift
    host_pair_real_root || missing="root"
    for tool in ip "$@"; do
        command -v "$tool" >/dev/null || missing="$missing $tool"
    done
    [ -z "$missing" ] && return 0
    if [ "${CI:-}" = "true" ]; then
        echo "FAIL: $what needs $missing to make network namespaces"
        exit 1
    fi
    echo "SKIP: $what needs $missing to make network namespaces"
    exit 77
}

host_pair_make() {
    local prefix=$1 subnet=$2
    # A run killed outright (a test timeout) cannot run its trap: remove what such runs left behind.
    for old in $(ip netns list 2>/dev/null | awk '{print $1}' | grep -E "^tessrook-${prefix}[0-9]+-[ab]\$"); do
        local owner=${old#tessrook-"$prefix"}
        owner=${owner%-*}
        kill -0 "$owner" 2>/dev/null || ip netns del "$old" 2>/dev/null
    done
    local tag="$prefix$$"
    ns_a="tessrook-$tag-a"
    ns_b="tessrook-$tag-b"
    veth_a="${tag}a"
    veth_b="${tag}b"
    logs=$(mktemp -d)
    trap 'ip netns del "$ns_a" 2>/dev/null; ip netns del "$ns_b" 2>/dev/null; rm -rf "$logs"' EXIT
    trap 'exit 1' INT TERM
    set -e
    ip netns add "$ns_a"
    ip netns add "$ns_b"
    ip link add "$veth_a" netns "$ns_a" type veth peer name "$veth_b" netns "$ns_b"
    ip -n "$ns_a" link set lo up
    ip -n "$ns_b" link set lo up
    ip -n "$ns_a" addr add "$subnet.1/24" brd + dev "$veth_a"
    ip -n "$ns_b" addr add "$subnet.2/24" brd + dev "$veth_b"
    ip -n "$ns_a" link set "$veth_a" up
    ip -n "$ns_b" link set "$veth_b" up
    ip -n "$ns_a" route add 224.0.0.0/4 dev "$veth_a"
    ip -n "$ns_b" route add 224.0.0.0/4 dev "$veth_b"
    set +e
}
