#!/usr/bin/env bash
# Runs the local address tests in namespaces of their own. Needs root.
#  - "six": the hosts file gives this machine's name six addresses, 10.79.0.1 to 10.79.0.6 in
#    that order, and the namespace has no interface but its loopback.
#  - "debian": the hosts file maps the name to 127.0.1.1, as a stock Debian host does, and the
#    namespace has a LAN address on a veth (10.80.1.1/24); then the same without that address,
#    where the program must refuse to start, kestrel-cli too (with its exit status and the
#    message).
# Usage: run_localip_test.sh TEST_PROGRAM KESTREL_CLI
set -euo pipefail
tests=$1
cli=$2
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../support/netns.sh"

netns_begin "klip$$"
netns_add host
mkdir -p "/etc/netns/$NETNS_LAST"
{
  echo "127.0.0.1 localhost"
  for i in 1 2 3 4 5 6; do echo "10.79.0.$i $(hostname)"; done
} >"/etc/netns/$NETNS_LAST/hosts"
ip netns exec "$NETNS_LAST" "$tests" --gtest_filter='LocalIP.*'

netns_add debian
debian_ns=$NETNS_LAST
netns_add lan
netns_link "$debian_ns" 10.80.1.1/24 "$NETNS_LAST" 10.80.1.2/24
netns_hosts "$debian_ns" 127.0.1.1
KESTREL_LAN_IP=10.80.1.1 ip netns exec "$debian_ns" "$tests" --gtest_filter='LoopbackName.*'

ip -n "$debian_ns" addr flush dev "$NETNS_IF_A"
KESTREL_LAN_IP= ip netns exec "$debian_ns" "$tests" --gtest_filter='LoopbackName.*'

# kestrel-cli stops before the bus with the message and a status that is not 0.
settings=$NETNS_TMP/Settings
mkdir -p "$settings"
printf '[TotalZones]\r\nTotalZones=1\r\n[Zone1]\r\nZoneName=Lobby\r\nSubnetIDOfVeltra=1\r\nDeviceIDOfVeltra=20\r\n' >"$settings/Zone.ini"
status=0
ip netns exec "$debian_ns" "$cli" --settings "$settings" send next --all-zones 2>"$NETNS_TMP/err" || status=$?
if [ "$status" != 2 ] || ! grep -qx "Please check your network and IP settings!" "$NETNS_TMP/err"; then
  echo "FAIL: kestrel-cli send next on 127.0.1.1: expected status 2 and the message, got $status:" >&2
  cat "$NETNS_TMP/err" >&2
  exit 1
fi
echo "ok: kestrel-cli send next on 127.0.1.1 refused"
