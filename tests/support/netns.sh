# Private network namespaces for the bus tests and benchmarks (sourced by their scripts).
#
# Everything that sends on the bus runs inside namespaces made here and joined only to each
# other, never on the machine's own interfaces. Names carry the caller's run tag (with its
# PID), so a leftover of a crashed run never clashes with the next one, and everything made
# here is removed on exit, also on failure.
#
#   netns_begin TAG              check root and iproute2, set the clean-up trap
#   netns_pair TAG PC CIDR1 PEER CIDR2
#                                netns_begin TAG, then the usual two namespaces: TAG-PC (in
#                                NETNS_PC), where the program runs, and TAG-PEER (in NETNS_PEER),
#                                joined by a veth pair with these addresses; in TAG-PC this
#                                machine's host name maps to CIDR1's address
#   netns_add NAME               make namespace TAG-NAME (in NETNS_LAST), loopback up
#   netns_link NS1 CIDR1 NS2 CIDR2
#                                join two namespaces by a veth pair with these addresses
#   netns_hub                    make a namespace with a bridge that netns_attach joins
#   netns_attach NS CIDR         join NS to the hub's bridge with this address
#   netns_hosts NS ADDR          map this machine's host name to ADDR inside NS
#   netns_track PID              stop this process (SIGTERM, then SIGKILL) on exit
#   NETNS_TMP                    a scratch folder removed on exit

NETNS_TAG=""
NETNS_TMP=""
NETNS_LAST=""
NETNS_PC=""
NETNS_PEER=""
NETNS_HUB=""
NETNS_NAMES=()
NETNS_PIDS=()
NETNS_LINKS=0
NETNS_IF_A=""
NETNS_IF_B=""

netns_fail() {
  echo "netns: $*" >&2
  exit 1
}

netns_begin() {
  [ "$(id -u)" = 0 ] || netns_fail "needs root: the bus tests make their own network namespaces"
  command -v ip >/dev/null || netns_fail "ip (iproute2) is missing"
  NETNS_TAG=$1
  NETNS_TMP=$(mktemp -d "/tmp/$NETNS_TAG.XXXXXX")
  trap netns_cleanup EXIT
  trap 'exit 130' INT TERM
}

netns_cleanup() {
  local status=$? pid ns
  trap - EXIT
  for pid in "${NETNS_PIDS[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "${NETNS_PIDS[@]}"; do
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  for ns in "${NETNS_NAMES[@]}"; do
    # Whatever still runs in a namespace of this run was started by this run.
    for pid in $(ip netns pids "$ns" 2>/dev/null); do kill -KILL "$pid" 2>/dev/null || true; done
    ip netns del "$ns" 2>/dev/null || true
    rm -rf "/etc/netns/$ns"
  done
  [ -n "$NETNS_TMP" ] && rm -rf "$NETNS_TMP"
  exit "$status"
}

netns_add() {
  local ns="$NETNS_TAG-$1"
  ip netns add "$ns" || netns_fail "cannot make namespace $ns"
  NETNS_NAMES+=("$ns")
  ip -n "$ns" link set lo up || netns_fail "cannot bring up loopback in $ns"
  NETNS_LAST=$ns
}

# A veth pair from namespace $1 to namespace $2; its ends are NETNS_IF_A and NETNS_IF_B.
# Interface names hold at most 15 characters: the tag's PID part and a counter.
netns_veth() {
  NETNS_LINKS=$((NETNS_LINKS + 1))
  NETNS_IF_A="kb${NETNS_TAG##*[!0-9]}x${NETNS_LINKS}a"
  NETNS_IF_B="${NETNS_IF_A%a}b"
  ip link add "$NETNS_IF_A" netns "$1" type veth peer name "$NETNS_IF_B" netns "$2" ||
    netns_fail "cannot make veth pair $NETNS_IF_A/$NETNS_IF_B"
}

netns_address() {
  local ns=$1 cidr=$2 dev=$3
  ip -n "$ns" addr add "$cidr" brd + dev "$dev" || netns_fail "cannot give $cidr to $dev in $ns"
  ip -n "$ns" link set "$dev" up || netns_fail "cannot bring up $dev in $ns"
}

netns_link() {
  netns_veth "$1" "$3"
  netns_address "$1" "$2" "$NETNS_IF_A"
  netns_address "$3" "$4" "$NETNS_IF_B"
}

netns_pair() {
  netns_begin "$1"
  netns_add "$2"
  NETNS_PC=$NETNS_LAST
  netns_add "$4"
  NETNS_PEER=$NETNS_LAST
  netns_link "$NETNS_PC" "$3" "$NETNS_PEER" "$5"
  netns_hosts "$NETNS_PC" "${3%/*}"
}

netns_hub() {
  netns_add hub
  NETNS_HUB=$NETNS_LAST
  ip -n "$NETNS_HUB" link add br0 type bridge || netns_fail "cannot make a bridge"
  ip -n "$NETNS_HUB" link set br0 up
}

netns_attach() {
  netns_veth "$1" "$NETNS_HUB"
  ip -n "$NETNS_HUB" link set "$NETNS_IF_B" master br0 up || netns_fail "cannot join $NETNS_IF_B to the bridge"
  netns_address "$1" "$2" "$NETNS_IF_A"
}

netns_hosts() {
  mkdir -p "/etc/netns/$1"
  printf '127.0.0.1\tlocalhost\n%s\t%s\n' "$2" "$(hostname)" >"/etc/netns/$1/hosts"
}

netns_track() {
  NETNS_PIDS+=("$1")
}

# Waits up to $3 seconds until file $1 holds a line matching $2.
netns_wait_for_line() {
  for _ in $(seq $(($3 * 10))); do
    grep -q -- "$2" "$1" 2>/dev/null && return 0
    sleep 0.1
  done
  echo "netns: no line matching '$2' in $1 after $3 s:" >&2
  cat "$1" >&2 || true
  return 1
}
