#!/usr/bin/env bash
# Runs the local address tests in a namespace of their own whose hosts file gives this
# machine's name six addresses, 10.79.0.1 to 10.79.0.6 in that order. Needs root.
# Usage: run_localip_test.sh TEST_PROGRAM
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../support/netns.sh"

netns_begin "klip$$"
netns_add host
mkdir -p "/etc/netns/$NETNS_LAST"
{
  echo "127.0.0.1 localhost"
  for i in 1 2 3 4 5 6; do echo "10.79.0.$i $(hostname)"; done
} >"/etc/netns/$NETNS_LAST/hosts"
ip netns exec "$NETNS_LAST" "$1"
