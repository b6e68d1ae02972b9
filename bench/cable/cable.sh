# A slow, distant link for the FTP benchmarks (sourced after tests/support/netns.sh and
# netns_begin): two namespaces joined by delay_cable (bench/cable/delay_cable.cpp), which moves
# every packet between a TUN device in each, delayed and limited to a rate. Every connection
# across it, whichever side opens it (an FTP control connection, the data connections a server
# opens back in active mode), sees the round trip and the rate.
#
#   cable_begin RTT_MS [MBIT]    make a client and a server namespace joined by a cable of this
#                                round trip (half of it each way) and rate (100 by default);
#                                sets CABLE_CLIENT and CABLE_SERVER (the namespaces),
#                                CABLE_CLIENT_IP and CABLE_SERVER_IP; the client's host name
#                                maps to its address. Each call makes a new pair. Everything
#                                goes on exit with the rest of the run's namespaces.
#   CABLE_PROGRAM                the delay_cable to run (default build/bench/cable/delay_cable
#                                below the current folder)

CABLE_COUNT=0
CABLE_CLIENT=""
CABLE_SERVER=""
CABLE_CLIENT_IP=10.84.0.1
CABLE_SERVER_IP=10.84.0.2
CABLE_PROGRAM=${CABLE_PROGRAM:-$PWD/build/bench/cable/delay_cable}

cable_begin() {
  local rtt=$1 mbit=${2:-100} out one_way
  [ -n "$NETNS_TAG" ] || netns_fail "cable_begin needs netns_begin first"
  [ -x "$CABLE_PROGRAM" ] || netns_fail "no cable program at $CABLE_PROGRAM (build the target delay_cable)"
  CABLE_COUNT=$((CABLE_COUNT + 1))
  netns_add "c$CABLE_COUNT"; CABLE_CLIENT=$NETNS_LAST
  netns_add "s$CABLE_COUNT"; CABLE_SERVER=$NETNS_LAST
  one_way=$(awk -v r="$rtt" 'BEGIN { printf "%.3f", r / 2 }')
  out=$NETNS_TMP/cable$CABLE_COUNT.out
  # The program enters the two namespaces only to make its devices; it sends nothing itself.
  "$CABLE_PROGRAM" --ns-a "/run/netns/$CABLE_CLIENT" --ns-b "/run/netns/$CABLE_SERVER" \
    --one-way-ms "$one_way" --mbit "$mbit" >"$out" 2>&1 &
  netns_track $!
  netns_wait_for_line "$out" "^ready" 10 || netns_fail "the cable did not start"
  netns_address "$CABLE_CLIENT" "$CABLE_CLIENT_IP/24" cable
  netns_address "$CABLE_SERVER" "$CABLE_SERVER_IP/24" cable
  netns_hosts "$CABLE_CLIENT" "$CABLE_CLIENT_IP"
  ip netns exec "$CABLE_CLIENT" ping -c 1 -W 5 "$CABLE_SERVER_IP" >/dev/null ||
    netns_fail "no packet crosses the cable"
}
