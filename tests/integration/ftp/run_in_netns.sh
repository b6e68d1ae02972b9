#!/usr/bin/env bash
# Runs a test program inside a network namespace made for this run and removed afterwards,
# also when the program fails or is killed. Inside: loopback, and a veth pair whose far end
# has no address, with a fixed neighbour entry, so that connecting to KESTREL_NETNS_SILENT_HOST
# sends packets that nobody answers. Nothing is attached to the machine's own interfaces.
# Usage: run_in_netns.sh PROGRAM [ARGS...]
set -euo pipefail

ns="kestrel-ftp-$$"
veth="kfv$$"             # device names are limited to 15 characters
net="10.77.$(( $$ % 250 + 1 ))"

cleanup() { ip netns delete "$ns" 2>/dev/null || true; }
trap cleanup EXIT
trap 'exit 130' INT TERM

ip netns add "$ns"
ip -n "$ns" link set lo up
ip -n "$ns" link add "${veth}a" type veth peer name "${veth}b"
ip -n "$ns" addr add "$net.1/24" dev "${veth}a"
ip -n "$ns" link set "${veth}a" up
ip -n "$ns" link set "${veth}b" up
ip -n "$ns" neigh add "$net.2" lladdr 02:00:00:00:00:02 dev "${veth}a" nud permanent

KESTREL_NETNS="$ns" KESTREL_NETNS_SILENT_HOST="$net.2" ip netns exec "$ns" "$@"
